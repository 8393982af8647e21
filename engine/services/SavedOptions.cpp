#include "engine/services/SavedOptions.h"

#include "engine/services/AppInfo.h"
#include "engine/services/AppTraceLog.h"
#include "engine/services/ThreadSafeFileOps.h"
#include "platform/ErrorCodes.h"
#include "platform/IniFile.h"
#include "platform/TextUtils.h"

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <pwd.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kUnit[] = "SavedOptions";
const char kOptions[] = "Options";
// The settings file may hold proxy credentials: only its owner reads it.
constexpr mode_t kSettingsMode = 0600;

std::string WithSlash(std::string folder)
{
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

std::string WithoutSlash(std::string folder)
{
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

bool IsFolder(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string AbsoluteEnv(const char* name)
{
    const char* v = std::getenv(name);
    return v && v[0] == '/' ? WithoutSlash(v) : std::string();
}

std::string HomeFolder()
{
    std::string home = AbsoluteEnv("HOME");
    if (!home.empty())
        return home;
    struct passwd pw {};
    struct passwd* found = nullptr;
    char buf[4096];
    if (::getpwuid_r(::getuid(), &pw, buf, sizeof buf, &found) == 0 && found && found->pw_dir &&
        found->pw_dir[0] == '/')
        return WithoutSlash(found->pw_dir);
    return std::string();
}

// The base of per-user data folders: $XDG_DATA_HOME when absolute, else ~/.local/share.
std::string DataHome()
{
    std::string xdg = AbsoluteEnv("XDG_DATA_HOME");
    if (!xdg.empty())
        return xdg;
    std::string home = HomeFolder();
    return home.empty() ? std::string() : home + "/.local/share";
}

// Creates the missing parents and the folder itself, private to the user when new.
bool EnsurePrivateFolder(const std::string& folder)
{
    size_t slash = folder.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !SafeForceDirectories(folder.substr(0, slash)))
        return false;
    if (::mkdir(folder.c_str(), 0700) == 0)
        return true;
    return errno == EEXIST && IsFolder(folder);
}

// True for a real folder (not a link) of this user; its mode is tightened to 0700.
bool IsOwnPrivateFolder(const std::string& folder)
{
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return false;
    return (st.st_mode & 077) == 0 || ::chmod(folder.c_str(), 0700) == 0;
}

struct TDataFolderState {
    std::once_flag once;
    TDataFolderChoice choice;
};

TDataFolderState& DataFolderState()
{
    static TDataFolderState state;
    return state;
}

// Runs body; an exception is logged under the routine's name and gives onError.
template <class R, class F>
R Guarded(const char* routine, R onError, F&& body)
{
    try {
        return body();
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), routine, kUnit);
        return onError;
    }
}

const TDataFolderChoice& DecidedDataFolder()
{
    TDataFolderState& s = DataFolderState();
    std::call_once(s.once, [&s] { s.choice = ChooseDataFolder(GetProgramFolder()); });
    return s.choice;
}

}  // namespace

// ---- Settings file ----

TSavedOptions::TFileStamp TSavedOptions::StampOf(const std::string& path)
{
    TFileStamp stamp;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return stamp;
    stamp.exists = true;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.modifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return stamp;
}

const TIniFile& TSavedOptions::Document()
{
    if (iniFileName_.empty())
        throw std::runtime_error("No settings file");
    if (leftDamaged_)
        return document_;
    const TFileStamp stamp = StampOf(iniFileName_);
    if (documentRead_ && stamp == documentStamp_)
        return document_;
    TIniFile ini;
    if (!ini.Load(iniFileName_)) {
        documentRead_ = false;
        throw std::runtime_error("Unable to read " + iniFileName_ + ": " + SystemErrorMessage(GetLastErrorCode()));
    }
    document_ = std::move(ini);
    documentStamp_ = stamp;
    documentRead_ = true;
    return document_;
}

bool TSavedOptions::KeepDamagedSettings(const std::string& why)
{
    const std::string copy = MoveDamagedAside(iniFileName_, "SetINIFolder");
    document_ = TIniFile();
    documentRead_ = false;
    std::string text = "The settings file " + iniFileName_ + " could not be read whole (" + why +
                       "). The program goes on with the default settings; the saved queue is left as it is, and "
                       "shows when the Job Queue page is turned on in the preferences";
    if (copy.empty()) {
        leftDamaged_ = true;
        text += ". The file could not be moved aside: it is left as it is, and settings changed now are not saved.";
    } else {
        text += ". The file as it was found is kept as " + copy + ".";
    }
    notes_.push_back({iniFileName_, text});
    return !copy.empty();
}

std::vector<TRecoveryNote> TSavedOptions::TakeRecoveryNotes()
{
    std::vector<TRecoveryNote> notes = std::move(notes_);
    notes_.clear();
    return notes;
}

void TSavedOptions::Save(const TIniFile& ini) const
{
    if (!ini.SaveTo(iniFileName_, kSettingsMode))
        throw std::runtime_error("Unable to write to " + iniFileName_ + ": " +
                                 SystemErrorMessage(GetLastErrorCode()));
}

template <class Change>
void TSavedOptions::Update(Change&& change)
{
    if (iniFileName_.empty())
        throw std::runtime_error("No settings file");
    if (leftDamaged_)
        throw std::runtime_error("The settings file " + iniFileName_ + " could not be read whole: it is not written");
    TFileLock lock(iniFileName_);
    TIniFile ini = Document();
    // Damaged since it was last read (by another program): kept, never written over.
    if (!ini.ParsedWhole()) {
        if (!KeepDamagedSettings("it holds bytes or lines that are no settings"))
            throw std::runtime_error("The settings file " + iniFileName_ + " could not be read whole: it is not written");
        ini = TIniFile();
    }
    change(ini);
    Save(ini);
    document_ = std::move(ini);
    documentStamp_ = StampOf(iniFileName_);
    documentRead_ = documentStamp_.exists;
}

bool TSavedOptions::ReadString(const std::string& section, const std::string& key, std::string& value,
                               const std::string& def)
{
    return Guarded("ReadString", false, [&] {
        value = Document().ReadString(section, key, def);
        return true;
    });
}

bool TSavedOptions::WriteValue(const char* routine, const std::string& section, const std::string& key,
                               const std::string& value)
{
    return Guarded(routine, false, [&] {
        Update([&](TIniFile& ini) { ini.WriteString(section, key, value); });
        return true;
    });
}

bool TSavedOptions::WriteString(const std::string& section, const std::string& key, const std::string& value)
{
    return WriteValue("WriteString", section, key, value);
}

bool TSavedOptions::ReadBool(const std::string& section, const std::string& key, bool def)
{
    return Guarded("ReadBool", false, [&] { return Document().ReadBool(section, key, def); });
}

bool TSavedOptions::WriteBool(const std::string& section, const std::string& key, bool value)
{
    return WriteValue("WriteBool", section, key, value ? "1" : "0");
}

int32_t TSavedOptions::ReadInteger(const std::string& section, const std::string& key, int32_t def)
{
    return Guarded("ReadInteger", def, [&] { return Document().ReadInteger(section, key, def); });
}

bool TSavedOptions::WriteInteger(const std::string& section, const std::string& key, int32_t value)
{
    return WriteValue("WriteInteger", section, key, std::to_string(value));
}

// ---- Shared options ----

void TSavedOptions::SetINIFolder(const std::string& folder)
{
    iniFileName_ = WithSlash(folder) + "Gleanery.INI";
    document_ = TIniFile();
    documentRead_ = false;
    leftDamaged_ = false;
    {
        TFileLock lock(iniFileName_);
        const TFileStamp stamp = StampOf(iniFileName_);
        const std::string why = SettingsFileDamage(iniFileName_, document_);
        if (why.empty()) {
            // Read once here: the reads below take it from memory.
            documentStamp_ = stamp;
            documentRead_ = stamp.exists;
        } else {
            KeepDamagedSettings(why);
        }
    }
    enableHistory_ = ReadBool(kOptions, "EnableHistory", true);
    int32_t n = ReadInteger(kOptions, "MaxHistoryLength", DefaultMaxHistoryLength);
    if (n < 1 || n > MaxMaxHistoryLength) {
        // 0 or less would empty every list at the next addition.
        int32_t clamped = n < 1 ? 1 : MaxMaxHistoryLength;
        LogEvent(etWarning, "MaxHistoryLength " + std::to_string(n) + " read as " + std::to_string(clamped),
                 "SetINIFolder", kUnit);
        n = clamped;
    }
    maxHistoryLength_ = n;
}

void TSavedOptions::SetEnableHistory(bool enable)
{
    enableHistory_ = enable;
    WriteBool(kOptions, "EnableHistory", enable);
}

void TSavedOptions::SetMaxHistoryLength(int32_t n)
{
    if (n > 0)
        maxHistoryLength_ = n > MaxMaxHistoryLength ? MaxMaxHistoryLength : n;
    WriteInteger(kOptions, "MaxHistoryLength", maxHistoryLength_);
}

bool TSavedOptions::GetAllowMultipleInstances()
{
    return ReadBool(kOptions, "AllowMultipleInstances", true);
}

int32_t TSavedOptions::GetClipboardResponse()
{
    return ReadInteger(kOptions, "ClipboardResponse", 0);
}

void TSavedOptions::SetClipboardResponse(int32_t value)
{
    WriteInteger(kOptions, "ClipboardResponse", value);
}

std::string TSavedOptions::GetLastJobFileName()
{
    return GetDataFolder() + "LastJob.GCJ";
}

// ---- History lists ----

void TSavedOptions::ReadHistory(const std::string& section, std::vector<std::string>& list)
{
    list.clear();
    if (!enableHistory_)
        return;
    Guarded("ReadHistory", false, [&] {
        ReadHistoryFrom(Document(), section, list);
        return true;
    });
}

void TSavedOptions::ReadHistoryFrom(const TIniFile& ini, const std::string& section,
                                    std::vector<std::string>& list) const
{
    list.clear();
    const int32_t count = ini.ReadInteger(section, "Count", 0);
    const size_t limit = maxHistoryLength_ > 0 ? static_cast<size_t>(maxHistoryLength_) : 0;
    for (int32_t i = 0; i < count && list.size() < limit; ++i)
        list.push_back(TrimText(ini.ReadString(section, "Item" + std::to_string(i), "")));
}

void TSavedOptions::AddToHistory(const std::string& section, const std::string& text)
{
    const std::string trimmed = TrimText(text);
    if (!enableHistory_ || trimmed.empty() || trimmed.size() > MaxHistoryTextLength || maxHistoryLength_ < 1)
        return;
    Guarded("AddToHistory", false, [&] {
        // Read and written under one hold of the lock.
        Update([&](TIniFile& ini) {
            std::vector<std::string> list;
            ReadHistoryFrom(ini, section, list);
            MoveToTopOfList(trimmed, list);
            if (list.size() > static_cast<size_t>(maxHistoryLength_))
                list.resize(static_cast<size_t>(maxHistoryLength_));
            ini.WriteInteger(section, "Count", static_cast<int64_t>(list.size()));
            for (size_t i = 0; i < list.size(); ++i)
                ini.WriteString(section, "Item" + std::to_string(i), list[i]);
        });
        return true;
    });
}

void TSavedOptions::ClearHistorySection(const std::string& section)
{
    Guarded("ClearHistorySection", false, [&] {
        Update([&](TIniFile& ini) { ini.EraseSection(section); });
        return true;
    });
}

void MoveToTopOfList(const std::string& text, std::vector<std::string>& list)
{
    const std::string trimmed = TrimText(text);
    if (trimmed.empty())
        return;
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (SameTextIgnoringCase(*it, trimmed)) {
            list.erase(it);
            break;
        }
    }
    list.insert(list.begin(), trimmed);
}

// ---- Data folder ----

std::string SettingsFileDamage(const std::string& path, TIniFile& ini)
{
    ini = TIniFile();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT ? std::string() : SystemErrorMessage(SetLastErrorFromErrno(errno));
    if (!S_ISREG(st.st_mode))
        return "it is not a file";
    if (st.st_size == 0)
        return "it is empty";
    if (!ini.Load(path))
        return SystemErrorMessage(GetLastErrorCode());
    if (!ini.ParsedWhole())
        return "it holds bytes or lines that are no settings, or ends in the middle of a line";
    return std::string();
}

bool ProbeDataFolder(const std::string& folder)
{
    try {
        const std::string path = WithSlash(folder) + "Gleanery.INI";
        TFileLock lock(path);
        TIniFile ini;
        if (!SettingsFileDamage(path, ini).empty()) {
            // Kept for the settings store to move aside: the folder is probed beside it.
            const std::string probe = path + ".probe";
            const bool writable = AtomicWriteFile(probe, "[Test]\r\nName=Value\r\n", kSettingsMode);
            ::unlink(probe.c_str());
            return writable;
        }
        ini.WriteString("Test", "Name", "Value");
        if (!ini.SaveTo(path, kSettingsMode))
            return false;
        TIniFile back;
        return back.Load(path) && back.ReadString("Test", "Name", "") == "Value";
    } catch (const std::exception&) {
        return false;
    }
}

std::string PrivateTempFolder()
{
    std::string base = AbsoluteEnv("TMPDIR");
    if (base.empty())
        base = "/tmp";
    if (base == "/")
        base.clear();
    const std::string folder = base + "/gleanery-" + std::to_string(::getuid());
    if ((::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST) && IsOwnPrivateFolder(folder))
        return folder + "/";
    // Taken by someone else: a fresh folder of our own.
    std::string pattern = folder + "-XXXXXX";
    if (::mkdtemp(pattern.data()))
        return pattern + "/";
    return std::string();
}

TDataFolderChoice ChooseDataFolder(const std::string& programFolder)
{
    const std::string home = DataHome();
    if (!home.empty()) {
        const std::string candidate = home + "/Gleanery";
        if (EnsurePrivateFolder(candidate) && ProbeDataFolder(candidate))
            return {candidate + "/", true};
    }
    const std::string program = WithSlash(programFolder);
    if (!program.empty() && IsFolder(program) && ProbeDataFolder(program))
        return {program, true};
    TDataFolderChoice choice{PrivateTempFolder(), false};
    if (choice.folder.empty()) {
        // Not even the temporary folder: a fresh private folder under /tmp, never the current
        // directory.
        std::string pattern = "/tmp/gleanery-" + std::to_string(::getuid()) + "-XXXXXX";
        if (::mkdtemp(pattern.data())) {
            choice.folder = pattern + "/";
            choice.note = "No usable data folder: settings, logs and queue go to " + pattern;
            LogEvent(etWarning, choice.note, "GetDataFolder", "SavedOptions");
        }
    }
    return choice;
}

std::string GetDataFolderNote()
{
    return DecidedDataFolder().note;
}

std::string GetDataFolder()
{
    return DecidedDataFolder().folder;
}

bool IsDataFolderPersistent()
{
    return DecidedDataFolder().persistent;
}
