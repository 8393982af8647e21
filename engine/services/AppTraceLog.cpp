#include "engine/services/AppTraceLog.h"

#include "platform/ErrorCodes.h"
#include "platform/TextUtils.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

uint64_t CurrentThreadId()
{
    return static_cast<uint64_t>(::syscall(SYS_gettid));
}

std::string NowText()
{
    std::time_t t = std::time(nullptr);
    std::tm tm {};
    localtime_r(&t, &tm);
    char buf[64];
    std::strftime(buf, sizeof buf, "%x %X", &tm);
    return buf;
}

}  // namespace

TApplicationTraceLog::TApplicationTraceLog(const std::vector<std::string>& args, bool ctrlShiftHeld,
                                           const std::string& dataFolder, Hooks hooks)
    : TApplicationTraceLog(ctrlShiftHeld || IsLogSwitch(args) ? dataFolder + "GleaneryEventLog.csv" : std::string(),
                           std::move(hooks))
{
}

TApplicationTraceLog::TApplicationTraceLog(const std::string& filePath, Hooks hooks) : hooks_(std::move(hooks))
{
    if (!filePath.empty())
        Open(filePath);
    start_ = std::chrono::steady_clock::now();
    if (fileOpen_)
        LogMessage("Application started at " + NowText());
}

void TApplicationTraceLog::Open(const std::string& filePath)
{
    logRequested_ = true;
    filePath_ = filePath;
    // Never follow a link planted where the log goes.
    int fd = ::open(filePath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    struct stat st {};
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);  // a pipe or device planted where the log goes
        fd = -1;
    }
    if (fd >= 0)
        file_ = ::fdopen(fd, "wb");
    if (file_) {
        static const char header[] =
            "\"Time\", \"Thread ID\", \"Type\", \"Message\", \"Function\", \"Filename\", \"Line\", \"Address\"\r\n";
        fileOpen_ = std::fputs(header, file_) >= 0 && std::fflush(file_) == 0;
    } else if (fd >= 0) {
        ::close(fd);
    }
    if (!fileOpen_ && file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (hooks_.showStartupBox) {
        if (fileOpen_)
            hooks_.showStartupBox("Event logging enabled:\r\n" + filePath_, true);
        else
            hooks_.showStartupBox("Unable to create " + filePath_, false);
    }
}

TApplicationTraceLog::~TApplicationTraceLog()
{
    ReleaseInstance();
    if (fileOpen_)
        CloseAndShowFolder();
}

void TApplicationTraceLog::CloseAndShowFolder()
{
    LogMessage("Application stopped at " + NowText());
    {
        std::lock_guard<std::mutex> guard(lock_);
        std::fclose(file_);
        file_ = nullptr;
        fileOpen_ = false;
    }
    if (!hooks_.exploreFolder)
        return;
    const std::string folder = filePath_.substr(0, filePath_.find_last_of('/') + 1);
    bool shown = false;
    try {
        shown = hooks_.exploreFolder(folder);
    } catch (...) {
        // the exit goes on regardless
    }
    if (!shown)
        AppendAfterClose(etWarning, "No file manager to show " + folder, "CloseAndShowFolder", "AppTraceLog");
}

void TApplicationTraceLog::AppendAfterClose(uint8_t type, const std::string& message, const std::string& routine,
                                            const std::string& unit)
{
    int fd = ::open(filePath_.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        std::string row = FormatRow(ElapsedMs(), CurrentThreadId(), type, message, routine, unit, -1, 0) + "\r\n";
        [[maybe_unused]] ssize_t n = ::write(fd, row.data(), row.size());
    }
    ::close(fd);
}

bool TApplicationTraceLog::IsLogSwitch(const std::vector<std::string>& args)
{
    for (const std::string& a : args)
        if (TrimText(a) == "/eventlog")
            return true;
    return false;
}

const char* TApplicationTraceLog::TypeText(uint8_t type)
{
    switch (type) {
    case etMessage: return "Message";
    case etWarning: return "Warning";
    case etAPIError: return "API Error";
    case etAssertion: return "Assertion";
    case etException: return "Exception";
    default: return "?";
    }
}

std::string TApplicationTraceLog::FormatRow(int64_t elapsedMs, uint64_t threadId, uint8_t type,
                                            const std::string& message, const std::string& routine,
                                            const std::string& unit, int line, uintptr_t address)
{
    char time[32];
    std::snprintf(time, sizeof time, "%.6lld", static_cast<long long>(elapsedMs));
    std::string quoted;
    quoted.reserve(message.size() + 8);
    for (char c : message) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    std::string addr;
    if (address != 0) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "0x%08llX", static_cast<unsigned long long>(address));
        addr = buf;
    }
    std::string row;
    row.reserve(quoted.size() + routine.size() + unit.size() + 64);
    row += '"';
    row += time;
    row += "\",\"" + std::to_string(threadId) + "\",\"" + TypeText(type) + "\",\"" + quoted + "\",\"" + routine +
           "\",\"" + unit + "\",\"" + (line == -1 ? std::string() : std::to_string(line)) + "\",\"" + addr + "\"";
    return row;
}

std::string TApplicationTraceLog::APIErrorText(const std::string& callText, uint32_t code)
{
    std::string text = callText + " = " + std::to_string(code) + " ";
    if (code == errc::InternetExtendedError)
        text += std::to_string(GetLastResponseError()) + " " + GetLastResponseText();
    else
        text += SystemErrorMessage(code);
    return text;
}

int64_t TApplicationTraceLog::ElapsedMs() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count();
}

void TApplicationTraceLog::Write(uint8_t type, const std::string& message, const std::string& routine,
                                 const std::string& unit, int line, uintptr_t address)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (fileOpen_) {
        std::string row = FormatRow(ElapsedMs(), CurrentThreadId(), type, message, routine, unit, line, address);
        row += "\r\n";
        std::fwrite(row.data(), 1, row.size(), file_);
        std::fflush(file_);
    }
    if ((type == etAssertion || type == etException) && hooks_.beep) {
        try {
            hooks_.beep();
        } catch (...) {
            // logging never raises
        }
    }
}

void TApplicationTraceLog::LogEvent(uint8_t type, const std::string& message, const std::string& routine,
                                    const std::string& unit)
{
    Write(type, message, routine, unit, -1, 0);
}

void TApplicationTraceLog::LogMessage(const std::string& message)
{
    Write(etMessage, message, std::string(), std::string(), -1, 0);
}

void TApplicationTraceLog::LogAPIError(const std::string& callText, const std::string& routine,
                                       const std::string& unit)
{
    uint32_t code = GetLastErrorCode();
    Write(etAPIError, APIErrorText(callText, code), routine, unit, -1, 0);
}

void TApplicationTraceLog::LogAssertion(const std::string& message, const std::string& file, int line,
                                        uintptr_t address)
{
    Write(etAssertion, message, std::string(), file, line, address);
}

void LogEvent(uint8_t type, const std::string& message, const std::string& routine, const std::string& unit)
{
    if (auto* log = TApplicationTraceLog::Instance())
        log->LogEvent(type, message, routine, unit);
}

void LogMessage(const std::string& message)
{
    if (auto* log = TApplicationTraceLog::Instance())
        log->LogMessage(message);
}

void LogAPIError(const std::string& callText, const std::string& routine, const std::string& unit)
{
    uint32_t code = GetLastErrorCode();
    if (auto* log = TApplicationTraceLog::Instance()) {
        SetLastErrorCode(code);
        log->LogAPIError(callText, routine, unit);
    }
}
