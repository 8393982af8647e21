#include "ui/intake/RegisterFileType.h"

#include "engine/services/SavedOptions.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace {

const char* const kMimeType = "application/x-gleanery-job";
const char* const kOwnMark = "X-Gleanery-JobFile=true";

bool WriteFileAtomically(const std::string& path, const std::string& text)
{
    if (!QDir().mkpath(QFileInfo(QString::fromStdString(path)).absolutePath()))
        return false;
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(text.data(), static_cast<qint64>(text.size()));
    return file.commit();
}

// One argument of a desktop Exec value, quoted, then escaped as a desktop string value.
std::string ExecArgument(const std::string& arg)
{
    std::string quoted = "\"";
    for (char c : arg) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    std::string escaped;
    for (char c : quoted) {
        if (c == '\\')
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

// Strips control characters that would end or break a desktop entry line.
std::string OneLine(const std::string& text)
{
    std::string out;
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x20)
            out += c;
    return out;
}

void NotifyDesktop(const std::string& dataHome)
{
    const QString mime = QStandardPaths::findExecutable("update-mime-database");
    if (!mime.isEmpty())
        QProcess::execute(mime, {QString::fromStdString(dataHome + "/mime")});
    const QString desktop = QStandardPaths::findExecutable("update-desktop-database");
    if (!desktop.isEmpty())
        QProcess::execute(desktop, {QString::fromStdString(dataHome + "/applications")});
}

bool HasExactParam(const QStringList& params, const char* param)
{
    for (const QString& p : params)
        if (p == QLatin1String(param))
            return true;
    return false;
}

std::string WithoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

}  // namespace

std::string UserDataHome()
{
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/')
        return WithoutTrailingSlashes(xdg);
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return WithoutTrailingSlashes(home) + "/.local/share";
    return std::string();
}

std::string JobFileMimePath(const std::string& dataHome)
{
    return dataHome + "/mime/packages/gleanery-jobfile.xml";
}

std::string JobFileDesktopPath(const std::string& dataHome)
{
    return dataHome + "/applications/gleanery-jobfile.desktop";
}

bool RegisterJobFileType(bool withQueueVerb, const std::string& programPath, const std::string& dataHome,
                         bool notifyDesktop)
{
    if (dataHome.empty())
        return false;
    const std::string mime = std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                         "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
                                         "  <mime-type type=\"") +
                             kMimeType +
                             "\">\n"
                             "    <comment>Gleanery Job File</comment>\n"
                             "    <glob pattern=\"*.gcj\"/>\n"
                             "  </mime-type>\n"
                             "</mime-info>\n";
    const std::string program = ExecArgument(OneLine(programPath));
    const std::string editCommand = program + " /edit %f";
    std::string desktop = "[Desktop Entry]\nType=Application\nName=Gleanery Job File\nNoDisplay=true\n";
    desktop += "Exec=" + editCommand + "\n";
    desktop += std::string("MimeType=") + kMimeType + ";\n";
    desktop += withQueueVerb ? "Actions=edit;queue;\n" : "Actions=edit;\n";
    desktop += std::string(kOwnMark) + "\n\n";
    desktop += "[Desktop Action edit]\nName=Edit\nExec=" + editCommand + "\n";
    if (withQueueVerb)
        desktop += "\n[Desktop Action queue]\nName=Add to Queue\nExec=" + program + " %f\n";
    bool ok = WriteFileAtomically(JobFileMimePath(dataHome), mime);
    ok = WriteFileAtomically(JobFileDesktopPath(dataHome), desktop) && ok;
    if (notifyDesktop)
        NotifyDesktop(dataHome);
    return ok;
}

void UnregisterJobFileType(const std::string& dataHome, bool notifyDesktop)
{
    if (dataHome.empty())
        return;
    const std::string path = JobFileDesktopPath(dataHome);
    QFile file(QString::fromStdString(path));
    struct stat st {};
    // Only a regular file that we wrote ourselves.
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || !file.open(QIODevice::ReadOnly))
        return;
    const bool ours = file.read(64 * 1024).contains(kOwnMark);
    file.close();
    if (ours)
        ::unlink(path.c_str());
    if (notifyDesktop)
        NotifyDesktop(dataHome);
}

bool DeleteFolderTree(const std::string& folder)
{
    const std::string base = WithoutTrailingSlashes(folder);
    if (base.empty() || base == "/")
        return false;
    struct stat st {};
    if (::lstat(base.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    DIR* dir = ::opendir(base.c_str());
    if (!dir)
        return false;
    bool ok = true;
    while (ok) {
        const dirent* entry = ::readdir(dir);
        if (!entry)
            break;
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        const std::string path = base + "/" + name;
        struct stat child {};
        if (::lstat(path.c_str(), &child) != 0)
            ok = false;
        else if (S_ISDIR(child.st_mode))
            ok = DeleteFolderTree(path);
        else
            ok = ::unlink(path.c_str()) == 0;
    }
    ::closedir(dir);
    return ok && ::rmdir(base.c_str()) == 0;
}

bool DeleteDataFolder(const std::string& dataFolder, bool persistent, const std::string& dataHome)
{
    if (!persistent || dataFolder.empty() || dataHome.empty())
        return false;
    if (WithoutTrailingSlashes(dataFolder) != dataHome + "/Gleanery")
        return false;
    return DeleteFolderTree(dataFolder);
}

bool HandleRunOnce(const QStringList& params, const std::string& programPath)
{
    if (!HasExactParam(params, "/runonce"))
        return false;
    RegisterJobFileType(true, programPath);
    return true;
}

bool HandleUninstall(const QStringList& params)
{
    if (!HasExactParam(params, "/uninstall"))
        return false;
    UnregisterJobFileType();
    DeleteDataFolder(GetDataFolder(), IsDataFolderPersistent());
    return true;
}
