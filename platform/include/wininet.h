// HTTP and HTTPS requests as the device offers them: an Internet session,
// a connection to one server and requests on it. Every call is synchronous
// and blocks the calling thread; closing a request from another thread makes
// a call blocked on it return FALSE with ERROR_INTERNET_OPERATION_CANCELLED.
// Closing a session or a connection closes every handle made from it (and
// so wakes their blocked calls); those handles are then unknown.
//
// A server name is a host name, an IPv4 address or an IPv6 address (bare or
// in brackets); anything else (user information, a port, a path, blanks)
// makes InternetConnectW fail with ERROR_INTERNET_INVALID_URL.
//
// Requests are HTTP/1.1, sent with the request target exactly as given, with
// no proxy, no automatic redirects, cookies, authentication, compression or
// "Expect: 100-continue". Server certificates are always verified against
// the device's trust store (devicetrust.h); the INTERNET_FLAG_IGNORE_CERT_*
// flags are accepted and have no effect.
#ifndef VPLATFORM_WININET_H
#define VPLATFORM_WININET_H

#include "wintypes.h"

typedef LPVOID HINTERNET;
typedef HINTERNET *LPHINTERNET;
typedef WORD INTERNET_PORT;

// InternetOpenW access types.
#define INTERNET_OPEN_TYPE_PRECONFIG 0
#define INTERNET_OPEN_TYPE_DIRECT 1
#define INTERNET_OPEN_TYPE_PROXY 3

// InternetConnectW ports and services. Port 0 takes the default of the
// request's scheme (443 with INTERNET_FLAG_SECURE, else 80).
#define INTERNET_INVALID_PORT_NUMBER 0
#define INTERNET_DEFAULT_HTTP_PORT 80
#define INTERNET_DEFAULT_HTTPS_PORT 443
#define INTERNET_SERVICE_HTTP 3

// Request flags (HttpOpenRequestW). Only INTERNET_FLAG_SECURE changes what
// is sent; the others describe what this layer always does anyway.
#define INTERNET_FLAG_RELOAD 0x80000000
#define INTERNET_FLAG_RAW_DATA 0x40000000
#define INTERNET_FLAG_EXISTING_CONNECT 0x20000000
#define INTERNET_FLAG_ASYNC 0x10000000
#define INTERNET_FLAG_NO_CACHE_WRITE 0x04000000
#define INTERNET_FLAG_DONT_CACHE INTERNET_FLAG_NO_CACHE_WRITE
#define INTERNET_FLAG_SECURE 0x00800000
#define INTERNET_FLAG_KEEP_CONNECTION 0x00400000
#define INTERNET_FLAG_NO_AUTO_REDIRECT 0x00200000
#define INTERNET_FLAG_NO_COOKIES 0x00080000
#define INTERNET_FLAG_NO_AUTH 0x00040000
#define INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP 0x00008000
#define INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS 0x00004000
#define INTERNET_FLAG_IGNORE_CERT_DATE_INVALID 0x00002000
#define INTERNET_FLAG_IGNORE_CERT_CN_INVALID 0x00001000
#define INTERNET_FLAG_NO_UI 0x00000200
#define INTERNET_FLAG_PRAGMA_NOCACHE 0x00000100

// HttpAddRequestHeadersW modifiers. Without REPLACE or ADD_IF_NEW a header
// is added after those already present (duplicates allowed).
#define HTTP_ADDREQ_FLAG_ADD_IF_NEW 0x10000000
#define HTTP_ADDREQ_FLAG_ADD 0x20000000
#define HTTP_ADDREQ_FLAG_REPLACE 0x80000000

// HttpQueryInfoW levels and modifiers (response headers of the final answer).
#define HTTP_QUERY_CONTENT_TYPE 1
#define HTTP_QUERY_CONTENT_LENGTH 5
#define HTTP_QUERY_STATUS_CODE 19
#define HTTP_QUERY_STATUS_TEXT 20
#define HTTP_QUERY_LOCATION 33
#define HTTP_QUERY_CUSTOM 65
#define HTTP_QUERY_FLAG_NUMBER 0x20000000
#define HTTP_QUERY_MODIFIER_FLAGS_MASK 0xF0000000
#define HTTP_QUERY_HEADER_MASK 0x0000FFFF

// HttpSendRequestExW flags.
#define HSR_ASYNC 0x00000001
#define HSR_SYNC 0x00000004
#define HSR_USE_CONTEXT 0x00000008
#define HSR_INITIATE 0x00000008
#define HSR_DOWNLOAD 0x00000010
#define HSR_CHUNKED 0x00000020

// InternetSetOptionW / InternetQueryOptionW: time-outs in milliseconds (a
// DWORD). Connect bounds making the connection; send and receive bound the
// silence while the request goes out and while its answer comes in.
// 0 and 0xFFFFFFFF mean no limit. Defaults: 60 s to connect, 60 min of
// silence, so that long-held requests are ended by their owner's own watch.
#define INTERNET_OPTION_CONNECT_TIMEOUT 2
#define INTERNET_OPTION_SEND_TIMEOUT 5
#define INTERNET_OPTION_RECEIVE_TIMEOUT 6

typedef struct _INTERNET_BUFFERSW {
    DWORD dwStructSize;
    struct _INTERNET_BUFFERSW *Next;
    LPCWSTR lpcszHeader;
    DWORD dwHeadersLength;
    DWORD dwHeadersTotal;
    LPVOID lpvBuffer;
    DWORD dwBufferLength;
    DWORD dwBufferTotal;
    DWORD dwOffsetLow;
    DWORD dwOffsetHigh;
} INTERNET_BUFFERSW, *LPINTERNET_BUFFERSW;

// Error numbers (GetLastError after a failed call).
#ifndef ERROR_IO_PENDING
#define ERROR_IO_PENDING 997L
#endif
#define INTERNET_ERROR_BASE 12000
#define ERROR_INTERNET_OUT_OF_HANDLES 12001L
#define ERROR_INTERNET_TIMEOUT 12002L
#define ERROR_INTERNET_INTERNAL_ERROR 12004L
#define ERROR_INTERNET_INVALID_URL 12005L
#define ERROR_INTERNET_UNRECOGNIZED_SCHEME 12006L
#define ERROR_INTERNET_NAME_NOT_RESOLVED 12007L
#define ERROR_INTERNET_INVALID_OPTION 12009L
#define ERROR_INTERNET_BAD_OPTION_LENGTH 12010L
#define ERROR_INTERNET_SHUTDOWN 12012L
#define ERROR_INTERNET_INCORRECT_USER_NAME 12013L
#define ERROR_INTERNET_INCORRECT_PASSWORD 12014L
#define ERROR_INTERNET_LOGIN_FAILURE 12015L
#define ERROR_INTERNET_INVALID_OPERATION 12016L
#define ERROR_INTERNET_OPERATION_CANCELLED 12017L
#define ERROR_INTERNET_INCORRECT_HANDLE_TYPE 12018L
#define ERROR_INTERNET_INCORRECT_HANDLE_STATE 12019L
#define ERROR_INTERNET_CANNOT_CONNECT 12029L
#define ERROR_INTERNET_CONNECTION_ABORTED 12030L
#define ERROR_INTERNET_CONNECTION_RESET 12031L
#define ERROR_INTERNET_SEC_CERT_DATE_INVALID 12037L
#define ERROR_INTERNET_SEC_CERT_CN_INVALID 12038L
#define ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED 12044L
#define ERROR_INTERNET_INVALID_CA 12045L
#define ERROR_INTERNET_CLIENT_AUTH_NOT_SETUP 12046L
#define ERROR_INTERNET_SEC_CERT_ERRORS 12055L
#define ERROR_INTERNET_SEC_CERT_NO_REV 12056L
#define ERROR_INTERNET_SEC_CERT_REV_FAILED 12057L
#define ERROR_HTTP_HEADER_NOT_FOUND 12150L
#define ERROR_HTTP_INVALID_SERVER_RESPONSE 12152L
#define ERROR_HTTP_INVALID_HEADER 12153L
#define ERROR_HTTP_INVALID_QUERY_REQUEST 12154L
#define ERROR_HTTP_HEADER_ALREADY_EXISTS 12155L
#define ERROR_INTERNET_SECURITY_CHANNEL_ERROR 12157L
#define ERROR_INTERNET_DISCONNECTED 12163L
#define ERROR_INTERNET_SERVER_UNREACHABLE 12164L
#define ERROR_INTERNET_PROXY_SERVER_UNREACHABLE 12165L
#define ERROR_INTERNET_SEC_INVALID_CERT 12169L
#define ERROR_INTERNET_SEC_CERT_REVOKED 12170L

extern "C" {
PLATAPI HINTERNET InternetOpenW(LPCWSTR lpszAgent, DWORD dwAccessType, LPCWSTR lpszProxy, LPCWSTR lpszProxyBypass,
                                DWORD dwFlags);
PLATAPI HINTERNET InternetConnectW(HINTERNET hInternet, LPCWSTR lpszServerName, INTERNET_PORT nServerPort,
                                   LPCWSTR lpszUserName, LPCWSTR lpszPassword, DWORD dwService, DWORD dwFlags,
                                   DWORD_PTR dwContext);
PLATAPI HINTERNET HttpOpenRequestW(HINTERNET hConnect, LPCWSTR lpszVerb, LPCWSTR lpszObjectName,
                                   LPCWSTR lpszVersion, LPCWSTR lpszReferrer, LPCWSTR *lplpszAcceptTypes,
                                   DWORD dwFlags, DWORD_PTR dwContext);
PLATAPI BOOL HttpAddRequestHeadersW(HINTERNET hRequest, LPCWSTR lpszHeaders, DWORD dwHeadersLength,
                                    DWORD dwModifiers);
PLATAPI BOOL HttpSendRequestW(HINTERNET hRequest, LPCWSTR lpszHeaders, DWORD dwHeadersLength, LPVOID lpOptional,
                              DWORD dwOptionalLength);
PLATAPI BOOL HttpSendRequestExW(HINTERNET hRequest, LPINTERNET_BUFFERSW lpBuffersIn,
                                LPINTERNET_BUFFERSW lpBuffersOut, DWORD dwFlags, DWORD_PTR dwContext);
PLATAPI BOOL InternetWriteFile(HINTERNET hFile, LPCVOID lpBuffer, DWORD dwNumberOfBytesToWrite,
                               LPDWORD lpdwNumberOfBytesWritten);
PLATAPI BOOL HttpEndRequestW(HINTERNET hRequest, LPINTERNET_BUFFERSW lpBuffersOut, DWORD dwFlags,
                             DWORD_PTR dwContext);
PLATAPI BOOL InternetQueryDataAvailable(HINTERNET hFile, LPDWORD lpdwNumberOfBytesAvailable, DWORD dwFlags,
                                        DWORD_PTR dwContext);
PLATAPI BOOL InternetReadFile(HINTERNET hFile, LPVOID lpBuffer, DWORD dwNumberOfBytesToRead,
                              LPDWORD lpdwNumberOfBytesRead);
PLATAPI BOOL HttpQueryInfoW(HINTERNET hRequest, DWORD dwInfoLevel, LPVOID lpBuffer, LPDWORD lpdwBufferLength,
                            LPDWORD lpdwIndex);
PLATAPI BOOL InternetSetOptionW(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer, DWORD dwBufferLength);
PLATAPI BOOL InternetQueryOptionW(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer, LPDWORD lpdwBufferLength);
PLATAPI BOOL InternetCloseHandle(HINTERNET hInternet);
}

#endif
