#pragma once
// The settings store: typed values in "Gleanery.INI", the three history lists of the user
// interface, the shared keys of [Options], and the choice of the data folder.
// Used from the user-interface thread only.
#include "platform/Singleton.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TIniFile;

class TSavedOptions : public TSingleton<TSavedOptions> {
public:
    static constexpr int32_t DefaultMaxHistoryLength = 8;
    static constexpr int32_t MaxMaxHistoryLength = 99;
    // A longer text is no address, folder or agent name the program can use: it is not kept.
    static constexpr size_t MaxHistoryTextLength = 2047;

    TSavedOptions() = default;
    ~TSavedOptions() { ReleaseInstance(); }

    // The settings file becomes folder + "Gleanery.INI"; EnableHistory and MaxHistoryLength are
    // read from it (the length clamped to 1..99).
    void SetINIFolder(const std::string& folder);
    const std::string& INIFileName() const { return iniFileName_; }

    // Typed access: each reads or writes the file for the one call. Failures are logged; reads
    // then give the default (ReadString leaves value untouched, ReadBool gives False) and
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
    void Update(Change&& change) const;
    bool WriteValue(const char* routine, const std::string& section, const std::string& key,
                    const std::string& value);
    // Loads the settings file; throws when it exists but cannot be read.
    void Open(TIniFile& ini) const;
    // Replaces the settings file with ini; throws on failure.
    void Save(const TIniFile& ini) const;

    std::string iniFileName_;
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
// Writes [Test] Name=Value to folder + "Gleanery.INI" and reads it back.
bool ProbeDataFolder(const std::string& folder);
// $TMPDIR/gleanery-<uid>/ (mode 0700, owned by this user); empty when none can be had.
std::string PrivateTempFolder();
