// Translation files and CSV lines from arbitrary bytes.
#include "engine/services/LanguageStrings.h"
#include "engine/services/ParseCSV.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> fields;
    ParseCSVLine(text, fields);
    for (const auto& field : fields)
        (void)StripQuotes(field);

    int fd = ::memfd_create("translation", 0);
    if (fd < 0)
        return 0;
    if (::write(fd, data, size) == static_cast<ssize_t>(size)) {
        TLocalizedStringSet set;
        if (set.LoadFromFile("/proc/self/fd/" + std::to_string(fd)))
            (void)set.GetText(174, true);
    }
    ::close(fd);
    return 0;
}
