#include "ui/browse/IEView.h"

#include "engine/services/AppTraceLog.h"
#include "engine/messages/SpiderOutputMsgTypes.h"
#include "engine/services/ThreadSafeFileOps.h"
#include "ui/preferences/PreferenceGetters.h"
#include "ui/main/SpiderOutputSplitter.h"
#include "ui/common/UISettings.h"
#include "ui/common/UIStrings.h"
#include "platform/TextUtils.h"

#include <QApplication>
#include <QCheckBox>
#include <QDirIterator>
#include <QFileDialog>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QSlider>
#include <QSplitter>
#include <QTemporaryDir>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWebEngineSettings>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <stdexcept>

namespace {

const char* const kUnit = "IEView";
constexpr int kDefaultSlideDelay = 5;
constexpr int kMinTopPanelHeight = 150;
constexpr int kMinSlideshowHeight = 130;
constexpr int kPumpEvery = 20;
// JPEG can decode at a fraction of its size, which still reads the whole stream.
constexpr int kCheckDecodeSide = 256;

bool IsLocalScheme(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return scheme.isEmpty() || scheme == "file" || scheme == "data" || scheme == "about" || scheme == "blob" ||
           scheme == "qrc";
}

// An address typed or picked: an absolute path is a local file, anything else as a user would
// type it into a browser.
QUrl AddressToUrl(const std::string& address)
{
    const QString text = QStr(address);
    if (text.startsWith('/'))
        return QUrl::fromLocalFile(text);
    return QUrl::fromUserInput(text);
}

// How the address line shows the document's address.
QString AddressText(const QUrl& url)
{
    return url.isLocalFile() ? url.toLocalFile() : url.toString();
}

// The viewer's page: refuses navigations that IsBlockedViewerRequest refuses. Resources of local
// pages are kept from the network by the view's settings.
class TViewerPage : public QWebEnginePage {
public:
    TViewerPage(QObject* parent, std::function<void(const QUrl&)> onRefusedLink)
        : QWebEnginePage(parent), onRefusedLink_(std::move(onRefusedLink))
    {
    }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override
    {
        if (!IsBlockedViewerRequest(url, type == NavigationTypeTyped, this->url()))
            return true;
        // A click that leads nowhere says so; refreshes and frames are refused quietly.
        if (type == NavigationTypeLinkClicked && isMainFrame && onRefusedLink_)
            onRefusedLink_(url);
        return false;
    }

private:
    std::function<void(const QUrl&)> onRefusedLink_;
};

// The hourglass and a list that does not repaint for the lifetime of the object.
class TListLoadGuard {
public:
    explicit TListLoadGuard(QWidget* list) : list_(list)
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        list_->setUpdatesEnabled(false);
    }
    ~TListLoadGuard()
    {
        if (list_)
            list_->setUpdatesEnabled(true);
        QApplication::restoreOverrideCursor();
    }
    TListLoadGuard(const TListLoadGuard&) = delete;
    TListLoadGuard& operator=(const TListLoadGuard&) = delete;

private:
    QPointer<QWidget> list_;
};

}  // namespace

bool IsImageExtension(const std::string& path)
{
    const std::string ext = LowerCaseExtension(path);
    return ext == ".jpg" || ext == ".jpeg" || ext == ".gif" || ext == ".bmp" || ext == ".png";
}

bool GetImageSize(const std::string& path, int& height, int& width)
{
    const std::string ext = LowerCaseExtension(path);
    QByteArray format;
    if (ext == ".jpg" || ext == ".jpeg")
        format = "jpeg";
    else if (ext == ".gif")
        format = "gif";
    else if (ext == ".bmp")
        format = "bmp";
    else
        return false;
    try {
        if (!SafeFileExists(path))
            throw std::runtime_error("Cannot open " + path);
        QImageReader reader(QStr(path), format);
        reader.setAutoDetectImageFormat(false);
        const QSize size = reader.size();
        if (!size.isValid() || size.isEmpty())
            throw std::runtime_error(StdStr(reader.errorString()) + ": " + path);
        // Beyond the limit only a reader that decodes at a reduced size will do.
        const bool scaled = reader.supportsOption(QImageIOHandler::ScaledSize);
        if (int64_t(size.width()) * size.height() > kMaxFullDecodePixels && !scaled)
            throw std::runtime_error("Image too large to decode: " + path);
        if (scaled)
            reader.setScaledSize(size.scaled(kCheckDecodeSide, kCheckDecodeSide, Qt::KeepAspectRatio)
                                     .expandedTo(QSize(1, 1)));
        if (reader.read().isNull())
            throw std::runtime_error(StdStr(reader.errorString()) + ": " + path);
        height = size.height();
        width = size.width();
        return true;
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "GetImageSize", kUnit);
        return false;
    }
}

bool ShrunkImageSize(int width, int height, int viewWidth, int viewHeight, int& newWidth, int& newHeight)
{
    const int maxWidth = viewWidth - 40;
    const int maxHeight = viewHeight - 40;
    if (width <= 0 || height <= 0 || maxWidth <= 0 || maxHeight <= 0)
        return false;
    if (height <= maxHeight && width <= maxWidth)
        return false;
    const float rw = float(maxWidth) / float(width);
    const float rh = float(maxHeight) / float(height);
    // Nearest integer, halves to even (the default rounding mode).
    if (rh >= rw) {
        newWidth = maxWidth;
        newHeight = int(std::nearbyint(rw * float(height)));
    } else {
        newHeight = maxHeight;
        newWidth = int(std::nearbyint(rh * float(width)));
    }
    return true;
}

bool WriteScaledImage(const std::string& path, int width, int height, const std::string& target)
{
    if (width <= 0 || height <= 0 || int64_t(width) * height > kMaxFullDecodePixels)
        return false;
    QImageReader reader(QStr(path));
    if (!reader.supportsOption(QImageIOHandler::ScaledSize))
        return false;  // it would decode the whole image first
    reader.setScaledSize(QSize(width, height));
    const QImage image = reader.read();
    return !image.isNull() && image.save(QStr(target), "PNG");
}

std::string BuildImagePage(const std::string& path, int width, int height)
{
    // The file as an address, so no character of its name can end the attribute.
    const QString source =
        QUrl::fromLocalFile(QFileInfo(QStr(path)).absoluteFilePath()).toString(QUrl::FullyEncoded).toHtmlEscaped();
    return "<HTML><BODY><DIV ALIGN=\"CENTER\"><IMG SRC=\"" + StdStr(source) + "\" WIDTH=\"" +
           std::to_string(width) + "\" HEIGHT=\"" + std::to_string(height) + "\"></DIV></BODY></HTML>";
}

bool IsBlockedViewerRequest(const QUrl& url, bool typed, const QUrl& documentUrl)
{
    if (typed || IsLocalScheme(url))
        return false;
    return !documentUrl.scheme().isEmpty() && IsLocalScheme(documentUrl);
}

TIEViewFrame::TIEViewFrame(QWidget* parent) : QFrame(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(5, 5, 5, 5);
    splitter1_ = new QSplitter(Qt::Vertical, this);
    splitter1_->setChildrenCollapsible(false);
    layout->addWidget(splitter1_);

    topPanel_ = new QWidget(splitter1_);
    topPanel_->setMinimumHeight(kMinTopPanelHeight);
    auto* topLayout = new QVBoxLayout(topPanel_);
    topLayout->setContentsMargins(0, 0, 0, 0);
    auto* addressRow = new QHBoxLayout;
    addressLabel_ = new QLabel(topPanel_);
    addressEdit_ = new QLineEdit(topPanel_);
    addressLabel_->setBuddy(addressEdit_);
    auto* addressToolbar = new QToolBar(topPanel_);
    addressToolbar->setIconSize(QSize(16, 16));
    goBtn_ = new QToolButton(addressToolbar);
    goBtn_->setIcon(style()->standardIcon(QStyle::SP_ArrowForward));
    logEntriesMenu_ = new QMenu(goBtn_);
    goBtn_->setMenu(logEntriesMenu_);
    goBtn_->setPopupMode(QToolButton::MenuButtonPopup);
    browseBtn_ = new QToolButton(addressToolbar);
    browseBtn_->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    showSlidePanelBtn_ = new QToolButton(addressToolbar);
    showSlidePanelBtn_->setIcon(style()->standardIcon(QStyle::SP_FileDialogListView));
    showSlidePanelBtn_->setCheckable(true);
    showSlidePanelBtn_->setChecked(true);
    addressToolbar->addWidget(goBtn_);
    addressToolbar->addWidget(browseBtn_);
    addressToolbar->addWidget(showSlidePanelBtn_);
    addressRow->addWidget(addressLabel_);
    addressRow->addWidget(addressEdit_, 1);
    addressRow->addWidget(addressToolbar);
    topLayout->addLayout(addressRow);
    messageBar_ = new QLabel(topPanel_);
    messageBar_->setObjectName("MessageBar");
    messageBar_->setTextFormat(Qt::PlainText);
    messageBar_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    messageBar_->setWordWrap(true);
    messageBar_->setFrameShape(QFrame::StyledPanel);
    messageBar_->setAutoFillBackground(true);
    messageBar_->setBackgroundRole(QPalette::ToolTipBase);
    messageBar_->setForegroundRole(QPalette::ToolTipText);
    messageBar_->setContentsMargins(4, 2, 4, 2);
    messageBar_->hide();
    topLayout->addWidget(messageBar_);
    browserHolder_ = new QWidget(topPanel_);
    auto* holderLayout = new QVBoxLayout(browserHolder_);
    holderLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->addWidget(browserHolder_, 1);
    splitter1_->addWidget(topPanel_);

    slideshowPanel_ = new QWidget(splitter1_);
    slideshowPanel_->setMinimumHeight(kMinSlideshowHeight);
    auto* panelLayout = new QVBoxLayout(slideshowPanel_);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    slideshowGroup_ = new QGroupBox(slideshowPanel_);
    auto* groupLayout = new QVBoxLayout(slideshowGroup_);
    auto* controls = new QHBoxLayout;
    auto* toolBar1 = new QToolBar(slideshowGroup_);
    toolBar1->setIconSize(QSize(16, 16));
    startBtn_ = new QToolButton(toolBar1);
    startBtn_->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    stopBtn_ = new QToolButton(toolBar1);
    stopBtn_->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
    stopBtn_->setEnabled(false);
    addFromFolderBtn_ = new QToolButton(toolBar1);
    addFromFolderBtn_->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    toolBar1->addWidget(startBtn_);
    toolBar1->addWidget(stopBtn_);
    toolBar1->addWidget(addFromFolderBtn_);
    delayTrackbar_ = new QSlider(Qt::Horizontal, slideshowGroup_);
    delayTrackbar_->setRange(1, 60);
    delayTrackbar_->setPageStep(1);
    delayTrackbar_->setTickInterval(5);
    delayTrackbar_->setTickPosition(QSlider::TicksBelow);
    delayTrackbar_->setValue(kDefaultSlideDelay);
    slideDelayLabel_ = new QLabel(slideshowGroup_);
    showOnDownload_ = new QCheckBox(slideshowGroup_);
    controls->addWidget(toolBar1);
    controls->addWidget(delayTrackbar_, 1);
    controls->addWidget(slideDelayLabel_);
    controls->addWidget(showOnDownload_);
    groupLayout->addLayout(controls);
    imageFilenames_ = new QTreeWidget(slideshowGroup_);
    imageFilenames_->setColumnCount(2);
    imageFilenames_->setRootIsDecorated(false);
    imageFilenames_->setUniformRowHeights(true);
    imageFilenames_->setSelectionMode(QAbstractItemView::SingleSelection);
    imageFilenames_->setSelectionBehavior(QAbstractItemView::SelectRows);
    imageFilenames_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    imageFilenames_->header()->setSectionsClickable(false);
    imageFilenames_->setColumnWidth(0, 90);
    imageFilenames_->header()->setStretchLastSection(true);
    imageFilenames_->installEventFilter(this);
    groupLayout->addWidget(imageFilenames_, 1);
    panelLayout->addWidget(slideshowGroup_);
    splitter1_->addWidget(slideshowPanel_);
    splitter1_->setStretchFactor(0, 1);
    splitter1_->setStretchFactor(1, 0);

    slideTimer_ = new QTimer(this);
    slideTimer_->setInterval(500);

    connect(goBtn_, &QToolButton::clicked, this, &TIEViewFrame::GoBtnClick);
    connect(addressEdit_, &QLineEdit::returnPressed, this, &TIEViewFrame::GoBtnClick);
    connect(browseBtn_, &QToolButton::clicked, this, &TIEViewFrame::BrowseBtnClick);
    connect(showSlidePanelBtn_, &QToolButton::clicked, this, &TIEViewFrame::ShowSlidePanelBtnClick);
    connect(startBtn_, &QToolButton::clicked, this, &TIEViewFrame::StartBtnClick);
    connect(stopBtn_, &QToolButton::clicked, this, &TIEViewFrame::StopBtnClick);
    connect(addFromFolderBtn_, &QToolButton::clicked, this, &TIEViewFrame::AddFromFolderBtnClick);
    connect(delayTrackbar_, &QSlider::valueChanged, this, &TIEViewFrame::DelayTrackbarChange);
    connect(showOnDownload_, &QCheckBox::toggled, this, &TIEViewFrame::ShowOnDownloadClick);
    connect(imageFilenames_, &QTreeWidget::itemDoubleClicked, this, [this] { ShowSelectedImage(); });
    connect(slideTimer_, &QTimer::timeout, this, &TIEViewFrame::OnSlideTimer);
    UpdateLanguageLabels();
}

TIEViewFrame::~TIEViewFrame()
{
    slideTimer_->stop();
}

void TIEViewFrame::Initialize(TSpiderOutputSplitterForm* splitter)
{
    loading_ = false;
    folderLoadDepth_ = 0;
    lastSlideTick_ = 0;
    pumpingMessages_ = false;
    suppressAddressUpdate_ = false;
    RegisterForSpiderOutput(splitter);
    LoadSlideshowOptions();
    topPanel_->setMinimumHeight(kMinTopPanelHeight);
}

void TIEViewFrame::RegisterForSpiderOutput(TSpiderOutputSplitterForm* splitter)
{
    bool registered = splitter && splitter->RegisterForSpiderOutput(
                                      kBrowseOutputMask,
                                      [this](const TSpiderOutputMsg& msg, int32_t label) { OnSpiderOutput(msg, label); });
    if (!registered)
        LogEvent(etWarning, "", "RegisterForSpiderOutput", kUnit);
}

void TIEViewFrame::UpdateLanguageLabels()
{
    addressLabel_->setText(QUIString(330));
    goBtn_->setToolTip(QUIString(331));
    browseBtn_->setToolTip(QUIString(333));
    showSlidePanelBtn_->setToolTip(QUIString(334));
    slideshowGroup_->setTitle(QUIString(335));
    showOnDownload_->setText(QUIString(336));
    showOnDownload_->setToolTip(QUIString(336));
    startBtn_->setToolTip(QUIString(227));
    stopBtn_->setToolTip(QUIString(228));
    addFromFolderBtn_->setToolTip(QUIString(338));
    slideDelayLabel_->setText(SlideDelayText());
    imageFilenames_->setHeaderLabels({QUIString(34), QUIString(340)});
    ApplyLanguageFont(this);
}

QString TIEViewFrame::SlideDelayText() const
{
    return QReplaceFirst(QUIString(337), "XXX", QString::number(delayTrackbar_->value()));
}

void TIEViewFrame::LoadSlideshowOptions()
{
    loading_ = true;
    try {
        showOnDownload_->setChecked(ReadSettingBool("Slideshow", "ShowDownloadedImages", false));
        int delay = ReadSettingInteger("Slideshow", "SlideDelay", kDefaultSlideDelay);
        if (delay < delayTrackbar_->minimum() || delay > delayTrackbar_->maximum())
            delay = kDefaultSlideDelay;
        delayTrackbar_->setValue(delay);
        minSlideWidth_ = GetMinSlideWidth();
        minSlideHeight_ = GetMinSlideHeight();
        shrinkLarge_ = GetShrinkLarge();
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "LoadSlideshowOptions", kUnit);
    }
    loading_ = false;
}

void TIEViewFrame::SaveSlideshowOptions()
{
    WriteSettingBool("Slideshow", "ShowDownloadedImages", showOnDownload_->isChecked());
    WriteSettingInteger("Slideshow", "SlideDelay", delayTrackbar_->value());
}

void TIEViewFrame::DelayTrackbarChange(int)
{
    slideDelayLabel_->setText(SlideDelayText());
    if (!loading_)
        SaveSlideshowOptions();
}

void TIEViewFrame::ShowOnDownloadClick()
{
    if (!loading_)
        SaveSlideshowOptions();
    if (showOnDownload_->isChecked() && !slideTimer_->isActive())
        StartBtnClick();
}

void TIEViewFrame::OnSpiderOutput(const TSpiderOutputMsg& msg, int32_t)
{
    try {
        switch (msg.FMsgType) {
        case OUTMSG_JOB_STARTED:
            addFromFolderBtn_->setEnabled(false);
            break;
        case OUTMSG_JOB_ENDED:
            addFromFolderBtn_->setEnabled(true);
            break;
        case OUTMSG_DOWNLOAD_ENDED:
            AddDownloadedImage(msg);
            break;
        default:
            break;
        }
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "OnSpiderOutput", kUnit);
    }
}

bool TIEViewFrame::ImageListFull() const
{
    return imageFilenames_->topLevelItemCount() >= kMaxSlideshowImages;
}

void TIEViewFrame::AddDownloadedImage(const TSpiderOutputMsg& msg)
{
    if (!showOnDownload_->isChecked() || ImageListFull())
        return;
    const std::string& file = msg.FDownload.FLocalFile;
    if (!SafeFileExists(file))
        return;
    if (IsImageExtension(file) && !IsImageTooSmall(file))
        AddImageRow(file);
}

void TIEViewFrame::AddImageRow(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    auto* item = new QTreeWidgetItem(imageFilenames_);
    item->setText(0, QStr(name));
    item->setText(1, QStr(folder));
}

bool TIEViewFrame::IsImageTooSmall(const std::string& path) const
{
    if (minSlideHeight_ <= 0 && minSlideWidth_ <= 0)
        return false;
    int height = 0, width = 0;
    if (!GetImageSize(path, height, width))
        return false;
    return height < minSlideHeight_ || width < minSlideWidth_;
}

std::string TIEViewFrame::RowPath(int row) const
{
    QTreeWidgetItem* item = imageFilenames_->topLevelItem(row);
    return item ? StdStr(item->text(1) + item->text(0)) : std::string();
}

int TIEViewFrame::SelectedRow() const
{
    const QModelIndexList rows = imageFilenames_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TIEViewFrame::SelectRow(int row)
{
    if (QTreeWidgetItem* item = imageFilenames_->topLevelItem(row))
        imageFilenames_->setCurrentItem(item);
    else
        imageFilenames_->clearSelection();
}

void TIEViewFrame::ShowSelectedImage()
{
    const int row = SelectedRow();
    if (row < 0)
        return;
    const std::string path = RowPath(row);
    if (SafeFileExists(path))
        ShowAndLoadInBrowser(path);
    QTreeWidgetItem* item = imageFilenames_->topLevelItem(row);
    imageFilenames_->scrollToItem(item);
    imageFilenames_->setCurrentItem(item);
}

void TIEViewFrame::NextSlide()
{
    const int count = imageFilenames_->topLevelItemCount();
    if (count > 0) {
        const int row = SelectedRow();
        SelectRow(row < 0 || row >= count - 1 ? 0 : row + 1);
        ShowSelectedImage();
    }
    lastSlideTick_ = TickCount();
}

void TIEViewFrame::PreviousSlide()
{
    const int count = imageFilenames_->topLevelItemCount();
    if (count > 0) {
        const int row = SelectedRow();
        SelectRow(row <= 0 ? count - 1 : row - 1);
        ShowSelectedImage();
    }
    lastSlideTick_ = TickCount();
}

void TIEViewFrame::FocusImageList()
{
    if (slideshowPanel_->isVisible() && imageFilenames_->topLevelItemCount() > 0 && imageFilenames_->isEnabled() &&
        imageFilenames_->focusPolicy() != Qt::NoFocus)
        imageFilenames_->setFocus();
}

bool TIEViewFrame::SlideshowRunning() const
{
    return slideTimer_->isActive();
}

void TIEViewFrame::StartBtnClick()
{
    slideTimer_->start();
    startBtn_->setEnabled(false);
    stopBtn_->setEnabled(true);
}

void TIEViewFrame::StopBtnClick()
{
    slideTimer_->stop();
    startBtn_->setEnabled(true);
    stopBtn_->setEnabled(false);
}

int64_t TIEViewFrame::TickCount()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void TIEViewFrame::OnSlideTimer()
{
    if (folderLoadDepth_ > 0 || pumpingMessages_)
        return;
    if (TickCount() >= lastSlideTick_ + int64_t(delayTrackbar_->value()) * 1000)
        NextSlide();
}

void TIEViewFrame::PumpMessages()
{
    pumpingMessages_ = true;
    QCoreApplication::processEvents();
    pumpingMessages_ = false;
}

void TIEViewFrame::AddFromFolderBtnClick()
{
    if (folderLoadDepth_ >= 1 || pumpingMessages_ || !addFromFolderBtn_->isEnabled())
        return;
    const QString folder = QFileDialog::getExistingDirectory(this, QUIString(339));
    if (folder.isEmpty())
        return;
    imageFilenames_->clear();
    AddImagesFromFolder(StdStr(folder));
}

void TIEViewFrame::AddImagesFromFolder(const std::string& folder)
{
    LoadImageEntries("AddImagesFromFolder", [&] {
        QDirIterator entries(QStr(folder), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
        while (!ImageListFull() && entries.hasNext()) {
            entries.next();
            const QFileInfo info = entries.fileInfo();
            const std::string path =
                folder + (folder.empty() || folder.back() != '/' ? "/" : "") + StdStr(info.fileName());
            // A link to a folder is not followed: it may lead back up the tree.
            AddImageEntry(path, info.isDir(), !info.isSymLink());
        }
    });
}

void TIEViewFrame::AddDroppedFiles(const QStringList& paths)
{
    if (!addFromFolderBtn_->isEnabled())
        return;
    LoadImageEntries("AddDroppedFiles", [&] {
        for (const QString& dropped : paths) {
            if (ImageListFull())
                break;
            QString trimmed = dropped;
            while (trimmed.size() > 1 && trimmed.endsWith('/'))
                trimmed.chop(1);
            AddImageEntry(StdStr(trimmed), QFileInfo(trimmed).isDir(), true);
        }
    });
}

void TIEViewFrame::LoadImageEntries(const char* caller, const std::function<void()>& addEntries)
{
    std::unique_ptr<TListLoadGuard> guard;
    if (folderLoadDepth_ == 0) {
        guard = std::make_unique<TListLoadGuard>(imageFilenames_);
        loadEntryCount_ = 0;
    }
    ++folderLoadDepth_;
    try {
        addEntries();
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), caller, kUnit);
    }
    --folderLoadDepth_;
}

void TIEViewFrame::AddImageEntry(const std::string& path, bool isFolder, bool searchFolder)
{
    if (isFolder) {
        if (searchFolder)
            AddImagesFromFolder(path);
    } else if (IsImageExtension(path) && !IsImageTooSmall(path)) {
        AddImageRow(path);
    }
    if (++loadEntryCount_ % kPumpEvery == 0)
        PumpMessages();
}

void TIEViewFrame::EnsureBrowser()
{
    if (browser_)
        return;
    browser_ = new QWebEngineView(browserHolder_);
    browser_->setPage(new TViewerPage(browser_, [this](const QUrl& url) { OnRefusedLink(url); }));
    QWebEngineSettings* settings = browser_->settings();
    settings->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    connect(browser_, &QWebEngineView::loadStarted, this, [this] { loadingDocument_ = true; });
    // A refused link leaves the page as it was; the note goes once another page is shown.
    connect(browser_, &QWebEngineView::urlChanged, messageBar_, &QLabel::hide);
    connect(browser_, &QWebEngineView::loadFinished, this, &TIEViewFrame::IEBDocumentComplete);
    browserHolder_->layout()->addWidget(browser_);
    // Shown and sized now, not at the next layout pass: the first image is measured against it.
    browser_->show();
    topPanel_->layout()->activate();
    browserHolder_->layout()->activate();
}

void TIEViewFrame::ShowAndLoadInBrowser(const std::string& address)
{
    try {
        EnsureBrowser();
        messageBar_->hide();
        int height = 0, width = 0;
        if (shrinkLarge_ && IsImageExtension(address) && GetImageSize(address, height, width)) {
            int newWidth = 0, newHeight = 0;
            if (ShrunkImageSize(width, height, browser_->width(), browser_->height(), newWidth, newHeight)) {
                // The view would decode a very large image at full size: it gets a scaled copy.
                std::string shown = address;
                if (int64_t(width) * height > kMaxFullDecodePixels)
                    shown = ScaledImageFile(address, newWidth, newHeight);
                if (!shown.empty()) {
                    LoadHTMLIntoBrowser(BuildImagePage(shown, newWidth, newHeight), address);
                    return;
                }
            }
        }
        browser_->load(AddressToUrl(address));
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "ShowAndLoadInBrowser", kUnit);
    }
}

std::string TIEViewFrame::ScaledImageFile(const std::string& path, int width, int height)
{
    if (!scaledImages_)
        scaledImages_ = std::make_unique<QTemporaryDir>();
    if (!scaledImages_->isValid())
        return std::string();
    // A new name for each copy, so the view never shows an older one from its cache; the one
    // before is removed.
    const std::string folder = StdStr(scaledImages_->path());
    if (scaledImageCount_ > 0)
        QFile::remove(QStr(folder + "/slide" + std::to_string(scaledImageCount_) + ".png"));
    const std::string target = folder + "/slide" + std::to_string(++scaledImageCount_) + ".png";
    if (!WriteScaledImage(path, width, height, target)) {
        LogEvent(etWarning, "Cannot scale " + path, "ShowAndLoadInBrowser", kUnit);
        return std::string();
    }
    return target;
}

void TIEViewFrame::LoadHTMLIntoBrowser(const std::string& html, const std::string& baseFile)
{
    addressEdit_->clear();
    suppressAddressUpdate_ = true;
    // The page counts as the image's folder, so it may show the local file and nothing remote.
    browser_->setHtml(QStr(html + "\r\n"), QUrl::fromLocalFile(QFileInfo(QStr(baseFile)).absoluteFilePath()));
}

void TIEViewFrame::IEBDocumentComplete(bool)
{
    loadingDocument_ = false;
    if (!suppressAddressUpdate_)
        addressEdit_->setText(AddressText(browser_->url()));
    suppressAddressUpdate_ = false;
    if (slideTimer_->isActive()) {
        FocusImageList();
        lastSlideTick_ = TickCount();
    }
    emit DocumentComplete();
}

void TIEViewFrame::OnRefusedLink(const QUrl& address)
{
    messageBar_->setText("Not copied, so not shown here: " + address.toDisplayString());
    messageBar_->show();
}

void TIEViewFrame::GoBtnClick()
{
    const QString text = addressEdit_->text().trimmed();
    addressEdit_->setText(text);
    if (!text.isEmpty())
        ShowAndLoadInBrowser(StdStr(text));
}

void TIEViewFrame::BrowseBtnClick()
{
    const QString file = QFileDialog::getOpenFileName(this);
    if (file.isEmpty())
        return;
    addressEdit_->setText(file);
    GoBtnClick();
}

void TIEViewFrame::ClearLogEntriesMenu()
{
    logEntriesMenu_->clear();
}

void TIEViewFrame::RefreshLogEntriesMenu(const QStringList& files)
{
    ClearLogEntriesMenu();
    const int count = std::min<int>(files.size(), kMaxLogEntryMenuItems);
    for (int i = 0; i < count; ++i) {
        const QString entry = files[i];
        if (entry.isEmpty() || !QFileInfo(entry).isFile())
            continue;
        // "&" would be taken for a shortcut mark; the entry itself travels as data.
        QAction* action = logEntriesMenu_->addAction(QString(entry).replace('&', "&&"));
        action->setObjectName("MenuItem" + QString::number(i));
        action->setData(entry);
        connect(action, &QAction::triggered, this, [this, entry] { LogEntryClick(entry); });
    }
    if (files.size() > kMaxLogEntryMenuItems)
        LogEvent(etMessage, "Ignored log entries.", "RefreshLogEntriesMenu", kUnit);
}

void TIEViewFrame::LogEntryClick(const QString& entry)
{
    addressEdit_->setText(entry);
    GoBtnClick();
}

void TIEViewFrame::ShowSlidePanelBtnClick()
{
    slideshowPanel_->setVisible(showSlidePanelBtn_->isChecked());
    FocusImageList();
}

bool TIEViewFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == imageFilenames_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier)
            return ImageFilenamesKeyDown(key->key());
    }
    return QFrame::eventFilter(watched, event);
}

bool TIEViewFrame::ImageFilenamesKeyDown(int key)
{
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        ShowSelectedImage();
        return true;
    case Qt::Key_Space:
        if (slideTimer_->isActive())
            StopBtnClick();
        else
            StartBtnClick();
        return true;
    case Qt::Key_Left:
        PreviousSlide();
        StopBtnClick();
        return true;
    case Qt::Key_Right:
        NextSlide();
        return true;
    case Qt::Key_Delete:
        DeleteSelectedRow();
        return true;
    default:
        return false;
    }
}

void TIEViewFrame::DeleteSelectedRow()
{
    const int row = SelectedRow();
    if (row < 0)
        return;
    std::unique_ptr<QTreeWidgetItem> removed(imageFilenames_->takeTopLevelItem(row));
    SelectRow(row);
}
