#pragma once
// INI profile files: section and key names compare without regard to ASCII case, the first
// match wins, values are trimmed and lose one pair of surrounding double quotes on reading,
// and a value read back is at most 2047 characters long. Lines end at CR LF, LF or a lone CR.
// Writing quotes a value that would not survive otherwise, keeps unknown lines, ends lines with
// CR LF and replaces the file through a temp file and a rename.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

class TIniFile {
public:
    // The longest value a read gives back; a longer one is cut.
    static constexpr size_t MaxValueLength = 2047;
    // The largest file Load reads: no settings, queue or job file comes near it.
    static constexpr size_t MaxFileBytes = 16u << 20;

    TIniFile() = default;
    // Reads the file when it exists; a missing file gives an empty document.
    explicit TIniFile(std::string path);

    // Reads path into the document. A missing file gives an empty document and True;
    // an unreadable one (a folder, larger than MaxFileBytes) gives an empty document and False
    // (the thread's last error set).
    bool Load(const std::string& path);
    // Parses text as the contents of an INI file.
    void Parse(const std::string& text);
    // The text last parsed was whole INI text as the writer makes it: no NUL byte, every line
    // blank, a comment, a [section] or a key=value, and a line end after the last line. A file
    // cut short or overwritten with other bytes fails this; an empty text passes.
    bool ParsedWhole() const { return parsedWhole_; }

    const std::string& FileName() const { return path_; }

    bool SectionExists(const std::string& section) const;
    bool ValueExists(const std::string& section, const std::string& key) const;
    // True and the value when the key is present.
    bool Find(const std::string& section, const std::string& key, std::string& value) const;

    std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
    // Whole decimal numbers with an optional sign and surrounding blanks; anything else gives def.
    int64_t ReadInt64(const std::string& section, const std::string& key, int64_t def) const;
    int32_t ReadInteger(const std::string& section, const std::string& key, int32_t def) const;
    // Any integer other than 0 is True; a missing or non-numeric value gives def.
    bool ReadBool(const std::string& section, const std::string& key, bool def) const;
    // Key names of a section in file order (first occurrence of each).
    std::vector<std::string> ReadSectionKeys(const std::string& section) const;

    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, int64_t value);
    void WriteBool(const std::string& section, const std::string& key, bool value);
    bool DeleteKey(const std::string& section, const std::string& key);
    void EraseSection(const std::string& section);

    // The document as file text (CR LF line ends).
    std::string ToText() const;
    // Writes the document to its own file name / to path, through a temp file and a rename.
    // mode applies to a newly created file and to the replacement (0600 for credentials).
    bool UpdateFile(mode_t mode = 0644) const;
    bool SaveTo(const std::string& path, mode_t mode = 0644) const;

    // Parses a whole decimal number (optional blanks and sign); false when it is not one.
    static bool ParseInteger(const std::string& text, int64_t& value);
    // The value as it must be written so that reading gives it back (less CR, LF and NUL).
    static std::string QuoteValue(const std::string& value);

private:
    struct Entry {
        std::string key;    // empty for a line that is not key=value
        std::string value;  // the raw text after '=' (or the whole raw line when key is empty)
    };
    struct Section {
        std::string name;   // empty name: lines before the first section header
        bool hasHeader = false;
        std::vector<Entry> entries;
        std::unordered_map<std::string, size_t> index;  // lower-case key -> first entry
    };

    Section* FindSection(const std::string& name);
    const Section* FindSection(const std::string& name) const;
    Section& AddSection(const std::string& name);
    void RebuildIndexes();

    std::string path_;
    bool parsedWhole_ = true;
    std::vector<Section> sections_;
    std::unordered_map<std::string, size_t> sectionIndex_;  // lower-case name -> first section
};

// An advisory lock (flock) on the file path + ".lock", held for the object's life, that orders
// the read-modify-write cycles of several processes on one file. Waits for the lock; without
// a usable lock file it holds nothing (Locked() False) and the caller goes on unguarded. The
// lock is per open file: one thread must not take a second lock on the same path meanwhile.
class TFileLock {
public:
    explicit TFileLock(const std::string& path);
    ~TFileLock();
    TFileLock(const TFileLock&) = delete;
    TFileLock& operator=(const TFileLock&) = delete;
    bool Locked() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// Writes data to path through a temp file in the same folder, fsync and a rename.
// Sets the thread's last error and returns False on failure; the old file then stays.
bool AtomicWriteFile(const std::string& path, const std::string& data, mode_t mode = 0644);
// The same for contents made piece by piece: fill hands each piece to write, which is False once
// a piece could not be written; fill returns False to give up (the old file then stays).
using TPieceWriter = std::function<bool(std::string_view piece)>;
bool AtomicWriteFileInPieces(const std::string& path, const std::function<bool(const TPieceWriter& write)>& fill,
                             mode_t mode = 0644);
// Reads a whole file; False (last error set) when it cannot be read, is no regular file or holds
// more than maxBytes (EFBIG: nothing more than maxBytes is ever read). Without followLink a
// symbolic link at path is not read.
bool ReadWholeFile(const std::string& path, std::string& data, size_t maxBytes = SIZE_MAX, bool followLink = true);
// Opens a regular file for reading without blocking on a planted pipe and fills st; -1 (last
// error set) for anything else, also for a symbolic link at path without followLink.
int OpenPlainFileForReading(const std::string& path, struct stat& st, bool followLink = true);
