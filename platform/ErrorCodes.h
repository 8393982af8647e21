#pragma once
// Error numbers in the Windows numbering the engine reports and translates, a thread-local
// "last error" set by the platform layer, and the error-text table.
#include <cstdint>
#include <string>

namespace errc {
constexpr uint32_t Success = 0;
constexpr uint32_t FileNotFound = 2;
constexpr uint32_t PathNotFound = 3;
constexpr uint32_t TooManyOpenFiles = 4;
constexpr uint32_t AccessDenied = 5;
constexpr uint32_t NotEnoughMemory = 8;
constexpr uint32_t InvalidData = 13;
constexpr uint32_t NoMoreFiles = 18;
constexpr uint32_t WriteProtect = 19;
constexpr uint32_t SharingViolation = 32;
constexpr uint32_t HandleEof = 38;
constexpr uint32_t NotSupported = 50;
constexpr uint32_t FileExists = 80;
constexpr uint32_t InvalidParameter = 87;
constexpr uint32_t DiskFull = 112;
constexpr uint32_t InvalidName = 123;
constexpr uint32_t DirNotEmpty = 145;
constexpr uint32_t AlreadyExists = 183;
constexpr uint32_t FilenameExcedRange = 206;
constexpr uint32_t OperationAborted = 995;

// Internet layer numbers (12001-12175, above InternetBase up to InternetLast).
constexpr uint32_t InternetBase = 12000;
constexpr uint32_t InternetOutOfHandles = 12001;
constexpr uint32_t InternetTimeout = 12002;
constexpr uint32_t InternetExtendedError = 12003;
constexpr uint32_t InternetInternalError = 12004;
constexpr uint32_t InternetInvalidUrl = 12005;
constexpr uint32_t InternetUnrecognizedScheme = 12006;
constexpr uint32_t InternetNameNotResolved = 12007;
constexpr uint32_t InternetProtocolNotFound = 12008;
constexpr uint32_t InternetInvalidOption = 12009;
constexpr uint32_t InternetShutdown = 12012;
constexpr uint32_t InternetIncorrectUserName = 12013;
constexpr uint32_t InternetIncorrectPassword = 12014;
constexpr uint32_t InternetLoginFailure = 12015;
constexpr uint32_t InternetInvalidOperation = 12016;
constexpr uint32_t InternetOperationCancelled = 12017;
constexpr uint32_t InternetIncorrectHandleType = 12018;
constexpr uint32_t InternetIncorrectHandleState = 12019;
constexpr uint32_t InternetNotProxyRequest = 12020;
constexpr uint32_t InternetCannotConnect = 12029;
constexpr uint32_t InternetConnectionAborted = 12030;
constexpr uint32_t InternetConnectionReset = 12031;
constexpr uint32_t InternetForceRetry = 12032;
constexpr uint32_t InternetInvalidProxyRequest = 12033;
constexpr uint32_t InternetSecCertDateInvalid = 12037;
constexpr uint32_t InternetSecCertCnInvalid = 12038;
constexpr uint32_t InternetSecInvalidCA = 12045;
constexpr uint32_t InternetSecCertErrors = 12055;
constexpr uint32_t InternetSecCertRevFailed = 12057;
constexpr uint32_t FtpTransferInProgress = 12110;
constexpr uint32_t FtpDropped = 12111;
constexpr uint32_t HttpHeaderNotFound = 12150;
constexpr uint32_t HttpDowngradedRequest = 12151;
constexpr uint32_t HttpInvalidServerResponse = 12152;
constexpr uint32_t HttpInvalidHeader = 12153;
constexpr uint32_t HttpInvalidQueryRequest = 12154;
constexpr uint32_t HttpHeaderAlreadyExists = 12155;
constexpr uint32_t HttpRedirectFailed = 12156;
constexpr uint32_t InternetSecurityChannelError = 12157;
constexpr uint32_t HttpNotRedirected = 12160;
constexpr uint32_t InternetSecInvalidCert = 12169;
constexpr uint32_t InternetNotInitialized = 12172;
constexpr uint32_t InternetDecodingFailed = 12175;
constexpr uint32_t InternetLast = 12175;
}  // namespace errc

// The calling thread's last error number (0 when none was set).
uint32_t GetLastErrorCode();
void SetLastErrorCode(uint32_t code);

// errno -> Windows system error number.
uint32_t ErrorCodeFromErrno(int err);
// Sets the thread's last error from errno and returns the mapped number.
uint32_t SetLastErrorFromErrno(int err);

// The extended-error number and server reply kept for code 12003 on this thread.
void SetLastResponseInfo(uint32_t extendedError, std::string responseText);
uint32_t GetLastResponseError();
std::string GetLastResponseText();

// The text for an error number: Internet numbers from our own table, system numbers from the
// C library. Empty when the number is unknown.
std::string SystemErrorMessage(uint32_t code);
