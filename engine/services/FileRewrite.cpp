#include "engine/services/FileRewrite.h"

#include "engine/services/ThreadSafeFileOps.h"
#include "engine/services/WorkingFiles.h"
#include "platform/ErrorCodes.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int64_t kCopyBlock = 1 << 18;
constexpr int64_t kCompareBlock = 1 << 12;

std::string FolderOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// Gives the file open as "to" the last-write time of the one open as "from"; a failure leaves
// the time of the writing, which only costs a later update run a full download.
void CopyLastWriteTime(int from, int to)
{
    struct stat st {};
    if (::fstat(from, &st) != 0)
        return;
    const struct timespec times[2] = {{0, UTIME_OMIT}, st.st_mtim};
    (void)::futimens(to, times);
}

}  // namespace

void TFileRewrite::Fail(const std::string& call, const std::string& path, int err) const
{
    uint32_t code = SetLastErrorFromErrno(err);
    std::string text = SystemErrorMessage(code);
    throw std::runtime_error(call + " " + path + (text.empty() ? std::string() : ": " + text));
}

TRewriteSpares::~TRewriteSpares()
{
    for (TSpare& spare : spares_) {
        ::close(spare.fd);
        ::unlink(spare.name.c_str());
    }
}

bool TRewriteSpares::Take(uint64_t device, TSpare& spare)
{
    std::lock_guard<std::mutex> guard(lock_);
    for (size_t i = spares_.size(); i-- > 0;) {
        if (spares_[i].device != device)
            continue;
        spare = std::move(spares_[i]);
        spares_.erase(spares_.begin() + static_cast<std::ptrdiff_t>(i));
        return true;
    }
    return false;
}

void TRewriteSpares::Give(TSpare spare)
{
    std::lock_guard<std::mutex> guard(lock_);
    spares_.push_back(std::move(spare));
}

size_t TRewriteSpares::Count() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return spares_.size();
}

TFileRewrite::TFileRewrite(const std::string& fileName, TRewriteSpares* spares) : fileName_(fileName), spares_(spares)
{
    sourceFd_ = ::open(fileName_.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (sourceFd_ < 0)
        Fail("CreateFile", fileName_, errno);
    struct stat st {};
    if (::fstat(sourceFd_, &st) != 0)
        Fail("GetFileSize", fileName_, errno);
    if (!S_ISREG(st.st_mode))
        Fail("CreateFile", fileName_, EACCES);
    sourceSize_ = static_cast<int64_t>(st.st_size);
    mode_ = st.st_mode & 07777;
    uid_ = st.st_uid;
    gid_ = st.st_gid;
    device_ = static_cast<uint64_t>(st.st_dev);
}

bool TFileRewrite::TakeSpare()
{
    TRewriteSpares::TSpare spare;
    if (spares_ == nullptr || !spares_->Take(device_, spare))
        return false;
    if (::ftruncate(spare.fd, 0) != 0 || ::lseek(spare.fd, 0, SEEK_SET) != 0) {
        ::close(spare.fd);
        ::unlink(spare.name.c_str());
        return false;
    }
    tempFd_ = spare.fd;
    tempName_ = std::move(spare.name);
    tempIsSpare_ = true;
    return true;
}

void TFileRewrite::OpenTemporary()
{
    if (tempFd_ >= 0)
        return;
    if (!TakeSpare()) {
        std::string pattern = RewriteTemporaryPattern(FolderOf(fileName_));
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        tempFd_ = ::mkostemp(name.data(), O_CLOEXEC);
        if (tempFd_ < 0)
            Fail("CreateFile", pattern, errno);
        tempName_ = name.data();
    }
    if (::fchmod(tempFd_, mode_) != 0)
        Fail("SetFileAttributes", tempName_, errno);
    // Keeps the owner where we may (running as root); otherwise the file becomes ours.
    if (::fchown(tempFd_, uid_, gid_) != 0) {
        // not permitted for other users' files: the permission bits still carry over
    }
}

TFileRewrite::~TFileRewrite()
{
    if (!committed_ && tempIsSpare_ && tempFd_ >= 0) {
        // The pool's file goes back; it is emptied when next taken.
        spares_->Give({tempFd_, tempName_, device_});
        tempFd_ = -1;
        tempName_.clear();
    }
    if (tempFd_ >= 0)
        ::close(tempFd_);
    if (sourceFd_ >= 0)
        ::close(sourceFd_);
    if (!committed_ && !tempName_.empty())
        ::unlink(tempName_.c_str());
}

// Reads count bytes at offset; a file that ends before is an error.
void TFileRewrite::ReadSource(char* buffer, int64_t count, int64_t offset)
{
    int64_t done = 0;
    while (done < count) {
        ssize_t n = ::pread(sourceFd_, buffer + done, static_cast<size_t>(count - done), offset + done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            Fail("ReadFile", fileName_, errno);
        }
        if (n == 0)
            break;
        done += n;
    }
    if (done < count)
        throw std::runtime_error("ReadFile " + fileName_ + ": the file ended early");
}

std::string TFileRewrite::ReadAll()
{
    std::string data;
    data.resize(static_cast<size_t>(sourceSize_));
    ReadSource(data.data(), sourceSize_, 0);
    sourcePos_ = sourceSize_;
    return data;
}

void TFileRewrite::FillWindow()
{
    int64_t count = std::min<int64_t>(kCopyBlock, sourceSize_ - sourcePos_);
    if (count <= 0)
        throw std::runtime_error("ReadFile " + fileName_ + ": the file ended early");
    window_.resize(static_cast<size_t>(count));
    ReadSource(window_.data(), count, sourcePos_);
    windowStart_ = sourcePos_;
}

void TFileRewrite::CopySource(int64_t count)
{
    if (count < 0)
        count = sourceSize_ - sourcePos_;
    // Output that still is the original, copied from where it stands: nothing to read or write.
    if (!diverged_ && sourcePos_ == matched_ && count > 0) {
        if (count > sourceSize_ - sourcePos_)
            throw std::runtime_error("ReadFile " + fileName_ + ": the file ended early");
        sourcePos_ += count;
        matched_ += count;
        return;
    }
    while (count > 0) {
        int64_t windowEnd = windowStart_ + static_cast<int64_t>(window_.size());
        if (sourcePos_ < windowStart_ || sourcePos_ >= windowEnd) {
            FillWindow();
            windowEnd = windowStart_ + static_cast<int64_t>(window_.size());
        }
        int64_t chunk = std::min(count, windowEnd - sourcePos_);
        Write(std::string_view(window_).substr(static_cast<size_t>(sourcePos_ - windowStart_),
                                               static_cast<size_t>(chunk)));
        sourcePos_ += chunk;
        count -= chunk;
    }
}

void TFileRewrite::SkipSource(int64_t count)
{
    sourcePos_ = std::min(sourceSize_, sourcePos_ + std::max<int64_t>(count, 0));
}

std::string_view TFileRewrite::CompareBytes(int64_t offset, int64_t count)
{
    const int64_t end = compareStart_ + static_cast<int64_t>(compare_.size());
    if (offset < compareStart_ || offset >= end) {
        // A link's text is short: most comparisons need a few bytes, not a block.
        const int64_t size = std::min({kCopyBlock, std::max(count, kCompareBlock), sourceSize_ - offset});
        if (size <= 0)
            throw std::runtime_error("ReadFile " + fileName_ + ": the file ended early");
        compare_.resize(static_cast<size_t>(size));
        ReadSource(compare_.data(), size, offset);
        compareStart_ = offset;
    }
    const int64_t available = compareStart_ + static_cast<int64_t>(compare_.size()) - offset;
    return std::string_view(compare_).substr(static_cast<size_t>(offset - compareStart_),
                                             static_cast<size_t>(std::min(count, available)));
}

bool TFileRewrite::SameAsSource(std::string_view data)
{
    if (matched_ + static_cast<int64_t>(data.size()) > sourceSize_)
        return false;
    for (int64_t offset = matched_; !data.empty();) {
        const std::string_view part = CompareBytes(offset, static_cast<int64_t>(data.size()));
        if (data.substr(0, part.size()) != part)
            return false;
        data.remove_prefix(part.size());
        offset += static_cast<int64_t>(part.size());
    }
    return true;
}

void TFileRewrite::Diverge()
{
    diverged_ = true;
    for (int64_t done = 0; done < matched_;) {
        const std::string_view part = CompareBytes(done, matched_ - done);
        Write(part);
        done += static_cast<int64_t>(part.size());
    }
}

void TFileRewrite::Write(std::string_view data)
{
    if (!diverged_) {
        if (SameAsSource(data)) {
            matched_ += static_cast<int64_t>(data.size());
            return;
        }
        Diverge();
    }
    if (pending_.size() + data.size() > static_cast<size_t>(kCopyBlock))
        Flush();
    if (data.size() >= static_cast<size_t>(kCopyBlock))
        WriteOut(data);
    else
        pending_.append(data);
}

void TFileRewrite::ReleaseBuffers()
{
    Flush();
    std::string().swap(pending_);
    std::string().swap(window_);  // an empty window is filled again when needed
    std::string().swap(compare_);
    compareStart_ = 0;
}

void TFileRewrite::Flush()
{
    WriteOut(pending_);
    pending_.clear();
}

void TFileRewrite::WriteOut(std::string_view data)
{
    if (!data.empty())
        OpenTemporary();
    while (!data.empty()) {
        ssize_t n = ::write(tempFd_, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            Fail("WriteFile", tempName_, errno);
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
}

bool TFileRewrite::ExchangeWithOriginal(bool keptAsSecondName)
{
    if (::renameat2(AT_FDCWD, tempName_.c_str(), AT_FDCWD, fileName_.c_str(), RENAME_EXCHANGE) != 0) {
        if (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP)
            return false;
        Fail("MoveFile", tempName_, errno);
    }
    // The original now stands under the temporary name. When it has no other name it becomes
    // the pool's next spare; otherwise only the temporary name goes.
    struct stat st {};
    if (!keptAsSecondName && ::fstat(sourceFd_, &st) == 0 && st.st_nlink == 1) {
        spares_->Give({sourceFd_, tempName_, device_});
        sourceFd_ = -1;
    } else {
        ::unlink(tempName_.c_str());
    }
    return true;
}

bool TFileRewrite::KeepAs(const std::string& keepAsName)
{
    if (::link(fileName_.c_str(), keepAsName.c_str()) == 0)
        return true;
    if (errno != EEXIST)
        Fail("MoveFile", fileName_, errno);
    return false;
}

void TFileRewrite::Commit(const std::string& keepAsName)
{
    if (!diverged_ && matched_ == sourceSize_) {
        // The output is the original: the file stays as it is, and so does its time.
        if (!keepAsName.empty()) {
            std::lock_guard<std::mutex> guard(FileOpsLock());
            KeepAs(keepAsName);
        }
        committed_ = true;
        return;
    }
    if (!diverged_)
        Diverge();  // the output is a shorter copy of the original
    Flush();
    OpenTemporary();
    int fd = tempFd_;
    tempFd_ = -1;
    // The edited file keeps the original's time: a page keeps the server's date, which an
    // update run sends back to ask whether it changed.
    CopyLastWriteTime(sourceFd_, fd);
    if (::close(fd) != 0)
        Fail("CloseHandle", tempName_, errno);
    std::lock_guard<std::mutex> guard(FileOpsLock());
    // A hard link keeps the original's contents under the second name while the first is
    // replaced, so the page exists under its own name at every moment.
    const bool kept = !keepAsName.empty() && KeepAs(keepAsName);
    if (spares_ != nullptr && ExchangeWithOriginal(kept)) {
        committed_ = true;
        return;
    }
    if (::rename(tempName_.c_str(), fileName_.c_str()) != 0)
        Fail("MoveFile", tempName_, errno);
    committed_ = true;
}
