#include "engine/services/ParseCSV.h"

namespace {

enum class TCSVState { Start, Unquoted, Quoted, AfterQuote };

}  // namespace

void ParseCSVLine(const std::string& line, std::vector<std::string>& fields)
{
    fields.clear();
    std::string field;
    TCSVState state = TCSVState::Start;
    const size_t n = line.size();
    for (size_t i = 0; i < n; ++i) {
        const char c = line[i];
        switch (state) {
        case TCSVState::Start:
            field.clear();
            if (c == '"') {
                state = TCSVState::Quoted;
            } else if (c == ',') {
                fields.push_back(field);
            } else {
                field.push_back(c);
                state = TCSVState::Unquoted;
            }
            break;
        case TCSVState::Unquoted:
            if (c == ',') {
                fields.push_back(std::move(field));
                field.clear();
                state = TCSVState::Start;
            } else {
                field.push_back(c);
            }
            break;
        case TCSVState::Quoted:
            if (c != '"') {
                field.push_back(c);
            } else if (i + 1 == n) {
                fields.push_back(std::move(field));
                field.clear();
                return;
            } else if (line[i + 1] == ',') {
                // The comma that follows ends the field.
                state = TCSVState::Unquoted;
            } else {
                state = TCSVState::AfterQuote;
            }
            break;
        case TCSVState::AfterQuote:
            // A second quote is an escaped quote; anything else after a closing quote is dropped.
            if (c == '"') {
                field.push_back('"');
                state = TCSVState::Quoted;
            }
            break;
        }
    }
    if (state == TCSVState::Unquoted)
        fields.push_back(std::move(field));
    else if (state == TCSVState::Start && n > 0)
        fields.emplace_back();  // the line ended with a comma
}

std::string StripQuotes(const std::string& text)
{
    if (text.size() > 1 && text.front() == '"' && text.back() == '"')
        return text.substr(1, text.size() - 2);
    return text;
}
