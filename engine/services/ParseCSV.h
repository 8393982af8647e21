#pragma once
// Splitting one line of a comma-separated file into its fields.
#include <string>
#include <vector>

// Clears fields and fills it with the fields of line. A field may be enclosed in double quotes;
// inside it a doubled double quote stands for one. An empty line gives no fields.
void ParseCSVLine(const std::string& line, std::vector<std::string>& fields);

// The text without one pair of enclosing double quotes; unchanged when it has none.
std::string StripQuotes(const std::string& text);
