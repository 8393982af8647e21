#pragma once
// Byte counts as the pages show them.
#include <cstdint>
#include <string>

// Whole MB from 1,048,576 up, whole KB from 1,024 up, else the plain number.
std::string FormatByteCount(int64_t count);
