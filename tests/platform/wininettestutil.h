// Helpers for the Internet call tests: one request's handles, closed in
// order, and the worker's way of reading a response.
#ifndef VTEST_WININETTESTUTIL_H
#define VTEST_WININETTESTUTIL_H

#include <string>

#include "winerror.h"
#include "wininet.h"

// The flag word the engine opens its requests with.
const DWORD kEngineRequestFlags = 0x806CC200;

struct TestInternetRequest {
    HINTERNET session = nullptr;
    HINTERNET connect = nullptr;
    HINTERNET request = nullptr;
    DWORD openError = 0;

    TestInternetRequest(const char16_t *host, unsigned short port, const char16_t *verb, const char16_t *target,
                        DWORD flags = kEngineRequestFlags) {
        session = InternetOpenW(u"QV-WinMo-Agent", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
        connect = InternetConnectW(session, host, port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
        request = HttpOpenRequestW(connect, verb, target, nullptr, nullptr, nullptr, flags, 0);
        if (request == nullptr) openError = GetLastError();
    }
    ~TestInternetRequest() {
        if (request != nullptr) InternetCloseHandle(request);
        if (connect != nullptr) InternetCloseHandle(connect);
        if (session != nullptr) InternetCloseHandle(session);
    }
    TestInternetRequest(const TestInternetRequest &) = delete;
    TestInternetRequest &operator=(const TestInternetRequest &) = delete;

    // Sends with the whole body; 0 or the call's last error.
    DWORD Send(const std::string &body = std::string()) {
        BOOL ok = HttpSendRequestW(request, nullptr, 0, body.empty() ? nullptr : const_cast<char *>(body.data()),
                                   static_cast<DWORD>(body.size()));
        return ok ? 0 : GetLastError();
    }

    // Reads the body as the transfer worker does (announced amount, then
    // reads of at most 2048 bytes). Returns 0 or the first failure; the
    // largest announced amount goes to *largestAnnounced.
    DWORD ReadAll(std::string *body, DWORD *largestAnnounced = nullptr) {
        char buffer[2048];
        for (;;) {
            DWORD available = 0;
            if (!InternetQueryDataAvailable(request, &available, 0, 0)) return GetLastError();
            if (largestAnnounced != nullptr && available > *largestAnnounced) *largestAnnounced = available;
            if (available == 0) return 0;
            while (available > 0) {
                DWORD want = available < sizeof buffer ? available : static_cast<DWORD>(sizeof buffer);
                DWORD got = 0;
                if (!InternetReadFile(request, buffer, want, &got)) return GetLastError();
                if (got == 0) return 0;
                body->append(buffer, got);
                available -= got;
            }
        }
    }

    // A text query; 0 or the call's last error.
    DWORD QueryText(DWORD level, std::u16string *value, const char16_t *customName = nullptr) {
        char16_t buffer[512] = {};
        if (customName != nullptr) {
            std::u16string name(customName);
            std::char_traits<char16_t>::copy(buffer, name.c_str(), name.size() + 1);
        }
        DWORD size = sizeof buffer;
        if (!HttpQueryInfoW(request, level, buffer, &size, nullptr)) return GetLastError();
        value->assign(buffer, size / sizeof(char16_t));
        return 0;
    }

    DWORD QueryNumber(DWORD level, DWORD *value) {
        DWORD size = sizeof *value;
        return HttpQueryInfoW(request, level | HTTP_QUERY_FLAG_NUMBER, value, &size, nullptr) ? 0 : GetLastError();
    }
};

#endif
