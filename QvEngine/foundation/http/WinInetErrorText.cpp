#include "WinInetErrorText.h"

#include <cstdio>

#include "wininet.h"

namespace {

struct Row {
    DWORD first;
    DWORD last;
    WinInetErrorEntry entry;
};

const char kTimedOut[] = "Connection timed out";
const char kInvalidUrl[] = "Invalid URL";
const char kTerminated[] = "Connection terminated";
const char kBadCertificate[] = "Invalid or missing certificate";
const char kUnreachable[] = "Server unreachable";

// Ranges of last errors, each with its text and code. A refused or failed
// connect reads as an unreachable server, an aborted or reset connection as
// a terminated one, so that neither falls through to the unknown entry.
const Row kRows[] = {
    {0, 0, {"No error", httpErrUnknownResponse}},
    {ERROR_INTERNET_TIMEOUT, ERROR_INTERNET_TIMEOUT, {kTimedOut, httpErrTransactionTimedOut}},
    {ERROR_HTTP_INVALID_SERVER_RESPONSE, ERROR_HTTP_INVALID_SERVER_RESPONSE, {kTimedOut, httpErrTransactionTimedOut}},
    {ERROR_INTERNET_INVALID_URL, ERROR_INTERNET_UNRECOGNIZED_SCHEME, {kInvalidUrl, internetConnectErrConnectionLost}},
    {ERROR_INTERNET_NAME_NOT_RESOLVED, ERROR_INTERNET_NAME_NOT_RESOLVED,
     {"Server name could not be resolved", httpErrServerConnectFailed}},
    {ERROR_INTERNET_SHUTDOWN, ERROR_INTERNET_SHUTDOWN, {kTerminated, internetConnectErrConnectionLost}},
    {ERROR_INTERNET_OPERATION_CANCELLED, ERROR_INTERNET_OPERATION_CANCELLED,
     {kTerminated, internetConnectErrConnectionLost}},
    {ERROR_INTERNET_CONNECTION_ABORTED, ERROR_INTERNET_CONNECTION_RESET,
     {kTerminated, internetConnectErrConnectionLost}},
    {ERROR_INTERNET_INCORRECT_USER_NAME, ERROR_INTERNET_INCORRECT_USER_NAME,
     {"Invalid user name", internetConnectSSLError}},
    {ERROR_INTERNET_LOGIN_FAILURE, ERROR_INTERNET_LOGIN_FAILURE, {"Invalid user name", internetConnectSSLError}},
    {ERROR_INTERNET_INCORRECT_PASSWORD, ERROR_INTERNET_INCORRECT_PASSWORD,
     {"Invalid password", internetConnectSSLError}},
    {ERROR_INTERNET_SEC_CERT_DATE_INVALID, ERROR_INTERNET_SEC_CERT_DATE_INVALID,
     {"Expired certificate or date incorrect on device", internetConnectSSLError}},
    {ERROR_INTERNET_SEC_CERT_CN_INVALID, ERROR_INTERNET_SEC_CERT_CN_INVALID, {kBadCertificate, internetConnectSSLError}},
    {ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED, ERROR_INTERNET_CLIENT_AUTH_NOT_SETUP,
     {kBadCertificate, internetConnectSSLError}},
    {ERROR_INTERNET_SEC_CERT_ERRORS, ERROR_INTERNET_SEC_CERT_REV_FAILED, {kBadCertificate, internetConnectSSLError}},
    {ERROR_INTERNET_SEC_INVALID_CERT, ERROR_INTERNET_SEC_CERT_REVOKED, {kBadCertificate, internetConnectSSLError}},
    {ERROR_INTERNET_DISCONNECTED, ERROR_INTERNET_DISCONNECTED, {"Disconnected", httpErrTransactionDisconnected}},
    {ERROR_INTERNET_CANNOT_CONNECT, ERROR_INTERNET_CANNOT_CONNECT, {kUnreachable, httpErrServerConnectFailed}},
    {ERROR_INTERNET_SERVER_UNREACHABLE, ERROR_INTERNET_PROXY_SERVER_UNREACHABLE,
     {kUnreachable, httpErrServerConnectFailed}},
};

}  // namespace

WinInetErrorEntry MapWinInetError(DWORD lastError) {
    for (const Row &row : kRows)
        if (lastError >= row.first && lastError <= row.last) return row.entry;
    return {"Unknown internet error", httpErrRequestFailed};
}

std::string FormatWinInetError(const char *context, DWORD lastError, const char *text) {
    char number[48];
    std::snprintf(number, sizeof number, ": GetLastError(%d) = ", int(lastError));
    return std::string(context != nullptr ? context : "") + number + (text != nullptr ? text : "");
}
