#pragma once
// The index of a copy: for each file a job saved in its destination folder, the address it came
// from, its MIME type and the server's validators (Last-Modified, ETag). Kept in the destination
// as ".gleanery#index", it lets a later run ask the server about a file with the conditions of its
// own copy before any answer, and map the local links of a page read from disk back to the
// addresses they stand for. Not thread-safe: the download filter guards it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "engine/services/ThreadSafeFileOps.h"
#include "engine/services/WorkingFiles.h"

class TURL;

struct TCopyIndexEntry {
    std::string address;       // the address without user information and fragment
    std::string localName;     // the file's whole name
    std::string mimeType;      // as the server gave it; empty when unknown
    std::string lastModified;  // the server's Last-Modified text; empty when none
    std::string etag;          // the server's ETag, quotes included; empty when none

    bool operator==(const TCopyIndexEntry&) const = default;
};

class TCopyIndex {
public:
    static constexpr const char* kFileName = kCopyIndexFileName;
    // The name older versions used; read when the index has no file of its own yet, and removed
    // once the index is saved under its own name.
    static constexpr const char* kOlderFileName = ".gleanery-index";
    // Validators longer than this are not kept (a server's values are far shorter).
    static constexpr size_t kMaxValidator = 1024;

    // Forgets everything and reads the index of the destination folder (its normal form, no
    // trailing "/"). A missing index gives an empty one; an index that is damaged, edited or
    // made for another folder is passed over whole, with an event-log warning saying what was
    // found. True when an index was read.
    bool Load(const std::string& destination);
    void Clear();

    // The entry of an address (looked up by the list key of TSpiderObjectList).
    std::optional<TCopyIndexEntry> FindAddress(const TURL& address) const;
    // The entry whose file has this whole name.
    std::optional<TCopyIndexEntry> FindLocalFile(const std::string& localName) const;
    // Records what this job knows of an address's file, replacing an earlier entry. A file not
    // fetched now (confirmed unchanged, or kept) keeps what the earlier entry for the same file
    // knew and this run did not learn. Values that could not be written back (control
    // characters, over-long validators) are left out.
    void Record(const TURL& address, const std::string& localName, const std::string& mimeType,
                const std::string& lastModified, const std::string& etag, bool fetched);

    // Writes the entries whose files exist into the destination through a temporary file and a
    // rename, so a failed write leaves the earlier index whole. True on success, also when there
    // is nothing new to write.
    bool Save() const;

    size_t Count() const { return entries_.size(); }
    // Raised whenever a file of the copy comes to stand for another address, or for one or none
    // where it stood for none or one: what FindLocalFile answered before may have changed.
    uint64_t NameChanges() const { return nameChanges_; }
    const std::string& Destination() const { return destination_; }

    // A value that can stand in one field of the file: no tab, line end or other control byte.
    static bool IsStorable(std::string_view value);

private:
    // Entries are found by their address's list key: scheme and host fold case.
    struct TByAddress {
        using is_transparent = void;
        size_t operator()(std::string_view line) const noexcept;
        bool operator()(std::string_view a, std::string_view b) const noexcept;
    };
    // Entries (pointers to their lines) are found by their file's name below the destination.
    struct TByName {
        using is_transparent = void;
        size_t operator()(std::string_view name) const noexcept;
        size_t operator()(const std::string* line) const noexcept;
        bool operator()(const std::string* a, const std::string* b) const noexcept;
        bool operator()(std::string_view name, const std::string* line) const noexcept;
        bool operator()(const std::string* line, std::string_view name) const noexcept;
    };

    bool Parse(const std::string& text, std::string& problem);
    bool AddParsed(std::string_view line, std::string& problem);
    // Stores the line, replacing the entry of its address, keeping the file-name lookup in step.
    void Put(std::string line);
    // Makes the stored line the one its file is found by.
    void NameFile(const std::string& line);
    TCopyIndexEntry EntryOf(std::string_view line) const;
    std::string Path() const;
    bool LoadFrom(const std::string& path);

    std::string destination_;
    // Each entry is kept as its line of the file: address, name below the destination, MIME
    // type, Last-Modified and ETag, tab-separated (no field holds a tab). A copy of a large site
    // has an entry for every file.
    std::unordered_set<std::string, TByAddress, TByAddress> entries_;
    std::unordered_set<const std::string*, TByName, TByName> byName_;
    bool hadFile_ = false;
    uint64_t nameChanges_ = 0;
    bool fromOlderFile_ = false;  // read from kOlderFileName, which then had olderStamp_
    TFileStamp olderStamp_;
    bool changed_ = false;  // entries differ from what the file holds
};
