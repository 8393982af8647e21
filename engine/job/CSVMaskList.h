#pragma once
// A comma list of the job (hosts, extensions, MIME types, address parts) split once into
// lower-case items, matched as wildcard masks ("*" any run, "?" any one character, letter
// case ignored) or as substrings.
#include <string>
#include <string_view>
#include <vector>

class TCSVMaskList {
public:
    TCSVMaskList() = default;
    explicit TCSVMaskList(const std::string& list) { Assign(list); }

    // Splits at commas, blanks and control characters; empty items are dropped (an empty
    // item would match every address).
    void Assign(const std::string& list);
    bool Empty() const { return items_.empty(); }
    const std::vector<std::string>& Items() const { return items_; }

    // Some item, taken as a mask, matches the whole value.
    bool MemberEquals(std::string_view value) const;
    // Some item occurs in the value, or matches it as a mask.
    bool MemberFoundIn(std::string_view value) const;

private:
    std::vector<std::string> items_;
};

// The members of a comma list: split at commas, blanks and control characters (no quoting),
// empty members dropped.
std::vector<std::string> SplitCommaList(const std::string& list);

// "*" matches any run of characters, "?" any one; ASCII letters compare without case.
bool MatchesMask(std::string_view value, std::string_view mask);
