#include "engine/post/FileFindReplace.h"

#include "engine/services/AppTraceLog.h"
#include "engine/services/FileRewrite.h"

#include <algorithm>
#include <clocale>
#include <cwctype>
#include <exception>
#include <locale.h>
#include <utility>
#include <wctype.h>

namespace {

// One fixed UTF-8 locale for case mapping, whatever the process's locale is.
locale_t CaseLocale()
{
    static locale_t loc = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return loc;
}

// Length of the UTF-8 sequence starting at text[i] and its code point; 0 when malformed.
size_t DecodeUTF8(std::string_view text, size_t i, char32_t& cp)
{
    auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char b = byte(i);
    size_t len = b >= 0xF0 && b < 0xF5 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b < 0xE0 ? 2 : 0;
    if (len == 0 || i + len > text.size())
        return 0;
    cp = b & (0x7F >> len);
    for (size_t k = 1; k < len; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    static constexpr char32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

size_t EncodedLength(char32_t cp)
{
    return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}

void EncodeUTF8(char32_t cp, char* out, size_t len)
{
    if (len == 1) {
        out[0] = static_cast<char>(cp);
        return;
    }
    static constexpr unsigned char kLead[5] = {0, 0, 0xC0, 0xE0, 0xF0};
    for (size_t k = len - 1; k > 0; --k) {
        out[k] = static_cast<char>(0x80 | (cp & 0x3F));
        cp >>= 6;
    }
    out[0] = static_cast<char>(kLead[len] | cp);
}

bool IsASCIIAlnum(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Both replace forms: a single pass that copies the text between occurrences once.
// Replaces in text; False when nothing was found (text is then untouched).
bool ReplaceOccurrences(std::string& text, const std::string& find, const std::string& replace, uint8_t flags,
                        bool wholeWords)
{
    if (find.empty() || text.size() < find.size())
        return false;
    std::string foldedText;
    std::string foldedFind;
    std::string_view search = text;
    std::string_view key = find;
    if (flags & rfIgnoreCase) {
        foldedText = UpperCaseSameLength(text);
        foldedFind = UpperCaseSameLength(find);
        search = foldedText;
        key = foldedFind;
    }
    std::string result;
    size_t copied = 0;  // text before this position is in the result
    size_t from = 0;    // where the next search starts
    while (from < search.size()) {
        size_t p = search.find(key, from);
        if (p == std::string_view::npos)
            break;
        from = p + key.size();
        // Word boundaries are judged on the whole text, not on what is left of it.
        if (wholeWords && !WholeWordMatch(search, key, p))
            continue;
        if (result.empty())
            result.reserve(text.size() + replace.size());
        result.append(text, copied, p - copied);
        result += replace;
        copied = from;
        if (!(flags & rfReplaceAll))
            break;
    }
    if (copied == 0)
        return false;
    result.append(text, copied, std::string::npos);
    text = std::move(result);
    return true;
}

}  // namespace

std::string UpperCaseSameLength(std::string_view text)
{
    std::string out(text);
    locale_t loc = CaseLocale();
    for (size_t i = 0; i < out.size();) {
        unsigned char b = static_cast<unsigned char>(out[i]);
        if (b < 0x80) {
            if (b >= 'a' && b <= 'z')
                out[i] = static_cast<char>(b - 'a' + 'A');
            ++i;
            continue;
        }
        char32_t cp = 0;
        size_t len = DecodeUTF8(out, i, cp);
        if (len == 0) {
            ++i;
            continue;
        }
        if (loc != static_cast<locale_t>(nullptr)) {
            char32_t upper = static_cast<char32_t>(::towupper_l(static_cast<wint_t>(cp), loc));
            if (upper != cp && EncodedLength(upper) == len)
                EncodeUTF8(upper, &out[i], len);
        }
        i += len;
    }
    return out;
}

bool WholeWordMatch(std::string_view text, std::string_view find, size_t position)
{
    if (position > text.size())
        return false;
    if (position > 0 && IsASCIIAlnum(text[position - 1]))
        return false;
    size_t after = position + find.size();
    return after >= text.size() || !IsASCIIAlnum(text[after]);
}

std::string ReplaceText(const std::string& text, const std::string& find, const std::string& replace,
                        uint8_t flags)
{
    std::string result = text;
    ReplaceOccurrences(result, find, replace, flags, false);
    return result;
}

std::string ReplaceWholeWords(const std::string& text, const std::string& find, const std::string& replace,
                              uint8_t flags)
{
    std::string result = text;
    ReplaceOccurrences(result, find, replace, flags, true);
    return result;
}

bool FindReplaceInFile(const std::string& fileName, const TFindReplaceTasks& tasks, std::string* errorText,
                       int64_t maxSize)
{
    try {
        TFileRewrite edit(fileName);
        if (edit.SourceSize() > maxSize) {
            LogEvent(etWarning,
                     "Find and replace left " + fileName + " as it is: " + std::to_string(edit.SourceSize()) +
                         " bytes, more than " + std::to_string(maxSize),
                     "FindReplaceInFile", "FileFindReplace");
            return true;
        }
        std::string text = edit.ReadAll();
        bool changed = false;
        const int32_t count = std::clamp<int32_t>(tasks.Count, 0, static_cast<int32_t>(tasks.Tasks.size()));
        for (int32_t i = 0; i < count; ++i) {
            const TFindReplaceTask& task = tasks.Tasks[static_cast<size_t>(i)];
            if (ReplaceOccurrences(text, task.FindString, task.ReplaceString, task.Flags, task.WholeWordsOnly))
                changed = true;
        }
        if (changed) {
            edit.Write(text);
            edit.Commit();
        }
        return true;
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "FindReplaceInFile " + fileName, "FileFindReplace");
        if (errorText != nullptr)
            *errorText = e.what();
        return false;
    }
}

bool InsertTextIntoFile(const std::string& fileName, int where, const std::string& text, int64_t minimumSize,
                        std::string* errorText)
{
    try {
        TFileRewrite edit(fileName);
        if (edit.SourceSize() < minimumSize)
            return true;
        if (where == itEnd) {
            edit.CopySource();
            edit.Write(text);
        } else {
            edit.Write(text);
            edit.CopySource();
        }
        edit.Commit();
        return true;
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "InsertTextIntoFile " + fileName, "FileFindReplace");
        if (errorText != nullptr)
            *errorText = e.what();
        return false;
    }
}
