#include "engine/crawl/CopyIndex.h"

#include "platform/TextUtils.h"
#include "engine/services/AppTraceLog.h"
#include "engine/services/ThreadSafeFileOps.h"
#include "engine/job/URLType.h"
#include "platform/IniFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <array>
#include <charconv>
#include <unordered_map>
#include <vector>

namespace {

const char* const kUnit = "CopyIndex";
constexpr std::string_view kHeader = "Gleanery copy index 1\t";
constexpr std::string_view kEnd = "end\t";
constexpr int64_t kMaxIndexBytes = int64_t{512} << 20;
constexpr size_t kFields = 5;

// A relative name that stays in the folder: no leading "/", no empty, "." or ".." segment.
bool IsSafeRelativeName(std::string_view name)
{
    return !name.empty() && name.front() != '/' && name.back() != '/' && HasOnlyPlainSegments(name);
}

bool SplitFields(std::string_view line, std::array<std::string_view, kFields>& fields)
{
    size_t start = 0;
    for (size_t i = 0; i < kFields; ++i) {
        const size_t tab = line.find('\t', start);
        const bool last = i + 1 == kFields;
        if (last != (tab == std::string_view::npos))
            return false;
        fields[i] = line.substr(start, last ? std::string_view::npos : tab - start);
        start = tab + 1;
    }
    return true;
}

bool IsValidator(std::string_view value)
{
    return value.size() <= TCopyIndex::kMaxValidator && TCopyIndex::IsStorable(value);
}

// A field of an entry's line (a value without tabs is its own field 0).
std::string_view Field(std::string_view line, size_t index)
{
    size_t start = 0;
    for (size_t i = 0; i < index; ++i) {
        const size_t tab = line.find('\t', start);
        if (tab == std::string_view::npos)
            return {};
        start = tab + 1;
    }
    const size_t end = line.find('\t', start);
    return line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

// Where an address's scheme and host end, as TSpiderObjectList::KeyOf folds them.
size_t FoldedLength(std::string_view address)
{
    const size_t authority = address.find("://");
    const size_t pathStart = authority == std::string_view::npos ? 0 : address.find('/', authority + 3);
    return pathStart == std::string_view::npos ? address.size() : pathStart;
}

}  // namespace

size_t TCopyIndex::TByAddress::operator()(std::string_view line) const noexcept
{
    const std::string_view address = Field(line, 0);
    const size_t folded = FoldedLength(address);
    uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (size_t i = 0; i < address.size(); ++i) {
        hash ^= static_cast<unsigned char>(i < folded ? AsciiLower(address[i]) : address[i]);
        hash *= 1099511628211ull;
    }
    return static_cast<size_t>(hash);
}

bool TCopyIndex::TByAddress::operator()(std::string_view a, std::string_view b) const noexcept
{
    a = Field(a, 0);
    b = Field(b, 0);
    if (a.size() != b.size())
        return false;
    const size_t folded = FoldedLength(a);
    for (size_t i = 0; i < a.size(); ++i)
        if (i < folded ? AsciiLower(a[i]) != AsciiLower(b[i]) : a[i] != b[i])
            return false;
    return true;
}

size_t TCopyIndex::TByName::operator()(std::string_view name) const noexcept
{
    return std::hash<std::string_view>()(name);
}

size_t TCopyIndex::TByName::operator()(const std::string* line) const noexcept
{
    return (*this)(Field(*line, 1));
}

bool TCopyIndex::TByName::operator()(const std::string* a, const std::string* b) const noexcept
{
    return Field(*a, 1) == Field(*b, 1);
}

bool TCopyIndex::TByName::operator()(std::string_view name, const std::string* line) const noexcept
{
    return name == Field(*line, 1);
}

bool TCopyIndex::TByName::operator()(const std::string* line, std::string_view name) const noexcept
{
    return name == Field(*line, 1);
}

bool TCopyIndex::IsStorable(std::string_view value)
{
    for (char c : value)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return false;
    return true;
}

std::string TCopyIndex::Path() const
{
    return destination_ + "/" + kFileName;
}

void TCopyIndex::Clear()
{
    byName_.clear();
    entries_.clear();
    ++nameChanges_;
    hadFile_ = false;
    fromOlderFile_ = false;
    changed_ = false;
}

bool TCopyIndex::Load(const std::string& destination)
{
    Clear();
    destination_ = destination;
    if (destination_.empty())
        return false;
    struct stat st {};
    if (::lstat(Path().c_str(), &st) == 0 || errno != ENOENT)
        return LoadFrom(Path());
    // A copy made by an older version keeps its index under the older name. Only a file that
    // reads as the index of this very folder is taken (and later removed) under it.
    const std::string older = destination_ + "/" + kOlderFileName;
    if (!PlainFileStamp(older, olderStamp_) || !LoadFrom(older)) {
        Clear();
        destination_ = destination;
        return false;
    }
    fromOlderFile_ = true;
    changed_ = true;
    return true;
}

bool TCopyIndex::LoadFrom(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return false;  // a copy without an index: every file is asked about afresh
    hadFile_ = true;
    std::string problem;
    std::string text;
    if (!S_ISREG(st.st_mode))
        problem = "not a plain file";
    else if (st.st_size > kMaxIndexBytes)
        problem = "too large (" + std::to_string(st.st_size) + " bytes)";
    else if (!ReadWholeFile(path, text, SIZE_MAX, false))
        problem = "unreadable";
    if (problem.empty() && Parse(text, problem))
        return true;
    changed_ = true;  // written anew when the job ends
    byName_.clear();
    entries_.clear();
    LogEvent(etWarning, "Copy index " + path + " " + problem + ": not used, files are asked about afresh", "Load",
             kUnit);
    return false;
}

bool TCopyIndex::Parse(const std::string& text, std::string& problem)
{
    const std::string header = std::string(kHeader) + destination_ + "\n";
    if (text.compare(0, header.size(), header) != 0) {
        const bool ours = text.compare(0, kHeader.size(), kHeader) == 0;
        problem = ours ? "made for another folder" : "damaged (no header)";
        return false;
    }
    size_t pos = header.size();
    size_t lineNumber = 1;
    while (pos < text.size()) {
        const size_t end = text.find('\n', pos);
        ++lineNumber;
        if (end == std::string::npos) {
            problem = "truncated (line " + std::to_string(lineNumber) + ")";
            return false;
        }
        const std::string_view line(text.data() + pos, end - pos);
        pos = end + 1;
        if (line.compare(0, kEnd.size(), kEnd) == 0) {
            size_t count = 0;
            const std::string_view digits = line.substr(kEnd.size());
            const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), count);
            if (ec != std::errc() || ptr != digits.data() + digits.size() || count != entries_.size() ||
                pos != text.size()) {
                problem = "damaged (line " + std::to_string(lineNumber) + ")";
                return false;
            }
            return true;
        }
        if (!AddParsed(line, problem)) {
            problem += " (line " + std::to_string(lineNumber) + ")";
            return false;
        }
    }
    problem = "truncated (no end line)";
    return false;
}

bool TCopyIndex::AddParsed(std::string_view line, std::string& problem)
{
    std::array<std::string_view, kFields> f;
    if (!SplitFields(line, f) || !IsSafeRelativeName(f[1]) || !IsStorable(f[1]) || !IsStorable(f[2]) ||
        !IsValidator(f[3]) || !IsValidator(f[4])) {
        problem = "damaged";
        return false;
    }
    TURL address;
    if (!address.SetFullURL(f[0]) || !address.IsDownloadableScheme() || !address.IsUserInfoEmpty() ||
        !address.GetFragment().empty()) {
        problem = "damaged (an unusable address)";
        return false;
    }
    // Stored in the form the address is looked up by.
    std::string entry = address.GetURLWithoutUserInfo();
    if (entry.find('\t') != std::string::npos || entries_.count(std::string_view(entry)) != 0) {
        problem = "damaged (an address twice)";
        return false;
    }
    entry.append(line.substr(f[0].size()));
    Put(std::move(entry));
    return true;
}

void TCopyIndex::Put(std::string line)
{
    const auto found = entries_.find(std::string_view(line));
    bool keepsName = false;  // the address named its file before and names the same one now
    if (found != entries_.end()) {
        const auto named = byName_.find(Field(*found, 1));
        if (named != byName_.end() && *named == &*found) {
            keepsName = Field(*found, 1) == Field(line, 1);
            if (!keepsName)
                ++nameChanges_;
            byName_.erase(named);
        }
        entries_.erase(found);
    }
    const std::string& stored = *entries_.insert(std::move(line)).first;
    if (keepsName)
        byName_.insert(&stored);
    else
        NameFile(stored);
}

void TCopyIndex::NameFile(const std::string& line)
{
    // The last entry recorded for a file names it.
    const auto named = byName_.find(Field(line, 1));
    if (named != byName_.end()) {
        if (*named == &line)
            return;
        if (Field(**named, 0) != Field(line, 0))
            ++nameChanges_;
        byName_.erase(named);
    } else {
        ++nameChanges_;
    }
    byName_.insert(&line);
}

TCopyIndexEntry TCopyIndex::EntryOf(std::string_view line) const
{
    return {std::string(Field(line, 0)), destination_ + "/" + std::string(Field(line, 1)), std::string(Field(line, 2)),
            std::string(Field(line, 3)), std::string(Field(line, 4))};
}

std::optional<TCopyIndexEntry> TCopyIndex::FindAddress(const TURL& address) const
{
    if (entries_.empty() || !address.IsValid())
        return std::nullopt;
    const std::string text = address.GetURLWithoutUserInfo();
    if (text.find('\t') != std::string::npos)
        return std::nullopt;
    const auto found = entries_.find(std::string_view(text));
    return found == entries_.end() ? std::nullopt : std::optional<TCopyIndexEntry>(EntryOf(*found));
}

std::optional<TCopyIndexEntry> TCopyIndex::FindLocalFile(const std::string& localName) const
{
    const size_t prefix = destination_.size() + 1;
    if (destination_.empty() || localName.size() <= prefix ||
        localName.compare(0, destination_.size(), destination_) != 0 || localName[destination_.size()] != '/')
        return std::nullopt;
    const auto named = byName_.find(std::string_view(localName).substr(prefix));
    return named == byName_.end() ? std::nullopt : std::optional<TCopyIndexEntry>(EntryOf(**named));
}

void TCopyIndex::Record(const TURL& address, const std::string& localName, const std::string& mimeType,
                        const std::string& lastModified, const std::string& etag, bool fetched)
{
    const std::string prefix = destination_ + "/";
    if (destination_.empty() || !address.IsValid() || !address.IsDownloadableScheme() ||
        localName.compare(0, prefix.size(), prefix) != 0 || !IsSafeRelativeName(localName.substr(prefix.size())) ||
        !IsStorable(localName))
        return;
    std::string line = address.GetURLWithoutUserInfo();
    if (!IsStorable(line))
        return;
    const std::string_view name = std::string_view(localName).substr(prefix.size());
    std::string_view fields[3] = {IsStorable(mimeType) ? std::string_view(mimeType) : std::string_view(),
                                  IsValidator(lastModified) ? std::string_view(lastModified) : std::string_view(),
                                  IsValidator(etag) ? std::string_view(etag) : std::string_view()};
    const auto found = entries_.find(std::string_view(line));
    const std::string* earlier = found == entries_.end() ? nullptr : &*found;
    if (!fetched && earlier != nullptr && Field(*earlier, 1) == name) {
        for (size_t i = 0; i < 3; ++i)
            if (fields[i].empty())
                fields[i] = Field(*earlier, i + 2);
    }
    line.reserve(line.size() + name.size() + fields[0].size() + fields[1].size() + fields[2].size() + 4);
    line += '\t';
    line += name;
    for (const std::string_view field : fields) {
        line += '\t';
        line += field;
    }
    if (earlier != nullptr && *earlier == line) {
        NameFile(*earlier);
        return;
    }
    changed_ = true;
    Put(std::move(line));
}

bool TCopyIndex::Save() const
{
    if (destination_.empty())
        return false;
    std::vector<const std::string*> kept;
    kept.reserve(entries_.size());
    const std::string prefix = destination_ + "/";
    // Each folder of the copy is asked about once for all its files.
    std::unordered_map<std::string, uint32_t> kinds;
    const TFileKindOf kindOf = [&kinds](const std::string& name) {
        auto [known, added] = kinds.try_emplace(name, 0);
        if (added)
            known->second = FileKindNoFollow(name);
        return known->second;
    };
    std::string file;
    for (const std::string& line : entries_) {
        file.assign(prefix).append(Field(line, 1));
        if (PlainFileBelowFolder(destination_, file, kindOf))
            kept.push_back(&line);
    }
    std::sort(kept.begin(), kept.end(),
              [](const std::string* a, const std::string* b) { return Field(*a, 1) < Field(*b, 1); });
    // An index that says what it said before is not written again.
    if ((kept.empty() && !hadFile_) || (!changed_ && kept.size() == entries_.size()))
        return true;
    // Written a piece at a time: a large copy's index is never held whole in memory.
    const auto fill = [&](const TPieceWriter& write) {
        constexpr size_t kPiece = 64 * 1024;
        std::string piece;
        piece.reserve(kPiece + 4096);
        piece += kHeader;
        piece += destination_;
        piece += '\n';
        for (const std::string* line : kept) {
            piece += *line;
            piece += '\n';
            if (piece.size() >= kPiece) {
                if (!write(piece))
                    return false;
                piece.clear();
            }
        }
        piece += kEnd;
        piece += std::to_string(kept.size());
        piece += '\n';
        return write(piece);
    };
    if (AtomicWriteFileInPieces(Path(), fill, 0644)) {
        // Unless a file of the site has taken the older name meanwhile.
        const std::string older = destination_ + "/" + kOlderFileName;
        TFileStamp now;
        if (fromOlderFile_ && PlainFileStamp(older, now) && now == olderStamp_)
            ::unlink(older.c_str());
        return true;
    }
    LogAPIError("WriteFile " + Path(), "Save", kUnit);
    return false;
}
