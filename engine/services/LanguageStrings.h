#pragma once
// The user-interface texts: string ids 0..391 in the built-in English table and in up to 64
// translation files ("*.csv" in the languages folder), and error codes as user-visible text.
#include "platform/Singleton.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

constexpr int LanguageStringCount = 392;
constexpr int MaxLanguages = 64;

// The built-in English text of an id; "?" for ids above 391.
std::string GetDefaultString(uint16_t id);
// The program's own English value of the header ids 1..10; empty for every other id.
std::string GetDefaultHeaderString(uint16_t id);

// text with the first occurrence of placeholder ("XXX", "YYY") replaced by value.
std::string ReplaceFirst(const std::string& text, const std::string& placeholder, const std::string& value);

// String 263 "Error XXX (YYY)" filled with the code and the system's text for it.
std::string GetErrorText(uint32_t code);
// GetErrorText of the calling thread's last error.
std::string GetLastErrorText();

// One language.
class TLocalizedStringSet {
public:
    // The text of id 0..391; with expand, each backslash-r-backslash-n becomes CR LF.
    std::string GetText(int id, bool expand = false) const;
    // The translators' context of an id (always empty).
    std::string GetContext(int id) const;
    void LoadDefaultStrings();
    // Loads and validates a translation file. On failure LastError() says why, the event log
    // has the reason, and the rows before the failing one are already overwritten.
    bool LoadFromFile(const std::string& path);
    // Writes the set as a translation file; False when that fails.
    bool ExportToFile(const std::string& path) const;
    const std::string& LastError() const { return lastError_; }

private:
    std::string LoadRows(const std::string& path);

    std::array<std::string, LanguageStringCount> texts_;
    std::string lastError_;
};

class TLocalLanguages : public TSingleton<TLocalLanguages> {
public:
    // Asked about a translation file that does not load: text, caption; True deletes the file.
    using TDeleteQuestion = std::function<bool(const std::string& text, const std::string& caption)>;

    TLocalLanguages();

    // The user interface supplies the question before the folder is set; without one the
    // answer is No.
    void SetDeleteQuestion(TDeleteQuestion question) { deleteQuestion_ = std::move(question); }
    // folder ends with "/". Writes "ENU.csv" when it is missing, then loads the folder.
    void SetLanguagesFolder(const std::string& folder);
    void WriteDefaultLanguageFile();
    // Loads the folder's "*.csv" files in name order, at most 64; the built-in English set
    // when none loads. The current language is kept.
    void ScanLanguagesFolder();

    // language -1 is the current one; outside 0..63 gives "?".
    std::string GetString(int id, int language = -1, bool expand = true) const;
    // GetString(id) as a whole decimal number, def when it is not one.
    int32_t GetInteger(int id, int32_t def) const;
    int32_t GetLanguageCount() const { return count_; }
    // Ignored outside 0..63.
    void SetCurrentLanguage(int32_t index);

private:
    std::vector<TLocalizedStringSet> sets_;  // MaxLanguages sets, made once
    int32_t count_ = 1;
    int32_t current_ = 0;
    std::string folder_;
    TDeleteQuestion deleteQuestion_;
};
