#pragma once
// Report-style lists to and from comma-separated files: every field in double quotes (a quote
// inside doubled), fields separated by ", ", lines ended by CR LF.
#include <string>
#include <vector>

class QTreeWidget;

using TCSVRow = std::vector<std::string>;

// One line without its line end. CR and LF inside a field become blanks, so a line stays a line.
std::string CSVLineText(const TCSVRow& fields);
// The fields of a line: double quotes group a field and a doubled quote stands for one; outside
// quotes, commas and blanks separate.
TCSVRow SplitCommaText(const std::string& line);
// The rows of a file's text that have exactly columnCount fields, in order.
std::vector<TCSVRow> CSVTextToRows(const std::string& text, size_t columnCount);

// Writes every row of list (the item text, then its other columns), with a first line of the
// column captions when header is set. On failure: logged, a message box, False.
bool ListViewToCSVFile(QTreeWidget* list, const std::string& fileName, bool header);
// Empties list and fills it from the file; lines with another number of fields are skipped.
void CSVFileToListView(QTreeWidget* list, const std::string& fileName);
