#pragma once
// Site credentials that the download threads look up by host. The table lives in memory only;
// the password page fills it and keeps it current. Host names are unique, compared without
// regard to ASCII case.
#include "platform/Singleton.h"

#include <array>
#include <mutex>
#include <string>

struct TPasswordRec {
    std::string Host;
    std::string Username;
    std::string Password;
};

class TPasswordManager : public TSingleton<TPasswordManager> {
public:
    static constexpr int MaxPasswords = 100;

    TPasswordManager() = default;
    ~TPasswordManager() { ReleaseInstance(); }

    // True and a copy of the host's record.
    bool FindPassword(const std::string& host, TPasswordRec& rec);
    // Replaces the record of the same host or appends it; False when the host is new and the
    // table is full (the table is then unchanged).
    bool PutPassword(const TPasswordRec& rec);
    bool RemovePassword(const std::string& host);
    int Count();

private:
    // Expects the lock held.
    int IndexOfHost(const std::string& host) const;

    std::mutex lock_;
    std::array<TPasswordRec, MaxPasswords> table_;
    int count_ = 0;
};
