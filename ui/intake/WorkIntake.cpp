#include "ui/intake/WorkIntake.h"

#include "engine/services/AppTraceLog.h"
#include "engine/services/SavedOptions.h"
#include "engine/job/URLType.h"
#include "platform/IniFile.h"
#include "ui/browse/IEView.h"
#include "ui/queue/JobQueue.h"
#include "ui/main/Main.h"
#include "ui/common/MessageBoxes.h"
#include "ui/preferences/PreferenceGetters.h"
#include "ui/preferences/PreferencesAutomation.h"
#include "ui/intake/ScrapeURL.h"
#include "ui/common/Speech.h"
#include "ui/start/Start.h"
#include "ui/common/UIStrings.h"
#include "ui/common/WaitCursor.h"

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

namespace {

const char* const kUnit = "Main";

bool IsBlankOrControl(char c)
{
    return static_cast<unsigned char>(c) <= ' ';
}

bool IsDroppableScheme(const QString& scheme)
{
    return scheme.compare("http", Qt::CaseInsensitive) == 0 || scheme.compare("https", Qt::CaseInsensitive) == 0 ||
           scheme.compare("ftp", Qt::CaseInsensitive) == 0;
}

// The addresses of text/x-moz-url: an address line, then a title line, for each link; written
// in UTF-16 by the browsers that offer it, in UTF-8 by some others.
QList<QUrl> MozillaLinksOf(const QByteArray& bytes)
{
    QString text;
    if (bytes.size() % 2 == 0 && bytes.contains('\0'))
        text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2);
    else
        text = QString::fromUtf8(bytes);
    text.remove(QChar(0xFEFF));
    text.remove(QChar(0));
    QList<QUrl> links;
    const QStringList lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); i += 2) {
        const QString line = lines[i].trimmed();
        if (!line.isEmpty())
            links.append(QUrl(line));
    }
    return links;
}

}  // namespace

std::vector<TDroppedItem> DroppedItemsOf(const QMimeData* data)
{
    std::vector<TDroppedItem> items;
    if (!data)
        return items;
    const QList<QUrl> urls =
        data->hasUrls() ? data->urls()
        : data->hasFormat("text/x-moz-url") ? MozillaLinksOf(data->data("text/x-moz-url")) : QList<QUrl>();
    for (const QUrl& url : urls) {
        if (url.isLocalFile())
            items.push_back({url.toLocalFile(), false});
        else if (url.isValid() && IsDroppableScheme(url.scheme()))
            items.push_back({url.toString(QUrl::FullyEncoded), true});
    }
    return items;
}

std::vector<TCommandLineStep> PlanCommandLine(const QStringList& params,
                                              const std::function<bool(const QString&)>& isFile)
{
    std::vector<TCommandLineStep> steps;
    if (!params.isEmpty() && params.first().compare("/speak", Qt::CaseInsensitive) == 0) {
        steps.push_back({TCommandLineStep::Speak, params.size() > 1 ? params[1] : QString()});
        return steps;
    }
    int mode = omStart;
    for (const QString& param : params)
        if (param.compare("/edit", Qt::CaseInsensitive) == 0)
            mode = omEdit;
    for (const QString& param : params) {
        const QString trimmed = param.trimmed();
        if (trimmed.isEmpty())
            continue;
        if (isFile(param))
            steps.push_back({TCommandLineStep::OpenFile, param, mode});
        else if (trimmed.startsWith('/'))
            continue;
        else if (!IsValidURL(param.toStdString()))
            steps.push_back({TCommandLineStep::Invalid, param});
        else
            steps.push_back({mode == omStart ? TCommandLineStep::StartAddress : TCommandLineStep::EditAddress, param});
    }
    return steps;
}

std::vector<std::string> CleanURLList(const std::vector<std::string>& lines)
{
    std::vector<std::string> kept;
    for (std::string line : lines) {
        line = line.substr(0, line.find(' '));
        size_t first = 0;
        while (first < line.size() && IsBlankOrControl(line[first]))
            ++first;
        size_t last = line.size();
        while (last > first && IsBlankOrControl(line[last - 1]))
            --last;
        line = line.substr(first, last - first);
        if (IsDownloadableURL(line))
            kept.push_back(std::move(line));
    }
    return kept;
}

std::vector<std::string> SplitTextLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            line += c;
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

std::string ExtractURLFromShortcutFile(const std::string& path)
{
    try {
        TIniFile ini;
        if (!ini.Load(path))
            return std::string();
        return ini.ReadString("InternetShortcut", "URL", "");
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "ExtractURLFromShortcutFile", kUnit);
        return std::string();
    }
}

std::vector<std::string> ExtractURLListFromClipboard()
{
    std::vector<std::string> addresses;
    try {
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        if (data && data->hasText())
            addresses = CleanURLList(SplitTextLines(data->text().toStdString()));
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "ExtractURLListFromClipboard", kUnit);
    }
    return addresses;
}

TWorkIntake::TWorkIntake(TMainForm& form) : QObject(&form), form_(form)
{
    form_.setAcceptDrops(true);
    form_.installEventFilter(this);
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, &TWorkIntake::OnClipboardChanged);
    hotkey_ = new TURLScrapeHotkey(this);
    hotkey_->OnPressed = [this] { OnURLScrapeHotkey(); };
    RegisterURLScrapeHotkey();
}

void TWorkIntake::RegisterURLScrapeHotkey()
{
    UnregisterURLScrapeHotkey();
    const int key = HotkeyToRegister(GetScrapeHotkey());
    if (key != 0 && !hotkey_->Register(key))
        LogAPIError("RegisterHotKey", "RegisterURLScrapeHotkey", kUnit);
}

void TWorkIntake::UnregisterURLScrapeHotkey()
{
    if (hotkey_->IsRegistered() && !hotkey_->Unregister())
        LogAPIError("UnregisterHotKey", "UnregisterURLScrapeHotkey", kUnit);
}

bool TWorkIntake::IsHotkeyRegistered() const
{
    return hotkey_->IsRegistered();
}

void TWorkIntake::OnURLScrapeHotkey()
{
    std::string address, title;
    if (ScrapeBrowserURL(address, title) && IsDownloadableURL(address))
        form_.StartPage()->StartJobForAddress(address, title);
}

void TWorkIntake::ProcessCommandLine()
{
    // Taken first. A hand-off that arrives while a box below is open queues its steps behind
    // the ones still waiting, so jobs are added in the order their starts arrived.
    const QStringList params = form_.TakeCachedParams();
    const auto steps = PlanCommandLine(params, [](const QString& p) { return QFileInfo(p).isFile(); });
    pendingSteps_.insert(pendingSteps_.end(), steps.begin(), steps.end());
    if (workingOffSteps_)
        return;
    workingOffSteps_ = true;
    while (!pendingSteps_.empty()) {
        const TCommandLineStep step = pendingSteps_.front();
        pendingSteps_.pop_front();
        switch (step.kind) {
        case TCommandLineStep::Speak:
            if (!step.param.isEmpty())
                Speak(step.param.toStdString(), true);
            pendingSteps_.clear();
            QMetaObject::invokeMethod(&form_, &QWidget::close, Qt::QueuedConnection);
            break;
        case TCommandLineStep::OpenFile:
            OpenFiles({step.param}, step.mode);
            break;
        case TCommandLineStep::Invalid:
            ShowMessageBox(&form_, step.param, QUIString(268), TBoxIcon::Warning);
            break;
        case TCommandLineStep::StartAddress:
            form_.StartPage()->StartJobForAddress(step.param.toStdString(), "");
            break;
        case TCommandLineStep::EditAddress:
            form_.StartPage()->SetAddressForEdit(step.param.toStdString());
            break;
        }
    }
    workingOffSteps_ = false;
}

void TWorkIntake::OpenFiles(const QStringList& files, int mode)
{
    std::vector<TDroppedItem> items;
    items.reserve(static_cast<size_t>(files.size()));
    for (const QString& file : files)
        items.push_back({file, false});
    OpenItems(items, mode);
}

void TWorkIntake::OpenItems(const std::vector<TDroppedItem>& items, int mode)
{
    // Files dropped on the Browse page are its slides; an address is no file and is passed by,
    // as a shortcut file is.
    if (mode == omDropped && form_.ActivePage() == pgBrowse) {
        QStringList files;
        for (const TDroppedItem& item : items)
            if (!item.address)
                files.append(item.text);
        if (auto* browse = qobject_cast<TIEViewFrame*>(form_.Page(pgBrowse)))
            browse->AddDroppedFiles(files);
        return;
    }
    const bool edit = mode == omEdit || (mode == omDropped && items.size() == 1 && form_.ActivePage() == pgStart);
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i].address) {
            // A run of dropped addresses is queued as one lot, as a list of addresses is.
            size_t end = i + 1;
            while (!edit && end < items.size() && items[end].address)
                ++end;
            if (end - i > 1) {
                std::vector<std::string> addresses;
                addresses.reserve(end - i);
                for (size_t j = i; j < end; ++j)
                    addresses.push_back(items[j].text.toStdString());
                TWaitCursor cursor;
                if (form_.StartPage()->StartJobsForAddresses(addresses) == 1)
                    return;
                i = end - 1;
            } else if (!OpenShortcutAddress(items[i].text.toStdString(), edit)) {
                return;
            }
            continue;
        }
        const QString& file = items[i].text;
        const std::string path = file.toStdString();
        const QString ext = QFileInfo(file).suffix().toLower();
        if (ext == "gcj") {
            if (edit)
                form_.StartPage()->LoadJobFile(path, true, true);
            else if (!form_.JobQueue()->AddJobFile(path))
                return;
        } else if (ext == "url") {
            const std::string address = ExtractURLFromShortcutFile(path);
            if (!address.empty() && !OpenShortcutAddress(address, edit))
                return;
        } else if (ext == "txt" && form_.ActivePage() == pgJobQueue) {
            QFile text(file);
            if (!text.open(QIODevice::ReadOnly))
                continue;
            OpenURLList(CleanURLList(SplitTextLines(text.readAll().toStdString())), omDropped);
        }
    }
}

bool TWorkIntake::OpenShortcutAddress(const std::string& address, bool edit)
{
    if (edit) {
        form_.StartPage()->SetAddressForEdit(address);
        return true;
    }
    return form_.StartPage()->StartJobForAddress(address, "") != 1;
}

void TWorkIntake::OpenURLList(const std::vector<std::string>& addresses, int mode)
{
    if (addresses.size() == 1) {
        if (mode == omDropped) {
            form_.StartPage()->StartJobForAddress(addresses.front(), "");
        } else {
            form_.BringMainToFront(true);
            form_.StartPage()->SetAddressForEdit(addresses.front());
        }
    } else if (addresses.size() > 1 && mode == omDropped) {
        TWaitCursor cursor;
        QCoreApplication::processEvents();
        form_.StartPage()->StartJobsForAddresses(addresses);
    }
}

void TWorkIntake::OnClipboardChanged()
{
    try {
        int mode = 0;
        if (suppressNextClipboardChange_)
            suppressNextClipboardChange_ = false;
        else if (!form_.IsModalDialogShowing() && form_.Created())
            if (TSavedOptions* options = TSavedOptions::Instance())
                mode = options->GetClipboardResponse();
        if (mode == 0)
            return;
        const std::vector<std::string> addresses = ExtractURLListFromClipboard();
        if (addresses.size() == 1) {
            if (addresses.front() == lastSingleClipboardAddress_)
                return;
            lastSingleClipboardAddress_ = addresses.front();
        }
        OpenURLList(addresses, mode);
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "OnDrawClipboard", kUnit);
    }
}

bool TWorkIntake::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &form_) {
        if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (!DroppedItemsOf(drag->mimeData()).empty()) {
                drag->acceptProposedAction();
                return true;
            }
        } else if (event->type() == QEvent::Drop) {
            auto* drop = static_cast<QDropEvent*>(event);
            const std::vector<TDroppedItem> items = DroppedItemsOf(drop->mimeData());
            if (!items.empty()) {
                drop->acceptProposedAction();
                OpenItems(items, omDropped);
                return true;
            }
        }
    }
    return QObject::eventFilter(watched, event);
}
