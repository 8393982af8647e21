#include "engine/services/FileDateTime.h"

#include "engine/services/AppInfo.h"
#include "engine/services/AppTraceLog.h"
#include "platform/ErrorCodes.h"

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uint64_t kTicksPerSecond = 10000000ULL;
constexpr uint64_t kTicksPerDay = 86400ULL * kTicksPerSecond;
// 1601-01-01 to 1970-01-01 and to 1899-12-30.
constexpr uint64_t kUnixEpochTicks = 11644473600ULL * kTicksPerSecond;
constexpr double kDateTimeEpochDays = 109205.0;
// The largest time the system's own conversions accept.
constexpr uint64_t kMaxFileTime = 0x7FFFFFFFFFFFFFFFULL;

class TFd {
public:
    explicit TFd(int fd) : fd_(fd) {}
    ~TFd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

int OpenForAttributes(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        SetLastErrorFromErrno(errno);
    return fd;
}

}  // namespace

TFileTime TimespecToFileTime(const struct timespec& ts)
{
    int64_t ticks = static_cast<int64_t>(ts.tv_sec) * static_cast<int64_t>(kTicksPerSecond) + ts.tv_nsec / 100;
    int64_t ft = ticks + static_cast<int64_t>(kUnixEpochTicks);
    return ft < 0 ? 0 : static_cast<TFileTime>(ft);
}

bool FileTimeToTimespec(TFileTime fileTime, struct timespec& ts)
{
    if (fileTime < kUnixEpochTicks || fileTime > kMaxFileTime)
        return false;
    uint64_t ticks = fileTime - kUnixEpochTicks;
    ts.tv_sec = static_cast<time_t>(ticks / kTicksPerSecond);
    ts.tv_nsec = static_cast<long>((ticks % kTicksPerSecond) * 100);
    return true;
}

TFileTime DateTimeToFileTime(TDateTime value)
{
    double days = value + kDateTimeEpochDays;
    if (!std::isfinite(days) || days < 0)
        return 0;
    double ticks = std::round(days * static_cast<double>(kTicksPerDay));
    if (ticks >= static_cast<double>(kMaxFileTime))
        return kMaxFileTime;
    return static_cast<TFileTime>(ticks);
}

bool FileTimeToDateTime(TFileTime fileTime, TDateTime& value)
{
    if (fileTime > kMaxFileTime)
        return false;
    // Whole days and the remainder separately, so that a time of day keeps its precision.
    uint64_t days = fileTime / kTicksPerDay;
    uint64_t rest = fileTime % kTicksPerDay;
    value = (static_cast<double>(days) - kDateTimeEpochDays) +
            static_cast<double>(rest) / static_cast<double>(kTicksPerDay);
    return true;
}

bool GetExistingFileDate(const std::string& path, TFileTime& creationTime, TFileTime& lastWriteTime)
{
    TFd fd(OpenForAttributes(path));
    if (fd.get() < 0)
        return false;
    struct statx sx {};
    if (::statx(fd.get(), "", AT_EMPTY_PATH, STATX_MTIME | STATX_BTIME, &sx) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    struct timespec mtime {sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec};
    lastWriteTime = TimespecToFileTime(mtime);
    if (sx.stx_mask & STATX_BTIME) {
        struct timespec btime {sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec};
        creationTime = TimespecToFileTime(btime);
    } else {
        creationTime = lastWriteTime;
    }
    return true;
}

bool SetExistingFileDate(const std::string& path, TFileTime creationTime, TFileTime lastWriteTime)
{
    TFd fd(OpenForAttributes(path));
    if (fd.get() < 0)
        return false;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;  // access time unchanged
    bool ok = FileTimeToTimespec(lastWriteTime, times[1]);
    if (!ok)
        SetLastErrorCode(errc::InvalidParameter);
    else if (::futimens(fd.get(), times) != 0) {
        SetLastErrorFromErrno(errno);
        ok = false;
    }
    if (!ok)
        LogAPIError("SetFileTime", "SetExistingFileDate", "FileDateTime");
    return ok;
}

void SetFileCreationDate(const std::string& path, TFileTime localCreationTime)
{
    TFd fd(OpenForAttributes(path));
    if (fd.get() < 0)
        LogAPIError("CreateFile " + path, "SetFileCreationDate", "FileDateTime");
}

bool IsNTFSPath(const std::string& path)
{
    std::string name;
    TAppInfo* info = TAppInfo::Instance();
    if (!info || !info->GetFileSystemName(path, name))
        return true;
    return name == "NTFS";
}
