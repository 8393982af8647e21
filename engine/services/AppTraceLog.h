#pragma once
// The event log: every routine reports exceptions, failed system calls and notable events here.
// Rows go to "GleaneryEventLog.csv" in the data folder only when logging was asked for at start.
#include "platform/Singleton.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

enum TTraceEventType : uint8_t {
    etMessage = 0,
    etWarning = 1,
    etAPIError = 2,
    etAssertion = 3,
    etException = 4,
};

class TApplicationTraceLog : public TSingleton<TApplicationTraceLog> {
public:
    // What the log needs of the desktop: a message box, the exclamation beep and opening a
    // folder in the file manager. Any of them may be empty (headless runs). The beep is called
    // from whichever thread logs; exploreFolder at exit returns False when nothing can show the
    // folder, and must not wait for the file manager.
    struct Hooks {
        std::function<void(const std::string& text, bool success)> showStartupBox;
        std::function<void()> beep;
        std::function<bool(const std::string& folder)> exploreFolder;
    };

    // args: the command-line arguments after the program name; dataFolder ends with "/".
    TApplicationTraceLog(const std::vector<std::string>& args, bool ctrlShiftHeld, const std::string& dataFolder,
                         Hooks hooks = {});
    // A log written to filePath (none when empty); runs without a window name their own.
    explicit TApplicationTraceLog(const std::string& filePath, Hooks hooks = {});
    ~TApplicationTraceLog();

    void LogEvent(uint8_t type, const std::string& message, const std::string& routine, const std::string& unit);
    void LogMessage(const std::string& message);
    // Reads the thread's last error at once: call directly after the failing call.
    void LogAPIError(const std::string& callText, const std::string& routine, const std::string& unit);
    void LogAssertion(const std::string& message, const std::string& file, int line, uintptr_t address);

    bool LogRequested() const { return logRequested_; }
    bool FileOpen() const { return fileOpen_; }
    const std::string& FilePath() const { return filePath_; }

    static bool IsLogSwitch(const std::vector<std::string>& args);
    static const char* TypeText(uint8_t type);
    // One CSV row (without line end) as the file holds it.
    static std::string FormatRow(int64_t elapsedMs, uint64_t threadId, uint8_t type, const std::string& message,
                                 const std::string& routine, const std::string& unit, int line, uintptr_t address);
    static std::string APIErrorText(const std::string& callText, uint32_t code);

private:
    // Creates the file and writes its header; FileOpen() tells whether that worked.
    void Open(const std::string& filePath);
    void Write(uint8_t type, const std::string& message, const std::string& routine, const std::string& unit,
               int line, uintptr_t address);
    int64_t ElapsedMs() const;
    // At exit: the stop row, the file closed, then its folder shown.
    void CloseAndShowFolder();
    void AppendAfterClose(uint8_t type, const std::string& message, const std::string& routine,
                          const std::string& unit);

    std::mutex lock_;
    bool logRequested_ = false;
    std::string filePath_;
    std::FILE* file_ = nullptr;
    bool fileOpen_ = false;
    std::chrono::steady_clock::time_point start_;
    Hooks hooks_;
};

// Free forms used everywhere: they write to the log when it exists and do nothing otherwise.
void LogEvent(uint8_t type, const std::string& message, const std::string& routine, const std::string& unit);
void LogMessage(const std::string& message);
void LogAPIError(const std::string& callText, const std::string& routine, const std::string& unit);

// Logs a failed check as an assertion event (file, line) and goes on.
#define GL_ASSERT(cond, msg)                                                                          \
    do {                                                                                              \
        if (!(cond))                                                                                  \
            if (auto* gl_log_ = TApplicationTraceLog::Instance())                                      \
                gl_log_->LogAssertion(msg, __FILE__, __LINE__, 0);                                    \
    } while (0)
