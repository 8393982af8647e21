#pragma once
// What reading a page needs of the running job's local names: the file an address is saved
// under, and the address a file of the copy stands for. The download filter provides it; the
// parsers reach it through this interface, below the crawl code.
#include "engine/services/ThreadSafeFileOps.h"
#include "platform/Singleton.h"

#include <cstdint>
#include <string>

class TFileStatusCache;
class TURL;

class TLocalNames : public TSingleton<TLocalNames> {
public:
    virtual ~TLocalNames() = default;

    // The local file name of an address in the job's destination (with an ending for its MIME
    // type when the job adds them); empty when it has none. A filter code says why.
    virtual uint8_t MapURLToLocalFile(const TURL& address, const std::string& mimeType, std::string& fileName) = 0;
    // The address a local file of the copy stands for, as a link in the page pageFile (fetched
    // from pageURL) names it; False when none is known.
    virtual bool AddressOfLocalFile(const std::string& localName, const std::string& pageFile, const TURL& pageURL,
                                    TURL& address) = 0;
    // Raised whenever an answer of AddressOfLocalFile may have changed since.
    virtual uint64_t LocalNamesChanges() { return 0; }
    // A regular file of the copy: in the job's destination, reached through no symbolic link
    // below it. Nothing else is opened, read or dated as part of the copy; stamp, when given,
    // receives the file's own.
    virtual bool IsFileOfCopy(const std::string& path, TFileStamp* stamp = nullptr) = 0;
    // As IsFileOfCopy, answered from what the job knows of its files where it can: for reading
    // pages, whose named files the run's own downloads tell it about.
    virtual bool IsKnownFileOfCopy(const std::string& path) { return IsFileOfCopy(path); }
    // What the running job knows of the files under its destination; none outside a job.
    virtual TFileStatusCache* FileStatus() { return nullptr; }

protected:
    TLocalNames() = default;
};

// IsKnownFileOfCopy of the running job; without one (a parser on its own), a regular file under
// its own name.
inline bool IsFileOfJobCopy(const std::string& path)
{
    TLocalNames* names = TLocalNames::Instance();
    return names != nullptr ? names->IsKnownFileOfCopy(path) : IsPlainFileNoFollow(path);
}

// What the running job knows of its files; none outside a job.
inline TFileStatusCache* FileStatusOfJob()
{
    TLocalNames* names = TLocalNames::Instance();
    return names != nullptr ? names->FileStatus() : nullptr;
}
