#pragma once
// Byte-level text helpers shared across the program. Case rules fold ASCII letters only; other
// bytes (UTF-8 sequences included) are left as they are.
#include <string>
#include <string_view>

inline char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
inline char AsciiUpper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
std::string AsciiLowerCase(std::string_view s);
std::string AsciiUpperCase(std::string_view s);

// The text without blanks and control characters (bytes up to 32) at either end.
std::string TrimText(const std::string& s);
// Equal when ASCII letters are folded to lower case; other bytes must match exactly.
bool SameTextIgnoringCase(std::string_view a, std::string_view b);
