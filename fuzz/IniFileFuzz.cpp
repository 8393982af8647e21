// Any bytes parse; writing the document and parsing it again gives the same document, and a
// value written under a key reads back (less CR, LF and NUL) whole, or cut to at most 2047
// characters without a split character when longer.
#include "platform/IniFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    TIniFile ini;
    ini.Parse(text);
    const std::string once = ini.ToText();
    TIniFile again;
    again.Parse(once);
    if (again.ToText() != once)
        std::abort();

    const size_t cut = text.find('\n');
    std::string value = text.substr(cut == std::string::npos ? 0 : cut + 1);
    ini.WriteString("Fuzz Section", "Key", value);
    TIniFile back;
    back.Parse(ini.ToText());
    std::string expected;
    for (char c : value)
        if (c != '\r' && c != '\n' && c != '\0')
            expected += c;
    const std::string read = back.ReadString("fuzz section", "KEY", "\x01missing");
    if (expected.size() <= TIniFile::MaxValueLength ? read != expected
                                                    : read.size() + 3 < TIniFile::MaxValueLength ||
                                                          read.size() > TIniFile::MaxValueLength ||
                                                          expected.compare(0, read.size(), read) != 0)
        std::abort();
    return 0;
}
