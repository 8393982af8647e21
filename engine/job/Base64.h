#pragma once
// Base64 (standard alphabet, "=" padding) for the credentials kept in job and password files.
#include <string>

std::string StrToBase64(const std::string& text);
// Throws std::runtime_error("Base64ToStr: illegal input length!") when the length is not a
// multiple of 4 or is below 4. Characters outside the alphabet decode as the value 61.
std::string Base64ToStr(const std::string& text);
