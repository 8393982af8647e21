#pragma once
// The download job: where to start, where to save, what to fetch and how; saved as a job file.
#include "engine/job/DownloadOptionTypes.h"
#include "engine/job/URLType.h"

#include <cstdint>
#include <string>

class TIniFile;

// Purpose of the four comma lists (AddressStrings, Extensions, Types, Hosts).
constexpr int32_t lpOnlyThese = 1;
constexpr int32_t lpNotThese = 2;
constexpr int32_t lpUnused = 3;

// The folder as an absolute path without ".", "..", empty segments or a trailing "/". A relative
// folder is taken below base, "~" and "~/..." below $HOME; ".." never climbs above "/". Empty
// when the folder is empty or no absolute base is at hand.
std::string NormalFolderPath(const std::string& folder, const std::string& base);

class TCopyJob {
public:
    // The zero state: a usable job needs Clear or ReadJobFile.
    TCopyJob();

    void Assign(const TCopyJob& source) { *this = source; }
    // The job defaults; keeps the folder, the start address and the texts of the address,
    // extension and MIME type lists.
    void Clear();
    // Empty lists become unused, the folder structure is recreated, and flattening turns off
    // link rewriting and updating. True when a list purpose was changed.
    bool Normalize();

    void SetDestinationFolder(const std::string& folder);
    // Makes DestinationFolder absolute and lexically normal (NormalFolderPath; a relative
    // folder lies below base). False, with the folder unchanged, when the result would be
    // empty or the file-system root.
    bool NormalizeDestinationFolder(const std::string& base);
    // The folder downloads go to: the destination folder, plus the subfolder of this run.
    std::string GetDestinationPath() const;
    bool HasDestinationSubfolder() const { return !DestinationSubfolder.empty(); }
    // Creates a new subfolder named after the current local time ("2024-03-05 14.07.09",
    // then "... (1)" and so on) and makes it this run's subfolder.
    bool SelectUniqueDestinationSubfolder();

    void ExcludeMimeType(const std::string& mimeType);
    void ExcludeExtension(const std::string& extension);
    void ExcludeHost(const std::string& host);

    // False when the file cannot be read, is not a job file of this schema or holds corrupt
    // credentials; the job is then unchanged.
    bool ReadJobFile(const std::string& fileName);
    // Writes a complete new file (mode 0600 when it holds credentials).
    bool WriteJobFile(const std::string& fileName) const;
    // The same on a document in memory.
    bool ReadFromIni(const TIniFile& ini);
    void WriteToIni(TIniFile& ini) const;

    std::string DestinationFolder;
    std::string DestinationSubfolder;  // chosen for one run, never saved
    std::string JobName;
    TURL StartingWebAddress;
    bool RecreateFolderStructure = true;
    bool FlattenDestinationFolders = false;
    bool RewriteLinks = false;
    int32_t RestrictLocation = 0;  // 1 same folder, 2 same server, 3 anywhere
    bool RestrictLocationOfWebPagesOnly = false;
    int32_t MaxDistance = 0;  // -1 none
    std::string AddressStrings;
    int32_t AddressStringsPurpose = 0;
    int32_t MaxFileCount = 0;
    int32_t MinFileSize = 0;
    int32_t MaxFileSize = 0;
    int64_t MaxJobDownloadSize = 0;
    std::string Extensions;
    int32_t ExtensionsPurpose = 0;
    std::string Types;
    int32_t TypesPurpose = 0;
    std::string Hosts;
    int32_t HostsPurpose = 0;
    TCopyJobDownloadOptions DownloadOptions;
    std::string StartingReferrer;
    int32_t PauseBetweenDownloads = 0;
    bool HonorRobotNoIndexTags = false;
    bool HonorRobotNoFollowTags = false;
    bool SaveQueryResults = false;
    bool DownloadHTTP = true;
    bool DownloadFTP = false;
    bool DownloadHTTPS = false;
    bool DownloadDefaultInEachDirectory = false;
    int32_t MaxSecondsForAllDownloads = -1;
    bool AssumeWWWWhenNoThirdLevelDomain = false;
    bool PruneFolders = true;
    bool AddMarkOfWebOnRewrite = false;
    bool KeepRewriteInputFiles = false;
};

// Adds value to a comma list so that it is excluded: removed from an "only these" list, added to
// a "not these" list, or made the only member of a "not these" list when the list was unused.
// Values over 64 characters and lists over 64 members are left alone.
void AddToTypeList(std::string& list, int32_t& purpose, const std::string& value);
// The members of a comma list, without empty ones and ones longer than maxLength, at most
// maxCount, joined by ", ".
std::string NormalizeList(const std::string& text, size_t maxLength, size_t maxCount);
// Writes the three standard job templates into folder (ending with "/") unless they exist.
void WriteDefaultJobTemplates(const std::string& folder);
