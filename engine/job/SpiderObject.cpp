#include "engine/job/SpiderObject.h"

#include "engine/services/AppTraceLog.h"
#include "engine/job/SpiderDestObject.h"

#include "platform/TextUtils.h"

#include <algorithm>
#include <exception>

void TSpiderObject::Assign(const TSpiderObject& source)
{
    FReferrer = source.FReferrer;
    FDepth = source.FDepth;
    FID = 0;
    FRedirectedToID = source.FRedirectedToID;
    FDestID = source.FDestID;
    FOwnsDest = source.FOwnsDest;
    FURL.Assign(source.FURL);
    FMimeType = source.FMimeType;
    FDispatched = source.FDispatched;
    FMetAsPageLink = source.FMetAsPageLink;
    FMetAsRequisite = source.FMetAsRequisite;
    FFetched = source.FFetched;
}

const TURL& TSpiderObject::Referrer() const
{
    static const TURL none;
    return FReferrer ? *FReferrer : none;
}

void TSpiderObject::SetReferrer(const TURL& referrer)
{
    TURL copy;
    copy.Assign(referrer);
    FReferrer = std::make_shared<const TURL>(std::move(copy));
}

TSpiderObjectList::TSpiderObjectList() = default;

TSpiderObjectList::~TSpiderObjectList()
{
    Clear();
}

std::string TSpiderObjectList::KeyOf(const TURL& url)
{
    std::string key = url.GetURLWithoutUserInfo();
    // Scheme and host fold case; the path and query are compared as written.
    const size_t authority = key.find("://");
    const size_t pathStart = authority == std::string::npos ? 0 : key.find('/', authority + 3);
    const size_t end = pathStart == std::string::npos ? key.size() : pathStart;
    for (size_t i = 0; i < end; ++i)
        key[i] = AsciiLower(key[i]);
    return key;
}

bool TSpiderObjectList::KeyBefore(std::string_view a, std::string_view b)
{
    // Letters folded first, so that addresses differing only in case stay side by side.
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = static_cast<unsigned char>(AsciiUpper(a[i]));
        const unsigned char y = static_cast<unsigned char>(AsciiUpper(b[i]));
        if (x != y)
            return x < y;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

std::shared_ptr<const TURL> TSpiderObjectList::ShareReferrer(const TURL* referrer)
{
    if (!referrer)
        return nullptr;
    if (!lastReferrer_ || !(*lastReferrer_ == *referrer)) {
        TURL copy;
        copy.Assign(*referrer);
        lastReferrer_ = std::make_shared<const TURL>(std::move(copy));
    }
    return lastReferrer_;
}

void TSpiderObjectList::MeetAgain(int32_t index, int32_t depth, const std::shared_ptr<const TURL>& referrer,
                                  bool& requeued)
{
    TSpiderObject& entry = objects_[index];
    if (depth >= entry.FDepth)
        return;
    entry.FDepth = depth;
    entry.SetReferrer(referrer);
    requeued = entry.FDispatched;
    Undispatch(index);
}

void TSpiderObjectList::Undispatch(int32_t index)
{
    if (TSpiderObject* object = Get(index)) {
        object->FDispatched = false;
        undispatched_.emplace(KeyOf(object->FURL), index);
    }
}

uint64_t TSpiderObjectList::HashOf(const std::string& key)
{
    return std::hash<std::string_view>{}(key);
}

bool TSpiderObjectList::HasKey(const TURL& stored, const TURL& url, const std::string& key)
{
    // A network address's key is its scheme and host (letters folded), port, path and query,
    // each of which ends where the next begins.
    if (stored.IsValid() && url.IsValid() && stored.IsDownloadableScheme() && url.IsDownloadableScheme())
        return stored.GetScheme() == url.GetScheme() && stored.GetPort() == url.GetPort() &&
               stored.GetURLPath() == url.GetURLPath() && stored.GetExtraInfo() == url.GetExtraInfo() &&
               SameTextIgnoringCase(stored.GetHostName(), url.GetHostName());
    return KeyOf(stored) == key;
}

int32_t TSpiderObjectList::FindKey(const TURL& url, const std::string& key, uint64_t hash) const
{
    for (auto [at, end] = byKeyHash_.equal_range(hash); at != end; ++at)
        if (HasKey(objects_[at->second].FURL, url, key))
            return at->second;
    return -1;
}

template <typename Fill>
bool TSpiderObjectList::AddByKey(const TURL& url, int32_t depth, const std::shared_ptr<const TURL>& referrer,
                                 Fill fill, TSpiderObject*& listObject, bool& requeued)
{
    try {
        requeued = false;
        std::string key = KeyOf(url);
        const uint64_t hash = HashOf(key);
        if (const int32_t found = FindKey(url, key, hash); found >= 0) {
            listObject = &objects_[found];
            MeetAgain(found, depth, referrer, requeued);
            return false;
        }
        const int32_t index = Count();
        TSpiderObject& object = objects_.emplace_back();
        fill(object);
        object.FID = index + 1;
        byKeyHash_.emplace(hash, index);
        if (!object.FDispatched)
            undispatched_.emplace(std::move(key), index);
        listObject = &object;
        return true;
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "AddIfNotPresent", "SpiderObject");
        throw;
    }
}

bool TSpiderObjectList::AddIfNotPresent(const TSpiderObject& candidate, TSpiderObject*& listObject, bool& requeued)
{
    return AddByKey(candidate.FURL, candidate.FDepth, candidate.SharedReferrer(), [&candidate](TSpiderObject& object) { object.Assign(candidate); }, listObject, requeued);
}

bool TSpiderObjectList::AddAddressIfNotPresent(const TURL& url, const TURL* referrer, int32_t depth,
                                               TSpiderObject*& listObject, bool& requeued)
{
    const std::shared_ptr<const TURL> shared = ShareReferrer(referrer);
    return AddByKey(url, depth, shared, [&](TSpiderObject& object) {
        object.FURL.Assign(url);
        object.SetReferrer(shared);
        object.FDepth = depth;
        object.FDispatched = false;
    }, listObject, requeued);
}

int32_t TSpiderObjectList::IndexOf(const TSpiderObject& object) const
{
    return IndexOfURL(object.FURL);
}

int32_t TSpiderObjectList::IndexOfURL(const TURL& url) const
{
    const std::string key = KeyOf(url);
    return FindKey(url, key, HashOf(key));
}

TSpiderObject* TSpiderObjectList::Get(int32_t index)
{
    return index < 0 || index >= Count() ? nullptr : &objects_[index];
}

const TSpiderObject* TSpiderObjectList::Get(int32_t index) const
{
    return index < 0 || index >= Count() ? nullptr : &objects_[index];
}

int32_t TSpiderObjectList::IndexOfID(int32_t id) const
{
    // Ids are given 1, 2, 3 ... and objects never leave the list, so id - 1 is the index.
    const int32_t index = id - 1;
    return index >= 0 && index < Count() && objects_[index].FID == id ? index : -1;
}

int32_t TSpiderObjectList::IndexOfDestOwner(int32_t destID) const
{
    auto recorded = [&]() -> int32_t {
        if (destID <= 0 || destID >= static_cast<int32_t>(ownerByDest_.size()))
            return -1;
        const int32_t index = ownerByDest_[destID];
        const bool owns = index >= 0 && objects_[index].FDestID == destID && objects_[index].FOwnsDest;
        return owns ? index : -1;
    };
    int32_t index = recorded();
    if (index < 0 && destID > 0) {
        // Ownership written into the objects directly: record every owner in one pass
        // (backwards, so that the first of several claimants is kept).
        for (int32_t i = Count() - 1; i >= 0; --i) {
            const TSpiderObject& object = objects_[i];
            if (object.FOwnsDest && object.FDestID > 0)
                RecordOwner(object.FDestID, i);
        }
        index = recorded();
    }
    return index;
}

void TSpiderObjectList::RecordOwner(int32_t destID, int32_t index) const
{
    if (destID >= static_cast<int32_t>(ownerByDest_.size()))
        ownerByDest_.resize(destID + 1, -1);
    ownerByDest_[destID] = index;
}

int32_t TSpiderObjectList::FindFirstUndispatched()
{
    while (!undispatched_.empty()) {
        const int32_t index = undispatched_.begin()->second;
        if (!objects_[index].FDispatched)
            return index;
        undispatched_.erase(undispatched_.begin());
    }
    return -1;
}

bool TSpiderObjectList::SetDestination(TSpiderObject& object, TSpiderDestObject& destination, bool added)
{
    if (!added && object.FOwnsDest && object.FDestID == destination.FID) {
        destination.FParsed = false;
        return true;
    }
    object.FDestID = destination.FID;
    object.FOwnsDest = added;
    const int32_t index = IndexOfID(object.FID);
    if (added && index >= 0 && destination.FID > 0)
        RecordOwner(destination.FID, index);
    return added;
}

void TSpiderObjectList::NoteLinkRole(int32_t id, bool pageLink)
{
    if (TSpiderObject* object = Get(IndexOfID(id)))
        (pageLink ? object->FMetAsPageLink : object->FMetAsRequisite) = true;
}

void TSpiderObjectList::NoteLinkRoles(int32_t id, const TSpiderObject& source)
{
    if (TSpiderObject* object = Get(IndexOfID(id))) {
        object->FMetAsPageLink = object->FMetAsPageLink || source.FMetAsPageLink;
        object->FMetAsRequisite = object->FMetAsRequisite || source.FMetAsRequisite;
    }
}

void TSpiderObjectList::Clear()
{
    undispatched_.clear();
    byKeyHash_.clear();
    objects_.clear();
    ownerByDest_.clear();
    lastReferrer_.reset();
}
