#include "engine/job/SpiderDestObject.h"

#include "engine/services/AppTraceLog.h"

#include "platform/TextUtils.h"

#include <exception>

void TSpiderDestObject::Assign(const TSpiderDestObject& source)
{
    FID = 0;
    FFileName = source.FFileName;
    FParseNeeded = source.FParseNeeded;
    FParseKind = source.FParseKind;
    FParsed = source.FParsed;
    FLocalSource = source.FLocalSource;
}

TSpiderDestObjectList::~TSpiderDestObjectList()
{
    Clear();
}

bool TSpiderDestObjectList::AddIfNotPresent(const TSpiderDestObject& candidate, TSpiderDestObject*& listDest)
{
    try {
        const uint64_t hash = StableHashIgnoringCase(candidate.FFileName);
        const auto [first, last] = byFoldedHash_.equal_range(hash);
        for (auto it = first; it != last; ++it) {
            if (dests_[it->second].FFileName == candidate.FFileName) {
                listDest = &dests_[it->second];
                return false;
            }
        }
        const int32_t index = Count();
        TSpiderDestObject& dest = dests_.emplace_back();
        dest.Assign(candidate);
        dest.FID = index + 1;
        byFoldedHash_.emplace(hash, index);
        listDest = &dest;
        return true;
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "AddIfNotPresent", "SpiderDestObject");
        throw;
    }
}

bool TSpiderDestObjectList::HasCaseVariant(const std::string& name) const
{
    const auto [first, last] = byFoldedHash_.equal_range(StableHashIgnoringCase(name));
    for (auto it = first; it != last; ++it) {
        const std::string& other = dests_[it->second].FFileName;
        if (other != name && SameTextIgnoringCase(other, name))
            return true;
    }
    return false;
}

TSpiderDestObject* TSpiderDestObjectList::Get(int32_t index)
{
    return index < 0 || index >= Count() ? nullptr : &dests_[index];
}

const TSpiderDestObject* TSpiderDestObjectList::Get(int32_t index) const
{
    return index < 0 || index >= Count() ? nullptr : &dests_[index];
}

int32_t TSpiderDestObjectList::IndexOfID(int32_t id) const
{
    const int32_t index = id - 1;
    return index >= 0 && index < Count() && dests_[index].FID == id ? index : -1;
}

void TSpiderDestObjectList::GetFileName(int32_t id, std::string& name) const
{
    const int32_t index = IndexOfID(id);
    name = index >= 0 ? dests_[index].FFileName : std::string();
}

void TSpiderDestObjectList::Clear()
{
    byFoldedHash_.clear();
    dests_.clear();
}
