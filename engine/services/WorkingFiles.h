#pragma once
// The program's own files in a destination folder: the unfinished body of a download and the
// record of the answer it came from, the temporaries of a rewrite, the index of the copy with its
// temporaries, and the mark of a run that is writing temporaries. Each of their names holds a
// "#", which no local name of an address holds (TURL::URLToLocalFileName cuts the fragment,
// leaves an escaped "#" escaped and turns one in a query into "_"), so a file of a site can
// neither take the place of one of them nor be taken for one, also after flattening.
#include <string>
#include <string_view>

constexpr char kWorkingNameMark = '#';

// The index of the copy in the destination; AtomicWriteFile makes its temporaries beside it.
constexpr const char* kCopyIndexFileName = ".gleanery#index";

// "<local name>#part": the body of a download until it is complete.
std::string PartFileName(const std::string& localName);
// "<local name>#info": which version of the address the "#part" file holds.
std::string PartRecordName(const std::string& localName);
// mkostemp() pattern of a rewrite's temporary file in the folder of the file it rewrites.
std::string RewriteTemporaryPattern(const std::string& folder);
// A name (one component) that only the program gives.
bool IsWorkingFileName(std::string_view name);

// Marks a destination while temporaries may be made in it, so that the next run knows whether
// they were left behind. The mark is a locked file; a killed run leaves it unlocked.
class TTemporariesMark {
public:
    TTemporariesMark() = default;
    ~TTemporariesMark() { End(); }
    TTemporariesMark(const TTemporariesMark&) = delete;
    TTemporariesMark& operator=(const TTemporariesMark&) = delete;

    // Sets the mark in the destination (a folder that does not exist yet holds no temporaries).
    void Begin(const std::string& destination);
    // Takes the mark away; temporaries are gone by now.
    void End();

private:
    std::string path_;
    int fd_ = -1;
};

// When a run that made temporaries in the destination ended without taking its mark away (it
// was killed) and no other run holds it now, removes the temporaries it left: rewrite and index
// temporaries, and records of unfinished bodies that are gone. Nothing else is removed, nothing
// outside the destination, and no symbolic link is followed. Returns the number removed.
size_t RemoveLeftTemporaries(const std::string& destination);
