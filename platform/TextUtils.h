#pragma once
// Byte-level text helpers shared across the program. Case rules fold ASCII letters only; other
// bytes (UTF-8 sequences included) are left as they are.
#include <cstdint>
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

// The extension of the last name in a '/'-separated path, dot included, in lower case; empty
// when that name has no dot.
std::string LowerCaseExtension(std::string_view path);
// No empty, "." or ".." name between the slashes of a '/'-separated path (a leading and a trailing
// slash aside): normalizing the path leaves it as it is.
bool HasOnlyPlainSegments(std::string_view path);

// Trims, one for each set of bytes dropped at either end. The views point into s.
// Blanks and control characters (bytes up to 32).
std::string TrimText(const std::string& s);
std::string_view TrimTextView(std::string_view s);
// Spaces, tabs, carriage returns and line feeds: the space around a line of text.
std::string_view TrimLineSpace(std::string_view s);
// Spaces and tabs only.
std::string_view TrimSpaceAndTab(std::string_view s);

// Equal when ASCII letters are folded to lower case; other bytes must match exactly.
bool SameTextIgnoringCase(std::string_view a, std::string_view b);
// 64-bit FNV-1a of the bytes: the same value on every run and platform.
uint64_t StableHash(std::string_view s);
// The same of the bytes with ASCII letters folded to lower case.
uint64_t StableHashIgnoringCase(std::string_view s);

// The value of a hexadecimal digit of either case, or -1.
inline int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
// Every "%" followed by two hexadecimal digits replaced by the byte they give; anything else,
// an incomplete escape included, is kept as written.
std::string PercentDecoded(std::string_view s);
