#pragma once
// File helpers that decide about files other threads may be writing. Each runs its one system
// call under the process-wide file lock.
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

std::mutex& FileOpsLock();

// The folder exists, or every missing folder on the path was created.
bool SafeForceDirectories(const std::string& folder);
// The file's size (64-bit); False with size 0 when it cannot be opened (logged).
bool ThreadSafeFileByteSize(const std::string& path, int64_t& size);
// Moves a file; fails when newPath exists (never overwrites).
bool SafeMoveFile(const std::string& oldPath, const std::string& newPath);
// True for an existing file that is not a folder.
bool SafeFileExists(const std::string& path);
// A regular file under the name itself (a symbolic link, folder or missing name gives False).
bool IsPlainFileNoFollow(const std::string& path);
bool SafeDeleteFile(const std::string& path);
// True when a component of path below folder, the last one included, is a symbolic link: what
// is written, renamed or deleted through it could land outside the folder. The folder itself
// may be a link (the user chose it). The check ends at the first component that does not exist;
// a path that does not lie in folder gives False (it is for the callers' own checks to refuse).
// One lstat per component, nothing cached.
bool LinkBelowFolder(const std::string& folder, const std::string& path);
// What lstat would say of a name: a stat mode's type bits, 0 for a missing name.
using TFileKindOf = std::function<uint32_t(const std::string&)>;
// The same walk with the components' kinds from kindOf.
bool LinkBelowFolder(const std::string& folder, const std::string& path, const TFileKindOf& kindOf);
// The type bits of the name itself (lstat), 0 when missing.
uint32_t FileKindNoFollow(const std::string& path);

// What identifies one version of a plain file: a file replaced or written again gets another.
struct TFileStamp {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = 0;
    int64_t modifiedNs = 0;
    int64_t changedNs = 0;  // status change: also moves when the modification time is put back
    bool operator==(const TFileStamp&) const = default;
};
// The stamp of a regular file under the name itself; False for anything else.
bool PlainFileStamp(const std::string& path, TFileStamp& stamp);
// A regular file of folder reached through no symbolic link below folder, itself included: what
// the copy may open, read or date. False for a path outside folder or climbing out of it with
// "..". stamp, when given, receives the file's own (from the same lstat).
bool PlainFileBelowFolder(const std::string& folder, const std::string& path, TFileStamp* stamp = nullptr);
// The same walk with the components' kinds from kindOf.
bool PlainFileBelowFolder(const std::string& folder, const std::string& path, const TFileKindOf& kindOf);
// The same walk with the folders' kinds from folderKindOf and the file's own from the disk.
bool PlainFileBelowFolder(const std::string& folder, const std::string& path, const TFileKindOf& folderKindOf,
                          TFileStamp* stamp);

// The file system of the folder takes names differing only in letter case for one file (found
// with a probe file made and removed in it). False when it keeps them apart or cannot be probed.
bool FolderFoldsCase(const std::string& folder);
