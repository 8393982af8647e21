#include "engine/services/WorkingFiles.h"

#include "engine/services/AppTraceLog.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace {

const char* const kUnit = "WorkingFiles";
constexpr std::string_view kPartEnding = "#part";
constexpr std::string_view kRecordEnding = "#info";
constexpr std::string_view kRewriteTemporary = ".gltmp#";
constexpr const char* kMarkName = ".gleanery#temporaries";
// Deeper folders are not searched: each level holds one open folder.
constexpr int kMaxDepth = 256;

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

bool EndsWith(std::string_view text, std::string_view ending)
{
    return text.size() >= ending.size() && text.substr(text.size() - ending.size()) == ending;
}

class TFolderFd {
public:
    explicit TFolderFd(int fd) : fd_(fd) {}
    ~TFolderFd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TFolderFd(const TFolderFd&) = delete;
    TFolderFd& operator=(const TFolderFd&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

struct TListed {
    std::string name;
    bool folder;
};

bool ListFolder(int dirFd, std::vector<TListed>& entries)
{
    const int fd = ::dup(dirFd);
    if (fd < 0)
        return false;
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return false;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        bool folder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat st {};
            folder = ::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
        }
        entries.push_back({std::string(name), folder});
    }
    ::closedir(dir);
    return true;
}

bool IsPlainFileAt(int dirFd, const std::string& name)
{
    struct stat st {};
    return ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
}

// A temporary of the program in this folder, or a record whose unfinished body is gone.
bool IsLeftTemporary(int dirFd, const std::string& name, bool top)
{
    if (StartsWith(name, kRewriteTemporary))
        return true;
    if (top && StartsWith(name, std::string(kCopyIndexFileName) + ".tmp"))
        return true;
    if (EndsWith(name, kRecordEnding) && name.size() > kRecordEnding.size()) {
        const std::string part = name.substr(0, name.size() - kRecordEnding.size()) + std::string(kPartEnding);
        struct stat st {};
        return ::fstatat(dirFd, part.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT;
    }
    return false;
}

size_t RemoveIn(int dirFd, const std::string& folder, int depth)
{
    std::vector<TListed> entries;
    if (!ListFolder(dirFd, entries))
        return 0;
    size_t removed = 0;
    for (const TListed& entry : entries) {
        if (entry.folder) {
            if (depth >= kMaxDepth)
                continue;
            TFolderFd child(::openat(dirFd, entry.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (child.Get() >= 0)
                removed += RemoveIn(child.Get(), folder + "/" + entry.name, depth + 1);
            continue;
        }
        if (!IsLeftTemporary(dirFd, entry.name, depth == 0) || !IsPlainFileAt(dirFd, entry.name))
            continue;
        if (::unlinkat(dirFd, entry.name.c_str(), 0) == 0)
            ++removed;
        else
            LogEvent(etWarning, "Cannot remove the left temporary " + folder + "/" + entry.name, "RemoveLeftTemporaries",
                     kUnit);
    }
    return removed;
}

}  // namespace

std::string PartFileName(const std::string& localName)
{
    return localName + std::string(kPartEnding);
}

std::string PartRecordName(const std::string& localName)
{
    return localName + std::string(kRecordEnding);
}

std::string RewriteTemporaryPattern(const std::string& folder)
{
    return folder + "/" + std::string(kRewriteTemporary) + "XXXXXX";
}

bool IsWorkingFileName(std::string_view name)
{
    return name.find(kWorkingNameMark) != std::string_view::npos;
}

void TTemporariesMark::Begin(const std::string& destination)
{
    End();
    path_ = destination + "/" + kMarkName;
    fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        // Another run writes in this destination: its mark stays.
        ::close(fd_);
        fd_ = -1;
    }
}

void TTemporariesMark::End()
{
    if (fd_ < 0)
        return;
    ::unlink(path_.c_str());
    ::close(fd_);
    fd_ = -1;
}

size_t RemoveLeftTemporaries(const std::string& destination)
{
    TFolderFd top(::open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (top.Get() < 0)
        return 0;
    TFolderFd mark(::openat(top.Get(), kMarkName, O_RDWR | O_NOFOLLOW | O_CLOEXEC));
    if (mark.Get() < 0 || !IsPlainFileAt(top.Get(), kMarkName))
        return 0;
    if (::flock(mark.Get(), LOCK_EX | LOCK_NB) != 0)
        return 0;  // the run that set it is still going
    const size_t removed = RemoveIn(top.Get(), destination, 0);
    ::unlinkat(top.Get(), kMarkName, 0);
    if (removed > 0)
        LogMessage("Removed " + std::to_string(removed) + " temporary files left in " + destination);
    return removed;
}
