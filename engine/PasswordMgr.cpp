#include "engine/PasswordMgr.h"

#include "platform/TextUtils.h"

int TPasswordManager::IndexOfHost(const std::string& host) const
{
    for (int i = 0; i < count_; ++i)
        if (SameTextIgnoringCase(table_[static_cast<size_t>(i)].Host, host))
            return i;
    return -1;
}

bool TPasswordManager::FindPassword(const std::string& host, TPasswordRec& rec)
{
    std::lock_guard<std::mutex> guard(lock_);
    int i = IndexOfHost(host);
    if (i < 0)
        return false;
    rec = table_[static_cast<size_t>(i)];
    return true;
}

bool TPasswordManager::PutPassword(const TPasswordRec& rec)
{
    std::lock_guard<std::mutex> guard(lock_);
    int i = IndexOfHost(rec.Host);
    if (i >= 0) {
        table_[static_cast<size_t>(i)] = rec;
        return true;
    }
    if (count_ >= MaxPasswords)
        return false;
    table_[static_cast<size_t>(count_++)] = rec;
    return true;
}

bool TPasswordManager::RemovePassword(const std::string& host)
{
    std::lock_guard<std::mutex> guard(lock_);
    int i = IndexOfHost(host);
    if (i < 0)
        return false;
    for (int j = i; j + 1 < count_; ++j)
        table_[static_cast<size_t>(j)] = std::move(table_[static_cast<size_t>(j + 1)]);
    table_[static_cast<size_t>(--count_)] = TPasswordRec{};
    return true;
}

int TPasswordManager::Count()
{
    std::lock_guard<std::mutex> guard(lock_);
    return count_;
}
