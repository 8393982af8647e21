#include "engine/services/FileStatusCache.h"

#include "engine/services/ThreadSafeFileOps.h"

#include <sys/stat.h>

uint32_t TFileStatusCache::Kind(const std::string& path)
{
    uint64_t generation = 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (const auto known = kinds_.find(path); known != kinds_.end())
            return known->second;
        generation = generation_;
    }
    // Nothing is below a missing folder. Asked outside the lock: the other threads' answers do
    // not wait for the disk.
    const size_t slash = path.rfind('/');
    const bool inMissingFolder = slash != std::string::npos && slash > 0 && Kind(path.substr(0, slash)) == 0;
    const uint32_t kind = inMissingFolder ? 0 : FileKindNoFollow(path);
    std::lock_guard<std::mutex> guard(lock_);
    if (generation == generation_)
        kinds_.emplace(path, kind);
    return kind;
}

uint32_t TFileStatusCache::FolderKind(const std::string& path)
{
    uint64_t generation = 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (const auto known = kinds_.find(path); known != kinds_.end() && known->second == S_IFDIR)
            return S_IFDIR;
        generation = generation_;
    }
    const uint32_t kind = FileKindNoFollow(path);
    if (kind == S_IFDIR) {
        std::lock_guard<std::mutex> guard(lock_);
        if (generation == generation_)
            kinds_.insert_or_assign(path, kind);
    }
    return kind;
}

bool TFileStatusCache::IsPlainFile(const std::string& path)
{
    return Kind(path) == S_IFREG;
}

bool TFileStatusCache::LinkBelowFolder(const std::string& folder, const std::string& path)
{
    return ::LinkBelowFolder(folder, path, [this](const std::string& name) { return Kind(name); });
}

bool TFileStatusCache::PlainFileBelowFolder(const std::string& folder, const std::string& path)
{
    return ::PlainFileBelowFolder(folder, path, [this](const std::string& name) { return Kind(name); });
}

void TFileStatusCache::Forget(const std::string& path)
{
    std::lock_guard<std::mutex> guard(lock_);
    kinds_.erase(path);
    // Folders known to be missing may have been made for the file.
    for (size_t slash = path.rfind('/'); slash != std::string::npos && slash > 0; slash = path.rfind('/', slash - 1)) {
        const auto folder = kinds_.find(path.substr(0, slash));
        if (folder != kinds_.end() && folder->second != 0)
            break;
        if (folder != kinds_.end())
            kinds_.erase(folder);
    }
    ++generation_;
}

void TFileStatusCache::Clear()
{
    std::lock_guard<std::mutex> guard(lock_);
    kinds_.clear();
    ++generation_;
}

size_t TFileStatusCache::Count() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return kinds_.size();
}

bool IsPlainFileCached(TFileStatusCache* cache, const std::string& path)
{
    return cache != nullptr ? cache->IsPlainFile(path) : IsPlainFileNoFollow(path);
}

bool FileExistsCached(TFileStatusCache* cache, const std::string& path)
{
    return cache != nullptr ? cache->IsPlainFile(path) : SafeFileExists(path);
}

bool LinkBelowFolderCached(TFileStatusCache* cache, const std::string& folder, const std::string& path)
{
    return cache != nullptr ? cache->LinkBelowFolder(folder, path) : LinkBelowFolder(folder, path);
}
