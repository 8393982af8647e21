#pragma once
// What the download filter decided about an address: the verdict shared with the download
// threads, carried by the download-ended report (FFilterCode) and shown by the progress page.
#include <cstdint>

enum TFilterCode : uint8_t {
    FILTER_NONE = 0,
    FILTER_LOCATION = 1,
    FILTER_DEPTH = 2,
    FILTER_ADDRESS = 3,
    FILTER_HOST = 4,
    FILTER_FILE_COUNT = 5,
    FILTER_FILE_SIZE = 6,
    FILTER_JOB_SIZE = 7,
    FILTER_EXTENSION = 8,
    FILTER_MIME_TYPE = 9,
    FILTER_QUERY = 10,
    FILTER_PASSWORD = 11,
    FILTER_PROTOCOL = 12,
    FILTER_JOB_TIME = 13,
    FILTER_PREVIOUSLY_DOWNLOADED = 14,  // the copy on disk is taken as it is
    FILTER_ACCEPTED = 15,
    FILTER_SKIPPED = 16,  // the same file is being fetched under another address
};

constexpr uint8_t kFirstFilterCode = FILTER_LOCATION;
constexpr uint8_t kLastFilterCode = FILTER_SKIPPED;
