#include "engine/services/WorkingFiles.h"

#include "engine/services/AppTraceLog.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

namespace {

const char* const kUnit = "WorkingFiles";
constexpr std::string_view kPartEnding = "#part";
constexpr std::string_view kRecordEnding = "#info";
constexpr std::string_view kRewriteTemporary = ".gltmp#";
constexpr const char* kMarkName = ".gleanery#temporaries";
// Deeper folders are not searched: each level holds one open folder.
constexpr int kMaxDepth = 256;

// An open folder; it reads its entries and names the files below it by its descriptor.
using TFolder = std::unique_ptr<DIR, int (*)(DIR*)>;

TFolder OpenFolderAt(int dirFd, const char* name, bool followLink)
{
    const int fd = ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW));
    DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
    if (fd >= 0 && dir == nullptr)
        ::close(fd);
    return TFolder(dir, &::closedir);
}

struct TListed {
    std::string name;
    bool folder;
};

std::vector<TListed> ListFolder(DIR* dir)
{
    std::vector<TListed> entries;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        bool folder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat st {};
            folder = ::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
        }
        entries.push_back({std::string(name), folder});
    }
    return entries;
}

bool IsPlainFileAt(int dirFd, const std::string& name)
{
    struct stat st {};
    return ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
}

// The folder holds the mark of a run that is still going (into a destination within ours).
bool HeldMarkIn(int dirFd)
{
    const int mark = ::openat(dirFd, kMarkName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (mark < 0)
        return false;
    const bool held = ::flock(mark, LOCK_SH | LOCK_NB) != 0;
    ::close(mark);
    return held;
}

// A temporary of the program in this folder, or a record whose unfinished body is gone.
bool IsLeftTemporary(int dirFd, std::string_view name, bool top)
{
    if (name.starts_with(kRewriteTemporary))
        return true;
    if (top && name.starts_with(std::string(kCopyIndexFileName) + ".tmp"))
        return true;
    if (name.ends_with(kRecordEnding) && name.size() > kRecordEnding.size()) {
        const std::string part = std::string(name.substr(0, name.size() - kRecordEnding.size())) + std::string(kPartEnding);
        struct stat st {};
        return ::fstatat(dirFd, part.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT;
    }
    return false;
}

size_t RemoveIn(DIR* dir, const std::string& folder, int depth)
{
    const int dirFd = ::dirfd(dir);
    size_t removed = 0;
    for (const TListed& entry : ListFolder(dir)) {
        if (entry.folder) {
            const TFolder child = depth < kMaxDepth ? OpenFolderAt(dirFd, entry.name.c_str(), false)
                                                    : TFolder(nullptr, &::closedir);
            if (child && !HeldMarkIn(::dirfd(child.get())))
                removed += RemoveIn(child.get(), folder + "/" + entry.name, depth + 1);
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
    const TFolder top = OpenFolderAt(AT_FDCWD, destination.c_str(), true);
    if (!top)
        return 0;
    const int topFd = ::dirfd(top.get());
    const int mark =
        IsPlainFileAt(topFd, kMarkName) ? ::openat(topFd, kMarkName, O_RDWR | O_NOFOLLOW | O_CLOEXEC) : -1;
    if (mark < 0)
        return 0;
    size_t removed = 0;
    // A mark that is held belongs to a run still going.
    if (::flock(mark, LOCK_EX | LOCK_NB) == 0) {
        removed = RemoveIn(top.get(), destination, 0);
        ::unlinkat(topFd, kMarkName, 0);
    }
    ::close(mark);
    if (removed > 0)
        LogMessage("Removed " + std::to_string(removed) + " temporary files left in " + destination);
    return removed;
}
