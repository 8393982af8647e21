#pragma once
// Find and replace in a text and in a page file, and inserting text at a page's top or end.
#include "engine/job/DownloadOptionTypes.h"

#include <cstdint>
#include <string>
#include <string_view>

// Where InsertTextIntoFile puts the text.
constexpr int itTop = 0;
constexpr int itEnd = 2;

// The text with every letter in upper case (UTF-8, Unicode simple case mapping) where the upper
// case letter takes as many bytes as the original; other bytes stay. Positions in the result
// therefore match positions in the text.
std::string UpperCaseSameLength(std::string_view text);

// The occurrence of find at the zero-based position in text is a whole word: the byte before it
// and the byte after it (where there are any) are not ASCII letters or digits.
bool WholeWordMatch(std::string_view text, std::string_view find, size_t position);

// Replaces the first occurrence of find (every one with rfReplaceAll), comparing without regard
// to case with rfIgnoreCase. One pass over the text; the replacement is never searched again.
// An empty find text changes nothing.
std::string ReplaceText(const std::string& text, const std::string& find, const std::string& replace,
                        uint8_t flags);
// The same, counting only occurrences that are whole words.
std::string ReplaceWholeWords(const std::string& text, const std::string& find, const std::string& replace,
                              uint8_t flags);

// The largest file FindReplaceInFile edits: the whole text is searched in memory.
constexpr int64_t kMaxFindReplaceSize = int64_t{16} << 20;

// Runs the tasks in order over the whole file (each on the result of the one before) and
// replaces the file through a temporary file when the text changed. Errors are logged and give
// False with the file unchanged (and the message in errorText when given). A file larger than
// maxSize is left as it is, with a warning in the event log.
bool FindReplaceInFile(const std::string& fileName, const TFindReplaceTasks& tasks,
                       std::string* errorText = nullptr, int64_t maxSize = kMaxFindReplaceSize);

// Inserts text at the top (itTop) or end (itEnd) of the file; a file smaller than minimumSize
// bytes is left alone. The file is replaced through a temporary file; errors are logged and give
// False with the file unchanged (and the message in errorText when given).
bool InsertTextIntoFile(const std::string& fileName, int where, const std::string& text, int64_t minimumSize,
                        std::string* errorText = nullptr);
