#pragma once
// A page read from the copy names its files as local paths. The crawl follows the address each
// such file stands for instead, with the link's fragment, so that the server is asked about it
// and a page behind it is reached. Helpers do this while reading ahead; the crawl thread brings
// it up to date when the copy's names changed in between.
#include "engine/job/URLType.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class TWebLinkList;

// One file of the copy a page links to.
struct TLocalFileLink {
    std::string fileURL;          // the links to it, without their fragments
    std::optional<TURL> address;  // what it stands for; none: its links stay local files
};

struct TLocalLinks {
    bool followed = false;
    uint64_t namesChanges = 0;          // TLocalNames::LocalNamesChanges before the files were looked up
    std::vector<TLocalFileLink> files;  // each file the page links to, once
    std::vector<int32_t> fileOf;        // for each link of the list, its file's entry; -1 none
};

// Puts in place of each link of list to a file of the copy the address that file stands for,
// noting the files in local. The page is pageFile, fetched from pageURL.
void FollowLocalLinks(TWebLinkList& list, const std::string& pageFile, const TURL& pageURL, TLocalLinks& local);

// Follows list's local links when local does not have them yet, and otherwise moves the links of
// each file whose address changed since to the address it stands for now.
void KeepLocalLinksCurrent(TWebLinkList& list, const std::string& pageFile, const TURL& pageURL, TLocalLinks& local);
