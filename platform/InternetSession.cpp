#include "platform/InternetSession.h"

#include <curl/curl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <string_view>
#include <type_traits>

#include "platform/ContentDecoder.h"
#include "platform/ErrorCodes.h"
#include "platform/InternetLibrary.h"
#include "platform/TextUtils.h"

static_assert(std::is_same_v<curl_off_t, int64_t>, "progress callback signature");

namespace {

// Upper bound of one wait for network activity; Interrupt() and curl's own timers end it sooner.
constexpr int kPollMs = 1000;
// What closing a request may still read to keep its connection.
constexpr int kDrainMs = 200;
constexpr size_t kDrainBytes = 64 * 1024;
// The schemes offered credentials may answer: those a server or proxy asks for by challenge
// (NTLM only where libcurl was built with it). Negotiate and bearer tokens are left out: they
// need more than a user name and password.
constexpr size_t kChallengeBodyHeld = 64 * 1024;
constexpr long kChallengeAuth = static_cast<long>(CURLAUTH_BASIC | CURLAUTH_DIGEST | CURLAUTH_NTLM);

// Percent-encodes the bytes for which encode is true.
template <class Predicate>
std::string PercentEncode(std::string_view s, Predicate encode)
{
    static const char* hex = "0123456789ABCDEF";
    std::string r;
    r.reserve(s.size());
    for (unsigned char c : s) {
        if (encode(c)) {
            r += '%';
            r += hex[c >> 4];
            r += hex[c & 15];
        } else {
            r += static_cast<char>(c);
        }
    }
    return r;
}

// The bytes that may not stand in an address as they are; "%" is kept.
std::string EscapeUnsafe(std::string_view s)
{
    return PercentEncode(s, [](unsigned char c) {
        return c <= 0x20 || c >= 0x7f || std::string_view("\"<>\\^`{|}#").find(static_cast<char>(c)) != std::string_view::npos;
    });
}

// A header value from a page or a setting: control characters (line breaks above all) would
// end the header.
std::string HeaderSafe(std::string_view s)
{
    return PercentEncode(s, [](unsigned char c) { return c < 0x20 || c == 0x7f; });
}

// User information in an address: everything but unreserved characters.
std::string EscapeUserInfo(std::string_view s)
{
    return PercentEncode(s, [](unsigned char c) { return !(std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~'); });
}

// A host name or address, an IPv6 address with or without its brackets.
std::string BareHost(const std::string& host)
{
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        return host.substr(1, host.size() - 2);
    return host;
}

bool HostUsable(const std::string& host)
{
    return !BareHost(host).empty() && BareHost(host).find_first_of("/?#@[]\\ \t\r\n") == std::string::npos;
}

std::string Authority(const std::string& host, int port)
{
    const std::string bare = BareHost(host);
    std::string r = bare.find(':') != std::string::npos ? "[" + bare + "]" : bare;
    if (port > 0)
        r += ":" + std::to_string(port);
    return r;
}

std::string ObjectPath(const std::string& object)
{
    std::string escaped = EscapeUnsafe(object);
    return (escaped.empty() || escaped.front() != '/') ? "/" + escaped : escaped;
}

// '*' matches any run of characters; the rest must match exactly.
bool GlobMatch(std::string_view pattern, std::string_view text)
{
    size_t p = 0, t = 0, star = std::string_view::npos, mark = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

// The sockets of a session's connections, in the list given as the callbacks' data.
curl_socket_t OpenSocket(void* sockets, curlsocktype, curl_sockaddr* address)
{
    const curl_socket_t socket = ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
    if (socket != CURL_SOCKET_BAD)
        static_cast<std::vector<int>*>(sockets)->push_back(socket);
    return socket;
}

int CloseSocket(void* sockets, curl_socket_t socket)
{
    auto& list = *static_cast<std::vector<int>*>(sockets);
    list.erase(std::remove(list.begin(), list.end(), socket), list.end());
    return ::close(socket);
}

}  // namespace

bool ProxyBypassMatches(const std::string& bypassList, const std::string& host, int port)
{
    const std::string lowerHost = AsciiLowerCase(host);
    const std::string portText = std::to_string(port);
    std::string_view list(bypassList);
    while (!list.empty()) {
        size_t end = list.find_first_of(";, \t\r\n");
        std::string entry = AsciiLowerCase(list.substr(0, end));
        list.remove_prefix(end == std::string_view::npos ? list.size() : end + 1);
        if (entry.empty())
            continue;
        if (entry == "<local>") {
            if (lowerHost.find_first_of(".:") == std::string::npos)
                return true;
            continue;
        }
        if (auto scheme = entry.find("://"); scheme != std::string::npos)
            entry.erase(0, scheme + 3);
        std::string portPattern;
        if (!entry.empty() && entry.front() == '[') {
            auto close = entry.find(']');
            if (close != std::string::npos && close + 1 < entry.size() && entry[close + 1] == ':')
                portPattern = entry.substr(close + 2);
            entry = entry.substr(1, close == std::string::npos ? std::string::npos : close - 1);
        } else if (std::count(entry.begin(), entry.end(), ':') == 1) {
            auto colon = entry.find(':');
            portPattern = entry.substr(colon + 1);
            entry.erase(colon);
        }
        if (!portPattern.empty() && portPattern != "*" && portPattern != portText)
            continue;
        if (GlobMatch(entry, lowerHost))
            return true;
    }
    return false;
}

uint32_t InternetErrorFromCurl(int curlCode, long osErrno)
{
    switch (static_cast<CURLcode>(curlCode)) {
    case CURLE_OK: return errc::Success;
    case CURLE_URL_MALFORMAT: return errc::InternetInvalidUrl;
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST: return errc::InternetNameNotResolved;
    case CURLE_COULDNT_CONNECT: return errc::InternetCannotConnect;
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_FTP_ACCEPT_TIMEOUT: return errc::InternetTimeout;
    case CURLE_ABORTED_BY_CALLBACK: return errc::InternetOperationCancelled;
    case CURLE_PARTIAL_FILE: return errc::InternetConnectionAborted;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
        return (osErrno == ECONNRESET || osErrno == EPIPE) ? errc::InternetConnectionReset
                                                           : errc::InternetConnectionAborted;
    case CURLE_UNSUPPORTED_PROTOCOL:  // schemes are checked before; here an HTTP/0.9 answer
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_GOT_NOTHING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_HTTP3:
    case CURLE_RANGE_ERROR: return errc::HttpInvalidServerResponse;
    case CURLE_PEER_FAILED_VERIFICATION:  // CertificateError tells the usual causes apart
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_BAD_CONTENT_ENCODING: return errc::InternetDecodingFailed;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CLIENTCERT: return errc::InternetSecurityChannelError;
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_FTP_ACCEPT_FAILED:
    case CURLE_FTP_WEIRD_PASS_REPLY:
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_WEIRD_227_FORMAT:
    case CURLE_FTP_CANT_GET_HOST:
    case CURLE_FTP_COULDNT_SET_TYPE:
    case CURLE_FTP_COULDNT_RETR_FILE:
    case CURLE_QUOTE_ERROR:
    case CURLE_FTP_PORT_FAILED:
    case CURLE_FTP_COULDNT_USE_REST:
    case CURLE_LOGIN_DENIED:
    case CURLE_REMOTE_DISK_FULL:
    case CURLE_REMOTE_FILE_EXISTS:
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_FTP_PRET_FAILED:
    case CURLE_FTP_BAD_FILE_LIST: return errc::InternetExtendedError;
    // libcurl refuses an over-long header line (or headers) as out of memory.
    case CURLE_OUT_OF_MEMORY: return errc::HttpInvalidServerResponse;
    default: return errc::InternetInternalError;
    }
}

uint32_t CertificateError(long verifyResult)
{
    // X509 verification results (OpenSSL's numbering).
    switch (verifyResult) {
    case 0:   // the chain was trusted, so the name check refused it
    case 1:   // what libcurl records when its own name check refuses the certificate
    case 62:  // host name mismatch
    case 64:  // IP address mismatch
        return errc::InternetSecCertCnInvalid;
    case 9:   // not yet valid
    case 10:  // expired
    case 13:  // bad notBefore field
    case 14:  // bad notAfter field
        return errc::InternetSecCertDateInvalid;
    case 2:   // issuer not found
    case 18:  // self-signed
    case 19:  // self-signed certificate in the chain
    case 20:  // issuer not found locally
    case 21:  // first certificate not verifiable
    case 24:  // invalid CA (older numbering)
    case 27:  // not trusted
    case 28:  // rejected
    case 79:  // invalid CA
        return errc::InternetSecInvalidCA;
    default:
        return errc::InternetDecodingFailed;
    }
}

std::unique_ptr<TInternetSession> TInternetSession::Open(const std::string& agentName, const TInternetProxy& proxy)
{
    if (!TInternetLibrary::Instance()) {
        SetLastErrorCode(errc::InternetNotInitialized);
        return nullptr;
    }
    CURL* easy = curl_easy_init();
    CURLM* multi = easy ? curl_multi_init() : nullptr;
    if (!multi) {
        if (easy)
            curl_easy_cleanup(easy);
        SetLastErrorCode(errc::InternetOutOfHandles);
        return nullptr;
    }
    return std::unique_ptr<TInternetSession>(new TInternetSession(easy, multi, agentName, proxy));
}

TInternetSession::TInternetSession(CURL* easy, CURLM* multi, std::string agentName, TInternetProxy proxy)
    : easy_(easy), multi_(multi), agentName_(HeaderSafe(agentName)), proxy_(std::move(proxy))
{
    curl_multi_setopt(multi_, CURLMOPT_MAX_HOST_CONNECTIONS, static_cast<long>(TInternetLibrary::Instance()->MaxConnectionsPerServer()));
}

TInternetSession::~TInternetSession()
{
    CloseRequest();
    curl_multi_cleanup(multi_);
    curl_easy_cleanup(easy_);
    curl_slist_free_all(headerList_);
}

void TInternetSession::SetTimeouts(int32_t timeoutMs, int32_t connectRetries)
{
    timeoutMs_ = timeoutMs;
    connectRetries_ = connectRetries < 0 ? 0 : connectRetries;
}

void TInternetSession::Interrupt() { curl_multi_wakeup(multi_); }

void TInternetSession::CloseRequest()
{
    if (attached_ && !done_ && !Cancelled())
        DrainForReuse();
    if (attached_) {
        curl_multi_remove_handle(multi_, easy_);
        attached_ = false;
    }
}

// Reads the rest of a short unread body that is already arriving, so that its connection can
// serve the next request; a longer or slower one is dropped with its connection.
void TInternetSession::DrainForReuse()
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDrainMs);
    size_t discarded = 0;
    while (!done_ && discarded < kDrainBytes) {
        discarded += body_.size() - bodyPos_;
        body_.clear();
        bodyPos_ = 0;
        int running = 0;
        if (curl_multi_perform(multi_, &running) != CURLM_OK)
            return;
        CollectDone();
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (done_ || left.count() <= 0)
            return;
        curl_multi_poll(multi_, nullptr, 0, static_cast<int>(left.count()), nullptr);
    }
}

void TInternetSession::ResetResponse()
{
    done_ = false;
    result_ = CURLE_OK;
    headersDone_ = false;
    body_.clear();
    bodyPos_ = 0;
    status_ = 0;
    reason_.clear();
    rawHeaders_.clear();
    headers_.clear();
    replyLines_.clear();
    lastReply_.clear();
    ftpSize_ = -1;
    bodyCodingKnown_ = false;
    decoder_.reset();
}

void TInternetSession::ApplyCommonOptions(bool allowCookies)
{
    CloseRequest();
    // libcurl 7.88 loses the cookie file list in a reset (curl issue 10694): clear it first.
    curl_easy_setopt(easy_, CURLOPT_COOKIEFILE, nullptr);
    curl_easy_reset(easy_);
    curl_slist_free_all(headerList_);
    headerList_ = nullptr;
    TInternetLibrary* library = TInternetLibrary::Instance();
    curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy_, CURLOPT_SHARE, allowCookies ? library->SharedWithCookies() : library->SharedWithoutCookies());
    if (allowCookies)
        curl_easy_setopt(easy_, CURLOPT_COOKIEFILE, "");
    if (!agentName_.empty())
        curl_easy_setopt(easy_, CURLOPT_USERAGENT, agentName_.c_str());  // made safe by Open
    curl_easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, "http,https,ftp");
    curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy_, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &TInternetSession::OnHeader);
    curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &TInternetSession::OnBody);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy_, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy_, CURLOPT_XFERINFOFUNCTION, &TInternetSession::OnProgress);
    curl_easy_setopt(easy_, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(easy_, CURLOPT_OPENSOCKETFUNCTION, &OpenSocket);
    curl_easy_setopt(easy_, CURLOPT_OPENSOCKETDATA, &sockets_);
    curl_easy_setopt(easy_, CURLOPT_CLOSESOCKETFUNCTION, &CloseSocket);
    curl_easy_setopt(easy_, CURLOPT_CLOSESOCKETDATA, &sockets_);
    if (timeoutMs_ > 0) {
        const long seconds = (static_cast<long>(timeoutMs_) + 999) / 1000;
        curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeoutMs_));
        curl_easy_setopt(easy_, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(easy_, CURLOPT_LOW_SPEED_TIME, seconds);
        curl_easy_setopt(easy_, CURLOPT_SERVER_RESPONSE_TIMEOUT, seconds);
        curl_easy_setopt(easy_, CURLOPT_ACCEPTTIMEOUT_MS, static_cast<long>(timeoutMs_));
    }
    std::string certificates = library->TrustedCertificatesFile();
    if (!certificates.empty())
        curl_easy_setopt(easy_, CURLOPT_CAINFO, certificates.c_str());
}

std::string TInternetSession::ProxyUrl() const
{
    std::string address = proxy_.Address;
    if (address.find("://") == std::string::npos)
        address = "http://" + (address.find(':') != std::string::npos && address.front() != '[' ? "[" + address + "]" : address);
    if (proxy_.Port > 0)
        address += ":" + std::to_string(proxy_.Port);
    return address;
}

bool TInternetSession::UseProxyFor(const std::string& host, int port) const
{
    return proxy_.Use && !ProxyBypassMatches(proxy_.BypassList, host, port);
}

bool TInternetSession::SendHttpRequest(const TInternetRequest& request)
{
    const std::string scheme = AsciiLowerCase(request.Scheme);
    if (!HostUsable(request.Host)) {
        SetLastErrorCode(errc::InternetInvalidUrl);
        return false;
    }
    const int defaultPort = scheme == "https" ? 443 : scheme == "ftp" ? 21 : 80;
    const int port = request.Port > 0 ? request.Port : defaultPort;
    const bool viaProxy = UseProxyFor(BareHost(request.Host), port);
    if (scheme == "ftp") {
        if (!proxy_.Use) {
            SetLastErrorCode(errc::InternetNotProxyRequest);
            return false;
        }
        if (!viaProxy) {
            TFtpRequest ftp{request.Host, port, request.ObjectName, request.Username, request.Password, request.PassiveFTP};
            return OpenFtp(ftp);
        }
    } else if (scheme != "http" && scheme != "https") {
        SetLastErrorCode(errc::InternetUnrecognizedScheme);
        return false;
    }

    ApplyCommonOptions(request.AllowCookies);
    siteCredentials_ = scheme != "ftp" && !request.Username.empty();
    proxyCredentials_ = viaProxy && !request.ProxyUsername.empty();
    std::string userInfo;
    if (scheme == "ftp" && !request.Username.empty())
        userInfo = EscapeUserInfo(request.Username) + ":" + EscapeUserInfo(request.Password) + "@";
    url_ = scheme + "://" + userInfo + Authority(request.Host, request.Port) + ObjectPath(request.ObjectName);
    curl_easy_setopt(easy_, CURLOPT_URL, url_.c_str());
    curl_easy_setopt(easy_, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy_, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(easy_, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    const std::string referrer = HeaderSafe(request.Referrer);
    if (!referrer.empty())
        curl_easy_setopt(easy_, CURLOPT_REFERER, referrer.c_str());
    // Credentials answer the server's challenge with the strongest scheme it offers; they are
    // never sent ahead of it. Redirects are not followed here, so they reach no other host.
    if (scheme != "ftp" && !request.Username.empty()) {
        curl_easy_setopt(easy_, CURLOPT_HTTPAUTH, kChallengeAuth);
        curl_easy_setopt(easy_, CURLOPT_USERNAME, request.Username.c_str());
        curl_easy_setopt(easy_, CURLOPT_PASSWORD, request.Password.c_str());
    }
    if (viaProxy) {
        const std::string proxyUrl = ProxyUrl();
        curl_easy_setopt(easy_, CURLOPT_PROXY, proxyUrl.c_str());
        curl_easy_setopt(easy_, CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP));
        if (!request.ProxyUsername.empty()) {
            curl_easy_setopt(easy_, CURLOPT_PROXYAUTH, kChallengeAuth);
            curl_easy_setopt(easy_, CURLOPT_PROXYUSERNAME, request.ProxyUsername.c_str());
            curl_easy_setopt(easy_, CURLOPT_PROXYPASSWORD, request.ProxyPassword.c_str());
        }
    } else if (proxy_.Use) {
        curl_easy_setopt(easy_, CURLOPT_PROXY, "");  // bypassed: direct, whatever the environment says
    }
    std::string_view text(request.HeaderText);
    bool acceptEncodingGiven = false;
    while (!text.empty()) {
        size_t end = text.find_first_of("\r\n");
        std::string line(TrimLineSpace(text.substr(0, end)));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty())
            continue;
        acceptEncodingGiven = acceptEncodingGiven || SameTextIgnoringCase(line.substr(0, 16), "Accept-Encoding:");
        if (!AppendHeader(line))
            return false;
    }
    // Without the header a server may encode as it likes.
    if (!acceptEncodingGiven && !AppendHeader("Accept-Encoding: identity"))
        return false;
    curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headerList_);
    httpResponse_ = true;
    return StartTransfer(connectRetries_ + 1, true);
}

bool TInternetSession::AppendHeader(const std::string& line)
{
    struct curl_slist* grown = curl_slist_append(headerList_, line.c_str());
    if (!grown) {
        SetLastErrorCode(errc::NotEnoughMemory);
        return false;
    }
    headerList_ = grown;
    return true;
}

bool TInternetSession::ConfigureFtp(const TFtpRequest& request)
{
    if (!HostUsable(request.Host)) {
        SetLastErrorCode(errc::InternetInvalidUrl);
        return false;
    }
    ApplyCommonOptions(false);
    url_ = "ftp://" + Authority(request.Host, request.Port) + ObjectPath(request.Path);
    curl_easy_setopt(easy_, CURLOPT_URL, url_.c_str());
    curl_easy_setopt(easy_, CURLOPT_PROXY, "");
    if (!request.Username.empty()) {
        curl_easy_setopt(easy_, CURLOPT_USERNAME, request.Username.c_str());
        curl_easy_setopt(easy_, CURLOPT_PASSWORD, request.Password.c_str());
    }
    if (!request.Passive)
        curl_easy_setopt(easy_, CURLOPT_FTPPORT, "-");
    curl_easy_setopt(easy_, CURLOPT_TRANSFERTEXT, 0L);
    httpResponse_ = false;
    return true;
}

bool TInternetSession::FtpFindFile(const TFtpRequest& request, TFtpFileInfo& info)
{
    info = TFtpFileInfo{};
    if (!ConfigureFtp(request))
        return false;
    curl_easy_setopt(easy_, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(easy_, CURLOPT_FILETIME, 1L);
    if (!StartTransfer(connectRetries_ + 1, false)) {
        if (result_ == CURLE_REMOTE_FILE_NOT_FOUND)
            SetLastErrorCode(errc::NoMoreFiles);
        CloseRequest();
        return false;
    }
    curl_off_t size = -1, fileTime = -1;
    curl_easy_getinfo(easy_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size);
    curl_easy_getinfo(easy_, CURLINFO_FILETIME_T, &fileTime);
    CloseRequest();
    info.Size = size >= 0 ? size : ftpSize_;
    info.LastWriteTime = fileTime > 0 ? static_cast<time_t>(fileTime) : 0;
    return true;
}

bool TInternetSession::FtpOpenFile(const TFtpRequest& request) { return OpenFtp(request); }

bool TInternetSession::OpenFtp(const TFtpRequest& request)
{
    if (!ConfigureFtp(request))
        return false;
    return StartTransfer(connectRetries_ + 1, false);
}

bool TInternetSession::ConnectFailed() const
{
    if (result_ == CURLE_COULDNT_CONNECT)
        return true;
    if (result_ != CURLE_OPERATION_TIMEDOUT)
        return false;
    curl_off_t connectTime = 0;
    curl_easy_getinfo(easy_, CURLINFO_CONNECT_TIME_T, &connectTime);
    return connectTime == 0;
}

bool TInternetSession::StartTransfer(int connectAttempts, bool stopAtHeaders)
{
    for (int attempt = 0; attempt < connectAttempts; ++attempt) {
        ResetResponse();
        if (curl_multi_add_handle(multi_, easy_) != CURLM_OK) {
            SetLastErrorCode(errc::InternetInternalError);
            return false;
        }
        attached_ = true;
        Drive(stopAtHeaders ? &TInternetSession::HeadersDone : &TInternetSession::DataOrDone);
        // A failure after the headers (or the first data) is reported by ReadData.
        if (!done_ || result_ == CURLE_OK || (stopAtHeaders ? headersDone_ : bodyPos_ < body_.size()))
            return true;
        if (!ConnectFailed() || Cancelled())
            break;
        CloseRequest();
    }
    return Fail();
}

void TInternetSession::CollectDone()
{
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy_) {
            done_ = true;
            result_ = message->data.result;
        }
    }
}

void TInternetSession::Drive(bool (TInternetSession::*until)() const)
{
    while (!(this->*until)()) {
        if (!attached_) {
            done_ = true;
            result_ = CURLE_ABORTED_BY_CALLBACK;
            return;
        }
        if (Cancelled()) {
            CloseRequest();
            done_ = true;
            result_ = CURLE_ABORTED_BY_CALLBACK;
            return;
        }
        int running = 0;
        if (curl_multi_perform(multi_, &running) != CURLM_OK) {
            CloseRequest();
            done_ = true;
            result_ = CURLE_FAILED_INIT;  // the library itself failed: an internal error
            return;
        }
        CollectDone();
        if ((this->*until)())
            return;
        curl_multi_poll(multi_, nullptr, 0, kPollMs, nullptr);
    }
}

bool TInternetSession::Fail()
{
    long osErrno = 0;
    curl_easy_getinfo(easy_, CURLINFO_OS_ERRNO, &osErrno);
    uint32_t code = Cancelled() ? errc::InternetOperationCancelled : InternetErrorFromCurl(result_, osErrno);
    if (code != errc::InternetOperationCancelled && result_ == CURLE_PEER_FAILED_VERIFICATION) {
        long verifyResult = -1;
        if (curl_easy_getinfo(easy_, CURLINFO_SSL_VERIFYRESULT, &verifyResult) == CURLE_OK)
            code = CertificateError(verifyResult);
    }
    if (code == errc::InternetExtendedError) {
        long reply = 0;
        curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &reply);
        SetLastResponseInfo(static_cast<uint32_t>(reply), lastReply_);
    }
    SetLastErrorCode(code);
    return false;
}

bool TInternetSession::ReadData(char* buffer, size_t size, size_t& bytesRead)
{
    bytesRead = 0;
    if (!bodyCodingKnown_) {
        bodyCodingKnown_ = true;
        if (BodyCoding() == TBodyCoding::Decoded)
            decoder_ = std::make_unique<TContentDecoder>(TContentDecoder::Codings(ContentEncoding()));
    }
    if (decoder_)
        return ReadDecoded(buffer, size, bytesRead);
    for (;;) {
        if (bodyPos_ < body_.size()) {
            bytesRead = std::min(size, body_.size() - bodyPos_);
            body_.copy(buffer, bytesRead, bodyPos_);
            bodyPos_ += bytesRead;
            return true;
        }
        body_.clear();
        bodyPos_ = 0;
        if (done_) {
            if (result_ == CURLE_OK) {
                CloseRequest();
                return true;
            }
            return Fail();
        }
        Drive(&TInternetSession::DataOrDone);
    }
}

// Decoded bytes come as soon as there are any; each call decodes at most size bytes, so the
// caller can stop a body that inflates without end.
bool TInternetSession::ReadDecoded(char* buffer, size_t size, size_t& bytesRead)
{
    for (;;) {
        std::string_view input(body_.data() + bodyPos_, body_.size() - bodyPos_);
        const size_t available = input.size();
        const bool ok = decoder_->Decode(input, buffer, size, bytesRead);
        bodyPos_ += available - input.size();
        if (!ok)
            return FailDecoding();
        if (bytesRead > 0)
            return true;
        if (decoder_->PastEnd()) {
            if (!decoder_->Complete())
                return FailDecoding();
            CloseRequest();  // what follows the encoded body is not read
            return true;
        }
        if (!input.empty())
            return FailDecoding();  // input that yields nothing: never expected
        body_.clear();
        bodyPos_ = 0;
        if (done_) {
            if (result_ != CURLE_OK)
                return Fail();
            if (!decoder_->Complete())
                return FailDecoding();  // cut short
            CloseRequest();
            return true;
        }
        Drive(&TInternetSession::DataOrDone);
    }
}

bool TInternetSession::FailDecoding()
{
    if (attached_) {
        curl_multi_remove_handle(multi_, easy_);  // the connection is not reused
        attached_ = false;
    }
    SetLastErrorCode(errc::InternetDecodingFailed);
    return false;
}

std::string TInternetSession::ContentEncoding() const
{
    std::string joined;
    for (const auto& [headerName, headerValue] : headers_) {
        if (!SameTextIgnoringCase(headerName, "Content-Encoding") || headerValue.empty())
            continue;
        if (!joined.empty())
            joined += ", ";
        joined += headerValue;
    }
    return joined;
}

TInternetSession::TBodyCoding TInternetSession::BodyCoding() const
{
    if (!httpResponse_)
        return TBodyCoding::Identity;
    const std::vector<std::string> codings = TContentDecoder::Codings(ContentEncoding());
    if (codings.empty())
        return TBodyCoding::Identity;
    return TContentDecoder::CanDecode(codings) ? TBodyCoding::Decoded : TBodyCoding::Undecoded;
}

bool TInternetSession::QueryHeader(const std::string& name, std::string& value) const
{
    for (const auto& [headerName, headerValue] : headers_) {
        if (SameTextIgnoringCase(headerName, name)) {
            value = headerValue;
            return true;
        }
    }
    SetLastErrorCode(errc::HttpHeaderNotFound);
    return false;
}

bool TInternetSession::QueryContentLength(int64_t& length) const
{
    if (!httpResponse_) {
        curl_off_t size = -1;
        curl_easy_getinfo(easy_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size);
        if (size < 0) {
            SetLastErrorCode(errc::HttpHeaderNotFound);
            return false;
        }
        length = size;
        return true;
    }
    // Several values (in one header or in several) must agree, or the body's end is unknown.
    bool found = false;
    for (const auto& [headerName, headerValue] : headers_) {
        if (!SameTextIgnoringCase(headerName, "Content-Length"))
            continue;
        std::string_view list(headerValue);
        do {
            const size_t comma = list.find(',');
            const std::string_view text = TrimLineSpace(list.substr(0, comma));
            list.remove_prefix(comma == std::string_view::npos ? list.size() : comma + 1);
            if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string_view::npos) {
                SetLastErrorCode(errc::HttpInvalidHeader);
                return false;
            }
            const int64_t value = std::stoll(std::string(text));
            if (found && value != length) {
                SetLastErrorCode(errc::HttpInvalidServerResponse);
                return false;
            }
            length = value;
            found = true;
        } while (!list.empty());
    }
    if (!found)
        SetLastErrorCode(errc::HttpHeaderNotFound);
    return found;
}

bool TInternetSession::QueryLastModified(time_t& utc) const
{
    return QueryDateHeader("Last-Modified", utc);
}

bool TInternetSession::QueryDateHeader(const std::string& name, time_t& utc) const
{
    std::string text;
    if (!QueryHeader(name, text))
        return false;
    time_t t = curl_getdate(text.c_str(), nullptr);
    if (t == -1) {
        SetLastErrorCode(errc::HttpInvalidHeader);
        return false;
    }
    utc = t;
    return true;
}

size_t TInternetSession::OnHeader(char* data, size_t size, size_t count, void* self)
{
    auto* session = static_cast<TInternetSession*>(self);
    const size_t length = size * count;
    std::string_view line(data, length);
    if (!session->httpResponse_) {
        // FTP: the server's replies, "123-" opening a multi-line reply and "123 " ending one.
        const bool coded = line.size() >= 4 && std::isdigit(static_cast<unsigned char>(line[0])) &&
                           std::isdigit(static_cast<unsigned char>(line[1])) && std::isdigit(static_cast<unsigned char>(line[2]));
        if (coded && line[3] == ' ') {
            session->lastReply_ = std::string(TrimLineSpace(session->replyLines_ + std::string(line)));
            session->replyLines_.clear();
        } else if (coded && line[3] == '-') {
            session->replyLines_ = std::string(line);
        } else if (!session->replyLines_.empty()) {
            session->replyLines_ += line;
        } else if (line.size() > 15 && SameTextIgnoringCase(line.substr(0, 15), "Content-Length:")) {
            // the size an information request learnt from SIZE
            std::string_view digits = TrimLineSpace(line.substr(15));
            if (!digits.empty() && digits.size() <= 18 && digits.find_first_not_of("0123456789") == std::string_view::npos)
                session->ftpSize_ = std::stoll(std::string(digits));
        }
        return length;
    }
    if (line.substr(0, 5) == "HTTP/") {
        session->headers_.clear();
        session->rawHeaders_.clear();
        session->headersDone_ = false;
        session->body_.clear();  // a challenge's body, if libcurl passed it on
        session->bodyPos_ = 0;
        std::string_view rest = line.substr(line.find(' ') == std::string_view::npos ? line.size() : line.find(' ') + 1);
        size_t digits = 0;
        int32_t code = 0;
        while (digits < rest.size() && digits < 3 && std::isdigit(static_cast<unsigned char>(rest[digits])))
            code = code * 10 + (rest[digits++] - '0');
        session->status_ = code;
        session->reason_ = std::string(TrimLineSpace(rest.substr(digits)));
        session->rawHeaders_ = std::string(TrimLineSpace(line)) + "\r\n";
        return length;
    }
    if (session->headersDone_)
        return length;  // trailers
    if (TrimLineSpace(line).empty()) {
        session->AcknowledgeAtOnce();
        session->rawHeaders_ += "\r\n";
        const bool challenge = (session->status_ == 401 && session->siteCredentials_) ||
                               (session->status_ == 407 && session->proxyCredentials_);
        if (session->status_ >= 200 && !challenge)
            session->headersDone_ = true;
        return length;
    }
    session->rawHeaders_ += std::string(TrimLineSpace(line)) + "\r\n";
    auto colon = line.find(':');
    if (colon != std::string_view::npos)
        session->headers_.emplace_back(std::string(TrimLineSpace(line.substr(0, colon))),
                                       std::string(TrimLineSpace(line.substr(colon + 1))));
    return length;
}

// A server that writes its headers and its body apart, holding the body back until the headers
// are acknowledged (Nagle's rule), would otherwise wait out the delayed acknowledgement (about
// 40 ms) on every request of a kept-alive connection. The session has a connection or two: the
// others have nothing to acknowledge.
void TInternetSession::AcknowledgeAtOnce() const
{
    const int on = 1;
    for (const int socket : sockets_)
        ::setsockopt(socket, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
}

size_t TInternetSession::OnBody(char* data, size_t size, size_t count, void* self)
{
    auto* session = static_cast<TInternetSession*>(self);
    session->body_.append(data, size * count);
    // A challenge that libcurl does not answer is the final response: past a few kilobytes its
    // body is read like any other instead of being held whole.
    if (!session->headersDone_ && session->status_ >= 200 && session->body_.size() > kChallengeBodyHeld)
        session->headersDone_ = true;
    return size * count;
}

int TInternetSession::OnProgress(void* self, int64_t, int64_t, int64_t, int64_t)
{
    return static_cast<TInternetSession*>(self)->Cancelled() ? 1 : 0;
}
