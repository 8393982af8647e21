#include "engine/crawl/CopyIndex.h"

#include "engine/job/SpiderObject.h"
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
    if (name.empty() || name.front() == '/' || name.back() == '/')
        return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string_view::npos)
            end = name.size();
        const std::string_view segment = name.substr(start, end - start);
        if (segment.empty() || segment == "." || segment == "..")
            return false;
        start = end + 1;
    }
    return true;
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

}  // namespace

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
    entries_.clear();
    keyOfLocalName_.clear();
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
    else if (!ReadWholeFile(path, text))
        problem = "unreadable";
    if (problem.empty() && Parse(text, problem))
        return true;
    changed_ = true;  // written anew when the job ends
    entries_.clear();
    keyOfLocalName_.clear();
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
    TCopyIndexEntry entry{std::string(f[0]), destination_ + "/" + std::string(f[1]), std::string(f[2]),
                          std::string(f[3]), std::string(f[4])};
    std::string key = TSpiderObjectList::KeyOf(address);
    if (entries_.count(key) != 0) {
        problem = "damaged (an address twice)";
        return false;
    }
    Put(std::move(key), std::move(entry));
    return true;
}

void TCopyIndex::Put(std::string key, TCopyIndexEntry entry)
{
    auto found = entries_.find(key);
    if (found != entries_.end()) {
        auto named = keyOfLocalName_.find(found->second.localName);
        if (named != keyOfLocalName_.end() && named->second == key)
            keyOfLocalName_.erase(named);
    }
    keyOfLocalName_[entry.localName] = key;
    entries_[std::move(key)] = std::move(entry);
}

const TCopyIndexEntry* TCopyIndex::FindAddress(const TURL& address) const
{
    if (entries_.empty() || !address.IsValid())
        return nullptr;
    const auto found = entries_.find(TSpiderObjectList::KeyOf(address));
    return found == entries_.end() ? nullptr : &found->second;
}

const TCopyIndexEntry* TCopyIndex::FindLocalFile(const std::string& localName) const
{
    const auto named = keyOfLocalName_.find(localName);
    if (named == keyOfLocalName_.end())
        return nullptr;
    const auto found = entries_.find(named->second);
    return found == entries_.end() ? nullptr : &found->second;
}

void TCopyIndex::Record(const TURL& address, const std::string& localName, const std::string& mimeType,
                        const std::string& lastModified, const std::string& etag, bool fetched)
{
    const std::string prefix = destination_ + "/";
    if (destination_.empty() || !address.IsValid() || !address.IsDownloadableScheme() ||
        localName.compare(0, prefix.size(), prefix) != 0 || !IsSafeRelativeName(localName.substr(prefix.size())) ||
        !IsStorable(localName))
        return;
    TCopyIndexEntry entry;
    entry.address = address.GetURLWithoutUserInfo();
    if (!IsStorable(entry.address))
        return;
    entry.localName = localName;
    entry.mimeType = IsStorable(mimeType) ? mimeType : std::string();
    entry.lastModified = IsValidator(lastModified) ? lastModified : std::string();
    entry.etag = IsValidator(etag) ? etag : std::string();
    std::string key = TSpiderObjectList::KeyOf(address);
    const auto found = entries_.find(key);
    const TCopyIndexEntry* earlier = found == entries_.end() ? nullptr : &found->second;
    if (!fetched && earlier != nullptr && earlier->localName == localName) {
        for (auto field : {&TCopyIndexEntry::mimeType, &TCopyIndexEntry::lastModified, &TCopyIndexEntry::etag})
            if ((entry.*field).empty())
                entry.*field = (*earlier).*field;
    }
    if (earlier != nullptr && *earlier == entry)
        return;
    changed_ = true;
    Put(std::move(key), std::move(entry));
}

bool TCopyIndex::Save() const
{
    if (destination_.empty())
        return false;
    std::vector<const TCopyIndexEntry*> kept;
    kept.reserve(entries_.size());
    for (const auto& [key, entry] : entries_)
        if (IsPlainFileNoFollow(entry.localName))
            kept.push_back(&entry);
    std::sort(kept.begin(), kept.end(),
              [](const TCopyIndexEntry* a, const TCopyIndexEntry* b) { return a->localName < b->localName; });
    // An index that says what it said before is not written again.
    if ((kept.empty() && !hadFile_) || (!changed_ && kept.size() == entries_.size()))
        return true;
    std::string text;
    text.reserve(64 + kept.size() * 160);
    text += kHeader;
    text += destination_;
    text += '\n';
    const size_t prefix = destination_.size() + 1;
    for (const TCopyIndexEntry* entry : kept) {
        for (const std::string* field : {&entry->address, &entry->localName, &entry->mimeType, &entry->lastModified}) {
            text.append(field == &entry->localName ? field->substr(prefix) : *field);
            text += '\t';
        }
        text += entry->etag;
        text += '\n';
    }
    text += kEnd;
    text += std::to_string(kept.size());
    text += '\n';
    if (AtomicWriteFile(Path(), text, 0644)) {
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
