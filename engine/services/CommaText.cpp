#include "engine/services/CommaText.h"

namespace {

// NUL and the other control characters separate like a blank; bytes above 127 do not.
bool IsBlank(char c)
{
    return static_cast<unsigned char>(c) <= ' ';
}

bool IsLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

}  // namespace

std::string CSVLineText(const TCSVRow& fields)
{
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += ", ";
        line += '"';
        for (char c : fields[i]) {
            if (c == '"')
                line += "\"\"";
            else if (IsLineEnd(c))
                line += ' ';
            else
                line += c;
        }
        line += '"';
    }
    return line;
}

TCSVRow SplitCommaText(const std::string& line, size_t maxFields)
{
    TCSVRow fields;
    size_t p = 0;
    const size_t n = line.size();
    auto skipBlanks = [&] {
        while (p < n && IsBlank(line[p]))
            ++p;
    };
    skipBlanks();
    // Every turn either takes at least one character or ends the loop.
    while (p < n && fields.size() <= maxFields) {
        std::string field;
        if (line[p] == '"') {
            ++p;
            size_t start = p;
            while (p < n) {
                if (line[p] != '"') {
                    ++p;
                    continue;
                }
                field.append(line, start, p - start);
                if (p + 1 < n && line[p + 1] == '"') {
                    field += '"';
                    p += 2;
                    start = p;
                    continue;
                }
                start = ++p;
                break;
            }
            if (start < p)
                field.append(line, start, p - start);  // no closing quote: the rest of the line
        } else if (line[p] != ',') {
            const size_t start = p;
            while (p < n && !IsBlank(line[p]) && line[p] != ',')
                ++p;
            field = line.substr(start, p - start);
        }
        fields.push_back(std::move(field));
        skipBlanks();
        if (p < n && line[p] == ',') {
            ++p;
            if (p == n)
                fields.emplace_back();
            skipBlanks();
        }
    }
    return fields;
}

TCSVRows CSVTextToRows(const std::string& text, size_t columnCount)
{
    TCSVRows result;
    size_t start = 0;
    const size_t size = text.size();
    while (start < size) {
        size_t stop = start;
        while (stop < size && !IsLineEnd(text[stop]))
            ++stop;
        const std::string line = text.substr(start, stop - start);
        TCSVRow fields = SplitCommaText(line, columnCount);
        if (fields.size() == columnCount)
            result.rows.push_back(std::move(fields));
        else if (line.find_first_not_of(" \t") != std::string::npos)
            ++result.skippedLines;
        start = stop;
        if (start < size && text[start] == '\r')
            ++start;
        if (start < size && text[start] == '\n')
            ++start;
    }
    return result;
}
