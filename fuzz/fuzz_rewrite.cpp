// Arbitrary pages through link rewriting and find and replace: no crash, no read outside a
// buffer (ASan), the text after the last link copied unchanged, and the find-and-replace
// invariants (positions kept by case folding, nothing found means nothing changed).
#include "engine/post/FileFindReplace.h"
#include "engine/services/FileRewrite.h"
#include "engine/parse/GYHTMLParser.h"
#include "engine/parse/LinkRewrite.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace {

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "check failed: %s\n", what);
        std::abort();
    }
}

// A scratch folder removed when the process ends.
struct TScratchFolder {
    std::string path;
    TScratchFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "gleanery-fuzz-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~TScratchFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

const std::string& Folder()
{
    static const TScratchFolder folder;
    return folder.path;
}

void FuzzFindReplace(const std::string& input)
{
    if (input.empty())
        return;
    const uint8_t flags = static_cast<uint8_t>(input[0]) & (rfReplaceAll | rfIgnoreCase);
    size_t cut1 = input.find('\0', 1);
    size_t cut2 = cut1 == std::string::npos ? std::string::npos : input.find('\0', cut1 + 1);
    if (cut2 == std::string::npos)
        return;
    const std::string find = input.substr(1, cut1 - 1);
    const std::string replace = input.substr(cut1 + 1, cut2 - cut1 - 1);
    const std::string text = input.substr(cut2 + 1);
    Check(UpperCaseSameLength(text).size() == text.size(), "folding keeps the length");
    const std::string plain = ReplaceText(text, find, replace, flags);
    const std::string whole = ReplaceWholeWords(text, find, replace, flags);
    if (find.empty() || (!(flags & rfIgnoreCase) && text.find(find) == std::string::npos)) {
        Check(plain == text, "nothing found, nothing changed");
        Check(whole == text, "nothing found, nothing changed (whole words)");
    }
    if (!(flags & rfReplaceAll) && !find.empty())
        Check(plain.size() == text.size() || plain.size() == text.size() - find.size() + replace.size(),
              "one replacement at most");
}

void FuzzRewrite(const std::string& page)
{
    static THTMLParser html;
    const std::string file = Folder() + "/page.htm";
    std::ofstream(file, std::ios::binary | std::ios::trunc) << page;
    TWebLinkList list;
    html.GetLinksInHTMLFile(file, "http://example.com/dir/page.htm", list, 0);
    int64_t lastEnd = 0;
    for (const TWebLinkInfo& link : list)
        lastEnd = std::max(lastEnd, std::max(link.FTagPos + link.FTagLength, link.FValuePos + link.FValueLength));
    // Every address maps to a file in the page's folder (the page itself exists).
    html.OnAddressToFile = [&file](const TURL& url) { return url.GetURLPath().size() % 2 ? file : std::string(); };
    TLinkReplaceOptions options;
    options.FAddMark = true;
    try {
        ReplaceLinksInFile(html, file, "http://example.com/dir/page.htm", options, list, 1, html.FMarked);
    } catch (const std::runtime_error&) {
        return;
    }
    std::ifstream in(file, std::ios::binary);
    const std::string out((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string tail = page.substr(static_cast<size_t>(std::min<int64_t>(lastEnd, page.size())));
    Check(out.size() >= tail.size() && out.compare(out.size() - tail.size(), tail.size(), tail) == 0,
          "text after the last link copied unchanged");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    FuzzFindReplace(input);
    FuzzRewrite(input);
    return 0;
}
