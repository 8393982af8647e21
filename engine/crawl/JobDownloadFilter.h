#pragma once
// The running job's download filter: whether an address may be fetched, whether a response
// may be kept, the job's running totals, and the local file name of an address. Download
// threads and the crawl thread call it concurrently; every operation holds its lock.
#include "engine/job/CSVMaskList.h"
#include "engine/crawl/CopyIndex.h"
#include "engine/job/JobTypes.h"
#include "engine/job/LocalNames.h"
#include "engine/messages/FilterCodes.h"
#include "engine/job/URLType.h"
#include "engine/services/FileStatusCache.h"
#include "platform/Singleton.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

class TDownloadFilter : public TSingleton<TDownloadFilter>, public TLocalNames {
public:
    using TSingleton<TDownloadFilter>::Instance;

    TDownloadFilter();
    ~TDownloadFilter() override;

    // Copies the job and prepares its lists; with computeFolders the restriction folders are
    // worked out again, with resetCounters (a new job) the start time, byte total and file count
    // restart and the starting address's credentials are taken for FindStartAddressLogin.
    void LoadJob(const TCopyJob& job, bool resetCounters, bool computeFolders);
    // The starting address was redirected: it becomes the job's start and the folders follow.
    void SetStartURL(const TURL& address);
    void ComputeRestrictionFolders();

    void AddDownloadedBytes(int64_t count);
    void IncrementFileCount();
    void DecrementFileCount();
    bool IsJobTimeOver();

    // The checks before any request. The location is not among them: an address outside may
    // answer with a redirect inside, so it is judged on an answer with a body.
    uint8_t CheckURLBeforeDownload(const TURL& address, int32_t depth);
    // The verdict of the rules CheckURLBeforeDownload applies first, those that depend on the
    // address and the job's lists alone (address strings, hosts, extensions, queries): the code
    // of the first that refuses, else FILTER_ACCEPTED.
    uint8_t CheckAddressRules(const TURL& address, int32_t depth);
    // The location before a request, for an address on another server than the starting one
    // (scheme, host or port): with the location rule for web pages only, a page link (pageLink)
    // whose path does not end in a type that is not a page is judged as a page; with the rule for
    // every file, every address is judged. FILTER_LOCATION when the rule refuses it, else
    // FILTER_ACCEPTED. An address on the starting server is judged on its answer (it may redirect
    // inside), and so is the starting address (depth -1).
    uint8_t CheckLocationBeforeRequest(const TURL& address, int32_t depth, bool pageLink);
    // size: bytes the server announced, 0 when it gave none.
    uint8_t CheckDownloadAfterResponse(const TURL& address, const std::string& mimeType, int32_t depth, int64_t size);
    uint8_t CheckLocalFileForParsing(const std::string& localFile, int32_t depth, bool isWebPage);

    // CheckDownloadAfterResponse and, when the file is accepted, counting it and reserving
    // its announced size, all under one hold of the lock, so that MaxFileCount and
    // MaxJobDownloadSize hold with several download threads. Each accepted file is later
    // settled with EndAcceptedDownload.
    uint8_t AcceptDownloadAfterResponse(const TURL& address, const std::string& mimeType, int32_t depth,
                                        int64_t size);
    // A body arriving at depth has grown to received bytes. Within what is reserved for it (at
    // first its announced size, which the filter accepted) it goes on. Beyond that, the bytes are
    // reserved in turn when they stay within MaxFileSize and the job's remaining
    // MaxJobDownloadSize; else FILTER_FILE_SIZE or FILTER_JOB_SIZE, and nothing is reserved.
    // The starting address (depth -1) is held to no size rule, only to the start-page ceiling
    // (FILTER_FILE_SIZE past it), so that an endless start page still ends.
    uint8_t ReserveReceivedBytes(int64_t& reserved, int64_t received, int32_t depth);
    // The most a start page may grow to: far above any real page.
    static constexpr int64_t kStartPageCeiling = int64_t{1} << 30;
    // Tests lower the ceiling to watch it without writing a gigabyte.
    void SetStartPageCeiling(int64_t bytes);
    // Releases the reservation of an accepted file: a kept file adds its bytes to the total,
    // a discarded one is no longer counted.
    void EndAcceptedDownload(int64_t acceptedSize, int64_t bytesWritten, bool kept);

    // The local file name of an address in the job's destination, with an extension for its
    // MIME type when the job adds them. FILTER_ACCEPTED, or FILTER_LOCATION with an empty
    // name when the name would lie outside the destination folder.
    uint8_t MapURLToLocalFile(const TURL& address, const std::string& mimeType, std::string& fileName) override;

    // The user name and password of the job's starting address (as the job was loaded, before
    // any redirect) for an address of its scheme, host and port; False for any other address,
    // when the starting address has no user name, or when the job does not allow authentication.
    bool FindStartAddressLogin(const TURL& address, std::string& username, std::string& password);

    // The index of the copy in the job's destination: read when a job starts, consulted by the
    // downloads and the reading of pages on disk, written when the job ends. What the job knows
    // of its files (FileStatus) starts afresh with it.
    void LoadCopyIndex();
    bool SaveCopyIndex();
    // A copy of the address's entry, when the index has one whose file is there.
    bool FindInCopy(const TURL& address, TCopyIndexEntry& entry);
    void RecordInCopy(const TURL& address, const std::string& localName, const std::string& mimeType,
                      const std::string& lastModified, const std::string& etag, bool fetched);
    // The address a local file of the copy stands for, as a link in the page pageFile (fetched
    // from pageURL) names it: the index's address for the file; else, in the folder layout, the
    // link resolved against the page's address when both files lie in the same host folder (the
    // file's name is then its address's path). False when neither applies.
    bool AddressOfLocalFile(const std::string& localName, const std::string& pageFile, const TURL& pageURL,
                            TURL& address) override;
    uint64_t LocalNamesChanges() override;
    bool IsFileOfCopy(const std::string& path, TFileStamp* stamp = nullptr) override;
    bool IsKnownFileOfCopy(const std::string& path) override;
    // From LoadCopyIndex to EndFileStatus; it has its own lock: asked for every link of the
    // pages read from the copy.
    TFileStatusCache* FileStatus() override { return fileStatusInUse_ ? &fileStatus_ : nullptr; }
    // The job's files are about to change wholesale (folders flattened), or the job ended.
    void EndFileStatus();

    static bool CSVMemberFoundInString(const std::string& value, const std::string& list);
    static bool CSVMemberEqualsString(const std::string& value, const std::string& list);

    // Read-only views for the progress display and tests.
    int64_t ByteTotal();
    int32_t FileCount();
    std::string StartFolder();
    // The job's destination path, under which it writes.
    std::string DestinationPath();
    std::string SiteRootFolder();

private:
    struct TPreparedList {
        TCSVMaskList items;
        int32_t purpose = 3;
    };

    void PrepareLists();
    void ComputeFoldersLocked();
    bool IsJobTimeOverLocked() const;
    uint8_t CheckBeforeLocked(const TURL& address, int32_t depth) const;
    uint8_t CheckAddressRulesLocked(const TURL& address, int32_t depth) const;
    uint8_t CheckAfterLocked(const TURL& address, const std::string& mimeType, int32_t depth, int64_t size) const;
    bool IsOutsideLocation(const TURL& address, const std::string& mimeType) const;
    bool IsOnStartServer(const TURL& address) const;
    std::string LocalFolderOf(const TURL& address) const;
    static bool RefusedByEquals(const TPreparedList& list, const std::string& value);
    static bool RefusedByFoundIn(const TPreparedList& list, const std::string& value);

    std::mutex lock_;
    TCopyJob job_;
    TURL startLogin_;  // the starting address with its credentials, as the job was started
    std::string startFolder_;
    std::string siteRootFolder_;
    std::string siteHostFolder_;  // the site root's host folder without a port or the last "/"
    std::chrono::steady_clock::time_point startTime_;
    int64_t byteTotal_ = 0;
    int64_t reservedBytes_ = 0;  // announced sizes of accepted files not yet settled
    int32_t fileCount_ = 0;
    int64_t startPageCeiling_ = kStartPageCeiling;

    TPreparedList addresses_;
    TPreparedList hosts_;
    TPreparedList extensions_;
    TPreparedList types_;
    std::string destinationPath_;
    TCopyIndex copyIndex_;
    TFileStatusCache fileStatus_;
    std::atomic<bool> fileStatusInUse_{false};
};
