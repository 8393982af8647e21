#include "platform/TextUtils.h"

namespace {

// s without the bytes for which drop is true at either end.
template <class Predicate>
std::string_view TrimWhere(std::string_view s, Predicate drop)
{
    while (!s.empty() && drop(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && drop(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

}  // namespace

std::string AsciiLowerCase(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = AsciiLower(c);
    return out;
}

std::string AsciiUpperCase(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = AsciiUpper(c);
    return out;
}

bool HasOnlyPlainSegments(std::string_view path)
{
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string_view::npos)
            end = path.size();
        const std::string_view segment = path.substr(start, end - start);
        if ((segment.empty() && start > 0 && end < path.size()) || segment == "." || segment == "..")
            return false;
        start = end + 1;
    }
    return true;
}

std::string LowerCaseExtension(std::string_view path)
{
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return std::string();
    return AsciiLowerCase(path.substr(dot));
}

std::string TrimText(const std::string& s)
{
    return std::string(TrimTextView(s));
}

std::string_view TrimTextView(std::string_view s)
{
    return TrimWhere(s, [](unsigned char c) { return c <= ' '; });
}

std::string_view TrimLineSpace(std::string_view s)
{
    return TrimWhere(s, [](unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
}

std::string_view TrimSpaceAndTab(std::string_view s)
{
    return TrimWhere(s, [](unsigned char c) { return c == ' ' || c == '\t'; });
}

bool SameTextIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    return true;
}

std::string PercentDecoded(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        const int hi = s[i] == '%' && i + 2 < s.size() ? HexDigitValue(s[i + 1]) : -1;
        const int lo = hi >= 0 ? HexDigitValue(s[i + 2]) : -1;
        if (lo >= 0) {
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

namespace {

template <typename Byte>
uint64_t Fnv1a(std::string_view s, Byte byte)
{
    uint64_t h = 0xcbf29ce484222325ull;
    for (char c : s) {
        h ^= static_cast<unsigned char>(byte(c));
        h *= 0x100000001b3ull;
    }
    return h;
}

}  // namespace

uint64_t StableHash(std::string_view s)
{
    return Fnv1a(s, [](char c) { return c; });
}

uint64_t StableHashIgnoringCase(std::string_view s)
{
    return Fnv1a(s, AsciiLower);
}
