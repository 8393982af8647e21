#pragma once
// The saved job queue: a folder holding "Queue.ini" ([Queue] JobCount, JobStatus<n>) and one job
// file "<n>.GCJ" per job. A new folder is written beside the old one and exchanged with it, so a
// crash at any moment leaves one whole queue on disk.
#include "engine/job/JobTypes.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct TQueueSnapshotEntry {
    TCopyJob job;
    int32_t status = 0;
};

struct TQueueSnapshot {
    std::vector<TQueueSnapshotEntry> entries;
    // Changes whenever a job is added, removed or moved; equal versions hold the same job files.
    uint64_t contentVersion = 0;
};

// Writes snapshot into folder by way of folder + ".new" and an exchange. What the queue did not
// write (sub-folders, the user's files) moves from the old folder into the new one. A folder that
// is a symbolic link stays one: the folder it leads to is the one exchanged. keepOld: the old
// folder is kept as folder + ".damaged" (it held files that could not be read back) instead of
// being emptied. Errors are logged; False leaves the old folder as it was.
bool WriteQueueFolder(const std::string& folder, const std::vector<TQueueSnapshotEntry>& entries, bool keepOld);
// Rewrites only the folder's "Queue.ini", for status changes of a folder whose job files are current.
bool WriteQueueStatuses(const std::string& folder, const std::vector<TQueueSnapshotEntry>& entries);
// Deletes the files the queue writes ("Queue.ini", "<n>.GCJ") from folder; nothing else. Each
// failure is logged under routine.
void DeleteQueueFiles(const std::string& folder, const char* routine);
// True when the folder holds no job file beyond "<jobCount>.GCJ"; files the queue does not write
// are no part of it.
bool QueueFolderHoldsOnly(const std::string& folder, size_t jobCount);

// True when folder holds a saved queue (its "Queue.ini" or a job file), or when something that is
// no folder (nor a link to one) has its name.
bool SavedQueueExists(const std::string& folder);

// The hold of one saved queue among the program's processes: an advisory lock (flock) on the
// queue folder's name + ".lock", taken without waiting and held for the object's life. The
// system lets go of it when the process ends, however it ends. Only the holder reads and
// writes the saved queue.
class TQueueHold {
public:
    explicit TQueueHold(const std::string& queueFolder);
    ~TQueueHold();
    TQueueHold(const TQueueHold&) = delete;
    TQueueHold& operator=(const TQueueHold&) = delete;
    // False only when another process holds the queue. A lock file that cannot be made counts
    // as held (logged): the queue is then kept as before, unguarded.
    bool Held() const { return held_; }

private:
    int fd_ = -1;
    bool held_ = false;
};

// Writes queue snapshots on a thread of its own: the latest snapshot wins, and only the statuses
// are written when the job files on disk are already those of the snapshot.
class TQueueFolderWriter {
public:
    explicit TQueueFolderWriter(std::string folder);
    ~TQueueFolderWriter();
    TQueueFolderWriter(const TQueueFolderWriter&) = delete;
    TQueueFolderWriter& operator=(const TQueueFolderWriter&) = delete;

    // The folder on disk holds the job files of contentVersion (it was just read back whole).
    void SetWrittenContentVersion(uint64_t contentVersion);
    // The next full write keeps the old folder aside as ".damaged".
    void KeepOldFolderOnce();
    void Post(TQueueSnapshot snapshot);
    // Waits until every posted snapshot is written; the result of the last write.
    bool Flush();
    const std::string& Folder() const { return folder_; }

private:
    void Run();
    bool Write(const TQueueSnapshot& snapshot);

    const std::string folder_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::optional<TQueueSnapshot> pending_;
    bool writing_ = false;
    bool stop_ = false;
    bool lastResult_ = true;
    bool keepOld_ = false;
    std::optional<uint64_t> writtenVersion_;
    std::thread thread_;
};
