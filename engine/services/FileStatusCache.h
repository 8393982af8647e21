#pragma once
// What a run knows of the files under its destination: each name is asked of the disk once, and
// the answer is kept until the run itself creates, moves or deletes the file (Forget) or the
// run's files change wholesale (Clear). Safe from several threads.
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

class TFileStatusCache {
public:
    // A regular file under the name itself, as IsPlainFileNoFollow says.
    bool IsPlainFile(const std::string& path);
    // As LinkBelowFolder says; the folders on the way are asked about once for all their files.
    bool LinkBelowFolder(const std::string& folder, const std::string& path);
    // As PlainFileBelowFolder says, without a stamp.
    bool PlainFileBelowFolder(const std::string& folder, const std::string& path);
    // The run created, replaced or removed the file under this name (its folders may be new too).
    void Forget(const std::string& path);
    void Clear();
    size_t Count() const;
    // S_IFDIR for a name known to be a folder; anything else is asked of the disk and kept only
    // when it is a folder: a name found missing may be made by a download at any moment.
    uint32_t FolderKind(const std::string& path);

private:
    // The name's type bits as lstat gives them, 0 when missing.
    uint32_t Kind(const std::string& path);

    mutable std::mutex lock_;
    std::unordered_map<std::string, uint32_t> kinds_;
    // Moves with every Forget and Clear: an answer the disk gave meanwhile may be stale, and is
    // not kept.
    uint64_t generation_ = 0;
};

// The cache's answer when there is a cache, else the disk's.
bool IsPlainFileCached(TFileStatusCache* cache, const std::string& path);
// With a cache, a regular file under the name itself; without, SafeFileExists.
bool FileExistsCached(TFileStatusCache* cache, const std::string& path);
bool LinkBelowFolderCached(TFileStatusCache* cache, const std::string& folder, const std::string& path);
