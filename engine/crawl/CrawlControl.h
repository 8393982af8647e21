#pragma once
// What the download dispatcher needs of the crawl thread besides the job's commands: the local
// file of an address whose answer has come, a downloaded page to read, and whether pages wait to
// be read meanwhile. The crawl thread implements it; a test may give its own.
#include "engine/job/JobControl.h"

#include <cstdint>

class TSpiderDestObjectList;
class TSpiderObject;
class TSpiderObjectList;

class TCrawlControl : public TJobControl {
public:
    // Gives the object its destination (the local file it maps to); True when it owns it.
    virtual bool MapSpiderObjectToDest(TSpiderObject& object, TSpiderDestObjectList& dests,
                                       TSpiderObjectList& spiders) = 0;
    // The destination at this index may now need parsing.
    virtual void NoteParseCandidate(int32_t destIndex) = 0;
    // Downloaded pages wait that may be read while downloads run.
    virtual bool HasPagesToReadNow() const = 0;
};
