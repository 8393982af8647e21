#include "platform/IniFile.h"

#include "platform/ErrorCodes.h"
#include "platform/TextUtils.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The value of a raw text: trimmed, one pair of surrounding quotes dropped, and cut to
// TIniFile::MaxValueLength without splitting a UTF-8 sequence. Only what is kept is copied.
std::string Unquote(const std::string& raw)
{
    std::string_view v = TrimLineSpace(raw);
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"')
        v = v.substr(1, v.size() - 2);
    if (v.size() > TIniFile::MaxValueLength) {
        size_t e = TIniFile::MaxValueLength;
        // A cut inside a multi-byte sequence drops the sequence's first bytes too.
        size_t lead = e;
        while (lead > 0 && (static_cast<unsigned char>(v[lead - 1]) & 0xC0) == 0x80)
            --lead;
        if (lead > 0 && static_cast<unsigned char>(v[lead - 1]) >= 0xC0) {
            const unsigned char c = static_cast<unsigned char>(v[lead - 1]);
            const size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
            if (e - (lead - 1) < length)
                e = lead - 1;
        }
        v = v.substr(0, e);
    }
    return std::string(v);
}

// A line the writer could have made: blank, a comment, a [section] or a key=value.
bool LineParses(const std::string& trimmed)
{
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#')
        return true;
    if (trimmed.front() == '[')
        return trimmed.back() == ']';
    const size_t eq = trimmed.find('=');
    return eq != std::string::npos && eq > 0;
}

}  // namespace

TIniFile::TIniFile(std::string path)
{
    Load(path);
}

bool TIniFile::Load(const std::string& path)
{
    path_ = path;
    sections_.clear();
    sectionIndex_.clear();
    parsedWhole_ = true;
    std::string text;
    if (!ReadWholeFile(path, text, MaxFileBytes)) {
        return GetLastErrorCode() == errc::FileNotFound || GetLastErrorCode() == errc::PathNotFound;
    }
    Parse(text);
    return true;
}

void TIniFile::Parse(const std::string& text)
{
    sections_.clear();
    sectionIndex_.clear();
    sections_.push_back(Section{});  // lines before the first header
    parsedWhole_ = text.find('\0') == std::string::npos &&
                   (text.empty() || text.back() == '\n' || text.back() == '\r');
    // A UTF-8 byte-order mark at the start is not part of the first line.
    size_t pos = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (pos < text.size()) {
        size_t lineEnd = text.find_first_of("\r\n", pos);
        size_t end = lineEnd == std::string::npos ? text.size() : lineEnd;
        std::string line = text.substr(pos, end - pos);
        // CR LF, LF or a lone CR ends the line.
        pos = end;
        if (pos < text.size() && text[pos] == '\r')
            ++pos;
        if (pos < text.size() && text[pos] == '\n')
            ++pos;

        std::string t(TrimLineSpace(line));
        if (parsedWhole_ && !LineParses(t))
            parsedWhole_ = false;
        if (!t.empty() && t.front() == '[') {
            size_t close = t.find(']');
            const std::string_view header =
                std::string_view(t).substr(1, close == std::string::npos ? close : close - 1);
            Section s;
            s.name = TrimLineSpace(header);
            s.hasHeader = true;
            sections_.push_back(std::move(s));
            continue;
        }
        Entry e;
        size_t eq = line.find('=');
        if (eq != std::string::npos && !t.empty() && t.front() != ';') {
            e.key = TrimLineSpace(line.substr(0, eq));
            e.value = line.substr(eq + 1);
        } else {
            e.value = line;
        }
        if (e.key.empty() && eq != std::string::npos)
            e.value = line;  // "=value": not a key
        sections_.back().entries.push_back(std::move(e));
    }
    RebuildIndexes();
}

void TIniFile::RebuildIndexes()
{
    sectionIndex_.clear();
    for (size_t i = 0; i < sections_.size(); ++i) {
        Section& s = sections_[i];
        if (s.hasHeader)
            sectionIndex_.emplace(AsciiLowerCase(s.name), i);
        s.index.clear();
        for (size_t j = 0; j < s.entries.size(); ++j)
            if (!s.entries[j].key.empty())
                s.index.emplace(AsciiLowerCase(s.entries[j].key), j);
    }
}

TIniFile::Section* TIniFile::FindSection(const std::string& name)
{
    auto it = sectionIndex_.find(AsciiLowerCase(TrimLineSpace(name)));
    return it == sectionIndex_.end() ? nullptr : &sections_[it->second];
}

const TIniFile::Section* TIniFile::FindSection(const std::string& name) const
{
    auto it = sectionIndex_.find(AsciiLowerCase(TrimLineSpace(name)));
    return it == sectionIndex_.end() ? nullptr : &sections_[it->second];
}

TIniFile::Section& TIniFile::AddSection(const std::string& name)
{
    if (sections_.empty())
        sections_.push_back(Section{});
    Section s;
    s.name = TrimLineSpace(name);
    s.hasHeader = true;
    sections_.push_back(std::move(s));
    sectionIndex_.emplace(AsciiLowerCase(sections_.back().name), sections_.size() - 1);
    return sections_.back();
}

bool TIniFile::SectionExists(const std::string& section) const
{
    return FindSection(section) != nullptr;
}

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const
{
    std::string v;
    return Find(section, key, v);
}

bool TIniFile::Find(const std::string& section, const std::string& key, std::string& value) const
{
    const Section* s = FindSection(section);
    if (!s)
        return false;
    auto it = s->index.find(AsciiLowerCase(TrimLineSpace(key)));
    if (it == s->index.end())
        return false;
    value = Unquote(s->entries[it->second].value);
    return true;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key, const std::string& def) const
{
    std::string v;
    return Find(section, key, v) ? v : def;
}

bool TIniFile::ParseInteger(const std::string& text, int64_t& value)
{
    std::string t(TrimLineSpace(text));
    if (t.empty())
        return false;
    size_t i = 0;
    bool neg = false;
    if (t[0] == '+' || t[0] == '-') {
        neg = t[0] == '-';
        i = 1;
    }
    if (i >= t.size())
        return false;
    uint64_t acc = 0;
    const uint64_t limit = neg ? static_cast<uint64_t>(INT64_MAX) + 1 : static_cast<uint64_t>(INT64_MAX);
    for (; i < t.size(); ++i) {
        char c = t[i];
        if (c < '0' || c > '9')
            return false;
        uint64_t d = static_cast<uint64_t>(c - '0');
        if (acc > (limit - d) / 10)
            return false;
        acc = acc * 10 + d;
    }
    value = neg ? static_cast<int64_t>(0 - acc) : static_cast<int64_t>(acc);
    return true;
}

int64_t TIniFile::ReadInt64(const std::string& section, const std::string& key, int64_t def) const
{
    std::string v;
    int64_t n = 0;
    if (Find(section, key, v) && ParseInteger(v, n))
        return n;
    return def;
}

int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key, int32_t def) const
{
    int64_t n = ReadInt64(section, key, def);
    if (n < INT32_MIN || n > INT32_MAX)
        return def;
    return static_cast<int32_t>(n);
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool def) const
{
    std::string v;
    int64_t n = 0;
    if (Find(section, key, v) && ParseInteger(v, n))
        return n != 0;
    return def;
}

std::vector<std::string> TIniFile::ReadSectionKeys(const std::string& section) const
{
    std::vector<std::string> keys;
    const Section* s = FindSection(section);
    if (!s)
        return keys;
    for (size_t j = 0; j < s->entries.size(); ++j) {
        const Entry& e = s->entries[j];
        if (e.key.empty())
            continue;
        auto it = s->index.find(AsciiLowerCase(e.key));
        if (it != s->index.end() && it->second == j)
            keys.push_back(e.key);
    }
    return keys;
}

std::string TIniFile::QuoteValue(const std::string& value)
{
    std::string v;
    v.reserve(value.size());
    // Line ends and NUL bytes would make the file read as cut short or damaged.
    for (char c : value)
        if (c != '\r' && c != '\n' && c != '\0')
            v += c;
    bool needsQuotes =
        !v.empty() && (TrimLineSpace(v) != v || (v.size() >= 2 && v.front() == '"' && v.back() == '"'));
    return needsQuotes ? "\"" + v + "\"" : v;
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value)
{
    std::string k(TrimLineSpace(key));
    if (k.empty())
        return;
    Section* s = FindSection(section);
    if (!s)
        s = &AddSection(section);
    std::string quoted = QuoteValue(value);
    auto it = s->index.find(AsciiLowerCase(k));
    if (it != s->index.end()) {
        s->entries[it->second].value = quoted;
        return;
    }
    // New keys go after the section's last key, before any trailing blank lines.
    size_t insertAt = s->entries.size();
    while (insertAt > 0 && s->entries[insertAt - 1].key.empty() &&
           TrimLineSpace(s->entries[insertAt - 1].value).empty())
        --insertAt;
    s->entries.insert(s->entries.begin() + static_cast<std::ptrdiff_t>(insertAt), Entry{k, quoted});
    if (insertAt + 1 == s->entries.size()) {
        s->index.emplace(AsciiLowerCase(k), insertAt);
    } else {
        s->index.clear();
        for (size_t j = 0; j < s->entries.size(); ++j)
            if (!s->entries[j].key.empty())
                s->index.emplace(AsciiLowerCase(s->entries[j].key), j);
    }
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, int64_t value)
{
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}

bool TIniFile::DeleteKey(const std::string& section, const std::string& key)
{
    Section* s = FindSection(section);
    if (!s)
        return false;
    auto it = s->index.find(AsciiLowerCase(TrimLineSpace(key)));
    if (it == s->index.end())
        return false;
    s->entries.erase(s->entries.begin() + static_cast<std::ptrdiff_t>(it->second));
    RebuildIndexes();
    return true;
}

void TIniFile::EraseSection(const std::string& section)
{
    std::string lower = AsciiLowerCase(TrimLineSpace(section));
    bool changed = false;
    for (size_t i = sections_.size(); i-- > 0;) {
        if (sections_[i].hasHeader && AsciiLowerCase(sections_[i].name) == lower) {
            sections_.erase(sections_.begin() + static_cast<std::ptrdiff_t>(i));
            changed = true;
        }
    }
    if (changed)
        RebuildIndexes();
}

std::string TIniFile::ToText() const
{
    static const std::string kByteOrderMark = "\xEF\xBB\xBF";
    std::string out;
    for (const Section& s : sections_) {
        if (s.hasHeader)
            out += "[" + s.name + "]\r\n";
        for (const Entry& e : s.entries) {
            if (e.key.empty())
                out += e.value + "\r\n";
            else
                out += e.key + "=" + e.value + "\r\n";
        }
    }
    // Text that itself starts with a byte-order mark keeps it: the reader drops one leading mark.
    if (out.compare(0, kByteOrderMark.size(), kByteOrderMark) == 0)
        out.insert(0, kByteOrderMark);
    return out;
}

bool TIniFile::UpdateFile(mode_t mode) const
{
    return SaveTo(path_, mode);
}

bool TIniFile::SaveTo(const std::string& path, mode_t mode) const
{
    return AtomicWriteFile(path, ToText(), mode);
}

int OpenPlainFileForReading(const std::string& path, struct stat& st, bool followLink)
{
    // Non-blocking open: a pipe planted at the path must not hang the reader.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW));
    if (fd < 0) {
        SetLastErrorFromErrno(errno);
        return -1;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        SetLastErrorCode(errc::AccessDenied);
        return -1;
    }
    return fd;
}

bool ReadWholeFile(const std::string& path, std::string& data, size_t maxBytes, bool followLink)
{
    data.clear();
    struct stat st {};
    int fd = OpenPlainFileForReading(path, st, followLink);
    if (fd < 0)
        return false;
    if (st.st_size > 0 && static_cast<uint64_t>(st.st_size) > maxBytes) {
        ::close(fd);
        SetLastErrorFromErrno(EFBIG);
        return false;
    }
    // The size known, the bytes go straight into place; a file that grows meanwhile is read on
    // in blocks to its end, one that shrinks is cut where it ends.
    data.resize(st.st_size > 0 ? static_cast<size_t>(st.st_size) : 0);
    size_t filled = 0;
    char block[65536];
    for (;;) {
        const bool inPlace = filled < data.size();
        const ssize_t n = inPlace ? ::read(fd, data.data() + filled, data.size() - filled)
                                  : ::read(fd, block, sizeof block);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            SetLastErrorFromErrno(errno);
            ::close(fd);
            data.clear();
            return false;
        }
        if (n == 0)
            break;
        if (!inPlace)
            data.append(block, static_cast<size_t>(n));
        filled += static_cast<size_t>(n);
        if (filled > maxBytes) {
            ::close(fd);
            data.clear();
            SetLastErrorFromErrno(EFBIG);
            return false;
        }
    }
    data.resize(filled);
    ::close(fd);
    return true;
}

TFileLock::TFileLock(const std::string& path)
{
    if (path.empty())
        return;
    const std::string lockName = path + ".lock";
    fd_ = ::open(lockName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0)
        return;
    while (::flock(fd_, LOCK_EX) != 0) {
        if (errno != EINTR) {
            ::close(fd_);
            fd_ = -1;
            return;
        }
    }
}

TFileLock::~TFileLock()
{
    if (fd_ >= 0)
        ::close(fd_);  // releases the lock
}

bool AtomicWriteFile(const std::string& path, const std::string& data, mode_t mode)
{
    return AtomicWriteFileInPieces(path, [&data](const TPieceWriter& write) { return write(data); }, mode);
}

bool AtomicWriteFileInPieces(const std::string& path, const std::function<bool(const TPieceWriter& write)>& fill,
                             mode_t mode)
{
    if (path.empty()) {
        SetLastErrorCode(errc::InvalidParameter);
        return false;
    }
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    std::string tmp;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        tmp = path + ".tmp" + std::to_string(rng() % 1000000000ULL);
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    ::fchmod(fd, mode);
    int err = 0;
    const TPieceWriter write = [fd, &err](std::string_view piece) {
        size_t done = 0;
        while (err == 0 && done < piece.size()) {
            const ssize_t n = ::write(fd, piece.data() + done, piece.size() - done);
            if (n < 0 && errno != EINTR)
                err = errno;
            else if (n > 0)
                done += static_cast<size_t>(n);
        }
        return err == 0;
    };
    // A fill that gives up for its own reason has said why.
    bool ok = fill(write) && err == 0;
    if (ok && ::fsync(fd) != 0) {
        ok = false;
        err = errno;
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(tmp.c_str());
        if (err != 0)
            SetLastErrorFromErrno(err);
        return false;
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        err = errno;
        ::unlink(tmp.c_str());
        SetLastErrorFromErrno(err);
        return false;
    }
    return true;
}
