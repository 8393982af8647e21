#pragma once
// Process-wide state of the Internet layer: libcurl's global initialisation, the cookie store
// shared by every session, shared DNS and TLS session caches, and the cookie setter. Created
// once by main() (or a test) before any session is opened, destroyed after the last one closed.
#include <atomic>
#include <mutex>
#include <string>

#include "platform/Singleton.h"

typedef void CURLSH;

class TInternetLibrary : public TSingleton<TInternetLibrary> {
public:
    TInternetLibrary();
    ~TInternetLibrary();

    // Sets a cookie in the shared store, as a server's Set-Cookie for url would. name may be
    // empty when data starts with "name=value". data may carry the attributes expires, max-age,
    // path, domain and secure after the value. False (last error set) when url is unusable.
    bool SetCookie(const std::string& url, const std::string& name, const std::string& data);

    // Per-server connection limit (at least 1). False with last error 12009 for n < 1.
    bool SetMaxConnectionsPerServer(int n);
    int MaxConnectionsPerServer() const { return maxConnections_.load(); }

    // An extra file of trusted certificates (PEM) for HTTPS, used instead of the system store
    // when not empty.
    void SetTrustedCertificatesFile(const std::string& path);
    std::string TrustedCertificatesFile() const;

    // Share handles for the sessions: with the cookie store, and without it (cookies off).
    CURLSH* SharedWithCookies() const { return withCookies_; }
    CURLSH* SharedWithoutCookies() const { return withoutCookies_; }

private:
    static void Lock(void* handle, int data, int access, void* self);
    static void Unlock(void* handle, int data, void* self);

    // One lock per kind of shared data (cookies, DNS, TLS sessions, connections).
    std::mutex locks_[8];
    CURLSH* withCookies_ = nullptr;
    CURLSH* withoutCookies_ = nullptr;
    std::atomic<int> maxConnections_{4};
    mutable std::mutex settingsLock_;
    std::string trustedCertificates_;
};
