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

class TURL;

// The key a site's credentials are stored under: the host in lower case, followed by ":" and
// the port only when that is not the scheme's default port ("localhost:8080", "example.com").
std::string PasswordKeyOf(const TURL& address);

class TPasswordManager : public TSingleton<TPasswordManager> {
public:
    static constexpr int MaxPasswords = 100;

    TPasswordManager() = default;
    ~TPasswordManager() { ReleaseInstance(); }

    // True and a copy of the host's record.
    bool FindPassword(const std::string& host, TPasswordRec& rec);
    // The credentials of the address's site: its key (PasswordKeyOf); for the scheme's default
    // port also a key that names that port, and for another port the bare host's key, as
    // older password files hold them.
    bool FindPasswordFor(const TURL& address, TPasswordRec& rec);
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
