// Any bytes parse; writing the document and parsing it again gives the same document, and a
// value written under a key reads back whole (less CR and LF).
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
        if (c != '\r' && c != '\n')
            expected += c;
    if (back.ReadString("fuzz section", "KEY", "\x01missing") != expected)
        std::abort();
    return 0;
}
