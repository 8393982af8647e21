#pragma once
// The settings store: typed values in "Gleanery.INI", the three history lists of the user
// interface, the shared keys of [Options], and the choice of the data folder.
// Used from the user-interface thread only.
#include "engine/services/DamagedFile.h"
#include "platform/IniFile.h"
#include "platform/Singleton.h"

#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

class TSavedOptions : public TSingleton<TSavedOptions> {
public:
    static constexpr int32_t DefaultMaxHistoryLength = 8;
    static constexpr int32_t MaxMaxHistoryLength = 99;
    // A longer text is no address, folder or agent name the program can use: it is not kept.
    static constexpr size_t MaxHistoryTextLength = 2047;

    TSavedOptions() = default;
    ~TSavedOptions() { ReleaseInstance(); }

    // The settings file becomes folder + "Gleanery.INI"; EnableHistory and MaxHistoryLength are
    // read from it (the length clamped to 1..99). A settings file that cannot be read whole is
    // moved aside (SettingsFileDamage) and the default settings are used; when it cannot be
    // moved, it is left as it is, the defaults are used and nothing is written to it.
    void SetINIFolder(const std::string& folder);
    const std::string& INIFileName() const { return iniFileName_; }
    // What SetINIFolder or a write found damaged and kept; each note is handed out once.
    std::vector<TRecoveryNote> TakeRecoveryNotes();

    // Typed access: a read takes the file as last read, read again only once it changed on
    // disk; a write reads it again and replaces it under its lock file. Failures are logged;
    // reads then give the default (ReadString leaves value untouched, ReadBool gives False) and
    // writes False.
    bool ReadString(const std::string& section, const std::string& key, std::string& value, const std::string& def);
    bool WriteString(const std::string& section, const std::string& key, const std::string& value);
    bool ReadBool(const std::string& section, const std::string& key, bool def);
    bool WriteBool(const std::string& section, const std::string& key, bool value);
    int32_t ReadInteger(const std::string& section, const std::string& key, int32_t def);
    bool WriteInteger(const std::string& section, const std::string& key, int32_t value);

    void SetEnableHistory(bool enable);
    bool GetEnableHistory() const { return enableHistory_; }
    // n > 0 sets the length (at most 99); otherwise it stays. The length is written either way.
    void SetMaxHistoryLength(int32_t n);
    int32_t GetMaxHistoryLength() const { return maxHistoryLength_; }
    bool GetAllowMultipleInstances();
    int32_t GetClipboardResponse();
    void SetClipboardResponse(int32_t value);
    static std::string GetLastJobFileName();

    void ReadStartingAddressHistory(std::vector<std::string>& list) { ReadHistory("StartingAddressHistory", list); }
    void AddToStartingAddressHistory(const std::string& text) { AddToHistory("StartingAddressHistory", text); }
    void EraseStartingAddressHistory() { ClearHistorySection("StartingAddressHistory"); }
    void ReadSaveFolderHistory(std::vector<std::string>& list) { ReadHistory("SaveFolderHistory", list); }
    void AddToSaveFolderHistory(const std::string& text) { AddToHistory("SaveFolderHistory", text); }
    void EraseSaveFolderHistory() { ClearHistorySection("SaveFolderHistory"); }
    void ReadAgentNameHistory(std::vector<std::string>& list) { ReadHistory("AgentNameHistory", list); }
    void AddToAgentNameHistory(const std::string& text) { AddToHistory("AgentNameHistory", text); }
    void EraseAgentNameHistory() { ClearHistorySection("AgentNameHistory"); }

    // The list from the section, most recent first, at most MaxHistoryLength entries.
    void ReadHistory(const std::string& section, std::vector<std::string>& list);
    // Puts the trimmed text at the top of the section's list.
    void AddToHistory(const std::string& section, const std::string& text);
    void ClearHistorySection(const std::string& section);

private:
    void ReadHistoryFrom(const TIniFile& ini, const std::string& section, std::vector<std::string>& list) const;
    // One read-modify-write of the settings file under its lock file, so that several
    // instances writing at once keep each other's keys: the file is read again under the
    // lock, changed by change and written back. Throws on failure.
    template <class Change>
    void Update(Change&& change);
    bool WriteValue(const char* routine, const std::string& section, const std::string& key,
                    const std::string& value);
    // The settings as the file holds them now, read again only when it changed; empty when
    // the file was found damaged and left in place. Throws when it cannot be read.
    const TIniFile& Document();
    // Moves a damaged settings file aside and notes it; False when it had to stay.
    bool KeepDamagedSettings(const std::string& why);
    // Replaces the settings file with ini; throws on failure.
    void Save(const TIniFile& ini) const;

    // Identifies one state of the settings file: a write makes a new file (a rename).
    struct TFileStamp {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        int64_t modifiedNs = 0;
        bool operator==(const TFileStamp&) const = default;
    };
    static TFileStamp StampOf(const std::string& path);

    std::string iniFileName_;
    TIniFile document_;
    TFileStamp documentStamp_;
    bool documentRead_ = false;
    bool leftDamaged_ = false;
    std::vector<TRecoveryNote> notes_;
    int32_t maxHistoryLength_ = -1;
    bool enableHistory_ = false;
};

// Deletes the first entry equal to the trimmed text without regard to case and inserts the
// text first. A blank text changes nothing.
void MoveToTopOfList(const std::string& text, std::vector<std::string>& list);

// The data folder with a trailing "/", decided once per process.
std::string GetDataFolder();
bool IsDataFolderPersistent();

struct TDataFolderChoice {
    std::string folder;  // with a trailing "/"
    bool persistent = false;
    std::string note{};  // why an unusual folder was taken, for the event log; usually empty
};
// The note of the data folder decided for this process (empty when there is nothing to say).
std::string GetDataFolderNote();
// Decides a data folder from the environment now: $XDG_DATA_HOME/Gleanery (else
// ~/.local/share/Gleanery), else programFolder, each accepted after a successful probe; else the
// per-user temporary folder, which is not persistent.
TDataFolderChoice ChooseDataFolder(const std::string& programFolder);
// Writes [Test] Name=Value to folder + "Gleanery.INI" and reads it back. A settings file that
// cannot be read whole is not touched: the folder is then probed with a file of its own.
bool ProbeDataFolder(const std::string& folder);
// Why the settings file at path cannot be read whole ("it is empty", "it is not a file", the
// read error, or bytes and lines that are no settings); empty when it can, or when there is none
// (loaded then holds it). The program never leaves its settings file empty: an empty one was cut
// short.
std::string SettingsFileDamage(const std::string& path, TIniFile& loaded);
// $TMPDIR/gleanery-<uid>/ (mode 0700, owned by this user); empty when none can be had.
std::string PrivateTempFolder();
