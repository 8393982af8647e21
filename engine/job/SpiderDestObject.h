#pragma once
// The local files a running job's downloads map to, one destination per distinct name, with
// ids from 1. Used by the crawl thread alone (no lock).
#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>

constexpr uint8_t PARSE_KIND_HTML = 1;
constexpr uint8_t PARSE_KIND_CSS = 2;

class TSpiderDestObject {
public:
    int32_t FID = 0;
    std::string FFileName;  // fixed once the destination is in a list: the list is keyed by it
    bool FParseNeeded = false;
    uint8_t FParseKind = 0;
    bool FParsed = false;
    bool FLocalSource = true;

    TSpiderDestObject() = default;
    TSpiderDestObject(const TSpiderDestObject&) = delete;
    TSpiderDestObject& operator=(const TSpiderDestObject&) = delete;

    // Every field but FID, which becomes 0.
    void Assign(const TSpiderDestObject& source);
};

// Destinations in order of addition (index = id - 1), found by their exact name. One index of
// names with ASCII letters folded serves both lookups: names differing in case alone are few.
class TSpiderDestObjectList {
public:
    TSpiderDestObjectList() = default;
    ~TSpiderDestObjectList();
    TSpiderDestObjectList(const TSpiderDestObjectList&) = delete;
    TSpiderDestObjectList& operator=(const TSpiderDestObjectList&) = delete;

    // Adds a copy of the candidate with the next id (True) or finds the one of that name (False).
    bool AddIfNotPresent(const TSpiderDestObject& candidate, TSpiderDestObject*& listDest);
    // Another destination's name differs from this one in ASCII letter case alone.
    bool HasCaseVariant(const std::string& name) const;
    int32_t Count() const { return static_cast<int32_t>(dests_.size()); }
    // nullptr outside 0..Count()-1.
    TSpiderDestObject* Get(int32_t index);
    const TSpiderDestObject* Get(int32_t index) const;
    int32_t IndexOfID(int32_t id) const;
    // The destination's file name; empty when the id is absent.
    void GetFileName(int32_t id, std::string& name) const;
    void Clear();

private:
    std::deque<TSpiderDestObject> dests_;  // a deque never moves them
    std::unordered_multimap<uint64_t, int32_t> byFoldedHash_;  // hash of the name in lower case
};
