// Address parsing, resolving and local file names must never crash, must rebuild to a text that
// parses back to itself, and must never name a file outside the destination folder.
#include "engine/job/URLType.h"
#include "engine/parse/CharacterReferences.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const std::string kFolder = "/dest/My Folder";

void Fail(const char* what, const std::string& text)
{
    std::fprintf(stderr, "%s: [%s]\n", what, text.c_str());
    std::abort();
}

// workingMark: the name may not hold the "#" that only the program's own files have.
void CheckLocalName(const std::string& name, bool workingMark)
{
    if (name.empty())
        return;
    if (workingMark && name.find('#', kFolder.size()) != std::string::npos)
        Fail("local name with the mark of a working file", name);
    // Room is left for an added type ending and the "#part" of a download.
    if (name.size() > 4085 || name.compare(0, kFolder.size() + 1, kFolder + "/") != 0)
        Fail("local name outside the folder", name);
    size_t i = kFolder.size() + 1;
    for (;;) {
        size_t j = name.find('/', i);
        std::string part = name.substr(i, j == std::string::npos ? std::string::npos : j - i);
        if (part.empty() || part == "." || part == ".." || part.size() > (j == std::string::npos ? 245u : 255u) ||
            part.find('\0') != std::string::npos)
            Fail("unsafe local name", name);
        if (j == std::string::npos)
            break;
        i = j + 1;
    }
}

void Check(const TURL& url)
{
    if (!url.IsValid())
        return;
    for (int mode = 0; mode < 4; ++mode)
        CheckLocalName(url.URLToLocalFileName(kFolder, mode & 1, mode & 2), url.IsDownloadableScheme());
    const std::string text = url.GetFullURL();
    TURL back;
    if (!back.SetFullURL(text) || back.GetFullURL() != text)
        Fail("rebuilt address does not parse back", text);
    // The key of a network address parses back to itself, unless a second "#" left the first in
    // the extra information or a blank stood before the fragment.
    const std::string key = url.GetURLWithoutUserInfo();
    if (url.IsDownloadableScheme() && static_cast<unsigned char>(key.back()) > ' ' &&
        url.GetExtraInfo().find('#') == std::string::npos &&
        (!back.SetFullURL(key) || back.GetURLWithoutUserInfo() != key))
        Fail("key does not parse back", key);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    static TURL fixedBase;
    if (!fixedBase.IsValid())
        fixedBase.SetFullURL("http://user:pw@host.example:8080/a/b/c.html?q=1#frag");

    TURL url;
    url.SetFullURL(input);
    Check(url);
    url.SetRelativeURL(input, fixedBase);
    Check(url);

    // "base\nreference"
    size_t split = input.find('\n');
    if (split != std::string::npos) {
        TURL base;
        base.SetFullURL(input.substr(0, split));
        Check(base);
        url.SetRelativeURL(input.substr(split + 1), base);
        Check(url);
    }
    // Addresses in pages come through the attribute value decoder first.
    (void)DecodeCharacterReferences(input);
    return 0;
}
