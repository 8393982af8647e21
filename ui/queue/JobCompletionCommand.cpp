#include "ui/queue/JobCompletionCommand.h"

#include "engine/job/JobTypes.h"
#include "platform/ErrorCodes.h"
#include "platform/TextUtils.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}

}  // namespace

std::string ExpandCommandLineMacros(const std::string& text, const TCopyJob& job, const std::string& startPage)
{
    const std::string trimmed(TrimLineSpace(text));
    const std::string destination = job.GetDestinationPath();
    std::string relative = startPage;
    if (!destination.empty()) {
        size_t pos = AsciiLowerCase(startPage).find(AsciiLowerCase(destination));
        if (pos != std::string::npos)
            relative.erase(pos, destination.size());
    }
    // One pass over the template: what a macro puts in is never read again as a macro.
    std::string result;
    result.reserve(trimmed.size());
    for (size_t i = 0; i < trimmed.size(); ++i) {
        if (trimmed[i] == '%' && i + 1 < trimmed.size()) {
            const std::string* value = nullptr;
            std::string address;
            switch (trimmed[i + 1]) {
            case 'd': value = &destination; break;
            case 's':
                address = job.StartingWebAddress.GetFullURL();
                value = &address;
                break;
            case 'c': value = &startPage; break;
            case 'r': value = &relative; break;
            case 'n': value = &job.JobName; break;
            default: break;
            }
            if (value) {
                result += *value;
                ++i;
                continue;
            }
        }
        result += trimmed[i];
    }
    return result;
}

std::vector<std::string> SplitCommandWords(const std::string& text)
{
    std::vector<std::string> words;
    std::string word;
    bool inQuotes = false, inWord = false;
    for (char c : text) {
        if (c == '"') {
            inQuotes = !inQuotes;
            inWord = true;
        } else if ((c == ' ' || c == '\t') && !inQuotes) {
            if (inWord)
                words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(std::move(word));
    return words;
}

bool IsMacroOnlyCommandLine(const std::string& text)
{
    std::vector<std::string> words = SplitCommandWords(text);
    return !words.empty() &&
           std::all_of(words.begin(), words.end(), [](const std::string& w) { return !w.empty() && w[0] == '%'; });
}

TCompletionCommand BuildCompletionCommand(const std::string& commandLine, const TCopyJob& job,
                                          const std::string& startPage)
{
    std::string line(TrimLineSpace(commandLine));
    size_t blank = line.find(' ');
    std::string program = blank == std::string::npos ? line : line.substr(0, blank);
    std::string parameters = blank == std::string::npos ? std::string() : line.substr(blank + 1);
    TCompletionCommand command;
    command.program = ExpandCommandLineMacros(program, job, startPage);
    for (const std::string& word : SplitCommandWords(parameters))
        command.arguments.push_back(ExpandCommandLineMacros(word, job, startPage));
    command.text = command.program + " " + ExpandCommandLineMacros(parameters, job, startPage);
    return command;
}

TProcessHandle& TProcessHandle::operator=(TProcessHandle&& other) noexcept
{
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

bool TProcessHandle::Ended() const
{
    if (fd_ < 0)
        return true;
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, 0) != 0;
}

void TProcessHandle::Close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool StartCompletionProgram(const TCompletionCommand& command, const std::string& ownFolder, bool wantHandle,
                            TProcessHandle& handle)
{
    handle.Close();
    if (command.program.empty()) {
        SetLastErrorCode(static_cast<uint32_t>(errc::FileNotFound));
        return false;
    }
    QString program = Q(command.program);
    QString executable;
    QString folder;
    if (program.contains('/')) {
        QFileInfo info(program);
        if (info.isFile() && info.isExecutable()) {
            executable = info.absoluteFilePath();
            folder = info.absolutePath();
        }
    } else {
        QFileInfo own(Q(ownFolder) + "/" + program);
        if (own.isFile() && own.isExecutable())
            executable = own.absoluteFilePath();
        else
            executable = QStandardPaths::findExecutable(program);
        folder = Q(ownFolder);
    }
    if (executable.isEmpty()) {
        // A document, folder or address: its handler opens it; nothing to wait for.
        QUrl target = program.startsWith('/') || !QUrl(program).isValid() || QUrl(program).scheme().size() < 2
                          ? QUrl::fromLocalFile(QFileInfo(program).absoluteFilePath())
                          : QUrl(program);
        if (target.isLocalFile() && !QFileInfo::exists(target.toLocalFile())) {
            SetLastErrorCode(static_cast<uint32_t>(errc::FileNotFound));
            return false;
        }
        if (!QDesktopServices::openUrl(target)) {
            SetLastErrorCode(static_cast<uint32_t>(errc::NotSupported));
            return false;
        }
        return true;
    }
    QProcess process;
    process.setProgram(executable);
    QStringList arguments;
    for (const std::string& a : command.arguments)
        arguments << Q(a);
    process.setArguments(arguments);
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        process.setWorkingDirectory(folder);
    process.setStandardInputFile(QProcess::nullDevice());
    qint64 pid = 0;
    if (!process.startDetached(&pid)) {
        SetLastErrorFromErrno(EACCES);
        return false;
    }
    if (wantHandle && pid > 0) {
        // A pid descriptor turns readable when the program ends, whoever reaps it.
        long fd = ::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0);
        if (fd >= 0)
            handle = TProcessHandle(static_cast<int>(fd));
    }
    return true;
}
