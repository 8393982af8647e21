#include "ui/preferences/ProcessPriority.h"

#include "platform/ErrorCodes.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <sys/resource.h>

int NiceOfPriorityClass(int32_t priorityClass)
{
    switch (priorityClass) {
    case kPriorityNormal: return 0;
    case kPriorityBelowNormal: return 10;
    default: return 19;
    }
}

bool SetProcessPriorityClass(int32_t priorityClass)
{
    const int nice = NiceOfPriorityClass(priorityClass);
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
