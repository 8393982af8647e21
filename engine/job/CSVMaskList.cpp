#include "engine/job/CSVMaskList.h"

#include "platform/TextUtils.h"

namespace {

bool IsSeparator(char c)
{
    return c == ',' || static_cast<unsigned char>(c) <= ' ';
}

}  // namespace

bool MatchesMask(std::string_view value, std::string_view mask)
{
    // Greedy match with one back-track point: the last "*" seen. Linear in practice,
    // at worst value length times mask length.
    size_t v = 0, m = 0;
    size_t starMask = std::string_view::npos, starValue = 0;
    while (v < value.size()) {
        if (m < mask.size() && (mask[m] == '?' || AsciiLower(mask[m]) == AsciiLower(value[v]))) {
            ++v;
            ++m;
        } else if (m < mask.size() && mask[m] == '*') {
            starMask = m++;
            starValue = v;
        } else if (starMask != std::string_view::npos) {
            m = starMask + 1;
            v = ++starValue;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*')
        ++m;
    return m == mask.size();
}

std::vector<std::string> SplitCommaList(const std::string& list)
{
    std::vector<std::string> members;
    size_t i = 0;
    while (i < list.size()) {
        while (i < list.size() && IsSeparator(list[i]))
            ++i;
        size_t start = i;
        while (i < list.size() && !IsSeparator(list[i]))
            ++i;
        if (i > start)
            members.push_back(list.substr(start, i - start));
    }
    return members;
}

void TCSVMaskList::Assign(const std::string& list)
{
    items_ = SplitCommaList(list);
    for (std::string& item : items_)
        item = AsciiLowerCase(item);
}

bool TCSVMaskList::MemberEquals(std::string_view value) const
{
    for (const std::string& item : items_)
        if (MatchesMask(value, item))
            return true;
    return false;
}

bool TCSVMaskList::MemberFoundIn(std::string_view value) const
{
    if (items_.empty())
        return false;
    const std::string lower = AsciiLowerCase(value);
    for (const std::string& item : items_)
        if (lower.find(item) != std::string::npos || MatchesMask(lower, item))
            return true;
    return false;
}
