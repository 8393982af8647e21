// Comma splitter and job-log reader: any bytes must end, in time linear in their length, and a
// row written back reads back to the same row.
#include "engine/services/CommaText.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    // The job log's six columns, and a line split without a limit.
    const TCSVRows rows = CSVTextToRows(text, 6);
    for (const TCSVRow& row : rows.rows) {
        if (row.size() != 6)
            std::abort();
        if (SplitCommaText(CSVLineText(row)) != row)
            std::abort();
    }
    const TCSVRow fields = SplitCommaText(text);
    if (fields.size() > size + 1)
        std::abort();
    return 0;
}
