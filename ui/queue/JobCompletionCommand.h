#pragma once
// The program run when a job ends: its command line, macro expansion, and starting it without a
// shell, with a handle that tells when it has ended.
#include <string>
#include <vector>

class TCopyJob;

// %d destination path, %s starting address, %c start page, %r start page less the destination
// path (first occurrence, any case), %n job name; the text is trimmed first.
std::string ExpandCommandLineMacros(const std::string& text, const TCopyJob& job, const std::string& startPage);

// Every word (blank-separated, double quotes grouping) begins with "%".
bool IsMacroOnlyCommandLine(const std::string& text);

// Words split at blanks, double quotes grouping (the quotes themselves removed).
std::vector<std::string> SplitCommandWords(const std::string& text);

// The command line split at its first blank and expanded. The parameters are split into words
// before expansion, so a folder or name with blanks or quotes stays one argument.
struct TCompletionCommand {
    std::string program;
    std::vector<std::string> arguments;
    std::string text;  // program, a blank, the expanded parameters: what the wait message shows
};
TCompletionCommand BuildCompletionCommand(const std::string& commandLine, const TCopyJob& job,
                                          const std::string& startPage);

// A started program: becomes signalled when the program ends. Closing it leaves the program running.
class TProcessHandle {
public:
    TProcessHandle() = default;
    explicit TProcessHandle(int fd) : fd_(fd) {}
    ~TProcessHandle() { Close(); }
    TProcessHandle(TProcessHandle&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    TProcessHandle& operator=(TProcessHandle&& other) noexcept;
    TProcessHandle(const TProcessHandle&) = delete;
    TProcessHandle& operator=(const TProcessHandle&) = delete;

    bool Valid() const { return fd_ >= 0; }
    // Never blocks; True also when there is no handle.
    bool Ended() const;
    void Close();

private:
    int fd_ = -1;
};

// Runs an executable file (a path, or a bare name looked up in ownFolder, then PATH) with the
// arguments and no shell, in its own folder or ownFolder; anything else (a document, folder or
// address) is opened with the desktop's handler and gives no handle. wantHandle: keep a handle
// of a started program. On failure the thread's last error is set and False returned.
bool StartCompletionProgram(const TCompletionCommand& command, const std::string& ownFolder, bool wantHandle,
                            TProcessHandle& handle);
