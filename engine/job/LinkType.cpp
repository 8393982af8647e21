#include "engine/job/LinkType.h"

#include "engine/services/AppTraceLog.h"

#include <algorithm>
#include <exception>

std::string TWebLinkInfo::ValueAsWritten() const
{
    int64_t offset = FValuePos - FTagPos;
    if (FKind != lkHTMLAttribute || offset < 0 || FValueLength < 0 ||
        offset + FValueLength > static_cast<int64_t>(FTagText.size()))
        return std::string();
    return FTagText.substr(static_cast<size_t>(offset), static_cast<size_t>(FValueLength));
}

void TWebLinkList::AddLink(const TWebLinkInfo& link)
{
    try {
        items_.push_back(link);
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "AddLink", "LinkType");
        throw;
    }
}

void TWebLinkList::AddLink(TWebLinkInfo&& link)
{
    try {
        items_.push_back(std::move(link));
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "AddLink", "LinkType");
        throw;
    }
}

TWebLinkInfo& TWebLinkList::AddNew()
{
    try {
        return items_.emplace_back();
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "AddLink", "LinkType");
        throw;
    }
}

TWebLinkInfo* TWebLinkList::Get(int64_t index)
{
    if (index < 0 || index >= Count())
        return nullptr;
    return &items_[static_cast<size_t>(index)];
}

const TWebLinkInfo* TWebLinkList::Get(int64_t index) const
{
    if (index < 0 || index >= Count())
        return nullptr;
    return &items_[static_cast<size_t>(index)];
}

void TWebLinkList::SortByPosition()
{
    std::stable_sort(items_.begin(), items_.end(), [](const TWebLinkInfo& a, const TWebLinkInfo& b) {
        return a.FValuePos + a.FURLPartPos < b.FValuePos + b.FURLPartPos;
    });
}
