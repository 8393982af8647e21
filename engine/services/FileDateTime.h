#pragma once
// File times as 64-bit counts of 100-nanosecond intervals since 1601-01-01 (the FILETIME scale),
// and conversions to and from date-time values (days since 1899-12-30 with the fraction of a day).
// Linux keeps no settable creation time: reading gives the birth time where the file system
// records one (else the last-write time), and setting it is a no-op.
#include <cstdint>
#include <ctime>
#include <string>

using TFileTime = uint64_t;
using TDateTime = double;

bool GetExistingFileDate(const std::string& path, TFileTime& creationTime, TFileTime& lastWriteTime);
// Sets the last-write time; the creation time cannot be set here and is ignored.
bool SetExistingFileDate(const std::string& path, TFileTime creationTime, TFileTime lastWriteTime);
// Checks that the file can be opened for attribute writing (logging when not); nothing else.
void SetFileCreationDate(const std::string& path, TFileTime localCreationTime);

// The same calendar time, no time-zone conversion; 0 for a value before 1601.
TFileTime DateTimeToFileTime(TDateTime value);
bool FileTimeToDateTime(TFileTime fileTime, TDateTime& value);

TFileTime TimespecToFileTime(const struct timespec& ts);
// False when the time is before 1970 or beyond what a timespec holds.
bool FileTimeToTimespec(TFileTime fileTime, struct timespec& ts);

// True when the path's file system is NTFS or cannot be told.
bool IsNTFSPath(const std::string& path);
