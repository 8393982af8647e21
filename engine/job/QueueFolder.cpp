#include "engine/job/QueueFolder.h"

#include "engine/services/AppTraceLog.h"
#include "engine/services/DamagedFile.h"
#include "engine/services/ThreadSafeFileOps.h"
#include "platform/ErrorCodes.h"
#include "platform/IniFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kUnit = "JobQueue";
const char* const kRoutine = "SaveQueueToDisk";

std::string JobFileName(const std::string& folder, size_t n)
{
    return folder + "/" + std::to_string(n) + ".GCJ";
}

// The number n of a job file "<n>.GCJ" (1 to 9999, no leading zero); 0 for any other name.
size_t JobFileNumber(const std::string& name)
{
    const size_t digits = name.find_first_not_of("0123456789");
    if (digits == 0 || digits == std::string::npos || digits > 4 || name[0] == '0' ||
        name.compare(digits, std::string::npos, ".GCJ") != 0)
        return 0;
    return std::stoul(name.substr(0, digits));
}

// The names the queue writes: its "Queue.ini" and its job files. Nothing else in the folder is
// the queue's to move or delete.
bool IsQueueFileName(const std::string& name)
{
    return name == "Queue.ini" || JobFileNumber(name) > 0;
}

std::string ParentOf(const std::string& folder)
{
    size_t slash = folder.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : folder.substr(0, slash);
}

// Makes a rename or an exchange inside folder durable.
void SyncFolder(const std::string& folder)
{
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// The entries of folder that the queue did not write: sub-folders, links and the user's files.
std::vector<std::string> OtherEntries(const std::string& folder)
{
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return names;
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat st {};
        if (::lstat((folder + "/" + name).c_str(), &st) == 0 && (S_ISDIR(st.st_mode) || !IsQueueFileName(name)))
            names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

bool LogFailure(const std::string& call)
{
    SetLastErrorFromErrno(errno);
    LogAPIError(call, kRoutine, kUnit);
    return false;
}

std::string StatusesText(const std::vector<TQueueSnapshotEntry>& entries)
{
    TIniFile ini;
    ini.WriteInteger("Queue", "JobCount", static_cast<int32_t>(entries.size()));
    for (size_t n = 1; n <= entries.size(); ++n)
        ini.WriteInteger("Queue", "JobStatus" + std::to_string(n), entries[n - 1].status);
    return ini.ToText();
}

bool WriteFolderContents(const std::string& folder, const std::vector<TQueueSnapshotEntry>& entries)
{
    if (!SafeForceDirectories(folder))
        return LogFailure("ForceDirectories " + folder);
    DeleteQueueFiles(folder, kRoutine);
    for (size_t n = 1; n <= entries.size(); ++n)
        if (!entries[n - 1].job.WriteJobFile(JobFileName(folder, n)))
            return LogFailure("WriteJobFile " + JobFileName(folder, n));
    if (!AtomicWriteFile(folder + "/Queue.ini", StatusesText(entries)))
        return LogFailure("WriteFile " + folder + "/Queue.ini");
    SyncFolder(folder);
    return true;
}

// Empties and removes a folder that held an old queue; what the queue did not write goes to
// keepIn first. Anything that cannot move keeps the old folder.
void DisposeOldFolder(const std::string& old, const std::string& keepIn)
{
    for (const std::string& name : OtherEntries(old))
        if (::renameat2(AT_FDCWD, (old + "/" + name).c_str(), AT_FDCWD, (keepIn + "/" + name).c_str(),
                        RENAME_NOREPLACE) != 0)
            LogFailure("rename " + old + "/" + name);
    DeleteQueueFiles(old, kRoutine);
    if (::rmdir(old.c_str()) != 0 && errno != ENOENT)
        LogFailure("RemoveDirectory " + old);
}

// The folder a queue is written in: folder itself, or, when folder is a symbolic link, the folder
// it leads to, so that the link stays as the user made it. False (logged) for a link that leads
// to no folder: nothing is written.
bool ResolveQueueFolder(const std::string& folder, std::string& resolved)
{
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
        resolved = folder;
        return true;
    }
    char* real = ::realpath(folder.c_str(), nullptr);
    const bool found = real != nullptr;
    if (found) {
        resolved = real;
        std::free(real);
    }
    if (!found || ::stat(resolved.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || resolved == "/") {
        LogEvent(etWarning, "The queue folder " + folder + " is a link to no folder: the queue is not saved", kRoutine,
                 kUnit);
        return false;
    }
    return true;
}

// Calls visit with the name of every entry of folder that is not a folder.
template <typename Visit>
void ForEachPlainFile(const std::string& folder, Visit visit)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    while (dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        struct stat st {};
        if (::lstat((folder + "/" + name).c_str(), &st) != 0 || S_ISDIR(st.st_mode))
            continue;
        visit(name);
    }
    ::closedir(dir);
}

}  // namespace

void DeleteQueueFiles(const std::string& folder, const char* routine)
{
    ForEachPlainFile(folder, [&](const std::string& name) {
        if (!IsQueueFileName(name))
            return;
        const std::string path = folder + "/" + name;
        if (!SafeDeleteFile(path))
            LogAPIError("DeleteFile " + path, routine, kUnit);
    });
}

bool QueueFolderHoldsOnly(const std::string& folder, size_t jobCount)
{
    bool only = true;
    ForEachPlainFile(folder, [&](const std::string& name) {
        if (JobFileNumber(name) > jobCount)
            only = false;
    });
    return only;
}

bool SavedQueueExists(const std::string& folder)
{
    struct stat st {};
    // A link to a folder is the user's queue folder; a link to nothing else is never written over.
    if (::lstat(folder.c_str(), &st) == 0 && (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)))
        return true;  // something else has the queue's name: never written over unread
    bool found = false;
    ForEachPlainFile(folder, [&](const std::string& name) { found = found || IsQueueFileName(name); });
    return found;
}

TQueueHold::TQueueHold(const std::string& queueFolder)
{
    const std::string lockName = queueFolder + ".lock";
    auto unguarded = [&](const std::string& call) {
        SetLastErrorFromErrno(errno);
        LogAPIError(call, "TQueueHold", kUnit);
        held_ = true;
    };
    fd_ = ::open(lockName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0) {
        unguarded("CreateFile " + lockName);
        return;
    }
    int result;
    while ((result = ::flock(fd_, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (result == 0) {
        held_ = true;
        return;
    }
    if (errno != EWOULDBLOCK)
        unguarded("LockFile " + lockName);
    ::close(fd_);
    fd_ = -1;
}

TQueueHold::~TQueueHold()
{
    if (fd_ >= 0)
        ::close(fd_);  // lets go of the lock
}

bool WriteQueueStatuses(const std::string& folder, const std::vector<TQueueSnapshotEntry>& entries)
{
    if (!AtomicWriteFile(folder + "/Queue.ini", StatusesText(entries)))
        return LogFailure("WriteFile " + folder + "/Queue.ini");
    return true;
}

bool WriteQueueFolder(const std::string& queueFolder, const std::vector<TQueueSnapshotEntry>& entries, bool keepOld)
{
    std::string folder;
    if (!ResolveQueueFolder(queueFolder, folder))
        return false;
    const std::string fresh = folder + ".new";
    if (!WriteFolderContents(fresh, entries))
        return false;
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        ::chmod(fresh.c_str(), st.st_mode & 07777);  // the folder keeps its permissions
    const std::string parent = ParentOf(folder);
    if (::renameat2(AT_FDCWD, fresh.c_str(), AT_FDCWD, folder.c_str(), RENAME_EXCHANGE) == 0) {
        SyncFolder(parent);
        // The old queue is now at fresh.
        if (keepOld) {
            const std::string damaged = DamagedCopyName(folder);
            if (!damaged.empty() && ::rename(fresh.c_str(), damaged.c_str()) == 0)
                LogEvent(etWarning, "Unreadable queue kept as " + damaged, kRoutine, kUnit);
            else
                LogFailure("rename " + fresh);
        } else {
            DisposeOldFolder(fresh, folder);
        }
        return true;
    }
    if (errno == ENOENT && ::rename(fresh.c_str(), folder.c_str()) == 0) {
        SyncFolder(parent);
        return true;  // there was no queue folder yet
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return LogFailure("rename " + fresh);
    // No atomic exchange on this file system: the old folder aside, then the new one in.
    const std::string old = folder + ".old";
    DisposeOldFolder(old, folder);
    if (::rename(folder.c_str(), old.c_str()) != 0)
        return LogFailure("rename " + folder);
    if (::rename(fresh.c_str(), folder.c_str()) != 0) {
        LogFailure("rename " + fresh);
        ::rename(old.c_str(), folder.c_str());
        return false;
    }
    SyncFolder(parent);
    if (!keepOld)
        DisposeOldFolder(old, folder);
    return true;
}

TQueueFolderWriter::TQueueFolderWriter(std::string folder) : folder_(std::move(folder))
{
    thread_ = std::thread([this] { Run(); });
}

TQueueFolderWriter::~TQueueFolderWriter()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void TQueueFolderWriter::SetWrittenContentVersion(uint64_t contentVersion)
{
    std::lock_guard<std::mutex> guard(lock_);
    writtenVersion_ = contentVersion;
}

void TQueueFolderWriter::KeepOldFolderOnce()
{
    std::lock_guard<std::mutex> guard(lock_);
    keepOld_ = true;
}

void TQueueFolderWriter::Post(TQueueSnapshot snapshot)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        pending_ = std::move(snapshot);
    }
    wake_.notify_all();
}

bool TQueueFolderWriter::Flush()
{
    std::unique_lock<std::mutex> guard(lock_);
    idle_.wait(guard, [this] { return !pending_ && !writing_; });
    return lastResult_;
}

void TQueueFolderWriter::Run()
{
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        wake_.wait(guard, [this] { return stop_ || pending_; });
        if (!pending_)
            return;  // stopping with nothing left to write
        TQueueSnapshot snapshot = std::move(*pending_);
        pending_.reset();
        writing_ = true;
        guard.unlock();
        bool ok = Write(snapshot);
        guard.lock();
        writing_ = false;
        lastResult_ = ok;
        if (!pending_)
            idle_.notify_all();
    }
}

bool TQueueFolderWriter::Write(const TQueueSnapshot& snapshot)
{
    bool statusesOnly, keepOld;
    {
        std::lock_guard<std::mutex> guard(lock_);
        statusesOnly = writtenVersion_ == snapshot.contentVersion && !keepOld_;
        keepOld = keepOld_;
    }
    try {
        if (statusesOnly && WriteQueueStatuses(folder_, snapshot.entries))
            return true;
        if (!WriteQueueFolder(folder_, snapshot.entries, keepOld))
            return false;
        std::lock_guard<std::mutex> guard(lock_);
        writtenVersion_ = snapshot.contentVersion;
        keepOld_ = false;
        return true;
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), kRoutine, kUnit);
        return false;
    }
}
