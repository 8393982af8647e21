#pragma once
// Finds the links of an HTML page: the values of a fixed table of link attributes, the address
// inside a META refresh, the url( ) links of STYLE blocks; and the page's title, ROBOTS
// directives and saved-from mark.
#include "engine/parse/CommonParser.h"
#include "platform/Singleton.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// The character set named by a Content-Type value ("text/html; charset=ISO-8859-1" gives
// "ISO-8859-1"), else empty. Only a plain name is taken: letters, digits and "-_.:()".
std::string CharsetOfContentType(std::string_view contentType);

// One tag while it is handled.
struct TTagData {
    int64_t Start = 0;      // offset of "<"
    int64_t Length = 0;     // up to and including ">"
    std::string_view Text;  // the whole tag, a view into the page
    std::string Name;       // upper case
    int64_t Number = 0;     // 1-based
};

// One attribute value found in a tag.
struct TTagAttribData {
    std::string Name;
    int64_t ValueOffset = 0; // within the tag text ("<" at 0), at the opening quote when quoted
    int64_t ValueLength = 0; // as written, quotes included
    std::string Value;       // unquoted and trimmed
};

class THTMLParser : public TCommonParser, public TSingleton<THTMLParser> {
public:
    THTMLParser() = default;
    // A parser of a helper thread's own; Instance() still names the program's one.
    explicit THTMLParser(TPrivateInstance p) : TSingleton(p) {}

    // CODEBASE values are always written as absolute addresses.
    bool ForceAbsoluteLink(const TWebLinkInfo& link) const override;

    // Clears the list and the page state, then fills the list. A missing file gives an empty
    // list. Raises on failure (logged with the file name).
    void GetLinksInHTMLFile(const std::string& fileName, const std::string& baseURL, TWebLinkList& list,
                            uint8_t localMode);
    // The same for a page already in memory; fileName only locates the page for resolution.
    void GetLinksInHTMLCode(std::string_view html, const std::string& fileName, const std::string& baseURL,
                            TWebLinkList& list, uint8_t localMode);

    // Links whose target is part of the page (not a step of depth).
    static bool IsPageRequisite(const TWebLinkInfo& link);
    // Links that name a page rather than a file the page is made of (image, style sheet,
    // script, sound, embedded object): links, frames, forms, citations, the address of a
    // refresh, a LINK to anything but a style sheet, icon or preloaded file.
    static bool IsNavigationLink(const TWebLinkInfo& link);
    // A LINK whose REL names a style sheet, an icon or a file fetched ahead, or whose address
    // ends in ".css".
    static bool IsPartRelation(const TWebLinkInfo& link);
    // The link attributes of an upper-case tag name, in lookup order; empty for other tags.
    static std::span<const char* const> GetLinkAttribNames(std::string_view tagName);
    // Looks up an attribute in a tag's text without its "<" and ">". ValueOffset is returned
    // relative to the tag text with its "<". False when the tag has no value for it.
    static bool GetAttribValue(std::string_view inner, size_t tagNameLength, std::string_view attribName,
                               TTagAttribData& attrib);

    bool FNoFollow = false;
    bool FNoIndex = false;
    bool FMarked = false;     // the page already has a saved-from mark
    int64_t FTitleStart = 0;  // 1-based position after the TITLE tag, 0 none
    int64_t FStyleStart = 0;  // 1-based position after the STYLE tag, 0 none
    std::string FTitle;
    std::string FCharset;     // of the first META that declares one, else empty

private:
    void ClearPageState();
    // False when the progress callback asked to stop.
    bool ScanTags();
    bool OnHTMLTagFound(TTagData& tag);
    void ExtractLinkAttributes(const TTagData& tag, std::span<const char* const> attribs);
    void OnAttribValueFound(const TTagData& tag, const TTagAttribData& attrib);
    void ApplyMetaRefresh();
    void ReadRobotsMeta();
    void ReadMetaCharset(const TTagData& tag);

    TWebLinkList* FLinkList = nullptr;
    std::string_view page_;
};
