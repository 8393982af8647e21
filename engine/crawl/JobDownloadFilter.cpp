#include "engine/crawl/JobDownloadFilter.h"

#include "engine/crawl/MIMEExtensions.h"
#include "engine/parse/LinkRewrite.h"
#include "engine/services/ThreadSafeFileOps.h"
#include "platform/TextUtils.h"

namespace {

bool StartsWith(const std::string& s, const std::string& prefix)
{
    return s.compare(0, prefix.size(), prefix) == 0;
}

std::string WithSlash(const std::string& folder)
{
    return !folder.empty() && folder.back() == '/' ? folder : folder + "/";
}

// Up to and including the last "/"; empty when there is none.
std::string FolderPart(const std::string& name)
{
    size_t slash = name.rfind('/');
    return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

// From the last "." of the last segment, dot included.
std::string ExtensionOf(const std::string& name)
{
    size_t dot = name.find_last_of("./");
    return dot == std::string::npos || name[dot] != '.' ? std::string() : name.substr(dot);
}

// The file lies in hostFolder ("dest/host") or in the folder of that host on another port
// ("dest/host+8080"); any file does when hostFolder is empty.
bool InHostFolderOnAnyPort(const std::string& file, const std::string& hostFolder)
{
    if (!StartsWith(file, hostFolder))
        return false;
    size_t i = hostFolder.size();
    if (hostFolder.empty() || (i < file.size() && file[i] == '/'))
        return true;
    if (i >= file.size() || file[i] != '+')
        return false;
    const size_t digits = ++i;
    while (i < file.size() && file[i] >= '0' && file[i] <= '9')
        ++i;
    return i > digits && i < file.size() && file[i] == '/';
}

// The name lies below the folder and no "." or ".." segment leads out of it.
bool LiesInFolder(const std::string& name, const std::string& folder)
{
    const std::string prefix = WithSlash(folder);
    if (name.size() <= prefix.size() || !StartsWith(name, prefix))
        return false;
    size_t start = prefix.size();
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string::npos)
            end = name.size();
        const std::string_view segment(name.data() + start, end - start);
        if (segment == "." || segment == "..")
            return false;
        start = end + 1;
    }
    return true;
}

bool AllowsAuthentication(const TCopyJob& job)
{
    return job.DownloadOptions.AllowAuthentication;
}

bool AddsFileExtensions(const TCopyJob& job)
{
    return job.DownloadOptions.AddFileExtensions;
}

}  // namespace

TDownloadFilter::TDownloadFilter()
    : startTime_(std::chrono::steady_clock::now())
{
}

TDownloadFilter::~TDownloadFilter() = default;

void TDownloadFilter::LoadJob(const TCopyJob& job, bool resetCounters, bool computeFolders)
{
    std::lock_guard<std::mutex> guard(lock_);
    job_.Assign(job);
    PrepareLists();
    if (computeFolders)
        ComputeFoldersLocked();
    if (resetCounters) {
        startLogin_.Assign(job.StartingWebAddress);
        startTime_ = std::chrono::steady_clock::now();
        byteTotal_ = 0;
        reservedBytes_ = 0;
        fileCount_ = 0;
    }
}

void TDownloadFilter::PrepareLists()
{
    addresses_ = {TCSVMaskList(job_.AddressStrings), job_.AddressStringsPurpose};
    hosts_ = {TCSVMaskList(job_.Hosts), job_.HostsPurpose};
    extensions_ = {TCSVMaskList(job_.Extensions), job_.ExtensionsPurpose};
    types_ = {TCSVMaskList(job_.Types), job_.TypesPurpose};
    destinationPath_ = job_.GetDestinationPath();
}

void TDownloadFilter::SetStartURL(const TURL& address)
{
    std::lock_guard<std::mutex> guard(lock_);
    job_.StartingWebAddress.Assign(address);
    ComputeFoldersLocked();
}

void TDownloadFilter::ComputeRestrictionFolders()
{
    std::lock_guard<std::mutex> guard(lock_);
    ComputeFoldersLocked();
}

std::string TDownloadFilter::LocalFolderOf(const TURL& address) const
{
    const std::string name =
        address.URLToLocalFileName(destinationPath_, true, job_.AssumeWWWWhenNoThirdLevelDomain);
    return FolderPart(name);
}

void TDownloadFilter::ComputeFoldersLocked()
{
    startFolder_ = LocalFolderOf(job_.StartingWebAddress);
    TURL root;
    if (root.SetRelativeURL("/home", job_.StartingWebAddress))
        siteRootFolder_ = LocalFolderOf(root);
    else
        siteRootFolder_.clear();
    // The starting host's folder without a port: the same server is the same host on any port.
    TURL host;
    siteHostFolder_.clear();
    if (host.SetRelativeURL("//" + job_.StartingWebAddress.GetHostName() + "/", job_.StartingWebAddress)) {
        siteHostFolder_ = LocalFolderOf(host);
        if (!siteHostFolder_.empty())
            siteHostFolder_.pop_back();
    }
}

void TDownloadFilter::AddDownloadedBytes(int64_t count)
{
    std::lock_guard<std::mutex> guard(lock_);
    byteTotal_ += count;
}

void TDownloadFilter::IncrementFileCount()
{
    std::lock_guard<std::mutex> guard(lock_);
    ++fileCount_;
}

void TDownloadFilter::DecrementFileCount()
{
    std::lock_guard<std::mutex> guard(lock_);
    --fileCount_;
}

bool TDownloadFilter::IsJobTimeOver()
{
    std::lock_guard<std::mutex> guard(lock_);
    return IsJobTimeOverLocked();
}

bool TDownloadFilter::IsJobTimeOverLocked() const
{
    if (job_.MaxSecondsForAllDownloads == -1)
        return false;
    const auto elapsed = std::chrono::steady_clock::now() - startTime_;
    const int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    const int64_t secondsRoundedUp = (ms + 999) / 1000;
    return secondsRoundedUp >= job_.MaxSecondsForAllDownloads;
}

bool TDownloadFilter::RefusedByEquals(const TPreparedList& list, const std::string& value)
{
    if (list.purpose == 1)
        return !list.items.MemberEquals(value);
    if (list.purpose == 2)
        return list.items.MemberEquals(value);
    return false;
}

bool TDownloadFilter::RefusedByFoundIn(const TPreparedList& list, const std::string& value)
{
    if (list.purpose == 1)
        return !list.items.MemberFoundIn(value);
    if (list.purpose == 2)
        return list.items.MemberFoundIn(value);
    return false;
}

uint8_t TDownloadFilter::CheckURLBeforeDownload(const TURL& address, int32_t depth)
{
    std::lock_guard<std::mutex> guard(lock_);
    return CheckBeforeLocked(address, depth);
}

uint8_t TDownloadFilter::CheckAddressRules(const TURL& address, int32_t depth)
{
    std::lock_guard<std::mutex> guard(lock_);
    return CheckAddressRulesLocked(address, depth);
}

uint8_t TDownloadFilter::CheckAddressRulesLocked(const TURL& address, int32_t depth) const
{
    if (depth < 0)
        return FILTER_ACCEPTED;  // the starting address
    if (RefusedByFoundIn(addresses_, address.GetURL(false, true, false, true, true)))
        return FILTER_ADDRESS;
    if (RefusedByEquals(hosts_, address.GetHostName()))
        return FILTER_HOST;
    if (RefusedByEquals(extensions_, address.GetPathExtension()))
        return FILTER_EXTENSION;
    if (!job_.SaveQueryResults && !address.GetExtraInfo().empty())
        return FILTER_QUERY;
    return FILTER_ACCEPTED;
}

uint8_t TDownloadFilter::CheckBeforeLocked(const TURL& address, int32_t depth) const
{
    if (const uint8_t refused = CheckAddressRulesLocked(address, depth); refused != FILTER_ACCEPTED)
        return refused;
    if (job_.MaxFileCount != -1 && fileCount_ >= job_.MaxFileCount)
        return FILTER_FILE_COUNT;
    const int32_t scheme = address.GetScheme();
    // The scheme of the job's own starting address is always allowed for the job.
    const bool allowed = (scheme == usFTP && job_.DownloadFTP) || (scheme == usHTTP && job_.DownloadHTTP) ||
                         (scheme == usHTTPS && job_.DownloadHTTPS) ||
                         (address.IsDownloadableScheme() && job_.StartingWebAddress.IsValid() &&
                          scheme == job_.StartingWebAddress.GetScheme());
    if (!allowed)
        return FILTER_PROTOCOL;
    if (job_.MaxDistance != -1 && depth > job_.MaxDistance)
        return FILTER_DEPTH;
    if (IsJobTimeOverLocked())
        return FILTER_JOB_TIME;
    return FILTER_ACCEPTED;
}

bool TDownloadFilter::IsOutsideLocation(const TURL& address, const std::string& mimeType) const
{
    if (!address.IsHTML(mimeType) && job_.RestrictLocationOfWebPagesOnly)
        return false;
    switch (job_.RestrictLocation) {
    case 1:
        return !StartsWith(LocalFolderOf(address), startFolder_);
    case 2:
        return !SameTextIgnoringCase(address.GetHostName(), job_.StartingWebAddress.GetHostName());
    default:
        return false;
    }
}

bool TDownloadFilter::IsOnStartServer(const TURL& address) const
{
    const TURL& start = job_.StartingWebAddress;
    return address.GetScheme() == start.GetScheme() && address.GetPort() == start.GetPort() &&
           SameTextIgnoringCase(address.GetHostName(), start.GetHostName());
}

uint8_t TDownloadFilter::CheckLocationBeforeRequest(const TURL& address, int32_t depth, bool pageLink)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (depth < 0 || (job_.RestrictLocation != 1 && job_.RestrictLocation != 2) || IsOnStartServer(address))
        return FILTER_ACCEPTED;
    if (job_.RestrictLocationOfWebPagesOnly && (!pageLink || IsNonPageEnding(address.GetPathExtension())))
        return FILTER_ACCEPTED;
    return IsOutsideLocation(address, "text/html") ? FILTER_LOCATION : FILTER_ACCEPTED;
}

uint8_t TDownloadFilter::CheckDownloadAfterResponse(const TURL& address, const std::string& mimeType, int32_t depth,
                                                     int64_t size)
{
    std::lock_guard<std::mutex> guard(lock_);
    return CheckAfterLocked(address, mimeType, depth, size);
}

uint8_t TDownloadFilter::CheckAfterLocked(const TURL& address, const std::string& mimeType, int32_t depth,
                                           int64_t size) const
{
    const uint8_t before = CheckBeforeLocked(address, depth);
    if (before != FILTER_ACCEPTED)
        return before;
    if (IsOutsideLocation(address, mimeType))
        return FILTER_LOCATION;
    if (depth >= 0) {
        if (size != 0 && ((job_.MinFileSize != -1 && size < job_.MinFileSize) ||
                          (job_.MaxFileSize != -1 && size > job_.MaxFileSize)))
            return FILTER_FILE_SIZE;
        if (job_.MaxJobDownloadSize != -1 && byteTotal_ + reservedBytes_ + size > job_.MaxJobDownloadSize)
            return FILTER_JOB_SIZE;
        if (RefusedByEquals(types_, std::string(MediaTypeOf(mimeType))))
            return FILTER_MIME_TYPE;
    }
    if (!AllowsAuthentication(job_) && !address.IsUserInfoEmpty())
        return FILTER_PASSWORD;
    return FILTER_ACCEPTED;
}

uint8_t TDownloadFilter::AcceptDownloadAfterResponse(const TURL& address, const std::string& mimeType, int32_t depth,
                                                      int64_t size)
{
    std::lock_guard<std::mutex> guard(lock_);
    const uint8_t code = CheckAfterLocked(address, mimeType, depth, size);
    if (code == FILTER_ACCEPTED) {
        ++fileCount_;
        reservedBytes_ += size;
    }
    return code;
}

uint8_t TDownloadFilter::ReserveReceivedBytes(int64_t& reserved, int64_t received, int32_t depth)
{
    const bool start = depth < 0;
    if (received <= reserved && !start)
        return FILTER_ACCEPTED;
    std::lock_guard<std::mutex> guard(lock_);
    if (start && received > startPageCeiling_)
        return FILTER_FILE_SIZE;
    if (received <= reserved)
        return FILTER_ACCEPTED;
    const int64_t more = received - reserved;
    if (!start && job_.MaxFileSize != -1 && received > job_.MaxFileSize)
        return FILTER_FILE_SIZE;
    if (!start && job_.MaxJobDownloadSize != -1 && byteTotal_ + reservedBytes_ + more > job_.MaxJobDownloadSize)
        return FILTER_JOB_SIZE;
    reservedBytes_ += more;
    reserved = received;
    return FILTER_ACCEPTED;
}

void TDownloadFilter::SetStartPageCeiling(int64_t bytes)
{
    std::lock_guard<std::mutex> guard(lock_);
    startPageCeiling_ = bytes;
}

void TDownloadFilter::EndAcceptedDownload(int64_t acceptedSize, int64_t bytesWritten, bool kept)
{
    std::lock_guard<std::mutex> guard(lock_);
    reservedBytes_ -= acceptedSize;
    if (kept)
        byteTotal_ += bytesWritten;
    else
        --fileCount_;
}

uint8_t TDownloadFilter::CheckLocalFileForParsing(const std::string& localFile, int32_t depth, bool isWebPage)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (RefusedByFoundIn(addresses_, localFile))
        return FILTER_ADDRESS;
    if (RefusedByEquals(extensions_, ExtensionOf(localFile)))
        return FILTER_EXTENSION;
    if (job_.MaxDistance != -1 && depth > job_.MaxDistance)
        return FILTER_DEPTH;
    if (!isWebPage && job_.RestrictLocationOfWebPagesOnly)
        return FILTER_ACCEPTED;
    // Local names keep the letter case of their addresses' paths: compared byte for byte.
    if (job_.RestrictLocation == 1 && !StartsWith(localFile, startFolder_))
        return FILTER_LOCATION;
    if (job_.RestrictLocation == 2 && !InHostFolderOnAnyPort(localFile, siteHostFolder_))
        return FILTER_LOCATION;
    return FILTER_ACCEPTED;
}

uint8_t TDownloadFilter::MapURLToLocalFile(const TURL& address, const std::string& mimeType, std::string& fileName)
{
    std::lock_guard<std::mutex> guard(lock_);
    fileName = address.URLToLocalFileName(destinationPath_, job_.RecreateFolderStructure,
                                          job_.AssumeWWWWhenNoThirdLevelDomain);
    if (fileName.empty()) {
        // Addresses with a file name whose name would be unsafe are refused; others have none.
        const bool refused = address.GetScheme() == usFile || address.IsDownloadableScheme();
        return refused ? FILTER_LOCATION : FILTER_ACCEPTED;
    }
    if (AddsFileExtensions(job_))
        fileName = AddExtensionForMIMEType(fileName, mimeType);
    if (!LiesInFolder(fileName, destinationPath_)) {
        fileName.clear();
        return FILTER_LOCATION;
    }
    return FILTER_ACCEPTED;
}

bool TDownloadFilter::FindStartAddressLogin(const TURL& address, std::string& username, std::string& password)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (!AllowsAuthentication(job_) || !startLogin_.IsValid() || startLogin_.GetUserName().empty() ||
        !address.IsValid() || address.GetScheme() != startLogin_.GetScheme() ||
        address.GetPort() != startLogin_.GetPort() ||
        !SameTextIgnoringCase(address.GetHostName(), startLogin_.GetHostName()))
        return false;
    username = startLogin_.GetUserName();
    password = startLogin_.GetPassword();
    return true;
}

void TDownloadFilter::LoadCopyIndex()
{
    fileStatus_.Clear();
    fileStatusInUse_ = true;
    std::lock_guard<std::mutex> guard(lock_);
    copyIndex_.Load(destinationPath_);
}

void TDownloadFilter::EndFileStatus()
{
    fileStatusInUse_ = false;
    fileStatus_.Clear();
}

bool TDownloadFilter::SaveCopyIndex()
{
    std::lock_guard<std::mutex> guard(lock_);
    return copyIndex_.Save();
}

bool TDownloadFilter::FindInCopy(const TURL& address, TCopyIndexEntry& entry)
{
    std::lock_guard<std::mutex> guard(lock_);
    std::optional<TCopyIndexEntry> found = copyIndex_.FindAddress(address);
    if (!found || found->localName.compare(0, destinationPath_.size(), destinationPath_) != 0)
        return false;
    entry = std::move(*found);
    return true;
}

void TDownloadFilter::RecordInCopy(const TURL& address, const std::string& localName, const std::string& mimeType,
                                   const std::string& lastModified, const std::string& etag, bool fetched)
{
    std::lock_guard<std::mutex> guard(lock_);
    copyIndex_.Record(address, localName, mimeType, lastModified, etag, fetched);
}

bool TDownloadFilter::AddressOfLocalFile(const std::string& localName, const std::string& pageFile,
                                         const TURL& pageURL, TURL& address)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (const std::optional<TCopyIndexEntry> entry = copyIndex_.FindLocalFile(localName))
        return address.SetFullURL(entry->address);
    if (!job_.RecreateFolderStructure || !pageURL.IsDownloadableScheme() ||
        !LiesInFolder(localName, destinationPath_) || !LiesInFolder(pageFile, destinationPath_))
        return false;
    // The host folder is the first component below the destination.
    const size_t hostStart = WithSlash(destinationPath_).size();
    const size_t hostEnd = pageFile.find('/', hostStart);
    if (hostEnd == std::string::npos || localName.compare(0, hostEnd + 1, pageFile, 0, hostEnd + 1) != 0)
        return false;
    return address.SetRelativeURL(LocalPathAsAddress(MakeRelativeLink(pageFile, localName)), pageURL) &&
           address.IsDownloadableScheme();
}

uint64_t TDownloadFilter::LocalNamesChanges()
{
    std::lock_guard<std::mutex> guard(lock_);
    return copyIndex_.NameChanges();
}

bool TDownloadFilter::IsFileOfCopy(const std::string& path, TFileStamp* stamp)
{
    // Downloads running now may make the file or its folders: only folders known to exist are
    // taken from what the job knows, the rest is asked of the disk.
    if (fileStatusInUse_)
        return PlainFileBelowFolder(
            DestinationPath(), path, [this](const std::string& name) { return fileStatus_.FolderKind(name); }, stamp);
    return PlainFileBelowFolder(DestinationPath(), path, stamp);
}

bool TDownloadFilter::IsKnownFileOfCopy(const std::string& path)
{
    if (fileStatusInUse_)
        return fileStatus_.PlainFileBelowFolder(DestinationPath(), path);
    return IsFileOfCopy(path);
}

bool TDownloadFilter::CSVMemberFoundInString(const std::string& value, const std::string& list)
{
    return TCSVMaskList(list).MemberFoundIn(value);
}

bool TDownloadFilter::CSVMemberEqualsString(const std::string& value, const std::string& list)
{
    return TCSVMaskList(list).MemberEquals(value);
}

int64_t TDownloadFilter::ByteTotal()
{
    std::lock_guard<std::mutex> guard(lock_);
    return byteTotal_;
}

int32_t TDownloadFilter::FileCount()
{
    std::lock_guard<std::mutex> guard(lock_);
    return fileCount_;
}

std::string TDownloadFilter::StartFolder()
{
    std::lock_guard<std::mutex> guard(lock_);
    return startFolder_;
}

std::string TDownloadFilter::DestinationPath()
{
    std::lock_guard<std::mutex> guard(lock_);
    return destinationPath_;
}

std::string TDownloadFilter::SiteRootFolder()
{
    std::lock_guard<std::mutex> guard(lock_);
    return siteRootFolder_;
}
