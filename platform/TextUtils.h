#pragma once
// Small text helpers shared by the settings, the event log and the password store.
#include <string>

// The text without blanks and control characters (bytes up to 32) at either end.
std::string TrimText(const std::string& s);
// Equal when ASCII letters are folded to lower case; other bytes must match exactly.
bool SameTextIgnoringCase(const std::string& a, const std::string& b);
