// curl's transfer results as the platform's Internet error numbers.
#include <cstring>

#include "httprequest.h"
#include "winerror.h"

namespace vplat {
namespace {

// Certificate verification results reported by curl's TLS library.
const long kVerifyCertNotYetValid = 9;
const long kVerifyCertExpired = 10;
const long kVerifyCertRevoked = 23;
const long kVerifyHostMismatch = 62;
const long kVerifyIpMismatch = 64;

DWORD CertificateError(long verifyResult, const char *message) {
    // curl checks the name itself once the chain was accepted, and says so.
    if (message != nullptr && std::strstr(message, "target host name") != nullptr)
        return ERROR_INTERNET_SEC_CERT_CN_INVALID;
    switch (verifyResult) {
    case kVerifyCertNotYetValid:
    case kVerifyCertExpired:
        return ERROR_INTERNET_SEC_CERT_DATE_INVALID;
    case kVerifyCertRevoked:
        return ERROR_INTERNET_SEC_CERT_REVOKED;
    case kVerifyHostMismatch:
    case kVerifyIpMismatch:
        return ERROR_INTERNET_SEC_CERT_CN_INVALID;
    default:
        return ERROR_INTERNET_INVALID_CA;
    }
}

}  // namespace

DWORD InternetErrorFromCurl(CURLcode code, long verifyResult, const char *message) {
    switch (code) {
    case CURLE_OK:
        return 0;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT:
        return ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_OPERATION_TIMEDOUT:
        return ERROR_INTERNET_TIMEOUT;
    case CURLE_URL_MALFORMAT:
        return ERROR_INTERNET_INVALID_URL;
    case CURLE_UNSUPPORTED_PROTOCOL:
        // The URL is always http or https: curl says this of an answer
        // without an HTTP status line (taken for HTTP/0.9).
        return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
        return ERROR_INTERNET_CONNECTION_RESET;
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
        return ERROR_INTERNET_CONNECTION_ABORTED;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_HTTP2:
    case CURLE_HTTP3:
    case CURLE_BAD_CONTENT_ENCODING:
        return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    case CURLE_PEER_FAILED_VERIFICATION:
        return CertificateError(verifyResult, message);
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
        return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    case CURLE_ABORTED_BY_CALLBACK:
        return ERROR_INTERNET_OPERATION_CANCELLED;
    case CURLE_OUT_OF_MEMORY:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return ERROR_INTERNET_INTERNAL_ERROR;
    }
}

}  // namespace vplat
