#pragma once
// Which version of an address an unfinished body ("#part" file) holds: the validator of the
// answer that started it, kept beside it in a "#info" file. The body is continued only with a
// Range request whose If-Range names that validator, so that a server holding another version
// sends the whole of it instead; a body whose version cannot be told is fetched whole.
#include <ctime>
#include <string>
#include <string_view>

struct TPartRecord {
    std::string address;  // without user information
    std::string etag;     // a strong entity tag, quotes included; empty when the date is used
    time_t lastModified = 0;

    // The value of the If-Range line.
    std::string IfRange() const;
    // An answer to that If-Range carries this version (or does not say which it carries).
    bool SameVersion(const std::string& answerETag, bool hasLastModified, time_t answerLastModified) const;
};

// The record for an answer: its entity tag when that is a strong one, else its Last-Modified when
// the answer's Date shows it a strong validator (a minute or more before the answer). False when
// the answer allows no record.
bool PartRecordForAnswer(const std::string& address, const std::string& etag, bool hasLastModified,
                         time_t lastModified, bool hasDate, time_t date, TPartRecord& record);

// A strong entity tag as HTTP writes it: a quoted string of visible bytes, not "W/".
bool IsStrongETag(std::string_view etag);

// Writes the record of localName's "#part" file; False when it cannot be written whole.
bool WritePartRecord(const std::string& localName, const TPartRecord& record);
// Reads the record of localName's "#part" file; False when there is none or it cannot be trusted.
bool ReadPartRecord(const std::string& localName, TPartRecord& record);
