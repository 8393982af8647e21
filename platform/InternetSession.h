#pragma once
// One Internet session over libcurl: a reusable transfer handle with its own connection cache,
// used by one download thread for one scheme. Connections and TLS sessions are kept alive
// between requests. One request or FTP transfer at a time; every call except Interrupt() is
// made from the owning thread.
//
// A download runs: Open (once, reused) -> SetTimeouts -> SendHttpRequest (returns once the
// response headers are in) -> StatusCode / QueryHeader / QueryContentLength / QueryLastModified
// -> ReadData until it gives 0 bytes -> CloseRequest. FTP: FtpFindFile, then FtpOpenFile and
// ReadData. No redirect is followed; HTTP/1.1 only; no automatic retry after a response.
// Requests ask for bodies without content coding; a body a server encodes all the same with
// gzip or deflate is decoded by ReadData.
//
// Failing calls return false and set the thread's last error (ErrorCodes.h) to the Windows
// Internet number of the failure; for FTP server replies that number is 12003 and the reply
// code and text are kept with SetLastResponseInfo.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class TContentDecoder;
typedef void CURL;
typedef void CURLM;

// A named proxy as the job's proxy record gives it.
struct TInternetProxy {
    bool Use = false;          // false: the system configuration (proxy environment variables)
    std::string Address;       // host name or address, optionally with "http://"
    int Port = 0;
    std::string BypassList;    // hosts reached directly, separated by ";", "," or blanks
};

struct TInternetRequest {
    std::string Scheme = "http";  // "http", "https", or "ftp" through a named HTTP proxy
    std::string Host;
    int Port = 0;                 // 0: the scheme's default
    std::string ObjectName = "/"; // path and query, without host and fragment
    std::string Username;         // site credentials (answer to a challenge; FTP login)
    std::string Password;
    std::string ProxyUsername;    // proxy credentials (answer to a challenge)
    std::string ProxyPassword;
    std::string Referrer;         // empty: none
    std::string HeaderText;       // extra header lines, each ended by CR LF, sent in this order
    bool AllowCookies = true;     // send and store cookies of the shared store
    bool PassiveFTP = true;       // an FTP address fetched directly (proxy bypassed)
};

struct TFtpRequest {
    std::string Host;
    int Port = 0;             // 0: 21
    std::string Path = "/";   // the file's path on the server
    std::string Username;     // empty: anonymous
    std::string Password;
    bool Passive = true;
};

struct TFtpFileInfo {
    int64_t Size = -1;        // -1: unknown
    time_t LastWriteTime = 0; // UTC; 0: unknown
};

class TInternetSession {
public:
    // Opens a session with the agent name and proxy; nullptr with the last error set when the
    // library is not initialised or no handle can be had.
    static std::unique_ptr<TInternetSession> Open(const std::string& agentName, const TInternetProxy& proxy);
    ~TInternetSession();
    TInternetSession(const TInternetSession&) = delete;
    TInternetSession& operator=(const TInternetSession&) = delete;

    // Time-out for connecting and for a stalled transfer (<= 0: none) and the number of extra
    // connect attempts after a failed connect.
    void SetTimeouts(int32_t timeoutMs, int32_t connectRetries);

    // The owner's cancel flag: when it becomes non-zero, the running call ends with 12017.
    void SetCancelFlag(const std::atomic<uint8_t>* flag) { cancelFlag_ = flag; }
    // Wakes a call blocked in this session so it sees the cancel flag at once. The one call
    // another thread may make; the caller keeps the session alive meanwhile.
    void Interrupt();

    // Sends a GET request and waits for the response headers; a failure after them (a body cut
    // short) is reported by ReadData. A failed connect is tried again connectRetries times.
    // Cookies of the shared store go with it when AllowCookies. An FTP address goes through the
    // named proxy as an absolute-form request; when the proxy is bypassed for its host, the file
    // is fetched directly and IsHttpResponse() is false.
    bool SendHttpRequest(const TInternetRequest& request);
    bool IsHttpResponse() const { return httpResponse_; }

    // The response of the last request.
    int32_t StatusCode() const { return status_; }
    const std::string& StatusText() const { return reason_; }
    // Status line and headers, each line ended by CR LF, and a final empty line.
    const std::string& RawHeaders() const { return rawHeaders_; }
    // First header of that name (letter case ignored); false with 12150 when absent.
    bool QueryHeader(const std::string& name, std::string& value) const;
    // False with 12150 when absent, 12153 when not a number, 12152 when several differ.
    bool QueryContentLength(int64_t& length) const;
    bool QueryLastModified(time_t& utc) const;
    // A header holding an HTTP date (Date, Last-Modified), as a UTC time.
    bool QueryDateHeader(const std::string& name, time_t& utc) const;

    // How ReadData gives the body of the last response: as sent, decoded from the codings its
    // Content-Encoding names, or as sent although encoded (a coding not known here).
    enum class TBodyCoding { Identity, Decoded, Undecoded };
    TBodyCoding BodyCoding() const;
    // Every Content-Encoding value of the response, joined by ", ".
    std::string ContentEncoding() const;

    // FTP: size and last-write time of a file. A missing file gives last error 18 (no more
    // files) and the server's reply as the last response info.
    bool FtpFindFile(const TFtpRequest& request, TFtpFileInfo& info);
    // FTP: starts a binary download of the file, read with ReadData.
    bool FtpOpenFile(const TFtpRequest& request);

    // Reads up to size bytes of the body. True with bytesRead 0 at the end; false when the
    // transfer failed, was cut short (12030), was cancelled (12017) or could not be decoded
    // (12175: bad data or checksum, or an encoded stream cut short).
    bool ReadData(char* buffer, size_t size, size_t& bytesRead);

    // Ends the current request. The rest of a short body already arriving is read (at most
    // 200 ms) so its connection serves the next request; otherwise the connection is dropped.
    void CloseRequest();

private:
    TInternetSession(CURL* easy, CURLM* multi, std::string agentName, TInternetProxy proxy);

    bool Cancelled() const { return cancelFlag_ && cancelFlag_->load(std::memory_order_acquire) != 0; }
    bool StartTransfer(int connectAttempts, bool stopAtHeaders);
    void ApplyCommonOptions(bool allowCookies);
    void ResetResponse();
    void Drive(bool (TInternetSession::*until)() const);
    bool AppendHeader(const std::string& line);
    bool ReadDecoded(char* buffer, size_t size, size_t& bytesRead);
    bool FailDecoding();
    bool HeadersDone() const { return headersDone_ || done_; }
    bool DataOrDone() const { return bodyPos_ < body_.size() || done_; }
    bool Fail();
    bool UseProxyFor(const std::string& host, int port) const;
    std::string ProxyUrl() const;
    bool ConfigureFtp(const TFtpRequest& request);
    bool OpenFtp(const TFtpRequest& request);
    void CollectDone();
    void DrainForReuse();
    bool ConnectFailed() const;

    static size_t OnHeader(char* data, size_t size, size_t count, void* self);
    static size_t OnBody(char* data, size_t size, size_t count, void* self);
    static int OnProgress(void* self, int64_t, int64_t, int64_t, int64_t);
    void AcknowledgeAtOnce() const;

    CURL* easy_;
    CURLM* multi_;
    // The session's open connections, so that the headers of a response are acknowledged at once.
    std::vector<int> sockets_;
    std::string agentName_;
    TInternetProxy proxy_;
    int32_t timeoutMs_ = 0;
    int32_t connectRetries_ = 0;
    const std::atomic<uint8_t>* cancelFlag_ = nullptr;

    // The transfer in progress.
    bool attached_ = false;
    bool done_ = false;
    int result_ = 0;
    bool headersDone_ = false;
    bool httpResponse_ = false;
    // Credentials were given: a 401 (site) or 407 (proxy) may be followed by libcurl's answer
    // to the challenge in the same transfer, so such a response is final only at its end.
    bool siteCredentials_ = false;
    bool proxyCredentials_ = false;
    std::string url_;
    struct curl_slist* headerList_ = nullptr;
    std::string body_;
    size_t bodyPos_ = 0;
    int32_t status_ = 0;
    std::string reason_;
    std::string rawHeaders_;
    std::vector<std::pair<std::string, std::string>> headers_;
    std::string replyLines_;  // FTP reply being received
    std::string lastReply_;   // the last complete FTP reply
    int64_t ftpSize_ = -1;    // the file size an FTP information request reported
    bool bodyCodingKnown_ = false;  // ReadData has looked at the response's content coding
    std::unique_ptr<TContentDecoder> decoder_;
};

// True when the host (and port) matches an entry of a proxy bypass list: entries are separated
// by ";", "," or blanks, may carry "*" wildcards and a ":port", letter case is ignored, and
// "<local>" matches every host name without a dot.
bool ProxyBypassMatches(const std::string& bypassList, const std::string& host, int port);

// The Windows Internet number for a libcurl result; osErrno tells a reset from an abort.
uint32_t InternetErrorFromCurl(int curlCode, long osErrno);
// The number for a certificate libcurl refused, from its X509 verification result: not trusted
// (12045), out of its dates (12037) or naming another host (12038); 12175 otherwise.
uint32_t CertificateError(long verifyResult);
