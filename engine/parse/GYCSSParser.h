#pragma once
// Finds the url( ) references and the @import strings of style sheets and STYLE blocks.
#include "engine/parse/CommonParser.h"
#include "platform/Singleton.h"

#include <cstdint>
#include <string>
#include <string_view>

class TCSSParser : public TCommonParser, public TSingleton<TCSSParser> {
public:
    TCSSParser() = default;
    // A parser of a helper thread's own; Instance() still names the program's one.
    explicit TCSSParser(TPrivateInstance p) : TSingleton(p) {}

    bool ForceAbsoluteLink(const TWebLinkInfo&) const override { return false; }

    // Appends the links of a style sheet and resolves them; a missing file gives nothing.
    // Never raises: failures are logged and the links found so far stay.
    void GetLinksInCSSFile(const std::string& fileName, const std::string& baseURL, TWebLinkList& list,
                           uint8_t localMode);
    // Appends the url( ) and @import links of a piece of CSS that stands at the 1-based position of a file of
    // fileSize bytes. True when the read-progress callback asked to stop.
    bool GetLinksInCSSCode(std::string_view css, TWebLinkList& list, int64_t tagNumber, int64_t fileSize,
                           int64_t position);
};

// The scanner behind GetLinksInCSSCode, with the progress callback given explicitly.
bool FindCSSLinks(std::string_view css, TWebLinkList& list, int64_t tagNumber, int64_t fileSize, int64_t position,
                  const TParserProgressCallback& progress);
