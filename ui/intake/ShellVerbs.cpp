#include "ui/intake/ShellVerbs.h"

#include "platform/IniFile.h"
#include "platform/TextUtils.h"

#include <QDir>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>
#include <cstdlib>
#include <set>

namespace {

std::string EnvOr(const char* name, const std::string& fallback)
{
    const char* value = std::getenv(name);
    return value && *value ? std::string(value) : fallback;
}

std::string Home()
{
    return EnvOr("HOME", QDir::homePath().toStdString());
}

std::vector<std::string> SplitList(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// Folders that hold applications, most important first.
std::vector<std::string> ApplicationFolders()
{
    std::vector<std::string> folders{EnvOr("XDG_DATA_HOME", Home() + "/.local/share") + "/applications"};
    for (const std::string& dir : SplitList(EnvOr("XDG_DATA_DIRS", "/usr/local/share:/usr/share"), ':'))
        folders.push_back(dir + "/applications");
    return folders;
}

// The value of key in the [groupName] group of a desktop-style file's text.
std::string GroupValue(const std::string& text, const std::string& groupName, const std::string& key)
{
    bool inGroup = false;
    for (std::string line : SplitList(text, '\n')) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line.front() == '[') {
            inGroup = line == "[" + groupName + "]";
            continue;
        }
        if (!inGroup)
            continue;
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string name = line.substr(0, eq);
        while (!name.empty() && name.back() == ' ')
            name.pop_back();
        if (name == key) {
            std::string value = line.substr(eq + 1);
            value.erase(0, value.find_first_not_of(' '));
            return value;
        }
    }
    return std::string();
}

bool FindDesktopFile(const std::string& id, std::string& text)
{
    for (const std::string& folder : ApplicationFolders())
        if (ReadWholeFile(folder + "/" + id, text))
            return true;
    return false;
}

}  // namespace

bool GetShellVerbsForFileExtension(const std::string& extension, std::vector<std::string>& verbs,
                                   std::vector<std::string>& displayTexts)
{
    verbs.clear();
    displayTexts.clear();
    if (extension.empty())
        return true;
    try {
        std::string ext = extension.front() == '.' ? extension : "." + extension;
        QMimeType type = QMimeDatabase().mimeTypeForFile(QString::fromStdString("file" + ext), QMimeDatabase::MatchExtension);
        if (!type.isValid())
            return true;
        std::vector<std::string> types{type.name().toStdString()};
        for (const QString& alias : type.aliases())
            types.push_back(alias.toStdString());

        // The user's default first, then every registered application.
        std::vector<std::string> ids;
        std::string text;
        const std::string configHome = EnvOr("XDG_CONFIG_HOME", Home() + "/.config");
        for (const std::string& list : {configHome + "/mimeapps.list", ApplicationFolders().front() + "/mimeapps.list"})
            if (ReadWholeFile(list, text))
                for (const std::string& t : types) {
                    for (const std::string& id : SplitList(GroupValue(text, "Default Applications", t), ';'))
                        ids.push_back(id);
                    for (const std::string& id : SplitList(GroupValue(text, "Added Associations", t), ';'))
                        ids.push_back(id);
                }
        for (const std::string& folder : ApplicationFolders())
            if (ReadWholeFile(folder + "/mimeinfo.cache", text))
                for (const std::string& t : types)
                    for (const std::string& id : SplitList(GroupValue(text, "MIME Cache", t), ';'))
                        ids.push_back(id);

        std::set<std::string> seen;
        for (const std::string& id : ids) {
            if (!seen.insert(id).second)
                continue;
            std::string desktop;
            if (!FindDesktopFile(id, desktop) || GroupValue(desktop, "Desktop Entry", "Hidden") == "true" ||
                GroupValue(desktop, "Desktop Entry", "Exec").empty())
                continue;
            std::string name = GroupValue(desktop, "Desktop Entry", "Name");
            verbs.push_back(id);
            displayTexts.push_back(name.empty() ? id : name);
        }
        return true;
    } catch (const std::exception&) {
        verbs.clear();
        displayTexts.clear();
        return false;
    }
}

void RemoveHiddenShellVerbs(std::vector<std::string>& verbs, std::vector<std::string>& displayTexts)
{
    for (size_t i = verbs.size(); i-- > 0;) {
        std::string verb = AsciiLowerCase(verbs[i]);
        if (verb == "printto" || verb == "openas" || verb == "runas") {
            verbs.erase(verbs.begin() + static_cast<std::ptrdiff_t>(i));
            if (i < displayTexts.size())
                displayTexts.erase(displayTexts.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
}

std::vector<std::string> ExpandDesktopExec(const std::string& exec, const std::string& file)
{
    // Split into arguments: blanks separate, double quotes group, a backslash escapes in quotes.
    std::vector<std::string> raw;
    std::string current;
    bool inQuotes = false, any = false;
    for (size_t i = 0; i < exec.size(); ++i) {
        char c = exec[i];
        if (inQuotes) {
            if (c == '\\' && i + 1 < exec.size())
                current += exec[++i];
            else if (c == '"')
                inQuotes = false;
            else
                current += c;
        } else if (c == '"') {
            inQuotes = any = true;
        } else if (c == ' ' || c == '\t') {
            if (any || !current.empty())
                raw.push_back(current);
            current.clear();
            any = false;
        } else {
            current += c;
        }
    }
    if (inQuotes)
        return {};
    if (any || !current.empty())
        raw.push_back(current);

    const std::string url = QUrl::fromLocalFile(QString::fromStdString(file)).toString().toStdString();
    std::vector<std::string> args;
    bool placed = false;
    for (const std::string& arg : raw) {
        if (arg == "%f" || arg == "%F" || arg == "%u" || arg == "%U") {
            args.push_back(arg == "%f" || arg == "%F" ? file : url);
            placed = true;
            continue;
        }
        if (arg == "%i" || arg == "%c" || arg == "%k")
            continue;
        std::string out;
        for (size_t i = 0; i < arg.size(); ++i) {
            if (arg[i] == '%' && i + 1 < arg.size()) {
                if (arg[i + 1] == '%')
                    out += '%';
                ++i;  // other field codes inside an argument are dropped
            } else {
                out += arg[i];
            }
        }
        args.push_back(out);
    }
    if (args.empty())
        return {};
    if (!placed)
        args.push_back(file);
    return args;
}

bool RunShellVerb(const std::string& verb, const std::string& file)
{
    std::string desktop;
    if (!FindDesktopFile(verb, desktop))
        return false;
    std::vector<std::string> args = ExpandDesktopExec(GroupValue(desktop, "Desktop Entry", "Exec"), file);
    if (args.empty())
        return false;
    QStringList arguments;
    for (size_t i = 1; i < args.size(); ++i)
        arguments.append(QString::fromStdString(args[i]));
    return QProcess::startDetached(QString::fromStdString(args[0]), arguments);
}
