#pragma once
// One link found in a page or style sheet, and the owning list the parsers fill.
// Positions are zero-based byte offsets into the file; the rewrite splices at them.
#include "engine/job/URLType.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

enum TWebLinkKind : int32_t {
    lkNone = 0,
    lkHTMLAttribute = 1,
    lkCSSURL = 2,
};

class TWebLinkInfo {
public:
    TWebLinkInfo() = default;

    void Assign(const TWebLinkInfo& source) { *this = source; }

    int32_t FKind = lkNone;
    TURL FURL;                // the resolved address; not valid when the value did not resolve
    std::string FTagName;     // upper case; "STYLE" for CSS links
    std::string FAttribName;  // upper case; "CSSURL" for CSS links
    std::string FTagText;     // the whole tag from "<" to ">" (empty for CSS links)
    std::string FValue;       // unquoted and trimmed
    int64_t FValuePos = 0;    // the value as written: at the opening quote of a quoted HTML value
    int64_t FValueLength = 0; // as written: quotes included for HTML, excluded for CSS
    int64_t FTagPos = 0;
    int64_t FTagLength = 0;
    int64_t FURLPartPos = 0;  // META refresh: address part within the value as written
    int64_t FURLPartLength = 0;
    int64_t FTagIndex = 0;    // 1-based tag number; 0 for links of a style-sheet file
    bool FNewAddress = false;

    // The value exactly as it stands in the file (quotes included); HTML links only.
    std::string ValueAsWritten() const;

    // Field by field: link reports travel through the output queue by swapping.
    friend void swap(TWebLinkInfo& a, TWebLinkInfo& b) noexcept
    {
        using std::swap;
        swap(a.FKind, b.FKind);
        swap(a.FURL, b.FURL);
        a.FTagName.swap(b.FTagName);
        a.FAttribName.swap(b.FAttribName);
        a.FTagText.swap(b.FTagText);
        a.FValue.swap(b.FValue);
        swap(a.FValuePos, b.FValuePos);
        swap(a.FValueLength, b.FValueLength);
        swap(a.FTagPos, b.FTagPos);
        swap(a.FTagLength, b.FTagLength);
        swap(a.FURLPartPos, b.FURLPartPos);
        swap(a.FURLPartLength, b.FURLPartLength);
        swap(a.FTagIndex, b.FTagIndex);
        swap(a.FNewAddress, b.FNewAddress);
    }
};

class TWebLinkList {
public:
    // Appends a copy; a failure is logged and raised again.
    void AddLink(const TWebLinkInfo& link);
    void AddLink(TWebLinkInfo&& link);
    // Appends an empty link to be filled in place; RemoveLast takes it back.
    TWebLinkInfo& AddNew();
    void RemoveLast() { items_.pop_back(); }
    int64_t Count() const { return static_cast<int64_t>(items_.size()); }
    // The entry, or nullptr outside 0..Count-1. Valid until the list changes.
    TWebLinkInfo* Get(int64_t index);
    const TWebLinkInfo* Get(int64_t index) const;
    void Clear() { items_.clear(); }
    // Orders by FValuePos + FURLPartPos, ascending.
    void SortByPosition();

    std::vector<TWebLinkInfo>::iterator begin() { return items_.begin(); }
    std::vector<TWebLinkInfo>::iterator end() { return items_.end(); }
    std::vector<TWebLinkInfo>::const_iterator begin() const { return items_.begin(); }
    std::vector<TWebLinkInfo>::const_iterator end() const { return items_.end(); }

private:
    std::vector<TWebLinkInfo> items_;
};
