#include "ui/main/Main.h"

#include "Version.h"
#include "engine/services/AppTraceLog.h"
#include "engine/services/AppInfo.h"
#include "engine/services/LanguageStrings.h"
#include "engine/services/SavedOptions.h"
#include "engine/job/DownloadOptionTypes.h"
#include "engine/job/JobTypes.h"
#include "engine/services/ThreadSafeFileOps.h"
#include "ui/dialogs/About.h"
#include "ui/main/CoolTrayIcon.h"
#include "ui/progress/CopyProgress.h"
#include "ui/browse/IEView.h"
#include "ui/log/JobLog.h"
#include "ui/queue/JobQueue.h"
#include "ui/main/SpiderOutputSplitter.h"
#include "ui/dialogs/Splash.h"
#include "ui/start/Start.h"
#include "ui/dialogs/TipOfTheDay.h"
#include "ui/common/AppName.h"
#include "ui/common/MessageBoxes.h"
#include "ui/common/ProgramFiles.h"
#include "ui/preferences/PreferenceGetters.h"
#include "ui/preferences/Passwords.h"
#include "ui/preferences/Preferences.h"
#include "ui/intake/RegisterFileType.h"
#include "ui/common/TryShellExe.h"
#include "ui/common/UISettings.h"
#include "ui/common/UIStrings.h"
#include "ui/intake/WorkIntake.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPainter>
#include <QScreen>
#include <QShortcut>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleHints>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QLineEdit>

#include <algorithm>

namespace {

const char* const kUnit = "Main";
const char* const kSupportAddress = "support@brindlesoft.com";

// Designed client area and position of the window, and its smallest client size.
const QRect kDesignedRect(50, 0, 608, 431);
const QSize kMinimumClient(600, 420);
const int kTabCaptionIds[pgCount] = {19, 20, 21, 22, 23, 24};

// A round badge in the given colour with a "G"; the program's icons.
QIcon MakeBadgeIcon(const QColor& fill)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(fill);
    painter.setPen(QPen(fill.darker(160), 2));
    painter.drawEllipse(2, 2, 28, 28);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(18);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, "G");
    return QIcon(pixmap);
}

}  // namespace

void InitPathsAndOptions()
{
    if (TLocalLanguages* languages = TLocalLanguages::Instance()) {
        languages->SetDeleteQuestion([](const std::string& text, const std::string& caption) {
            return ShowMessageBox(nullptr, QStr(text), QStr(caption), TBoxIcon::Question, true);
        });
        languages->SetLanguagesFolder(GetProgramFilesFolder() + "Languages/");
    }
    if (TSavedOptions* options = TSavedOptions::Instance())
        options->SetINIFolder(GetDataFolder());
}

QRect PlaceWindowRect(const TWindowPlacement& p, const QRect& designed, const QRect& available,
                      const QSize& minimum)
{
    QRect r = designed;
    if (p.state != 2) {
        if (p.left != -1)
            r.moveLeft(p.left);
        if (p.top != -1)
            r.moveTop(p.top);
        if (p.width != -1)
            r.setWidth(p.width);
        if (p.height != -1)
            r.setHeight(p.height);
    }
    if (!available.isValid())
        return r;
    int w = std::min(std::max(r.width(), minimum.width()), available.width());
    int h = std::min(std::max(r.height(), minimum.height()), available.height());
    int x = std::clamp(r.left(), available.left(), available.left() + available.width() - w);
    int y = std::clamp(r.top(), available.top(), available.top() + available.height() - h);
    return QRect(x, y, w, h);
}

QRect FirstStartRect(const QRect& designed, const QRect& available)
{
    if (!available.isValid())
        return designed;
    const QSize least(1000, 700);
    QSize size(available.width() * 7 / 10, available.height() * 7 / 10);
    size = size.expandedTo(least).boundedTo(available.size());
    QRect r(QPoint(0, 0), size);
    r.moveCenter(available.center());
    return r;
}

int FlashSeconds(int seconds)
{
    if (seconds > 10)
        return 10;
    if (seconds <= 0)
        return 2;
    return seconds;
}

int FlashInterval(int blinkMs, int timeLeftMs)
{
    if (blinkMs <= 0 || blinkMs > timeLeftMs)
        return 500;
    return blinkMs;
}

TMainForm::TMainForm(const QStringList& args, QWidget* parent) : QMainWindow(parent)
{
    instance_ = this;
    FormCreate(args);
}

TMainForm::~TMainForm()
{
    if (instance_ == this)
        instance_ = nullptr;
}

void TMainForm::FormCreate(const QStringList& args)
{
    if (TAppInfo* info = TAppInfo::Instance())
        info->LogVersionInfo();
    setWindowTitle(QStr(AppProductName()));
    setMinimumSize(kMinimumClient);
    LoadIcons();
    trayIcon_ = new TCoolTrayIcon(this);
    trayIcon_->OnClick = [this] { RestoreFromTray(); };
    SetBusyIcon(false);
    setWindowIcon(normalIcon_);
    // The program's other windows (the report, the dialogs) carry its icon too.
    QApplication::setWindowIcon(normalIcon_);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(0);
    auto* top = new QHBoxLayout;
    tabBar_ = new QTabBar(central);
    tabBar_->setExpanding(false);
    tabBar_->setDrawBase(false);
    // The bar takes the row's width, so every tab shows whole once the captions fit; only a
    // narrower window scrolls the tabs, and a caption is never cut.
    tabBar_->setElideMode(Qt::ElideNone);
    tabBar_->setUsesScrollButtons(true);
    tabBar_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    top->addWidget(tabBar_, 1);
    feedbackIcon_ = new QToolButton(central);
    feedbackIcon_->setAutoRaise(true);
    feedbackIcon_->setIcon(style()->standardIcon(QStyle::SP_MessageBoxInformation));
    feedbackIcon_->setIconSize(QSize(16, 16));
    helpIcon_ = new QToolButton(central);
    helpIcon_->setAutoRaise(true);
    helpIcon_->setIcon(style()->standardIcon(QStyle::SP_DialogHelpButton));
    helpIcon_->setIconSize(QSize(16, 16));
    top->addWidget(feedbackIcon_);
    top->addWidget(helpIcon_);
    layout->addLayout(top);
    stack_ = new QStackedWidget(central);
    stack_->setFrameShape(QFrame::StyledPanel);
    layout->addWidget(stack_, 1);
    setCentralWidget(central);

    CreatePages();
    tipOfTheDay_ = new TTipOfTheDayForm(this);
    connect(tipOfTheDay_, &TTipOfTheDayForm::HelpRequested, this, &TMainForm::ShowHelp);
    about_ = new TAboutForm(this);
    // Stands in for the system menu's About item: the tab bar's context menu.
    aboutAction_ = new QAction(this);
    tabBar_->addAction(aboutAction_);
    tabBar_->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(aboutAction_, &QAction::triggered, this, &TMainForm::ShowAbout);
    connect(tabBar_, &QTabBar::currentChanged, this, [this](int index) {
        if (index >= 0)
            stack_->setCurrentIndex(index);
    });
    connect(helpIcon_, &QToolButton::clicked, this, &TMainForm::ShowHelp);
    connect(feedbackIcon_, &QToolButton::clicked, this, &TMainForm::SendFeedback);
    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    f1->setContext(Qt::WindowShortcut);
    connect(f1, &QShortcut::activated, this, &TMainForm::ShowHelp);

    flashTimer_ = new QTimer(this);
    flashTimer_->setInterval(500);
    connect(flashTimer_, &QTimer::timeout, this, &TMainForm::OnFlashTimer);

    LoadWindowPlacement();
    MoveFocusToPage(pgStart);
    intake_ = new TWorkIntake(*this);
    for (qsizetype i = 1; i < args.size(); ++i)
        cachedParams_.append(args[i]);
    UpdateLanguageLabels();
    created_ = true;
}

void TMainForm::CreatePages()
{
    startFrame_ = new TStartFrame(stack_, this);
    jobQueueFrame_ = new TJobQueueFrame(stack_, this);
    preferencesFrame_ = new TPreferencesFrame(stack_, this);
    pages_[pgStart] = startFrame_;
    pages_[pgJobQueue] = jobQueueFrame_;
    pages_[pgPreferences] = preferencesFrame_;
    pages_[pgProgress] = new TCopyProgressFrame(stack_, this);
    pages_[pgLog] = new TJobLogFrame(stack_);
    pages_[pgBrowse] = new TIEViewFrame(stack_);
    for (QWidget* page : pages_) {
        tabBar_->addTab(QString());
        stack_->addWidget(page);
    }
    // The log's start pages feed the Browse page's Go menu.
    auto* log = qobject_cast<TJobLogFrame*>(pages_[pgLog]);
    auto* browse = qobject_cast<TIEViewFrame*>(pages_[pgBrowse]);
    if (log && browse)
        connect(log, &TJobLogFrame::LogEntriesChanged, browse, &TIEViewFrame::RefreshLogEntriesMenu);
    if (browse)
        connect(stack_, &QStackedWidget::currentChanged, browse, [browse](int index) {
            if (index == pgBrowse)
                browse->LoadSlideshowOptions();
        });
}

void TMainForm::LoadIcons()
{
    normalIcon_ = MakeBadgeIcon(QColor(0x2e, 0x7d, 0x32));
    busyIcon_ = MakeBadgeIcon(QColor(0xef, 0x6c, 0x00));
    flashIcon_ = MakeBadgeIcon(QColor(0xfb, 0xc0, 0x2d));
}

void TMainForm::SetBusyIcon(bool busy)
{
    busy_ = busy;
    if (trayIcon_)
        trayIcon_->SetIcon(busy ? busyIcon_ : normalIcon_);
}

void TMainForm::SetTrayHint(const QString& text)
{
    trayHint_ = text;
    trayIcon_->SetHint(text);
}

void TMainForm::SetMinimizeToTray(bool on)
{
    if (trayIcon_)
        trayIcon_->SetMinimizeToTray(on);
}

void TMainForm::RestoreFromTray()
{
    trayIcon_->ShowMainForm();
    trayIcon_->SetIconVisible(false);
    QCoreApplication::processEvents();
}

bool TMainForm::IsModalDialogShowing() const
{
    return QApplication::activeModalWidget() != nullptr;
}

bool TMainForm::MoveFocusToPage(int index)
{
    if (IsModalDialogShowing())
        return false;
    if (index < 0) {
        LogEvent(etWarning, "Invalid tab", "MoveFocusToPage", kUnit);
        return false;
    }
    if (index >= pgCount)
        return false;
    stack_->setCurrentIndex(index);
    if (tabBar_->isTabVisible(index))
        tabBar_->setCurrentIndex(index);
    repaint();
    return true;
}

bool TMainForm::MoveFocusToPageByCaption(const QString& caption)
{
    for (int i = 0; i < pgCount; ++i)
        if (tabBar_->tabText(i) == caption)
            return MoveFocusToPage(i);
    return false;
}

bool TMainForm::MoveFocusToPageByStringId(int id)
{
    return MoveFocusToPageByCaption(QUIString(id));
}

int TMainForm::ActivePage() const
{
    return stack_->currentIndex();
}

void TMainForm::UpdateLanguageLabels()
{
    try {
        helpIcon_->setToolTip(QUIString(361));
        feedbackIcon_->setToolTip(QUIString(26));
        for (int i = 0; i < pgCount; ++i)
            tabBar_->setTabText(i, QUIString(kTabCaptionIds[i]));
        startFrame_->UpdateLanguageLabels();
        jobQueueFrame_->UpdateLanguageLabels();
        preferencesFrame_->UpdateLanguageLabels();
        if (auto* progress = qobject_cast<TCopyProgressFrame*>(pages_[pgProgress]))
            progress->UpdateLanguageLabels();
        if (auto* log = qobject_cast<TJobLogFrame*>(pages_[pgLog]))
            log->UpdateLanguageLabels();
        if (auto* browse = qobject_cast<TIEViewFrame*>(pages_[pgBrowse]))
            browse->UpdateLanguageLabels();
        aboutAction_->setText(QUIString(25));
        about_->UpdateLanguageLabels();
        tipOfTheDay_->UpdateLanguageLabels();
        ApplyLanguageFont(this);
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "UpdateLanguageLabels", kUnit);
    }
}

void TMainForm::StartFlashing(int seconds)
{
    flashTimeLeft_ = FlashSeconds(seconds) * 1000;
    flashOn_ = false;
    int blink = QGuiApplication::styleHints()->cursorFlashTime() / 2;
    flashTimer_->setInterval(FlashInterval(blink, flashTimeLeft_));
    flashTimer_->start();
}

void TMainForm::OnFlashTimer()
{
    if (!flashTimer_->isActive())
        return;
    if (!flashOn_) {
        QApplication::alert(this, flashTimer_->interval());
        setWindowIcon(flashIcon_);
        trayIcon_->SetIcon(flashIcon_);
    } else {
        setWindowIcon(normalIcon_);
        trayIcon_->SetIcon(normalIcon_);
    }
    flashOn_ = !flashOn_;
    flashTimeLeft_ -= flashTimer_->interval();
    if (flashTimeLeft_ <= 0)
        StopFlashing();
}

void TMainForm::StopFlashing()
{
    flashTimer_->stop();
    if (flashOn_) {
        flashOn_ = false;
        setWindowIcon(normalIcon_);
    }
    SetBusyIcon(busy_);
}

bool TMainForm::IsFlashing() const
{
    return flashTimer_->isActive();
}

void TMainForm::ShowPasswordsPreferences()
{
    MoveFocusToPage(pgPreferences);
    preferencesFrame_->ShowPasswordsPage();
}

bool TMainForm::IsPageVisible(int index) const
{
    return tabBar_->isTabVisible(index);
}

void TMainForm::SetJobLogVisible(bool on)
{
    if (auto* log = qobject_cast<TJobLogFrame*>(pages_[pgLog]))
        log->SetLoggingEnabled(on);
    tabBar_->setTabVisible(pgLog, on);
}

void TMainForm::SetStayOnTop(bool on)
{
    if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) == on)
        return;
    const bool shown = isVisible();
    const QRect placed = geometry();
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
    if (shown) {
        setGeometry(placed);
        show();
    }
}

void TMainForm::SetJobQueueVisible(bool on)
{
    tabBar_->setTabVisible(pgJobQueue, on);
    if (!on)
        jobQueueFrame_->RemoveIdleJobs();
    else
        jobQueueFrame_->PrepareSavedQueueWrite();  // a saved queue left unread at start-up shows now
    startFrame_->UpdateLanguageLabels();
    startFrame_->UpdateStartButton();
}

bool TMainForm::ShowInBrowsePage(const QUrl& address)
{
    auto* browse = qobject_cast<TIEViewFrame*>(pages_[pgBrowse]);
    if (!browse || !MoveFocusToPage(pgBrowse))
        return false;
    browse->AddressEdit()->setText(address.isLocalFile() ? address.toLocalFile() : address.toString());
    browse->GoBtnClick();
    return true;
}

void TMainForm::EditQueuedJob(const TCopyJob& job)
{
    MoveFocusToPageByStringId(19);
    startFrame_->EditCopyJob(job);
}

void TMainForm::GetProxySettings(TProxyServerInfo& http, TProxyServerInfo& ftp) const
{
    preferencesFrame_->GetProxySettings(http, ftp);
}

void TMainForm::ClearHistory()
{
    startFrame_->ClearHistory();
    if (auto* log = qobject_cast<TJobLogFrame*>(pages_[pgLog]))
        log->ClearLog();
    std::string lastJob = LastJobFileName();
    if (SafeFileExists(lastJob))
        SafeDeleteFile(lastJob);
}

bool TMainForm::SetProgressTabVisible(bool on)
{
    bool wasVisible = tabBar_->isTabVisible(pgProgress);
    if (!(on && wasVisible))
        tabBar_->setTabVisible(pgProgress, on);
    return wasVisible;
}

void TMainForm::ShowHelp()
{
    std::string file = GetProgramFilesFolder() + "help/help.htm";
    if (QFileInfo(QString::fromStdString(file)).isFile())
        TryShellExecute(this, file, "open");
    else
        ShowMessageBox(this, QStr(ReplaceFirst(UIString(360), "XXX", file)), QString(), TBoxIcon::Warning);
}

void TMainForm::ShowTipOfTheDay()
{
    tipOfTheDay_->show();
    tipOfTheDay_->raise();
    tipOfTheDay_->activateWindow();
}

void TMainForm::ShowAbout()
{
    about_->exec();
}

void TMainForm::SendFeedback()
{
    std::string address = std::string("mailto:") + kSupportAddress + "?subject=" + AppProductName() + " v" +
                          AppVersion() + " Feedback" + "&body=< Type your message here >";
    TryShellExecute(this, address, "");
}

void TMainForm::LoadWindowPlacement()
{
    TWindowPlacement p;
    p.state = ReadSettingInteger("Window", "WindowState", 0);
    p.left = ReadSettingInteger("Window", "Left", -1);
    p.top = ReadSettingInteger("Window", "Top", -1);
    p.width = ReadSettingInteger("Window", "Width", -1);
    p.height = ReadSettingInteger("Window", "Height", -1);
    storedState_ = p.state;
    QRect available;
    if (QScreen* screen = QGuiApplication::primaryScreen())
        available = screen->availableGeometry();
    // Room for the title bar and the frame, which the stored client size does not include.
    if (available.isValid())
        available.adjust(0, 0, -16, -40);
    // With nothing stored (a first start) the window opens large enough for every page.
    const bool stored = p.left != -1 || p.top != -1 || p.width != -1 || p.height != -1;
    const QRect designed = stored ? kDesignedRect : FirstStartRect(kDesignedRect, available);
    QRect r = PlaceWindowRect(p, designed, available, kMinimumClient);
    resize(r.size());
    move(r.topLeft());
}

void TMainForm::SaveWindowPlacement()
{
    // Closed while minimised: saved as normal, so the next start does not open out of sight.
    int state = isMaximized() ? 2 : 0;
    WriteSettingInteger("Window", "WindowState", state);
    if (state == 2)
        return;
    // The normal geometry: right even while minimised. Left and Top are the frame's corner.
    QRect normal = normalGeometry();
    QPoint frameOffset = geometry().topLeft() - frameGeometry().topLeft();
    WriteSettingInteger("Window", "Left", normal.left() - frameOffset.x());
    WriteSettingInteger("Window", "Top", normal.top() - frameOffset.y());
    WriteSettingInteger("Window", "Width", normal.width());
    WriteSettingInteger("Window", "Height", normal.height());
}

void TMainForm::ShowInStoredState()
{
    // A stored minimised state opens normal: the window would start out of sight.
    if (storedState_ == 2)
        showMaximized();
    else
        show();
}

void TMainForm::FormCloseQuery()
{
    if (closePrepared_)
        return;
    closePrepared_ = true;
    jobQueueFrame_->PrepareForAppShutdown();
}

void TMainForm::QueryEndSession()
{
    if (!closePrepared_)
        jobQueueFrame_->PrepareForSessionEnd();
}

void TMainForm::FormClose()
{
    if (!uninstalling_)
        SaveWindowPlacement();
}

void InitAfterFormsCreated(TMainForm& form, TSpiderOutputSplitterForm* splitter)
{
    if (HandleUninstall(form.CachedParams())) {
        form.SetUninstalling(true);
        form.EndAtStartup();
        return;
    }
    QObject::connect(form.JobQueue(), &TJobQueueFrame::FileRecovered, &form, &TMainForm::ReportRecovery);
    QObject::connect(form.Preferences()->Passwords(), &TPasswordsFrame::FileRecovered, &form,
                     &TMainForm::ReportRecovery);
    if (auto* log = qobject_cast<TJobLogFrame*>(form.Page(pgLog)))
        QObject::connect(log, &TJobLogFrame::FileRecovered, &form, &TMainForm::ReportRecovery);
    try {
        form.UpdateLanguageLabels();
        // This order is also the order in which the pages' output listeners register.
        form.StartPage()->Initialize(splitter);
        form.JobQueue()->Initialize(splitter, UIDataFolder());
        form.Preferences()->Initialize(splitter);
        if (auto* progress = qobject_cast<TCopyProgressFrame*>(form.Page(pgProgress)))
            progress->Initialize(splitter);
        if (auto* log = qobject_cast<TJobLogFrame*>(form.Page(pgLog))) {
            log->SetLoggingEnabled(GetLogCompletedJobs());
            log->Initialize(splitter);
        }
        if (auto* browse = qobject_cast<TIEViewFrame*>(form.Page(pgBrowse)))
            browse->Initialize(splitter);
    } catch (...) {
        if (splitter)
            splitter->SetAsOutputDestination();
        throw;
    }
    if (splitter)
        splitter->SetAsOutputDestination();
    form.SetJobLogVisible(GetLogCompletedJobs());
    form.SetJobQueueVisible(GetShowJobQueue());
    form.SetProgressTabVisible(false);
}

void TMainForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (uninstalling_ || !firstShow_)
        return;
    if (HandleRunOnce(cachedParams_, QCoreApplication::applicationFilePath().toStdString())) {
        EndAtStartup();
        return;
    }
    firstShow_ = false;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (showSplash_) {
                TSplashForm splash(this);
                splash.ShowModal();
            }
            OnStartupUIComplete();
        },
        Qt::QueuedConnection);
}

void TMainForm::OnStartupUIComplete()
{
    tipOfTheDay_->SetTipsFolder(QStr(GetProgramFilesFolder()) + "Languages/");
    if (GetShowTipsOnStartup())
        ShowTipOfTheDay();
    LoadSavedQueueOnce();
    ProcessCommandLine();
    if (jobQueueFrame_->JobCount() == 0)
        MoveFocusToPageByStringId(19);
    ShowRecoveries();
}

void TMainForm::ReportRecovery(const QString& text)
{
    pendingRecoveries_.append(text);
    if (recoveriesShown_)
        QMetaObject::invokeMethod(this, &TMainForm::ShowRecoveries, Qt::QueuedConnection);
}

void TMainForm::ShowRecoveries()
{
    recoveriesShown_ = true;
    QStringList texts;
    if (TSavedOptions* options = TSavedOptions::Instance())
        for (const TRecoveryNote& note : options->TakeRecoveryNotes())
            texts.append(QStr(note.text));
    texts.append(pendingRecoveries_);
    pendingRecoveries_.clear();
    if (!texts.isEmpty())
        ShowMessageBox(this, texts.join("\n\n"), QStr(AppProductName()), TBoxIcon::Warning);
}

void TMainForm::LoadSavedQueueOnce()
{
    if (savedQueueRead_)
        return;
    savedQueueRead_ = true;
    jobQueueFrame_->LoadSavedQueue();
}

void TMainForm::OnParamsHandedOver()
{
    // Ending at start-up or closing: the queue is not to be read or written any more.
    if (closePrepared_)
        return;
    LoadSavedQueueOnce();
    ProcessCommandLine();
    jobQueueFrame_->FlushQueueSaves();
}

void TMainForm::EndAtStartup()
{
    closePrepared_ = true;
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void TMainForm::ProcessCommandLine()
{
    intake_->ProcessCommandLine();
}

void TMainForm::OpenFiles(const QStringList& files, int mode)
{
    intake_->OpenFiles(files, mode);
}

void TMainForm::OpenURLList(const std::vector<std::string>& addresses, int mode)
{
    intake_->OpenURLList(addresses, mode);
}

void TMainForm::SuppressNextClipboardChange()
{
    intake_->SuppressNextClipboardChange();
}

void TMainForm::RegisterURLScrapeHotkey()
{
    intake_->RegisterURLScrapeHotkey();
}

void TMainForm::BringMainToFront(bool restore)
{
    if (!isVisible() && trayIcon_)
        RestoreFromTray();
    if (restore && isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    // The user closes the window (not the program, a signal or the session): jobs of a queue
    // that is not saved are not dropped without asking.
    if (event->spontaneous() && !closePrepared_ && !jobQueueFrame_->ConfirmCloseWithUnsavedJobs()) {
        event->ignore();
        return;
    }
    FormCloseQuery();
    FormClose();
    event->accept();
    // The program ends with its main window: windows of its own (the report viewer, the
    // message view) close with it rather than keep it running.
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window != this && window->isVisible())
            window->close();
}
