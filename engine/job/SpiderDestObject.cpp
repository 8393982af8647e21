#include "engine/job/SpiderDestObject.h"

#include "engine/services/AppTraceLog.h"

#include "platform/TextUtils.h"

#include <exception>

namespace {

uint64_t FoldedHash(std::string_view name)
{
    return StableHash(AsciiLowerCase(name));
}

}  // namespace

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
        auto found = byName_.find(candidate.FFileName);
        if (found != byName_.end()) {
            listDest = dests_[found->second].get();
            return false;
        }
        auto dest = std::make_unique<TSpiderDestObject>();
        dest->Assign(candidate);
        dest->FID = Count() + 1;
        const int32_t index = Count();
        dests_.push_back(std::move(dest));
        listDest = dests_.back().get();
        // The name in the object is the key: objects never move and names never change.
        byName_.emplace(listDest->FFileName, index);
        byFoldedHash_.emplace(FoldedHash(listDest->FFileName), index);
        return true;
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "AddIfNotPresent", "SpiderDestObject");
        throw;
    }
}

bool TSpiderDestObjectList::HasCaseVariant(const std::string& name) const
{
    const auto [first, last] = byFoldedHash_.equal_range(FoldedHash(name));
    for (auto it = first; it != last; ++it) {
        const std::string& other = dests_[it->second]->FFileName;
        if (other != name && SameTextIgnoringCase(other, name))
            return true;
    }
    return false;
}

TSpiderDestObject* TSpiderDestObjectList::Get(int32_t index) const
{
    if (index < 0 || index >= Count())
        return nullptr;
    return dests_[index].get();
}

int32_t TSpiderDestObjectList::IndexOfID(int32_t id) const
{
    const int32_t index = id - 1;
    return index >= 0 && index < Count() && dests_[index]->FID == id ? index : -1;
}

void TSpiderDestObjectList::GetFileName(int32_t id, std::string& name) const
{
    const int32_t index = IndexOfID(id);
    name = index >= 0 ? dests_[index]->FFileName : std::string();
}

void TSpiderDestObjectList::Clear()
{
    byName_.clear();
    byFoldedHash_.clear();
    dests_.clear();
}
