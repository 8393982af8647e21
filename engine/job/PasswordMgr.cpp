#include "engine/job/PasswordMgr.h"

#include "engine/job/URLType.h"
#include "platform/TextUtils.h"

std::string PasswordKeyOf(const TURL& address)
{
    // The authority of the built address: the port is written only when it is not the default.
    const std::string text = address.GetURLWithoutUserInfo();
    const size_t start = text.find("://");
    if (start == std::string::npos)
        return AsciiLowerCase(address.GetHostName());
    const size_t end = text.find('/', start + 3);
    return AsciiLowerCase(text.substr(start + 3, end == std::string::npos ? std::string::npos : end - start - 3));
}

bool TPasswordManager::FindPasswordFor(const TURL& address, TPasswordRec& rec)
{
    const std::string key = PasswordKeyOf(address);
    if (FindPassword(key, rec))
        return true;
    const std::string portSuffix = ":" + std::to_string(address.GetPort());
    const bool portInKey =
        key.size() > portSuffix.size() && key.compare(key.size() - portSuffix.size(), portSuffix.size(), portSuffix) == 0;
    if (!portInKey)
        return FindPassword(key + portSuffix, rec);
    // A site on its own port without an entry of its own: the host's entry, as before.
    return FindPassword(key.substr(0, key.size() - portSuffix.size()), rec);
}

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
