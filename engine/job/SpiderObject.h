#pragma once
// The addresses a running job has met, one object per distinct address, with ids from 1.
// Used by the crawl thread alone (no lock).
#include "engine/job/URLType.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class TSpiderDestObject;

class TSpiderObject {
public:
    int32_t FDepth = -2;
    int32_t FID = 0;
    int32_t FRedirectedToID = 0;
    int32_t FDestID = 0;
    TURL FURL;
    std::string FMimeType;
    // The flags side by side: one object per address.
    bool FOwnsDest = false;
    bool FDispatched = false;
    // How pages have linked to the address: as a page (a link, frame, form, citation, refresh or
    // a LINK to a page), as a file the page is made of (image, style sheet, script, object, ...),
    // or both. Neither: not met in a page.
    bool FMetAsPageLink = false;
    bool FMetAsRequisite = false;
    // A download of this job left the address's file current (written, found on disk or confirmed).
    bool FFetched = false;

    TSpiderObject() = default;
    TSpiderObject(const TSpiderObject&) = delete;
    TSpiderObject& operator=(const TSpiderObject&) = delete;

    // Every field but FID, which becomes 0; the referrer is shared.
    void Assign(const TSpiderObject& source);

    // The page the address was found on; an empty address when none.
    const TURL& Referrer() const;
    // Shared with the other addresses found on the same page; nullptr when none.
    const std::shared_ptr<const TURL>& SharedReferrer() const { return FReferrer; }
    void SetReferrer(std::shared_ptr<const TURL> referrer) { FReferrer = std::move(referrer); }
    // A copy of its own.
    void SetReferrer(const TURL& referrer);

private:
    std::shared_ptr<const TURL> FReferrer;
};

// Objects are kept in order of addition (index = id - 1). Addresses are found through a hash
// of their key: the address without user information and fragment, scheme and host in lower
// case, so that addresses differing only in those are one object; paths and queries differing
// in letter case are other addresses. The undispatched objects are kept in key order (letters
// folded first), which decides which address is fetched next.
class TSpiderObjectList {
public:
    TSpiderObjectList();
    ~TSpiderObjectList();
    TSpiderObjectList(const TSpiderObjectList&) = delete;
    TSpiderObjectList& operator=(const TSpiderObjectList&) = delete;

    // Adds a copy of the candidate with the next id (True), or finds the present object
    // (False). A present object met again at a smaller depth takes that depth and the
    // candidate's referrer and is undispatched; requeued tells whether it had been dispatched.
    bool AddIfNotPresent(const TSpiderObject& candidate, TSpiderObject*& listObject, bool& requeued);
    // The same for a candidate made of the address, the referrer (none: empty) and the depth,
    // undispatched; nothing is copied for an address already present.
    bool AddAddressIfNotPresent(const TURL& url, const TURL* referrer, int32_t depth, TSpiderObject*& listObject,
                                bool& requeued);
    // Index of the object with the candidate's key, -1 when absent.
    int32_t IndexOf(const TSpiderObject& object) const;
    // The same for an address; safe from several threads while the list does not change.
    int32_t IndexOfURL(const TURL& url) const;
    int32_t Count() const { return static_cast<int32_t>(objects_.size()); }
    // nullptr outside 0..Count()-1.
    TSpiderObject* Get(int32_t index);
    const TSpiderObject* Get(int32_t index) const;
    int32_t IndexOfID(int32_t id) const;
    // Index of the object that owns the destination, -1 when none.
    int32_t IndexOfDestOwner(int32_t destID) const;
    // Index of the first undispatched object in key order, -1 when none. Objects may be
    // marked dispatched directly through FDispatched.
    int32_t FindFirstUndispatched();
    bool HasUndispatchedObjects() { return FindFirstUndispatched() >= 0; }
    // The object at index is to be dispatched again.
    void Undispatch(int32_t index);
    // Points the object at the destination it maps to; added tells whether that mapping
    // created the destination. The creator owns it. An owner that maps again to its own
    // destination (an address fetched again at a smaller depth) keeps it, and the destination
    // is parsed again. Returns the object's FOwnsDest.
    bool SetDestination(TSpiderObject& object, TSpiderDestObject& destination, bool added);
    // The object of this id has been met as a page link (or as a requisite); unknown ids are passed over.
    void NoteLinkRole(int32_t id, bool pageLink);
    // The object of this id takes on how the source was met (a redirect's target, for instance).
    void NoteLinkRoles(int32_t id, const TSpiderObject& source);
    void Clear();

    // The list key of an address: scheme and host in lower case, user information and fragment
    // left out.
    static std::string KeyOf(const TURL& url);
    // The fetching order of keys: ASCII letters folded, then as written.
    static bool KeyBefore(std::string_view a, std::string_view b);

private:
    struct TKeyOrder {
        bool operator()(const std::string& a, const std::string& b) const { return KeyBefore(a, b); }
    };
    // The index of the object whose address has url's key (key, with its hash), -1 none.
    int32_t FindKey(const TURL& url, const std::string& key, uint64_t hash) const;
    static uint64_t HashOf(const std::string& key);
    // The stored address has url's key: compared part by part where the key is made of the
    // parts (a network address), else by key.
    static bool HasKey(const TURL& stored, const TURL& url, const std::string& key);

    void RecordOwner(int32_t destID, int32_t index) const;
    // The referrer to keep: the one of the previous call when the address is the same (the links
    // of one page come together), else a new copy; nullptr for none.
    std::shared_ptr<const TURL> ShareReferrer(const TURL* referrer);
    // The present object of the key met again at depth: takes a smaller depth and the referrer.
    void MeetAgain(int32_t index, int32_t depth, const std::shared_ptr<const TURL>& referrer, bool& requeued);
    // The present object of the address's key, met again (False), or a new one filled by fill,
    // appended (True).
    template <typename Fill>
    bool AddByKey(const TURL& url, int32_t depth, const std::shared_ptr<const TURL>& referrer, Fill fill,
                  TSpiderObject*& listObject, bool& requeued);

    std::deque<TSpiderObject> objects_;  // a deque never moves them
    // Objects by the hash of their key. The key itself is made again from the address when it
    // is compared: a list of 10^5 addresses would hold each one's text twice otherwise.
    std::unordered_multimap<uint64_t, int32_t> byKeyHash_;
    // Undispatched objects by key (only these are held with their keys); an entry whose
    // object has been dispatched meanwhile goes when it comes first.
    std::map<std::string, int32_t, TKeyOrder> undispatched_;
    mutable std::vector<int32_t> ownerByDest_;  // destination id -> owner index, -1 none
    std::shared_ptr<const TURL> lastReferrer_;
};
