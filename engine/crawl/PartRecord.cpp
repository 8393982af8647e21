#include "engine/crawl/PartRecord.h"

#include "engine/crawl/CopyIndex.h"
#include "engine/crawl/DownloadThread.h"
#include "engine/services/WorkingFiles.h"
#include "engine/services/ThreadSafeFileOps.h"
#include "platform/IniFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>

namespace {

constexpr std::string_view kHeader = "Gleanery part 1\n";
constexpr std::string_view kETagLine = "etag ";
constexpr std::string_view kDateLine = "date ";
constexpr size_t kMaxRecordBytes = 8192;
// A Last-Modified this long before the answer's Date names one version only.
constexpr time_t kStrongDateMargin = 60;

// The next line of text from pos, without its "\n"; False when no line ends there.
bool NextLine(std::string_view text, size_t& pos, std::string_view& line)
{
    const size_t end = text.find('\n', pos);
    if (end == std::string_view::npos)
        return false;
    line = text.substr(pos, end - pos);
    pos = end + 1;
    return true;
}

}  // namespace

bool IsStrongETag(std::string_view etag)
{
    if (etag.size() < 2 || etag.size() > TCopyIndex::kMaxValidator || etag.front() != '"' || etag.back() != '"')
        return false;
    for (const char c : etag.substr(1, etag.size() - 2)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == '"' || byte == 0x7F)
            return false;
    }
    return true;
}

std::string TPartRecord::IfRange() const
{
    return etag.empty() ? FormatHttpDate(lastModified) : etag;
}

bool TPartRecord::SameVersion(const std::string& answerETag, bool hasLastModified, time_t answerLastModified) const
{
    if (!etag.empty())
        return answerETag.empty() || answerETag == etag;
    return !hasLastModified || answerLastModified == lastModified;
}

bool PartRecordForAnswer(const std::string& address, const std::string& etag, bool hasLastModified,
                         time_t lastModified, bool hasDate, time_t date, TPartRecord& record)
{
    record = TPartRecord();
    if (address.empty() || !TCopyIndex::IsStorable(address))
        return false;
    record.address = address;
    if (IsStrongETag(etag)) {
        record.etag = etag;
        return true;
    }
    if (hasLastModified && hasDate && lastModified > 0 && date - lastModified >= kStrongDateMargin) {
        record.lastModified = lastModified;
        return true;
    }
    return false;
}

bool WritePartRecord(const std::string& localName, const TPartRecord& record)
{
    if (!TCopyIndex::IsStorable(record.address) || (!record.etag.empty() && !IsStrongETag(record.etag)) ||
        (record.etag.empty() && record.lastModified <= 0))
        return false;
    std::string text(kHeader);
    text += record.address;
    text += '\n';
    text += record.etag.empty() ? std::string(kDateLine) + std::to_string(record.lastModified)
                                : std::string(kETagLine) + record.etag;
    text += '\n';
    const std::string name = PartRecordName(localName);
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    const bool closed = ::close(fd) == 0;
    if (done == text.size() && closed)
        return true;
    ::unlink(name.c_str());
    return false;
}

bool ReadPartRecord(const std::string& localName, TPartRecord& record)
{
    record = TPartRecord();
    const std::string name = PartRecordName(localName);
    std::string text;
    if (!IsPlainFileNoFollow(name) || !ReadWholeFile(name, text, kMaxRecordBytes))
        return false;
    if (text.compare(0, kHeader.size(), kHeader) != 0)
        return false;
    size_t pos = kHeader.size();
    std::string_view address, validator;
    if (!NextLine(text, pos, address) || !NextLine(text, pos, validator) || pos != text.size() || address.empty() ||
        !TCopyIndex::IsStorable(address))
        return false;
    record.address = address;
    if (validator.substr(0, kETagLine.size()) == kETagLine) {
        record.etag = validator.substr(kETagLine.size());
        return IsStrongETag(record.etag);
    }
    if (validator.substr(0, kDateLine.size()) != kDateLine)
        return false;
    const std::string_view digits = validator.substr(kDateLine.size());
    int64_t seconds = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), seconds);
    if (ec != std::errc() || end != digits.data() + digits.size() || seconds <= 0)
        return false;
    record.lastModified = static_cast<time_t>(seconds);
    return true;
}
