#include "engine/post/FlattenFolder.h"

#include "engine/services/AppTraceLog.h"
#include "engine/job/JobControl.h"
#include "engine/services/ThreadSafeFileOps.h"
#include "engine/services/WorkingFiles.h"
#include "platform/ErrorCodes.h"
#include "platform/TextUtils.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <exception>
#include <fcntl.h>
#include <linux/fs.h>
#include <mutex>
#include <strings.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {

class TDirHandle {
public:
    explicit TDirHandle(int fd) : fd_(fd) {}
    ~TDirHandle()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TDirHandle(const TDirHandle&) = delete;
    TDirHandle& operator=(const TDirHandle&) = delete;
    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }

private:
    int fd_;
};

enum class TEntryKind { File, Folder, Other };

struct TEntry {
    std::string Name;
    TEntryKind Kind;
};

// The folder with exactly one trailing "/".
std::string WithSlash(std::string folder)
{
    while (!folder.empty() && folder.back() == '/')
        folder.pop_back();
    return folder + "/";
}

int OpenFolder(const std::string& path, bool followLink)
{
    int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW);
    std::string name = path.size() > 1 && path.back() == '/' ? path.substr(0, path.size() - 1) : path;
    return ::open(name.c_str(), flags);
}

// A subfolder, without following a symbolic link at its name.
int OpenChild(int dirFd, const std::string& name)
{
    return ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// The folder's entries other than "." and "..", by name ignoring case. A symbolic link is
// neither a file nor a folder here.
bool ListFolder(int dirFd, std::vector<TEntry>& entries)
{
    entries.clear();
    int fd = ::dup(dirFd);
    if (fd < 0)
        return false;
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return false;
    }
    ::rewinddir(dir);
    while (dirent* ent = ::readdir(dir)) {
        std::string name = ent->d_name;
        if (name == "." || name == "..")
            continue;
        unsigned char type = ent->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st {};
            if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_LNK;
        }
        TEntryKind kind = type == DT_DIR ? TEntryKind::Folder : type == DT_REG ? TEntryKind::File : TEntryKind::Other;
        entries.push_back({std::move(name), kind});
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(), [](const TEntry& a, const TEntry& b) {
        int c = ::strcasecmp(a.Name.c_str(), b.Name.c_str());
        return c != 0 ? c < 0 : a.Name < b.Name;
    });
    return true;
}

bool ListFolderOrLog(int dirFd, const std::string& folder, const char* routine, std::vector<TEntry>& entries)
{
    if (ListFolder(dirFd, entries))
        return true;
    SetLastErrorFromErrno(errno);
    LogAPIError("FindFirstFile " + folder, routine, "FlattenFolder");
    return false;
}

bool Cancelled(const TFolderSteps& steps)
{
    return steps.Control != nullptr && steps.Control->CancelRequested();
}

void WaitIfPaused(const TFolderSteps& steps)
{
    if (steps.Control != nullptr)
        WaitWhilePaused(*steps.Control);
}

bool MoveNoReplace(int fromDir, const std::string& name, int toDir)
{
    std::lock_guard<std::mutex> guard(FileOpsLock());
    if (::syscall(SYS_renameat2, fromDir, name.c_str(), toDir, name.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno == EINVAL || errno == ENOSYS) {
        // File systems without RENAME_NOREPLACE: a link never replaces either.
        if (::linkat(fromDir, name.c_str(), toDir, name.c_str(), 0) == 0) {
            ::unlinkat(fromDir, name.c_str(), 0);
            return true;
        }
    }
    SetLastErrorFromErrno(errno);
    return false;
}

void MoveUniqueContents(const TFolderSteps& steps, int parentFd, const std::string& parent, int childFd,
                        const std::string& child, std::string& startPage)
{
    std::vector<TEntry> entries;
    if (!ListFolderOrLog(childFd, child, "MoveUniqueContentsOfChild", entries))
        return;
    for (const TEntry& entry : entries) {
        if (Cancelled(steps))
            return;
        // The program's own files stay by the file they belong to.
        if (entry.Kind != TEntryKind::File || IsWorkingFileName(entry.Name))
            continue;
        struct stat st {};
        if (::fstatat(parentFd, entry.Name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT)
            continue;  // the name is taken one level up: the file stays
        std::string source = child + entry.Name;
        std::string target = parent + entry.Name;
        if (!MoveNoReplace(childFd, entry.Name, parentFd)) {
            LogAPIError("MoveFile " + source, "MoveUniqueContentsOfChild", "FlattenFolder");
            continue;
        }
        try {
            if (steps.FileMovedUp)
                steps.FileMovedUp(source, target);
        } catch (const std::exception& e) {
            LogEvent(etException, e.what(), "MoveUniqueContentsOfChild", "FlattenFolder");
        }
        if (SameTextIgnoringCase(source, startPage))
            startPage = target;
    }
}

void FlattenIn(const TFolderSteps& steps, int dirFd, const std::string& folder, const TFolderList* list,
               std::string& startPage)
{
    std::vector<TEntry> entries;
    if (!ListFolderOrLog(dirFd, folder, "FlattenChildFolders", entries))
        return;
    for (const TEntry& entry : entries) {
        if (entry.Kind != TEntryKind::Folder)
            continue;
        WaitIfPaused(steps);
        if (Cancelled(steps))
            return;
        std::string child = folder + entry.Name + "/";
        if (list != nullptr && list->count(child) == 0)
            continue;
        TDirHandle childFd(OpenChild(dirFd, entry.Name));
        if (!childFd.Valid())
            continue;  // replaced by something that is not a folder meanwhile
        MoveUniqueContents(steps, dirFd, folder, childFd.Get(), child, startPage);
        FlattenIn(steps, childFd.Get(), child, nullptr, startPage);
        MoveUniqueContents(steps, dirFd, folder, childFd.Get(), child, startPage);
    }
}

bool PruneIn(const TFolderSteps& steps, int parentFd, const std::string& name, int dirFd,
             const std::string& folder, const TFolderList* list, bool reportIt)
{
    if (reportIt && steps.PruningFolder) {
        try {
            steps.PruningFolder(folder);
        } catch (const std::exception& e) {
            LogEvent(etException, e.what(), "PruneEmptyChildFolders", "SpiderThread");
        }
    }
    std::vector<TEntry> entries;
    if (!ListFolder(dirFd, entries))
        return false;
    bool empty = true;
    for (const TEntry& entry : entries) {
        if (Cancelled(steps))
            return false;
        if (entry.Kind != TEntryKind::Folder) {
            empty = false;
            continue;
        }
        WaitIfPaused(steps);
        if (Cancelled(steps))
            return false;
        std::string child = folder + entry.Name + "/";
        if (list != nullptr && list->count(child) == 0) {
            empty = false;
            continue;
        }
        TDirHandle childFd(OpenChild(dirFd, entry.Name));
        // Every child is pruned, also after a file has made this folder non-empty.
        bool removed = childFd.Valid() && PruneIn(steps, dirFd, entry.Name, childFd.Get(), child, nullptr, true);
        empty = removed && empty;
    }
    return reportIt && empty && parentFd >= 0 && ::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) == 0;
}

std::string LastName(const std::string& folder)
{
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ParentOf(const std::string& folder)
{
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace

void FlattenChildFolders(const TFolderSteps& steps, const std::string& folder, const TFolderList* list,
                         std::string& startPage)
{
    TDirHandle dirFd(OpenFolder(folder, true));
    if (!dirFd.Valid()) {
        SetLastErrorFromErrno(errno);
        LogAPIError("FindFirstFile " + folder, "FlattenChildFolders", "FlattenFolder");
        return;
    }
    FlattenIn(steps, dirFd.Get(), WithSlash(folder), list, startPage);
}

void MoveUniqueContentsOfChild(const TFolderSteps& steps, const std::string& parent, const std::string& child,
                               std::string& startPage)
{
    TDirHandle parentFd(OpenFolder(parent, true));
    TDirHandle childFd(OpenFolder(child, false));
    if (!parentFd.Valid() || !childFd.Valid()) {
        SetLastErrorFromErrno(errno);
        LogAPIError("FindFirstFile " + child, "MoveUniqueContentsOfChild", "FlattenFolder");
        return;
    }
    MoveUniqueContents(steps, parentFd.Get(), WithSlash(parent), childFd.Get(), WithSlash(child), startPage);
}

bool PruneEmptyChildFolders(const TFolderSteps& steps, const std::string& folder, const TFolderList* list,
                            bool reportIt)
{
    TDirHandle dirFd(OpenFolder(folder, !reportIt));
    if (!dirFd.Valid())
        return false;
    // Only a folder that is to be removed needs its parent.
    TDirHandle parentFd(reportIt ? OpenFolder(ParentOf(folder), true) : -1);
    return PruneIn(steps, parentFd.Get(), LastName(folder), dirFd.Get(), WithSlash(folder), list, reportIt);
}
