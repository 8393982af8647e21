#include "ui/FileCountAndSize.h"

std::string FormatByteCount(int64_t count)
{
    constexpr int64_t kKB = 1024;
    constexpr int64_t kMB = 1024 * 1024;
    if (count >= kMB)
        return std::to_string(count / kMB) + " MB";
    if (count >= kKB)
        return std::to_string(count / kKB) + " KB";
    return std::to_string(count);
}
