#include "platform/ErrorCodes.h"

#include <cerrno>
#include <cstring>
#include <unordered_map>

namespace {

thread_local uint32_t t_lastError = 0;
thread_local uint32_t t_responseError = 0;
thread_local std::string t_responseText;

struct InternetText {
    uint32_t code;
    const char* text;
};

// Our own wording for the Internet layer's numbers.
constexpr InternetText kInternetTexts[] = {
    {12001, "No more handles could be allocated."},
    {12002, "The operation timed out."},
    {12003, "The server returned extended information."},
    {12004, "An internal error occurred in the Internet layer."},
    {12005, "The address is invalid."},
    {12006, "The address scheme is not recognised or not supported."},
    {12007, "The server name could not be resolved."},
    {12008, "No protocol could be found to handle the request."},
    {12009, "An invalid option value was given."},
    {12010, "The option value has the wrong length."},
    {12011, "The option cannot be set; it can only be queried."},
    {12012, "The Internet layer is shutting down."},
    {12013, "The user name is incorrect."},
    {12014, "The password is incorrect."},
    {12015, "The login was refused."},
    {12016, "The requested operation is invalid."},
    {12017, "The operation was cancelled."},
    {12018, "The handle is of the wrong type for this operation."},
    {12019, "The handle is in the wrong state for this operation."},
    {12020, "The request cannot be made through a proxy."},
    {12021, "A required registry value could not be found."},
    {12022, "A required registry parameter is invalid."},
    {12023, "Direct network access is not possible."},
    {12024, "No context value was supplied for an asynchronous request."},
    {12025, "No callback was supplied for an asynchronous request."},
    {12026, "The request could not complete because operations are pending."},
    {12027, "The format of the request is invalid."},
    {12028, "The requested item could not be found."},
    {12029, "The connection to the server could not be established."},
    {12030, "The connection to the server was aborted."},
    {12031, "The connection to the server was reset."},
    {12032, "The request must be retried."},
    {12033, "The proxy request is invalid."},
    {12034, "User interaction is needed to complete the request."},
    {12036, "The handle already exists."},
    {12037, "The server certificate has expired or is not yet valid."},
    {12038, "The server certificate names another host."},
    {12039, "The request was redirected from a secure to a plain connection."},
    {12040, "The request was redirected from a plain to a secure connection."},
    {12041, "Some content on the page is not secured."},
    {12042, "Data is being posted over an insecure connection."},
    {12043, "Data is being posted over a plain connection."},
    {12044, "The server asks for a client certificate."},
    {12045, "The server certificate is not trusted (its issuer is unknown, or it signed itself)."},
    {12046, "Client authorisation is not set up on this computer."},
    {12047, "The asynchronous request could not be completed."},
    {12048, "The redirection requires user confirmation."},
    {12049, "Another thread has a password dialog open."},
    {12050, "The dialog should be retried."},
    {12052, "The HTTPS request was redirected to a different host."},
    {12053, "The server certificate chain is incomplete."},
    {12054, "The server needs a certificate that is not available."},
    {12055, "The server certificate has errors."},
    {12056, "The server certificate has been revoked."},
    {12057, "The certificate revocation check failed."},
    {12110, "An FTP transfer is already in progress on this connection."},
    {12111, "The FTP connection was dropped."},
    {12112, "Passive FTP mode is not available."},
    {12130, "The Gopher protocol data is invalid."},
    {12150, "The requested header was not found."},
    {12151, "The server did not return the expected headers."},
    {12152, "The server returned an invalid or unrecognised response."},
    {12153, "The supplied header is invalid."},
    {12154, "The header query is invalid."},
    {12155, "The header already exists and cannot be added."},
    {12156, "The redirection failed."},
    {12157, "A secure channel error occurred."},
    {12158, "Cached content could not be used."},
    {12159, "TCP/IP is not installed correctly."},
    {12160, "The request was not redirected."},
    {12161, "The cookie requires confirmation."},
    {12162, "The cookie was declined by the server."},
    {12163, "The network is disconnected."},
    {12164, "The server cannot be reached."},
    {12165, "The proxy server cannot be reached."},
    {12166, "The automatic proxy configuration script has an error."},
    {12167, "The automatic proxy configuration script could not be downloaded."},
    {12168, "The redirection needs user interaction."},
    {12169, "The server certificate is invalid."},
    {12170, "The server certificate has been revoked."},
    {12171, "The download failed a security check."},
    {12172, "The initialisation of the Internet layer has not happened."},
    {12173, "The client certificate has no private key."},
    {12174, "The login to the proxy failed."},
    {12175, "The content could not be decoded or a secure connection failed."},
};

const std::unordered_map<uint32_t, const char*>& InternetTextMap()
{
    static const std::unordered_map<uint32_t, const char*> map = [] {
        std::unordered_map<uint32_t, const char*> m;
        for (const auto& e : kInternetTexts)
            m.emplace(e.code, e.text);
        return m;
    }();
    return map;
}

struct SystemText {
    uint32_t code;
    int err;
};

// Windows system numbers that have a natural errno counterpart, for their texts.
constexpr SystemText kSystemTexts[] = {
    {errc::FileNotFound, ENOENT},     {errc::PathNotFound, ENOTDIR},    {errc::TooManyOpenFiles, EMFILE},
    {errc::AccessDenied, EACCES},     {errc::NotEnoughMemory, ENOMEM},  {errc::WriteProtect, EROFS},
    {errc::SharingViolation, EBUSY},  {errc::NotSupported, ENOTSUP},    {errc::FileExists, EEXIST},
    {errc::InvalidParameter, EINVAL}, {errc::DiskFull, ENOSPC},         {errc::InvalidName, EILSEQ},
    {errc::DirNotEmpty, ENOTEMPTY},   {errc::AlreadyExists, EEXIST},    {errc::FilenameExcedRange, ENAMETOOLONG},
    {errc::OperationAborted, ECANCELED},
};

// strerror is not thread-safe; the GNU strerror_r returns the text or fills buf.
std::string ErrnoText(int err)
{
    char buf[256];
    return strerror_r(err, buf, sizeof buf);
}

}  // namespace

uint32_t GetLastErrorCode() { return t_lastError; }

void SetLastErrorCode(uint32_t code) { t_lastError = code; }

uint32_t ErrorCodeFromErrno(int err)
{
    switch (err) {
    case 0: return errc::Success;
    case ENOENT: return errc::FileNotFound;
    case ENOTDIR: return errc::PathNotFound;
    case EMFILE:
    case ENFILE: return errc::TooManyOpenFiles;
    case EACCES:
    case EPERM: return errc::AccessDenied;
    case ENOMEM: return errc::NotEnoughMemory;
    case EROFS: return errc::WriteProtect;
    case EBUSY:
    case ETXTBSY: return errc::SharingViolation;
    case ENOTSUP: return errc::NotSupported;
    case EEXIST: return errc::AlreadyExists;
    case EINVAL: return errc::InvalidParameter;
    case ENOSPC:
    case EDQUOT: return errc::DiskFull;
    case EILSEQ: return errc::InvalidName;
    case ENOTEMPTY: return errc::DirNotEmpty;
    case ENAMETOOLONG: return errc::FilenameExcedRange;
    case ECANCELED: return errc::OperationAborted;
    case ELOOP: return errc::InvalidName;
    case EISDIR: return errc::AccessDenied;
    default: return 0x20000000u | static_cast<uint32_t>(err);  // customer bit: raw errno
    }
}

uint32_t SetLastErrorFromErrno(int err)
{
    t_lastError = ErrorCodeFromErrno(err);
    return t_lastError;
}

void SetLastResponseInfo(uint32_t extendedError, std::string responseText)
{
    t_responseError = extendedError;
    t_responseText = std::move(responseText);
}

uint32_t GetLastResponseError() { return t_responseError; }

std::string GetLastResponseText() { return t_responseText; }

std::string SystemErrorMessage(uint32_t code)
{
    if (code >= 12001 && code <= 12175) {
        auto it = InternetTextMap().find(code);
        return it == InternetTextMap().end() ? std::string() : std::string(it->second);
    }
    if (code & 0x20000000u)
        return ErrnoText(static_cast<int>(code & ~0x20000000u));
    for (const auto& e : kSystemTexts)
        if (e.code == code)
            return ErrnoText(e.err);
    if (code == errc::InvalidData)
        return "The data is invalid.";
    if (code == errc::NoMoreFiles)
        return "There are no more files.";
    if (code == errc::HandleEof)
        return "Reached the end of the file.";
    return std::string();
}
