#pragma once
// File helpers that decide about files other threads may be writing. Each runs its one system
// call under the process-wide file lock.
#include <cstdint>
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
