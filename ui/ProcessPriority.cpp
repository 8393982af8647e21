#include "ui/ProcessPriority.h"

#include "platform/ErrorCodes.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <sys/resource.h>

namespace {

bool NiceOfClass(int32_t priorityClass, int& nice)
{
    switch (priorityClass) {
    case 64: nice = 19; return true;
    case 16384: nice = 10; return true;
    case 32: nice = 0; return true;
    case 32768: nice = -5; return true;
    case 128: nice = -10; return true;
    case 256: nice = -20; return true;
    default: return false;
    }
}

}  // namespace

bool SetProcessPriorityClass(int32_t priorityClass)
{
    int nice = 0;
    if (!NiceOfClass(priorityClass, nice)) {
        SetLastErrorFromErrno(EINVAL);
        return false;
    }
    DIR* tasks = ::opendir("/proc/self/task");
    if (!tasks) {
        if (::setpriority(PRIO_PROCESS, 0, nice) != 0) {
            SetLastErrorFromErrno(errno);
            return false;
        }
        return true;
    }
    bool ok = true;
    int firstError = 0;
    while (dirent* entry = ::readdir(tasks)) {
        char* end = nullptr;
        long tid = std::strtol(entry->d_name, &end, 10);
        if (tid <= 0 || *end != '\0')
            continue;
        if (::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice) != 0 && errno != ESRCH && ok) {
            ok = false;
            firstError = errno;
        }
    }
    ::closedir(tasks);
    if (!ok)
        SetLastErrorFromErrno(firstError);
    return ok;
}
