#pragma once
// A page read from the copy names its files as local paths. The crawl follows the address each
// such file stands for instead, with the link's fragment, so that the server is asked about it
// and a page behind it is reached. Helpers do this while reading ahead; the crawl thread brings
// it up to date when the copy's names changed in between.
#include "engine/job/URLType.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

class TWebLinkList;

struct TLocalTextHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

// One file of the copy a page links to.
struct TLocalFileLink {
    std::string fileURL;          // the links to it, without their fragments
    std::string localName;        // its name, as TLocalNames knows the copy's files
    std::optional<TURL> address;  // what it stands for; none: its links stay local files
};

struct TLocalLinks {
    bool followed = false;
    uint64_t namesChanges = 0;          // TLocalNames::LocalNamesChanges before the files were looked up
    std::vector<TLocalFileLink> files;  // each file the page links to, once
    std::vector<int32_t> fileOf;        // for each link of the list, its file's entry; -1 none
};

// Follows a page's local links as its parser resolves them (TCommonParser::FFollower), noting
// the files in local. The page is pageFile, fetched from pageURL.
class TLocalLinkFollower {
public:
    TLocalLinkFollower(const std::string& pageFile, const TURL& pageURL, TLocalLinks& local);
    TLocalLinkFollower(const TLocalLinkFollower&) = delete;
    TLocalLinkFollower& operator=(const TLocalLinkFollower&) = delete;

    // The link at index was written relative to the page's folder as beforeHash + fragment: when
    // a value written so named a file before, url takes what following it gives. False: the
    // value is to be resolved.
    bool FollowKnownValue(size_t index, std::string_view beforeHash, std::string_view fragment, TURL& url);
    // url, resolved for the link at index, is followed when it names a file of the copy. A value
    // relative to the page's folder gives its text before the fragment, for FollowKnownValue.
    void Follow(size_t index, TURL& url, std::string_view beforeHash = {});
    // The list's links have been resolved: local has an entry for each.
    void End(const TWebLinkList& list);
    const std::vector<int32_t>& FileOfLinks() const { return local_.fileOf; }

private:
    int32_t& FileOf(size_t index);

    const std::string& pageFile_;
    const TURL& pageURL_;
    TLocalLinks& local_;
    std::unordered_map<std::string, int32_t, TLocalTextHash, std::equal_to<>> byFile_;
    // By a value's text before its fragment: its file's entry and the file's own address.
    std::unordered_map<std::string, std::pair<int32_t, TURL>, TLocalTextHash, std::equal_to<>> byValue_;
};

// Puts in place of each link of list to a file of the copy the address that file stands for,
// noting the files in local. The page is pageFile, fetched from pageURL.
void FollowLocalLinks(TWebLinkList& list, const std::string& pageFile, const TURL& pageURL, TLocalLinks& local);

// Follows list's local links when local does not have them yet, and otherwise moves the links of
// each file whose address changed since to the address it stands for now.
void KeepLocalLinksCurrent(TWebLinkList& list, const std::string& pageFile, const TURL& pageURL, TLocalLinks& local);
