// One HTTP request behind a request handle, carried out by libcurl.
//
// Contract: the transfer calls (Send, BeginSend, Write, EndSend,
// QueryAvailable, Read) run on the caller's thread and drive curl's multi
// interface there, one call at a time; curl's handles are touched by no
// other thread. The response body is streamed: curl's write callback fills
// a bounded buffer and pauses the transfer when it is full, so memory stays
// small whatever the body's size. A body sent in pieces is fed the same way
// through curl's read callback, which pauses until the next piece arrives.
// Close may run on any thread: it raises a cancel flag and wakes curl's
// poll, so that a call blocked in the transfer returns promptly with
// ERROR_INTERNET_OPERATION_CANCELLED; the object lives on until that call
// has let go of it. Response headers are kept under their own lock, so
// QueryInfo never waits for the network. Every call returns 0 or an error
// number.
#ifndef VPLATFORM_HTTPREQUEST_H
#define VPLATFORM_HTTPREQUEST_H

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "wininetobject.h"

namespace vplat {

struct HttpRequestSetup {
    std::string agent;
    std::string host;
    INTERNET_PORT port = 0;
    bool secure = false;
    std::string verb;
    std::string target;
    bool http10 = false;
    std::string referrer;
    std::string accept;  // joined accept types, empty for none
};

class HttpRequest : public InternetObject {
public:
    typedef std::vector<std::pair<std::string, std::string>> HeaderList;

    explicit HttpRequest(HttpRequestSetup setup);
    ~HttpRequest() override;
    HttpRequest(const HttpRequest &) = delete;
    HttpRequest &operator=(const HttpRequest &) = delete;

    // False when curl could not make its handles.
    bool Valid() const { return m_easy != nullptr && m_multi != nullptr; }

    // Adds CRLF- (or CR- or LF-) separated "Name: value" lines before the
    // request is sent.
    DWORD AddHeaders(const std::u16string &text, DWORD modifiers);
    // Sends the request with its whole body and waits for the response head.
    DWORD Send(const void *body, size_t length);
    // Starts the request with a body of `total` bytes (UINT64_MAX: unknown,
    // sent chunked) that Write delivers and EndSend completes.
    DWORD BeginSend(uint64_t total);
    DWORD Write(const void *data, size_t length);
    // Ends the body and waits for the response head.
    DWORD EndSend();
    // Bytes of the body ready to read, waiting for some; 0 at the end.
    DWORD QueryAvailable(DWORD *available);
    // Reads until `length` bytes or the end of the body.
    DWORD Read(void *buffer, DWORD length, DWORD *read);

    // The final response's head; false before it has arrived.
    bool ResponseStatus(DWORD *status, std::string *reason) const;
    // The index-th value of a response header (case-insensitive name).
    DWORD ResponseHeader(const std::string &name, DWORD index, std::string *value) const;

    void Close() override;

private:
    enum class Phase { Open, Sending, Receiving };

    static size_t OnHeader(char *data, size_t size, size_t count, void *self);
    static size_t OnWrite(char *data, size_t size, size_t count, void *self);
    static size_t OnRead(char *buffer, size_t size, size_t count, void *self);

    DWORD Start(uint64_t total);
    DWORD WaitForHead();
    template <class Done>
    DWORD Drive(Done done);
    DWORD TransferError() const;
    void UpdatePause();
    size_t Buffered() const { return m_download.size() - m_downloadPos; }
    DWORD Fail(DWORD error);

    HttpRequestSetup m_setup;
    CURL *m_easy = nullptr;
    CURLM *m_multi = nullptr;
    curl_slist *m_curlHeaders = nullptr;
    std::string m_url;
    std::string m_trustStore;
    char m_curlMessage[CURL_ERROR_SIZE] = {};

    std::mutex m_callLock;  // one transfer call at a time
    std::atomic<bool> m_cancelled{false};
    Phase m_phase = Phase::Open;
    HeaderList m_requestHeaders;
    DWORD m_failure = 0;  // sticky: once the transfer broke, every call fails
    bool m_done = false;
    CURLcode m_result = CURLE_OK;
    std::chrono::steady_clock::time_point m_lastActivity;

    // Body going out.
    std::string m_upload;
    size_t m_uploadPos = 0;
    bool m_uploadEnded = false;
    uint64_t m_uploadTotal = 0;
    uint64_t m_uploadGiven = 0;
    bool m_sendPaused = false;

    // Body coming in.
    std::string m_download;
    size_t m_downloadPos = 0;
    bool m_receivePaused = false;

    // Response head, read by other threads through the accessors.
    mutable std::mutex m_headLock;
    bool m_headComplete = false;
    bool m_inHead = false;
    DWORD m_status = 0;
    std::string m_reason;
    HeaderList m_responseHeaders;
};

// The platform error number for a failed transfer, from curl's result, the
// certificate verification result and curl's message.
DWORD InternetErrorFromCurl(CURLcode code, long verifyResult, const char *message);

}  // namespace vplat

#endif
