// Feeds arbitrary bytes to both link parsers: no crash, no read outside the buffer (ASan), and
// every position they report lies inside the buffer and matches the text it names.
#include "engine/parse/GYCSSParser.h"
#include "engine/parse/GYHTMLParser.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "position check failed: %s\n", what);
        std::abort();
    }
}

void CheckLinks(std::string_view page, const TWebLinkList& list)
{
    const int64_t size = static_cast<int64_t>(page.size());
    for (const TWebLinkInfo& l : list) {
        Check(l.FValuePos >= 0 && l.FValueLength > 0 && l.FValuePos + l.FValueLength <= size, "value range");
        Check(!l.FValue.empty(), "empty value");
        if (l.FKind == lkHTMLAttribute) {
            Check(l.FTagPos >= 0 && l.FTagLength >= 2 && l.FTagPos + l.FTagLength <= size, "tag range");
            Check(page.substr(l.FTagPos, l.FTagLength) == l.FTagText, "tag text");
            Check(l.FValuePos > l.FTagPos && l.FValuePos + l.FValueLength < l.FTagPos + l.FTagLength,
                  "value inside tag");
            Check(l.FURLPartPos >= 0 && l.FURLPartLength >= 0 && l.FURLPartPos + l.FURLPartLength <= l.FValueLength,
                  "address part inside value");
            Check(l.FTagIndex >= 1, "tag number");
        } else {
            Check(l.FKind == lkCSSURL && l.FTagPos == 0 && l.FTagLength == 0, "css link fields");
            Check(l.FURLPartPos == 0 && l.FURLPartLength == 0, "css address part");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static THTMLParser html;
    static TCSSParser css;
    // An exact-size heap copy, so ASan catches a read one past the end.
    std::string buffer(reinterpret_cast<const char*>(data), size);
    buffer.shrink_to_fit();
    std::string_view page(buffer);

    TWebLinkList list;
    html.GetLinksInHTMLCode(page, "/nonexistent/page.html", "http://example.com/dir/page.html", list, 0);
    CheckLinks(page, list);
    if (!html.FTitle.empty())
        Check(page.find(html.FTitle) != std::string_view::npos, "title inside page");

    TWebLinkList cssList;
    css.FBaseURL = "http://example.com/css/site.css";
    css.GetLinksInCSSCode(page, cssList, 0, static_cast<int64_t>(size), 1);
    CheckLinks(page, cssList);
    return 0;
}
