#pragma once
// Report-style lists to and from comma-separated files (engine/services/CommaText.h).
#include "engine/services/CommaText.h"

#include <Qt>

#include <cstddef>
#include <cstdint>
#include <string>

class QTreeWidget;

// Writes every row of list (the item text, then its other columns), with a first line of the
// column captions when header is set. On failure: logged, a message box, False.
bool ListViewToCSVFile(QTreeWidget* list, const std::string& fileName, bool header);

struct TCSVFileRead {
    bool missing = false;   // there is no such file: nothing to read, nothing lost
    bool read = false;      // the file was read (perhaps not every line of it)
    size_t skippedLines = 0;
    std::string error;      // why the file could not be read
    std::string text;       // the file as read, for keeping a copy of what was skipped
};
// Empties list and fills it from the file; lines with another number of fields are skipped.
// A file larger than maxBytes is not read. Each row gets extraFlags before it is added.
TCSVFileRead CSVFileToListView(QTreeWidget* list, const std::string& fileName, size_t maxBytes = SIZE_MAX,
                               Qt::ItemFlags extraFlags = {});
