#include "platform/InternetLibrary.h"

#include <curl/curl.h>

#include <ctime>
#include <stdexcept>
#include <string_view>

#include "platform/ErrorCodes.h"
#include "platform/TextUtils.h"

namespace {

struct TCookieTarget {
    std::string host;  // lower case
    std::string path;  // default cookie path of the address
    bool secure = false;
};

// Host and default cookie path of an http or https address.
bool SplitCookieUrl(const std::string& url, TCookieTarget& target)
{
    auto schemeEnd = url.find("://");
    if (schemeEnd == std::string::npos)
        return false;
    std::string scheme = AsciiLowerCase(std::string_view(url).substr(0, schemeEnd));
    if (scheme != "http" && scheme != "https")
        return false;
    target.secure = scheme == "https";
    std::string_view rest = std::string_view(url).substr(schemeEnd + 3);
    auto authorityEnd = rest.find_first_of("/?#");
    std::string_view authority = rest.substr(0, authorityEnd);
    std::string_view path = authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd);
    if (auto at = authority.rfind('@'); at != std::string_view::npos)
        authority.remove_prefix(at + 1);
    if (!authority.empty() && authority.front() == '[') {
        auto close = authority.find(']');
        if (close == std::string_view::npos)
            return false;
        authority = authority.substr(1, close - 1);
    } else if (auto colon = authority.find(':'); colon != std::string_view::npos) {
        authority = authority.substr(0, colon);
    }
    if (authority.empty())
        return false;
    target.host = AsciiLowerCase(authority);
    path = path.substr(0, path.find_first_of("?#"));
    auto lastSlash = path.rfind('/');
    target.path = (path.empty() || path.front() != '/' || lastSlash == 0) ? "/" : std::string(path.substr(0, lastSlash));
    return true;
}

bool DomainMatches(const std::string& host, const std::string& domain)
{
    if (host == domain)
        return true;
    return host.size() > domain.size() && host.compare(host.size() - domain.size(), domain.size(), domain) == 0 &&
           host[host.size() - domain.size() - 1] == '.';
}

}  // namespace

TInternetLibrary::TInternetLibrary()
{
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
        throw std::runtime_error("curl_global_init failed");
    withCookies_ = curl_share_init();
    withoutCookies_ = curl_share_init();
    if (!withCookies_ || !withoutCookies_)
        throw std::runtime_error("curl_share_init failed");
    for (CURLSH* share : {withCookies_, withoutCookies_}) {
        curl_share_setopt(share, CURLSHOPT_LOCKFUNC, &TInternetLibrary::Lock);
        curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, &TInternetLibrary::Unlock);
        curl_share_setopt(share, CURLSHOPT_USERDATA, this);
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    }
    curl_share_setopt(withCookies_, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
}

TInternetLibrary::~TInternetLibrary()
{
    curl_share_cleanup(withCookies_);
    curl_share_cleanup(withoutCookies_);
    curl_global_cleanup();
}

void TInternetLibrary::Lock(void*, int data, int, void* self)
{
    static_cast<TInternetLibrary*>(self)->locks_[static_cast<unsigned>(data) % 8].lock();
}

void TInternetLibrary::Unlock(void*, int data, void* self)
{
    static_cast<TInternetLibrary*>(self)->locks_[static_cast<unsigned>(data) % 8].unlock();
}

bool TInternetLibrary::SetCookie(const std::string& url, const std::string& name, const std::string& data)
{
    TCookieTarget target;
    if (!SplitCookieUrl(url, target)) {
        SetLastErrorCode(errc::InternetInvalidUrl);
        return false;
    }
    std::string_view rest(data);
    auto firstSemicolon = rest.find(';');
    std::string_view valuePart = TrimSpaceAndTab(rest.substr(0, firstSemicolon));
    std::string cookieName = name;
    std::string value(valuePart);
    if (cookieName.empty()) {
        auto eq = valuePart.find('=');
        if (eq == std::string_view::npos) {
            SetLastErrorCode(errc::InvalidParameter);
            return false;
        }
        cookieName = std::string(TrimSpaceAndTab(valuePart.substr(0, eq)));
        value = std::string(TrimSpaceAndTab(valuePart.substr(eq + 1)));
    }
    if (cookieName.empty() || cookieName.find_first_of("\t\r\n") != std::string::npos ||
        value.find_first_of("\t\r\n") != std::string::npos) {
        SetLastErrorCode(errc::InvalidParameter);
        return false;
    }

    std::string domain = target.host;
    bool includeSubdomains = false;
    std::string path = target.path;
    bool secure = false;
    long long expires = 0;  // session cookie
    while (firstSemicolon != std::string_view::npos) {
        rest.remove_prefix(firstSemicolon + 1);
        firstSemicolon = rest.find(';');
        std::string_view attribute = TrimSpaceAndTab(rest.substr(0, firstSemicolon));
        auto eq = attribute.find('=');
        std::string key = AsciiLowerCase(TrimSpaceAndTab(attribute.substr(0, eq)));
        std::string attrValue(eq == std::string_view::npos ? std::string_view()
                                                            : TrimSpaceAndTab(attribute.substr(eq + 1)));
        if (key == "expires") {
            time_t t = curl_getdate(attrValue.c_str(), nullptr);
            if (t != -1)
                expires = t <= 0 ? 1 : static_cast<long long>(t);
        } else if (key == "max-age") {
            char* end = nullptr;
            long long seconds = std::strtoll(attrValue.c_str(), &end, 10);
            if (end && *end == 0 && !attrValue.empty())
                expires = seconds <= 0 ? 1 : static_cast<long long>(std::time(nullptr)) + seconds;
        } else if (key == "path" && !attrValue.empty() && attrValue.front() == '/') {
            path = attrValue;
        } else if (key == "domain" && !attrValue.empty()) {
            std::string d = AsciiLowerCase(attrValue);
            if (d.front() == '.')
                d.erase(0, 1);
            if (!DomainMatches(target.host, d)) {
                SetLastErrorCode(errc::InvalidParameter);
                return false;
            }
            domain = d;
            includeSubdomains = true;
        } else if (key == "secure") {
            secure = true;
        }
    }
    if (path.find_first_of("\t\r\n") != std::string::npos) {
        SetLastErrorCode(errc::InvalidParameter);
        return false;
    }

    std::string line = (includeSubdomains ? "." : "") + domain + "\t" + (includeSubdomains ? "TRUE" : "FALSE") + "\t" +
                       path + "\t" + (secure ? "TRUE" : "FALSE") + "\t" + std::to_string(expires) + "\t" +
                       cookieName + "\t" + value;
    CURL* easy = curl_easy_init();
    if (!easy) {
        SetLastErrorCode(errc::InternetOutOfHandles);
        return false;
    }
    curl_easy_setopt(easy, CURLOPT_SHARE, withCookies_);
    CURLcode rc = curl_easy_setopt(easy, CURLOPT_COOKIELIST, line.c_str());
    curl_easy_cleanup(easy);
    if (rc != CURLE_OK) {
        SetLastErrorCode(errc::InternetInternalError);
        return false;
    }
    return true;
}

bool TInternetLibrary::SetMaxConnectionsPerServer(int n)
{
    if (n < 1) {
        SetLastErrorCode(errc::InternetInvalidOption);
        return false;
    }
    maxConnections_.store(n);
    return true;
}

void TInternetLibrary::SetTrustedCertificatesFile(const std::string& path)
{
    std::lock_guard<std::mutex> guard(settingsLock_);
    trustedCertificates_ = path;
}

std::string TInternetLibrary::TrustedCertificatesFile() const
{
    std::lock_guard<std::mutex> guard(settingsLock_);
    return trustedCertificates_;
}
