#include "engine/services/DamagedFile.h"

#include "engine/services/AppTraceLog.h"
#include "platform/ErrorCodes.h"
#include "platform/IniFile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

const char* const kUnit = "DamagedFile";
constexpr int kMaxCopies = 999;

bool NameTaken(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 || errno != ENOENT;
}

}  // namespace

std::string FreeAsideName(const std::string& path, const char* suffix)
{
    for (int n = 1; n <= kMaxCopies; ++n) {
        std::string name = path + suffix + (n == 1 ? std::string() : std::to_string(n));
        if (!NameTaken(name))
            return name;
    }
    return std::string();
}

std::string MoveAside(const std::string& path, const char* suffix, const char* routine)
{
    const std::string copy = FreeAsideName(path, suffix);
    // Never over another file: the name is taken between the test and the move only by a race.
    if (copy.empty() || ::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, copy.c_str(), RENAME_NOREPLACE) != 0) {
        SetLastErrorFromErrno(copy.empty() ? EEXIST : errno);
        LogAPIError("MoveFile " + path, routine, kUnit);
        return std::string();
    }
    LogEvent(etWarning, path + " could not be read whole; it is kept as " + copy, routine, kUnit);
    return copy;
}

std::string DamagedCopyName(const std::string& path)
{
    return FreeAsideName(path, ".damaged");
}

std::string MoveDamagedAside(const std::string& path, const char* routine)
{
    return MoveAside(path, ".damaged", routine);
}

std::string KeepDamagedCopy(const std::string& path, const std::string& text, const char* routine)
{
    const std::string copy = DamagedCopyName(path);
    if (copy.empty() || !AtomicWriteFile(copy, text, 0600)) {
        if (copy.empty())
            SetLastErrorFromErrno(EEXIST);
        LogAPIError("WriteFile " + path + ".damaged", routine, kUnit);
        return std::string();
    }
    LogEvent(etWarning, path + " could not be read whole; a copy is kept as " + copy, routine, kUnit);
    return copy;
}
