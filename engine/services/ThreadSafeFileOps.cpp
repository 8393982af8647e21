#include "engine/services/ThreadSafeFileOps.h"

#include "engine/services/AppTraceLog.h"
#include "platform/ErrorCodes.h"
#include "platform/TextUtils.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <linux/fs.h>
#include <string_view>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

std::mutex& FileOpsLock()
{
    static std::mutex lock;
    return lock;
}

namespace {

bool IsFolder(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Creates the missing folders from the top down; no recursion, so a path of any depth is safe.
bool ForceDirectoriesUnlocked(const std::string& folder)
{
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path.empty()) {
        SetLastErrorCode(errc::InvalidParameter);
        return false;
    }
    if (IsFolder(path))
        return true;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        std::string prefix = path.substr(0, pos);
        if (prefix.empty() || prefix.back() == '/')
            continue;  // doubled slash
        if (::mkdir(prefix.c_str(), 0755) == 0)
            continue;
        int err = errno;
        if (err == EEXIST && IsFolder(prefix))
            continue;
        SetLastErrorCode(err == EEXIST ? errc::AlreadyExists : ErrorCodeFromErrno(err));
        return false;
    }
    return true;
}

TFileStamp StampOf(const struct stat& st)
{
    TFileStamp stamp;
    stamp.device = static_cast<uint64_t>(st.st_dev);
    stamp.inode = static_cast<uint64_t>(st.st_ino);
    stamp.size = static_cast<int64_t>(st.st_size);
    stamp.modifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.changedNs = static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return stamp;
}

}  // namespace

bool SafeForceDirectories(const std::string& folder)
{
    std::lock_guard<std::mutex> guard(FileOpsLock());
    return ForceDirectoriesUnlocked(folder);
}

bool ThreadSafeFileByteSize(const std::string& path, int64_t& size)
{
    size = 0;
    bool ok = false;
    {
        std::lock_guard<std::mutex> guard(FileOpsLock());
        int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            struct stat st {};
            if (::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode)) {
                size = static_cast<int64_t>(st.st_size);
                ok = true;
            } else {
                SetLastErrorCode(S_ISDIR(st.st_mode) ? errc::AccessDenied : ErrorCodeFromErrno(errno));
            }
            ::close(fd);
        } else {
            SetLastErrorFromErrno(errno);
        }
    }
    if (!ok)
        LogAPIError("CreateFile " + path, "ThreadSafeFileByteSize", "ThreadSafeFileOps");
    return ok;
}

bool SafeMoveFile(const std::string& oldPath, const std::string& newPath)
{
    std::lock_guard<std::mutex> guard(FileOpsLock());
    if (::syscall(SYS_renameat2, AT_FDCWD, oldPath.c_str(), AT_FDCWD, newPath.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno == EINVAL || errno == ENOSYS) {
        // File systems without RENAME_NOREPLACE: link + unlink never replaces either.
        if (::link(oldPath.c_str(), newPath.c_str()) == 0) {
            ::unlink(oldPath.c_str());
            return true;
        }
    }
    SetLastErrorFromErrno(errno);
    return false;
}

bool SafeFileExists(const std::string& path)
{
    // One stat is atomic by itself: the threads that ask it for every download and every link
    // do not queue on the shared lock.
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool IsPlainFileNoFollow(const std::string& path)
{
    TFileStamp stamp;
    return PlainFileStamp(path, stamp);
}

bool PlainFileStamp(const std::string& path, TFileStamp& stamp)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    stamp = StampOf(st);
    return true;
}

bool SafeDeleteFile(const std::string& path)
{
    std::lock_guard<std::mutex> guard(FileOpsLock());
    if (::unlink(path.c_str()) == 0)
        return true;
    SetLastErrorFromErrno(errno);
    return false;
}

bool FolderFoldsCase(const std::string& folder)
{
    const std::string lower = folder + "/.gleanery-case-probe-" + std::to_string(::getpid());
    std::string upper = lower;
    for (size_t i = folder.size() + 1; i < upper.size(); ++i)
        upper[i] = AsciiUpper(upper[i]);
    std::lock_guard<std::mutex> guard(FileOpsLock());
    if (!ForceDirectoriesUnlocked(folder))
        return false;
    const int fd = ::open(lower.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    struct stat made {}, other {};
    const bool folds = ::fstat(fd, &made) == 0 && ::lstat(upper.c_str(), &other) == 0 && made.st_dev == other.st_dev &&
                       made.st_ino == other.st_ino;
    ::close(fd);
    ::unlink(lower.c_str());
    return folds;
}

namespace {

enum class TWalk { Outside, Missing, Link, Found };

// Walks path below folder one component at a time, up to the first symbolic link or missing
// component; kindOf gives a name's type bits as lstat does, 0 when missing. Found leaves the
// whole path's kind in last. A path that does not lie in folder, or that climbs with "." or
// "..", is Outside.
TWalk WalkBelowFolder(const std::string& folder, const std::string& path, const TFileKindOf& kindOf,
                      uint32_t& last)
{
    size_t rootLength = folder.size();
    while (rootLength > 0 && folder[rootLength - 1] == '/')
        --rootLength;
    if (path.size() <= rootLength + 1 || path.compare(0, rootLength, folder, 0, rootLength) != 0 ||
        path[rootLength] != '/')
        return TWalk::Outside;
    size_t end = rootLength;
    while (end < path.size()) {
        const size_t start = end + 1;
        end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string_view segment(path.data() + start, end - start);
        if (segment.empty())
            continue;  // doubled slash
        if (segment == "." || segment == "..")
            return TWalk::Outside;
        last = kindOf(path.substr(0, end));
        if (last == 0)
            return TWalk::Missing;  // nothing below it exists yet
        if (last == S_IFLNK)
            return TWalk::Link;
    }
    return TWalk::Found;
}

}  // namespace

uint32_t FileKindNoFollow(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? static_cast<uint32_t>(st.st_mode & S_IFMT) : 0;
}

bool LinkBelowFolder(const std::string& folder, const std::string& path, const TFileKindOf& kindOf)
{
    uint32_t last = 0;
    return WalkBelowFolder(folder, path, kindOf, last) == TWalk::Link;
}

bool LinkBelowFolder(const std::string& folder, const std::string& path)
{
    return LinkBelowFolder(folder, path, FileKindNoFollow);
}

bool PlainFileBelowFolder(const std::string& folder, const std::string& path, const TFileKindOf& kindOf)
{
    uint32_t last = 0;
    return WalkBelowFolder(folder, path, kindOf, last) == TWalk::Found && last == S_IFREG;
}

bool PlainFileBelowFolder(const std::string& folder, const std::string& path, const TFileKindOf& folderKindOf,
                          TFileStamp* stamp)
{
    struct stat st {};
    const auto kindOf = [&](const std::string& name) -> uint32_t {
        if (name.size() < path.size())
            return folderKindOf(name);
        return ::lstat(name.c_str(), &st) == 0 ? static_cast<uint32_t>(st.st_mode & S_IFMT) : 0;
    };
    uint32_t last = 0;
    if (WalkBelowFolder(folder, path, kindOf, last) != TWalk::Found || last != S_IFREG)
        return false;
    if (stamp != nullptr)
        *stamp = StampOf(st);
    return true;
}

bool PlainFileBelowFolder(const std::string& folder, const std::string& path, TFileStamp* stamp)
{
    return PlainFileBelowFolder(folder, path, FileKindNoFollow, stamp);
}
