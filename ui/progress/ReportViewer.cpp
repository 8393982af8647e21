#include "ui/progress/ReportViewer.h"

#include "engine/services/AppTraceLog.h"
#include "engine/services/LanguageStrings.h"
#include "engine/services/ThreadSafeFileOps.h"
#include "platform/ErrorCodes.h"
#include "ui/progress/CopyProgressRpt.h"
#include "ui/progress/ReportPrinting.h"
#include "ui/common/MessageBoxes.h"
#include "ui/common/UISettings.h"
#include "ui/common/UIStrings.h"
#include "ui/common/WaitCursor.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScreen>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <vector>

#include <unistd.h>

namespace {

const char* const kUnit = "ReportViewer";

}  // namespace

void DeleteFolderAndContents(const std::string& folder)
{
    namespace fs = std::filesystem;
    try {
        std::error_code ec;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
            std::error_code typeError;
            if (!entry.is_regular_file(typeError) && !entry.is_symlink(typeError))
                continue;
            if (!SafeDeleteFile(entry.path().string()))
                LogAPIError("DeleteFile " + entry.path().string(), "DeleteFolderAndContents", kUnit);
        }
        if (!fs::exists(folder, ec))
            return;
        if (!fs::remove(folder, ec) || ec) {
            SetLastErrorFromErrno(ec.value());
            LogAPIError("RemoveDirectory " + folder, "DeleteFolderAndContents", kUnit);
        }
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "DeleteFolderAndContents", kUnit);
    }
}

std::vector<std::string> PlainFileNames(const std::string& folder)
{
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
        std::error_code typeError;
        if (entry.is_regular_file(typeError))
            names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> ExistingNames(const std::vector<std::string>& names, const std::string& target)
{
    std::vector<std::string> existing;
    for (const std::string& name : names) {
        std::error_code ec;
        if (std::filesystem::symlink_status(target + "/" + name, ec).type() != std::filesystem::file_type::not_found)
            existing.push_back(name);
    }
    return existing;
}

namespace {

// Copies from to a new file beside to that no other name holds; its path, empty on failure
// (the last error is set and nothing is left behind).
std::string CopyToNewFileBeside(const std::filesystem::path& from, const std::string& to)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string staged = to + ".part" + (attempt ? std::to_string(attempt) : std::string());
        // Without overwrite_existing the copy never replaces what is there.
        if (fs::copy_file(from, staged, fs::copy_options::none, ec))
            return staged;
        if (ec != std::errc::file_exists)
            break;
    }
    SetLastErrorFromErrno(ec.value());
    return std::string();
}

}  // namespace

std::string CopyFolderContents(const std::string& source, const std::string& target)
{
    // Every file is copied whole beside its place first; only then do the copies take their
    // names, so a failure to copy (a read-only folder, a full disk) leaves nothing behind.
    std::vector<std::pair<std::string, std::string>> staged;  // copy, final name
    auto discardStaged = [&staged] {
        for (const auto& [copy, name] : staged)
            ::unlink(copy.c_str());
        staged.clear();
    };
    try {
        const std::vector<std::string> names = PlainFileNames(source);
        // A folder of a file's name could not be replaced: found before anything is written.
        for (const std::string& name : names) {
            std::error_code ec;
            if (std::filesystem::is_directory(std::filesystem::symlink_status(target + "/" + name, ec))) {
                SetLastErrorCode(errc::AlreadyExists);
                LogAPIError("CopyFile " + source + "/" + name + " " + target + "/" + name, "CopyFolderContents",
                            kUnit);
                return target + "/" + name + ": " + GetLastErrorText();
            }
        }
        for (const std::string& name : names) {
            const std::string from = source + "/" + name;
            const std::string to = target + "/" + name;
            std::string copy = CopyToNewFileBeside(from, to);
            if (copy.empty()) {
                const std::string error = GetLastErrorText();
                LogAPIError("CopyFile " + from + " " + to, "CopyFolderContents", kUnit);
                discardStaged();
                return error;
            }
            staged.emplace_back(std::move(copy), to);
        }
        for (size_t i = 0; i < staged.size(); ++i) {
            if (::rename(staged[i].first.c_str(), staged[i].second.c_str()) == 0)
                continue;
            SetLastErrorFromErrno(errno);
            const std::string error = GetLastErrorText();
            LogAPIError("MoveFile " + staged[i].first + " " + staged[i].second, "CopyFolderContents", kUnit);
            staged.erase(staged.begin(), staged.begin() + static_cast<std::ptrdiff_t>(i));
            discardStaged();
            return error;
        }
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "CopyFolderContents", kUnit);
        discardStaged();
        return e.what();
    }
    return std::string();
}

QString ReportOverwriteQuestion(const std::vector<std::string>& existing, const std::string& target)
{
    if (existing.size() == 1)
        return QStr(target + "/" + existing.front()) + " already exists.\nDo you want to replace it?";
    constexpr size_t kMostNames = 10;
    QString text = QString("%1 files of the report already exist in %2:\n").arg(existing.size()).arg(QStr(target));
    for (size_t i = 0; i < existing.size() && i < kMostNames; ++i)
        text += QStr(existing[i]) + "\n";
    if (existing.size() > kMostNames)
        text += "...\n";
    return text + "Do you want to replace them?";
}

QRect PlaceReportWindow(const QSize& frameSize, const QRect& ownerFrame, const QRect& available)
{
    QRect r(QPoint(0, 0), frameSize);
    r.moveCenter(ownerFrame.center());
    if (!available.isValid())
        return r;
    r.setWidth(std::min(r.width(), available.width()));
    r.setHeight(std::min(r.height(), available.height()));
    r.moveLeft(std::clamp(r.left(), available.left(), available.right() + 1 - r.width()));
    r.moveTop(std::clamp(r.top(), available.top(), available.bottom() + 1 - r.height()));
    return r;
}

TReportViewForm::TReportViewForm(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setMinimumSize(431, 246);
    resize(760, 560);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* toolBar = new QToolBar(this);
    toolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    auto addButton = [&](QStyle::StandardPixmap icon, void (TReportViewForm::*handler)()) {
        auto* button = new QToolButton(toolBar);
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setIcon(style()->standardIcon(icon));
        button->setMinimumSize(93, 39);
        connect(button, &QToolButton::clicked, this, handler);
        toolBar->addWidget(button);
        return button;
    };
    saveButton_ = addButton(QStyle::SP_DialogSaveButton, &TReportViewForm::SaveButtonClick);
    pageSetupButton_ = addButton(QStyle::SP_FileDialogDetailedView, &TReportViewForm::PageSetupButtonClick);
    printPreviewButton_ = addButton(QStyle::SP_FileDialogContentsView, &TReportViewForm::PrintPreviewButtonClick);
    printButton_ = addButton(QStyle::SP_ComputerIcon, &TReportViewForm::PrintButtonClick);
    layout->addWidget(toolBar);

    webBrowser_ = new QWebEngineView(this);
    QWebEngineSettings* settings = webBrowser_->settings();
    settings->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings->setDefaultTextEncoding("utf-8");
    connect(webBrowser_, &QWebEngineView::loadStarted, this, [this] { loading_ = true; });
    connect(webBrowser_, &QWebEngineView::loadFinished, this, [this](bool) {
        loading_ = false;
        loadingCursor_.reset();
    });
    layout->addWidget(webBrowser_, 1);
    UpdateLanguageLabels();
}

TReportViewForm::~TReportViewForm()
{
    if (!reportLoaded_)
        return;
    if (loading_) {
        // Stop the load so the files can go; nothing else will remove them.
        webBrowser_->stop();
        LogEvent(etWarning, "Report deleted while loading", "FormDestroy", kUnit);
    }
    DeleteFolderAndContents(reportFolder_);
    reportLoaded_ = false;
}

void TReportViewForm::PlaceOn(const QWidget* owner)
{
    const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect();
    const QRect ownerFrame = owner ? owner->frameGeometry() : available;
    // Before it is first shown the window has no frame yet: the owner's tells its size.
    QMargins frame(0, 0, 0, 0);
    if (isVisible())
        frame = QMargins(geometry().left() - frameGeometry().left(), geometry().top() - frameGeometry().top(),
                         frameGeometry().right() - geometry().right(),
                         frameGeometry().bottom() - geometry().bottom());
    else if (owner && owner->isVisible())
        frame = QMargins(owner->geometry().left() - ownerFrame.left(), owner->geometry().top() - ownerFrame.top(),
                         ownerFrame.right() - owner->geometry().right(),
                         ownerFrame.bottom() - owner->geometry().bottom());
    const QSize frameSize = size().grownBy(frame);
    const QRect placed = PlaceReportWindow(frameSize, ownerFrame, available);
    resize(placed.size().shrunkBy(frame).expandedTo(minimumSize()));
    move(placed.topLeft());
}

void TReportViewForm::UpdateLanguageLabels()
{
    setWindowTitle(QUIString(372));
    saveButton_->setText(QUIString(373).remove('&'));
    pageSetupButton_->setText(QUIString(374));
    printPreviewButton_->setText(QUIString(375));
    printButton_->setText(QUIString(376).remove('&'));
    ApplyLanguageFont(this);
}

void TReportViewForm::CreateAndDisplayReport(const TJobResultsReportData& data)
{
    TWaitCursor wait;
    try {
        if (reportFolder_.empty())
            reportFolder_ = UIDataFolder() + "Report";
        if (loading_)
            throw std::runtime_error("Previous report load incomplete");
        // The folder is emptied of whatever an earlier report (or run) left there.
        DeleteFolderAndContents(reportFolder_);
        reportLoaded_ = false;
        printDocument_.reset();
        SafeForceDirectories(reportFolder_);
        if (data.CreateJobResultsReport(reportFolder_, reportPath_)) {
            saveFolderDefault_ = data.Job.GetDestinationPath();
            loading_ = true;
            // The first report also starts the web engine: seconds without a sign of work.
            loadingCursor_.emplace();
            webBrowser_->load(QUrl::fromLocalFile(QString::fromStdString(reportPath_)));
            reportLoaded_ = true;
            show();
            raise();
        } else {
            ShowMessageBox(this, QUIString(371) + "\r\n" + QStr(reportPath_), QUIString(371), TBoxIcon::Warning);
        }
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "CreateAndDisplayReport", kUnit);
    }
}

void TReportViewForm::SaveButtonClick()
{
    QString folder = QFileDialog::getExistingDirectory(this, QUIString(72), QStr(saveFolderDefault_));
    if (folder.isEmpty())
        return;
    while (folder.size() > 1 && folder.endsWith('/'))
        folder.chop(1);
    if (SaveReportTo(StdStr(folder)))
        ShowMessageBox(this,
                       QStringLiteral("The report was saved as:\n%1")
                           .arg(QDir(folder).filePath(QFileInfo(QStr(reportPath_)).fileName())),
                       windowTitle(), TBoxIcon::Information);
}

bool TReportViewForm::SaveReportTo(const std::string& folder)
{
    if (reportFolder_.empty() || !reportLoaded_)
        return false;
    // One question for the report and its images together.
    const std::vector<std::string> existing = ExistingNames(PlainFileNames(reportFolder_), folder);
    if (!existing.empty() &&
        !ShowMessageBox(this, ReportOverwriteQuestion(existing, folder), windowTitle(), TBoxIcon::Question, true))
        return false;
    const std::string error = CopyFolderContents(reportFolder_, folder);
    if (error.empty())
        return true;
    ShowMessageBox(this, QStr("The report was not saved in " + folder + ":\n" + error), windowTitle(),
                   TBoxIcon::Error);
    return false;
}

bool TReportViewForm::HasDocument() const
{
    return reportLoaded_ && !webBrowser_->url().isEmpty();
}

const TReportPrintDocument& TReportViewForm::PrintDocument()
{
    const QString path = QStr(reportPath_);
    if (!printDocument_ || printDocument_->Path() != path) {
        TWaitCursor wait;
        printDocument_ = std::make_unique<TReportPrintDocument>();
        if (!printDocument_->Load(path))
            throw std::runtime_error("Cannot read " + reportPath_);
    }
    return *printDocument_;
}

void TReportViewForm::WBPrintWithDialog()
{
    if (!printer_)
        printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    QPrintDialog dialog(printer_.get(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const TReportPrintDocument& document = PrintDocument();
    TWaitCursor wait;
    if (!document.Print(printer_.get()))
        throw std::runtime_error("Printing failed");
}

void TReportViewForm::WBPrintPreview()
{
    if (!printer_)
        printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    const TReportPrintDocument& document = PrintDocument();
    QPrintPreviewDialog dialog(printer_.get(), this);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [&document](QPrinter* printer) {
        TWaitCursor wait;
        document.Print(printer);
    });
    dialog.exec();
}

void TReportViewForm::WBPrintPageSetup()
{
    if (!printer_)
        printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    QPageSetupDialog dialog(printer_.get(), this);
    dialog.exec();
}

void TReportViewForm::RunPrintCommand(void (TReportViewForm::*command)(), const char* routine)
{
    if (!HasDocument())
        return;
    try {
        (this->*command)();
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), routine, kUnit);
    }
}

void TReportViewForm::PrintButtonClick()
{
    RunPrintCommand(&TReportViewForm::WBPrintWithDialog, "WBPrintWithDialog");
}

void TReportViewForm::PrintPreviewButtonClick()
{
    RunPrintCommand(&TReportViewForm::WBPrintPreview, "WBPrintPreview");
}

void TReportViewForm::PageSetupButtonClick()
{
    RunPrintCommand(&TReportViewForm::WBPrintPageSetup, "WBPrintPageSetup");
}
