#include "ui/CopyProgressRules.h"

#include "engine/URLType.h"
#include "ui/FileCountAndSize.h"

#include <cmath>
#include <cstdio>

std::string FormatETA(int64_t expectedSize, int64_t bytesReceived, int64_t elapsedMs, int64_t resumeOffset)
{
    if (expectedSize <= 0 || bytesReceived == 0 || elapsedMs <= 0)
        return std::string();
    double speed = static_cast<double>(bytesReceived - resumeOffset) / (static_cast<double>(elapsedMs) / 1000.0);
    if (!(speed > 0))
        return std::string();
    double remaining = static_cast<double>(expectedSize - bytesReceived) / speed;
    if (remaining < 1)
        remaining = 1;
    // Ten thousand hours and more is shown as that much; nothing waits that long.
    constexpr double kLongest = 36000000.0;
    if (remaining > kLongest)
        remaining = kLongest;
    auto seconds = static_cast<int64_t>(std::nearbyint(remaining));
    int64_t hours = seconds / 3600;
    int64_t minutes = (seconds % 3600) / 60;
    int64_t secs = seconds % 60;
    char text[48];
    if (hours == 0)
        std::snprintf(text, sizeof text, "%.2lld:%.2lld", static_cast<long long>(minutes), static_cast<long long>(secs));
    else
        std::snprintf(text, sizeof text, "%lld:%.2lld:%.2lld", static_cast<long long>(hours),
                      static_cast<long long>(minutes), static_cast<long long>(secs));
    return text;
}

std::string DownloadDoneText(int64_t expectedSize, int64_t bytesReceived)
{
    if (expectedSize <= 0)
        return FormatByteCount(bytesReceived);
    // 64-bit: received * 100 cannot overflow for any real size.
    return std::to_string(bytesReceived * 100 / expectedSize) + "%";
}

bool IsSuccessStatus(int32_t scheme, int32_t statusCode)
{
    if (scheme == usFTP)
        return statusCode == 200;
    switch (statusCode) {
    case 200: case 205: case 206: case 301: case 302: case 304: case 307: case 412:
        return true;
    default:
        return false;
    }
}

bool IsWinINetErrorCode(int32_t code)
{
    return code >= 12000 && code <= 12171;
}

std::vector<std::string> SplitURLForSiteMap(const TURL& address)
{
    std::string text = address.GetURL(false, true, false, false, true);
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t slash = text.find('/', start);
        parts.push_back(text.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    if (parts.size() >= 3 && parts[1].empty()) {
        parts[0] += "//" + parts[2];
        parts.erase(parts.begin() + 1, parts.begin() + 3);
    }
    parts.back() += address.GetExtraInfo();
    return parts;
}

std::string FoldToOneLine(std::string text)
{
    for (char& c : text)
        if (c == '\r' || c == '\n' || c == '\t')
            c = ' ';
    return text;
}

std::string SiteMapTitle(const std::string& title)
{
    std::string text = FoldToOneLine(title);
    size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::string();
    size_t last = text.find_last_not_of(' ');
    text = text.substr(first, last - first + 1);
    // Cut after the 80th character, never inside one.
    size_t chars = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && chars++ == 80)
            return text.substr(0, i);
    }
    return text;
}
