// The Internet calls (wininet.h): handles, arguments and last errors; the
// transfer itself is HttpRequest's.
#include <arpa/inet.h>

#include <algorithm>
#include <cstring>

#include "device.h"
#include "httprequest.h"
#include "winerror.h"
#include "wininet.h"
#include "wininetobject.h"

namespace vplat {

void InternetObject::InheritOptions(const InternetObject &parent) {
    connectTimeout = parent.connectTimeout.load();
    sendTimeout = parent.sendTimeout.load();
    receiveTimeout = parent.receiveTimeout.load();
}

bool InternetObject::Adopt(const std::shared_ptr<InternetObject> &parent, HINTERNET handle,
                           const std::shared_ptr<InternetObject> &child) {
    {
        std::lock_guard<std::mutex> guard(child->m_familyLock);
        child->m_handle = handle;
        child->m_parent = parent;
    }
    std::lock_guard<std::mutex> guard(parent->m_familyLock);
    if (parent->m_closed) return false;
    parent->m_children.push_back(handle);
    return true;
}

void InternetObject::Close() {
    std::vector<HINTERNET> children;
    std::weak_ptr<InternetObject> parent;
    HINTERNET self = nullptr;
    {
        std::lock_guard<std::mutex> guard(m_familyLock);
        m_closed = true;
        children.swap(m_children);
        parent = m_parent;
        self = m_handle;
    }
    // Outside the lock: each child's Close calls back into ForgetChild.
    for (HINTERNET child : children) HandleClose(child);
    if (auto p = parent.lock()) p->ForgetChild(self);
}

void InternetObject::ForgetChild(HINTERNET handle) {
    std::lock_guard<std::mutex> guard(m_familyLock);
    m_children.erase(std::remove(m_children.begin(), m_children.end(), handle), m_children.end());
}

bool WideToLatin1(const char16_t *text, size_t len, std::string *out) {
    out->clear();
    out->reserve(len);
    for (size_t i = 0; i < len; ++i) {
        if (text[i] > 0xFF) return false;
        out->push_back(static_cast<char>(text[i]));
    }
    return true;
}

std::u16string Latin1ToWide(const std::string &text) {
    std::u16string out;
    out.reserve(text.size());
    for (unsigned char c : text) out.push_back(c);
    return out;
}

}  // namespace vplat

namespace {

using vplat::HttpRequest;
using vplat::InternetObject;

BOOL Failed(DWORD error) {
    SetLastError(error);
    return FALSE;
}

HINTERNET FailedHandle(DWORD error) {
    SetLastError(error);
    return nullptr;
}

BOOL Result(DWORD error) {
    if (error != 0) return Failed(error);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

size_t WideLength(LPCWSTR text) {
    size_t n = 0;
    while (text[n] != 0) ++n;
    return n;
}

std::u16string WideText(LPCWSTR text, DWORD length) {
    if (text == nullptr) return std::u16string();
    return std::u16string(text, length == static_cast<DWORD>(-1) ? WideLength(text) : length);
}

// Looks a request handle up; sets the last error when it is not one.
std::shared_ptr<HttpRequest> Request(HINTERNET handle) {
    auto object = vplat::HandleGet<InternetObject>(handle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    auto request = std::dynamic_pointer_cast<HttpRequest>(object);
    if (!request) SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    return request;
}

// A request target goes out as given, so it must hold nothing that would
// end the request line early.
bool ValidTarget(const std::string &target) {
    for (unsigned char c : target) {
        if (c <= 0x20 || c >= 0x7F) return false;
    }
    return true;
}

bool ParseNumber(const std::string &text, DWORD *value) {
    size_t b = text.find_first_not_of(" \t");
    size_t e = text.find_last_not_of(" \t");
    if (b == std::string::npos) return false;
    uint64_t n = 0;
    for (size_t i = b; i <= e; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        n = n * 10 + static_cast<unsigned>(text[i] - '0');
        if (n > 0xFFFFFFFFu) return false;
    }
    *value = static_cast<DWORD>(n);
    return true;
}

// A server name goes into the URL curl is given, so it must be a plain host
// name or IP address: user information ("user@host") would become an
// Authorization header, and '/', '?', '#' or ':' would move the port or the
// path. *host receives the name as curl takes it (an IPv6 address bare).
bool ServerName(LPCWSTR text, std::string *host) {
    std::string name;
    if (!vplat::WideToLatin1(text, WideLength(text), &name) || name.empty()) return false;
    bool bracketed = name.front() == '[' && name.back() == ']';
    if (bracketed) name = name.substr(1, name.size() - 2);
    if (bracketed || name.find(':') != std::string::npos) {
        in6_addr address;
        if (inet_pton(AF_INET6, name.c_str(), &address) != 1) return false;
        *host = name;
        return true;
    }
    if (name.size() > 253) return false;
    size_t label = 0;
    for (char c : name) {
        if (c == '.') {
            if (label == 0) return false;  // an empty label
            label = 0;
        } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                   c == '_') {
            if (++label > 63) return false;
        } else {
            return false;
        }
    }
    *host = name;
    return true;
}

// The time-out an option number names, or null.
std::atomic<DWORD> *TimeoutOption(InternetObject &object, DWORD option) {
    switch (option) {
    case INTERNET_OPTION_CONNECT_TIMEOUT: return &object.connectTimeout;
    case INTERNET_OPTION_SEND_TIMEOUT: return &object.sendTimeout;
    case INTERNET_OPTION_RECEIVE_TIMEOUT: return &object.receiveTimeout;
    default: return nullptr;
    }
}

}  // namespace

extern "C" {

PLATAPI HINTERNET InternetOpenW(LPCWSTR lpszAgent, DWORD dwAccessType, LPCWSTR, LPCWSTR, DWORD dwFlags) {
    // Only direct, synchronous access is offered.
    if (dwAccessType == INTERNET_OPEN_TYPE_PROXY || (dwFlags & INTERNET_FLAG_ASYNC))
        return FailedHandle(ERROR_INVALID_PARAMETER);
    std::string agent = lpszAgent != nullptr ? vplat::Utf16ToUtf8(lpszAgent) : std::string();
    HINTERNET handle = vplat::HandleInsert(std::make_shared<vplat::InternetSession>(agent));
    SetLastError(ERROR_SUCCESS);
    return handle;
}

PLATAPI HINTERNET InternetConnectW(HINTERNET hInternet, LPCWSTR lpszServerName, INTERNET_PORT nServerPort, LPCWSTR,
                                   LPCWSTR, DWORD dwService, DWORD, DWORD_PTR) {
    auto session = std::dynamic_pointer_cast<vplat::InternetSession>(vplat::HandleGet<InternetObject>(hInternet));
    if (!session) {
        return FailedHandle(vplat::HandleGet<InternetObject>(hInternet) ? ERROR_INTERNET_INCORRECT_HANDLE_TYPE
                                                                      : ERROR_INVALID_HANDLE);
    }
    if (dwService != INTERNET_SERVICE_HTTP || lpszServerName == nullptr || lpszServerName[0] == 0)
        return FailedHandle(ERROR_INVALID_PARAMETER);
    std::string host;
    if (!ServerName(lpszServerName, &host)) return FailedHandle(ERROR_INTERNET_INVALID_URL);
    auto connection = std::make_shared<vplat::InternetConnection>(session->agent, host, nServerPort);
    connection->InheritOptions(*session);
    HINTERNET handle = vplat::HandleInsert(connection);
    if (!InternetObject::Adopt(session, handle, connection)) {
        vplat::HandleClose(handle);
        return FailedHandle(ERROR_INVALID_HANDLE);  // the session was closed meanwhile
    }
    SetLastError(ERROR_SUCCESS);
    return handle;
}

PLATAPI HINTERNET HttpOpenRequestW(HINTERNET hConnect, LPCWSTR lpszVerb, LPCWSTR lpszObjectName,
                                   LPCWSTR lpszVersion, LPCWSTR lpszReferrer, LPCWSTR *lplpszAcceptTypes,
                                   DWORD dwFlags, DWORD_PTR) {
    auto connection =
        std::dynamic_pointer_cast<vplat::InternetConnection>(vplat::HandleGet<InternetObject>(hConnect));
    if (!connection) {
        return FailedHandle(vplat::HandleGet<InternetObject>(hConnect) ? ERROR_INTERNET_INCORRECT_HANDLE_TYPE
                                                                     : ERROR_INVALID_HANDLE);
    }
    vplat::HttpRequestSetup setup;
    setup.agent = connection->agent;
    setup.host = connection->host;
    setup.port = connection->port;
    setup.secure = (dwFlags & INTERNET_FLAG_SECURE) != 0;
    setup.verb = lpszVerb != nullptr && lpszVerb[0] != 0 ? vplat::Utf16ToUtf8(lpszVerb) : "GET";
    std::u16string object = lpszObjectName != nullptr && lpszObjectName[0] != 0 ? lpszObjectName : u"/";
    if (!vplat::WideToLatin1(object.data(), object.size(), &setup.target) || !ValidTarget(setup.target) ||
        !ValidTarget(setup.verb))
        return FailedHandle(ERROR_INTERNET_INVALID_URL);
    setup.http10 = lpszVersion != nullptr && vplat::Utf16ToUtf8(lpszVersion) == "HTTP/1.0";
    if (lpszReferrer != nullptr) setup.referrer = vplat::Utf16ToUtf8(lpszReferrer);
    for (LPCWSTR *type = lplpszAcceptTypes; type != nullptr && *type != nullptr; ++type) {
        if (!setup.accept.empty()) setup.accept += ", ";
        setup.accept += vplat::Utf16ToUtf8(*type);
    }
    auto request = std::make_shared<HttpRequest>(std::move(setup));
    if (!request->Valid()) return FailedHandle(ERROR_NOT_ENOUGH_MEMORY);
    request->InheritOptions(*connection);
    HINTERNET handle = vplat::HandleInsert(request);
    if (!InternetObject::Adopt(connection, handle, request)) {
        vplat::HandleClose(handle);
        return FailedHandle(ERROR_INVALID_HANDLE);  // the connection was closed meanwhile
    }
    SetLastError(ERROR_SUCCESS);
    return handle;
}

PLATAPI BOOL HttpAddRequestHeadersW(HINTERNET hRequest, LPCWSTR lpszHeaders, DWORD dwHeadersLength,
                                    DWORD dwModifiers) {
    auto request = Request(hRequest);
    if (!request) return FALSE;
    if (lpszHeaders == nullptr) return Failed(ERROR_INVALID_PARAMETER);
    return Result(request->AddHeaders(WideText(lpszHeaders, dwHeadersLength), dwModifiers));
}

PLATAPI BOOL HttpSendRequestW(HINTERNET hRequest, LPCWSTR lpszHeaders, DWORD dwHeadersLength, LPVOID lpOptional,
                              DWORD dwOptionalLength) {
    auto request = Request(hRequest);
    if (!request) return FALSE;
    if (lpOptional == nullptr && dwOptionalLength != 0) return Failed(ERROR_INVALID_PARAMETER);
    if (lpszHeaders != nullptr && dwHeadersLength != 0) {
        DWORD error = request->AddHeaders(WideText(lpszHeaders, dwHeadersLength), HTTP_ADDREQ_FLAG_ADD);
        if (error != 0) return Failed(error);
    }
    return Result(request->Send(lpOptional, dwOptionalLength));
}

PLATAPI BOOL HttpSendRequestExW(HINTERNET hRequest, LPINTERNET_BUFFERSW lpBuffersIn, LPINTERNET_BUFFERSW, DWORD,
                                DWORD_PTR) {
    auto request = Request(hRequest);
    if (!request) return FALSE;
    // Without a buffer record the body's length is unknown and goes chunked.
    uint64_t total = UINT64_MAX;
    if (lpBuffersIn != nullptr) {
        if (lpBuffersIn->lpcszHeader != nullptr && lpBuffersIn->dwHeadersLength != 0) {
            DWORD error = request->AddHeaders(WideText(lpBuffersIn->lpcszHeader, lpBuffersIn->dwHeadersLength),
                                              HTTP_ADDREQ_FLAG_ADD);
            if (error != 0) return Failed(error);
        }
        total = lpBuffersIn->dwBufferTotal;
        if (lpBuffersIn->lpvBuffer != nullptr && lpBuffersIn->dwBufferLength > total)
            return Failed(ERROR_INVALID_PARAMETER);
    }
    DWORD error = request->BeginSend(total);
    if (error == 0 && lpBuffersIn != nullptr && lpBuffersIn->lpvBuffer != nullptr && lpBuffersIn->dwBufferLength != 0)
        error = request->Write(lpBuffersIn->lpvBuffer, lpBuffersIn->dwBufferLength);
    return Result(error);
}

PLATAPI BOOL InternetWriteFile(HINTERNET hFile, LPCVOID lpBuffer, DWORD dwNumberOfBytesToWrite,
                               LPDWORD lpdwNumberOfBytesWritten) {
    if (lpdwNumberOfBytesWritten == nullptr) return Failed(ERROR_INVALID_PARAMETER);
    *lpdwNumberOfBytesWritten = 0;
    auto request = Request(hFile);
    if (!request) return FALSE;
    if (lpBuffer == nullptr && dwNumberOfBytesToWrite != 0) return Failed(ERROR_INVALID_PARAMETER);
    DWORD error = request->Write(lpBuffer, dwNumberOfBytesToWrite);
    if (error == 0) *lpdwNumberOfBytesWritten = dwNumberOfBytesToWrite;
    return Result(error);
}

PLATAPI BOOL HttpEndRequestW(HINTERNET hRequest, LPINTERNET_BUFFERSW, DWORD, DWORD_PTR) {
    auto request = Request(hRequest);
    if (!request) return FALSE;
    return Result(request->EndSend());
}

PLATAPI BOOL InternetQueryDataAvailable(HINTERNET hFile, LPDWORD lpdwNumberOfBytesAvailable, DWORD, DWORD_PTR) {
    if (lpdwNumberOfBytesAvailable == nullptr) return Failed(ERROR_INVALID_PARAMETER);
    auto request = Request(hFile);
    if (!request) return FALSE;
    return Result(request->QueryAvailable(lpdwNumberOfBytesAvailable));
}

PLATAPI BOOL InternetReadFile(HINTERNET hFile, LPVOID lpBuffer, DWORD dwNumberOfBytesToRead,
                              LPDWORD lpdwNumberOfBytesRead) {
    if (lpdwNumberOfBytesRead == nullptr) return Failed(ERROR_INVALID_PARAMETER);
    *lpdwNumberOfBytesRead = 0;
    auto request = Request(hFile);
    if (!request) return FALSE;
    if (lpBuffer == nullptr && dwNumberOfBytesToRead != 0) return Failed(ERROR_INVALID_PARAMETER);
    return Result(request->Read(lpBuffer, dwNumberOfBytesToRead, lpdwNumberOfBytesRead));
}

PLATAPI BOOL HttpQueryInfoW(HINTERNET hRequest, DWORD dwInfoLevel, LPVOID lpBuffer, LPDWORD lpdwBufferLength,
                            LPDWORD lpdwIndex) {
    auto request = Request(hRequest);
    if (!request) return FALSE;
    if (lpdwBufferLength == nullptr) return Failed(ERROR_INVALID_PARAMETER);
    DWORD modifiers = dwInfoLevel & HTTP_QUERY_MODIFIER_FLAGS_MASK;
    if ((modifiers & ~static_cast<DWORD>(HTTP_QUERY_FLAG_NUMBER)) != 0) return Failed(ERROR_HTTP_INVALID_QUERY_REQUEST);
    DWORD index = lpdwIndex != nullptr ? *lpdwIndex : 0;

    DWORD status = 0;
    std::string reason, value;
    if (!request->ResponseStatus(&status, &reason)) return Failed(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    DWORD error = 0;
    switch (dwInfoLevel & HTTP_QUERY_HEADER_MASK) {
    case HTTP_QUERY_STATUS_CODE:
        value = std::to_string(status);
        if (index != 0) error = ERROR_HTTP_HEADER_NOT_FOUND;
        break;
    case HTTP_QUERY_STATUS_TEXT:
        value = reason;
        if (index != 0) error = ERROR_HTTP_HEADER_NOT_FOUND;
        break;
    case HTTP_QUERY_CONTENT_TYPE: error = request->ResponseHeader("Content-Type", index, &value); break;
    case HTTP_QUERY_CONTENT_LENGTH: error = request->ResponseHeader("Content-Length", index, &value); break;
    case HTTP_QUERY_LOCATION: error = request->ResponseHeader("Location", index, &value); break;
    case HTTP_QUERY_CUSTOM: {
        if (lpBuffer == nullptr) return Failed(ERROR_INVALID_PARAMETER);
        std::string name;
        // The name is read from the buffer that then receives the value.
        const WCHAR *wide = static_cast<const WCHAR *>(lpBuffer);
        size_t len = 0;
        while (len * sizeof(WCHAR) < *lpdwBufferLength && wide[len] != 0) ++len;
        if (!vplat::WideToLatin1(wide, len, &name) || name.empty()) return Failed(ERROR_HTTP_INVALID_QUERY_REQUEST);
        error = request->ResponseHeader(name, index, &value);
        break;
    }
    default:
        return Failed(ERROR_HTTP_INVALID_QUERY_REQUEST);
    }
    if (error != 0) return Failed(error);

    if (modifiers & HTTP_QUERY_FLAG_NUMBER) {
        DWORD number = 0;
        if (!ParseNumber(value, &number)) return Failed(ERROR_HTTP_INVALID_HEADER);
        if (lpBuffer == nullptr || *lpdwBufferLength < sizeof(DWORD)) {
            *lpdwBufferLength = sizeof(DWORD);
            return Failed(ERROR_INSUFFICIENT_BUFFER);
        }
        memcpy(lpBuffer, &number, sizeof number);
        *lpdwBufferLength = sizeof(DWORD);
    } else {
        std::u16string wide = vplat::Latin1ToWide(value);
        DWORD need = static_cast<DWORD>((wide.size() + 1) * sizeof(WCHAR));
        if (lpBuffer == nullptr || *lpdwBufferLength < need) {
            *lpdwBufferLength = need;
            return Failed(ERROR_INSUFFICIENT_BUFFER);
        }
        memcpy(lpBuffer, wide.c_str(), need);
        *lpdwBufferLength = need - sizeof(WCHAR);
    }
    if (lpdwIndex != nullptr) *lpdwIndex = index + 1;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

PLATAPI BOOL InternetSetOptionW(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer, DWORD dwBufferLength) {
    auto object = vplat::HandleGet<InternetObject>(hInternet);
    if (!object) return Failed(ERROR_INVALID_HANDLE);
    std::atomic<DWORD> *slot = TimeoutOption(*object, dwOption);
    if (slot == nullptr) return Failed(ERROR_INTERNET_INVALID_OPTION);
    if (lpBuffer == nullptr || dwBufferLength < sizeof(DWORD)) return Failed(ERROR_INTERNET_BAD_OPTION_LENGTH);
    DWORD value = 0;
    memcpy(&value, lpBuffer, sizeof value);
    *slot = value;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

PLATAPI BOOL InternetQueryOptionW(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer, LPDWORD lpdwBufferLength) {
    auto object = vplat::HandleGet<InternetObject>(hInternet);
    if (!object) return Failed(ERROR_INVALID_HANDLE);
    if (lpdwBufferLength == nullptr) return Failed(ERROR_INVALID_PARAMETER);
    std::atomic<DWORD> *slot = TimeoutOption(*object, dwOption);
    if (slot == nullptr) return Failed(ERROR_INTERNET_INVALID_OPTION);
    if (lpBuffer == nullptr || *lpdwBufferLength < sizeof(DWORD)) {
        *lpdwBufferLength = sizeof(DWORD);
        return Failed(ERROR_INSUFFICIENT_BUFFER);
    }
    DWORD value = slot->load();
    memcpy(lpBuffer, &value, sizeof value);
    *lpdwBufferLength = sizeof(DWORD);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

PLATAPI BOOL InternetCloseHandle(HINTERNET hInternet) {
    if (!vplat::HandleGet<InternetObject>(hInternet) || !vplat::HandleClose(hInternet))
        return Failed(ERROR_INVALID_HANDLE);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

}  // extern "C"
