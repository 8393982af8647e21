#pragma once
// Comma-separated lines as the job log keeps them: every field in double quotes (a quote inside
// doubled), fields separated by ", ", lines ended by CR LF. Reading takes any bytes: it ends, in
// time linear in the text, whatever the text holds.
#include <cstddef>
#include <string>
#include <vector>

using TCSVRow = std::vector<std::string>;

// One line without its line end. CR and LF inside a field become blanks, so a line stays a line.
std::string CSVLineText(const TCSVRow& fields);
// The fields of a line: double quotes group a field and a doubled quote stands for one; outside
// quotes, commas and blanks separate. Splitting stops after maxFields + 1 fields, which is
// enough to tell that a line has too many.
TCSVRow SplitCommaText(const std::string& line, size_t maxFields = static_cast<size_t>(-1) - 1);

struct TCSVRows {
    std::vector<TCSVRow> rows;
    // Lines that were not blank and were dropped for another number of fields.
    size_t skippedLines = 0;
};
// The rows of a file's text that have exactly columnCount fields, in order. Lines end at CR LF,
// LF or a lone CR.
TCSVRows CSVTextToRows(const std::string& text, size_t columnCount);
