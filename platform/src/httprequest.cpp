// The transfer of one HTTP request over libcurl (httprequest.h).
#include "httprequest.h"

#include <algorithm>
#include <cstring>

#include "devicetrust.h"
#include "winerror.h"

namespace vplat {
namespace {

// What the write callback keeps before it pauses the transfer.
const size_t kBufferCap = 64 * 1024;
// Longest single wait in curl's poll when no time-out is nearer. A close
// wakes the poll at once (curl_multi_wakeup), so this is only a backstop.
const int kPollSliceMs = 5000;

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool SameName(const std::string &a, const std::string &b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string Trim(const std::string &text) {
    size_t b = text.find_first_not_of(" \t");
    if (b == std::string::npos) return std::string();
    size_t e = text.find_last_not_of(" \t");
    return text.substr(b, e - b + 1);
}

// Header names are HTTP tokens.
bool ValidName(const std::string &name) {
    if (name.empty()) return false;
    for (unsigned char c : name) {
        if (c <= 0x20 || c >= 0x7F || std::strchr("()<>@,;:\\\"/[]?={}", c) != nullptr) return false;
    }
    return true;
}

bool ValidValue(const std::string &value) {
    for (unsigned char c : value) {
        if ((c < 0x20 && c != '\t') || c == 0x7F) return false;
    }
    return true;
}

bool HasHeader(const HttpRequest::HeaderList &list, const std::string &name) {
    return std::any_of(list.begin(), list.end(), [&](const auto &h) { return SameName(h.first, name); });
}

}  // namespace

HttpRequest::HttpRequest(HttpRequestSetup setup) : InternetObject(Kind::Request), m_setup(std::move(setup)) {
    GlobalInit();
    m_easy = curl_easy_init();
    m_multi = curl_multi_init();
}

HttpRequest::~HttpRequest() {
    if (m_multi != nullptr && m_easy != nullptr) curl_multi_remove_handle(m_multi, m_easy);
    if (m_easy != nullptr) curl_easy_cleanup(m_easy);
    if (m_multi != nullptr) curl_multi_cleanup(m_multi);
    curl_slist_free_all(m_curlHeaders);
}

void HttpRequest::Close() {
    m_cancelled = true;
    // Safe from any thread; a worker in curl_multi_poll wakes at once.
    if (m_multi != nullptr) curl_multi_wakeup(m_multi);
    InternetObject::Close();
}

DWORD HttpRequest::Fail(DWORD error) {
    if (m_failure == 0) m_failure = error;
    return m_failure;
}

DWORD HttpRequest::AddHeaders(const std::u16string &text, DWORD modifiers) {
    std::string bytes;
    if (!WideToLatin1(text.data(), text.size(), &bytes)) return ERROR_HTTP_INVALID_HEADER;
    HeaderList parsed;
    size_t pos = 0;
    while (pos <= bytes.size()) {
        size_t end = bytes.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(pos, end - pos);
        pos = end + 1;
        if (Trim(line).empty()) continue;
        size_t colon = line.find(':');
        if (colon == std::string::npos) return ERROR_HTTP_INVALID_HEADER;
        std::string name = Trim(line.substr(0, colon));
        std::string value = Trim(line.substr(colon + 1));
        if (!ValidName(name) || !ValidValue(value)) return ERROR_HTTP_INVALID_HEADER;
        parsed.emplace_back(std::move(name), std::move(value));
    }
    std::lock_guard<std::mutex> guard(m_callLock);
    if (m_phase != Phase::Open) return ERROR_INTERNET_INCORRECT_HANDLE_STATE;
    for (auto &header : parsed) {
        auto found = std::find_if(m_requestHeaders.begin(), m_requestHeaders.end(),
                                  [&](const auto &h) { return SameName(h.first, header.first); });
        if (modifiers & HTTP_ADDREQ_FLAG_REPLACE) {
            if (found == m_requestHeaders.end()) {
                if (!(modifiers & HTTP_ADDREQ_FLAG_ADD)) return ERROR_HTTP_HEADER_NOT_FOUND;
                if (!header.second.empty()) m_requestHeaders.push_back(header);
                continue;
            }
            // The first keeps its place; its duplicates go.
            size_t at = static_cast<size_t>(found - m_requestHeaders.begin());
            m_requestHeaders[at].second = header.second;
            for (size_t i = m_requestHeaders.size(); i-- > at + 1;) {
                if (SameName(m_requestHeaders[i].first, header.first))
                    m_requestHeaders.erase(m_requestHeaders.begin() + i);
            }
            if (header.second.empty()) m_requestHeaders.erase(m_requestHeaders.begin() + at);
        } else if ((modifiers & HTTP_ADDREQ_FLAG_ADD_IF_NEW) && found != m_requestHeaders.end()) {
            return ERROR_HTTP_HEADER_ALREADY_EXISTS;
        } else {
            m_requestHeaders.push_back(header);
        }
    }
    return 0;
}

DWORD HttpRequest::Start(uint64_t total) {
    bool hasBody = total != 0 || m_uploadEnded == false || m_setup.verb == "POST" || m_setup.verb == "PUT";
    if (m_setup.secure && !DeviceTrustStorePath(&m_trustStore)) return Fail(ERROR_INTERNET_SECURITY_CHANNEL_ERROR);

    std::string host = m_setup.host.find(':') != std::string::npos ? "[" + m_setup.host + "]" : m_setup.host;
    unsigned port = m_setup.port != 0 ? m_setup.port : (m_setup.secure ? 443 : 80);
    m_url = std::string(m_setup.secure ? "https://" : "http://") + host + ":" + std::to_string(port) + "/";

    CURL *e = m_easy;
    curl_easy_setopt(e, CURLOPT_URL, m_url.c_str());
    curl_easy_setopt(e, CURLOPT_REQUEST_TARGET, m_setup.target.c_str());
    curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, m_setup.verb.c_str());
    if (m_setup.verb == "HEAD") curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    long version = m_setup.http10 ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1;
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION, version);
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_PROXY, "");  // never the environment's proxy
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(e, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, m_curlMessage);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    if (m_setup.secure) {
        curl_easy_setopt(e, CURLOPT_CAINFO, m_trustStore.c_str());
        curl_easy_setopt(e, CURLOPT_CAPATH, nullptr);
    }
    DWORD connect = connectTimeout;
    if (connect != 0 && connect != 0xFFFFFFFF)
        curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connect));
    if (!m_setup.agent.empty()) curl_easy_setopt(e, CURLOPT_USERAGENT, m_setup.agent.c_str());
    if (!m_setup.referrer.empty()) curl_easy_setopt(e, CURLOPT_REFERER, m_setup.referrer.c_str());

    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &HttpRequest::OnHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &HttpRequest::OnWrite);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
    if (hasBody) {
        curl_easy_setopt(e, CURLOPT_POST, 1L);
        curl_easy_setopt(e, CURLOPT_READFUNCTION, &HttpRequest::OnRead);
        curl_easy_setopt(e, CURLOPT_READDATA, this);
        curl_off_t size = total == UINT64_MAX ? -1 : static_cast<curl_off_t>(total);
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, size);
    }

    // The caller's headers in its order; curl's own defaults that the
    // device does not send are switched off unless the caller set them.
    if (!m_setup.accept.empty() && !HasHeader(m_requestHeaders, "Accept"))
        m_curlHeaders = curl_slist_append(m_curlHeaders, ("Accept: " + m_setup.accept).c_str());
    for (const auto &h : m_requestHeaders) {
        std::string line = h.second.empty() ? h.first + ";" : h.first + ": " + h.second;
        m_curlHeaders = curl_slist_append(m_curlHeaders, line.c_str());
    }
    if (!HasHeader(m_requestHeaders, "Expect")) m_curlHeaders = curl_slist_append(m_curlHeaders, "Expect:");
    if (m_setup.accept.empty() && !HasHeader(m_requestHeaders, "Accept"))
        m_curlHeaders = curl_slist_append(m_curlHeaders, "Accept:");
    if (hasBody && !HasHeader(m_requestHeaders, "Content-Type"))
        m_curlHeaders = curl_slist_append(m_curlHeaders, "Content-Type:");
    if (m_curlHeaders == nullptr) return Fail(ERROR_NOT_ENOUGH_MEMORY);
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, m_curlHeaders);

    m_uploadTotal = total;
    if (curl_multi_add_handle(m_multi, e) != CURLM_OK) return Fail(ERROR_INTERNET_INTERNAL_ERROR);
    return 0;
}

template <class Done>
DWORD HttpRequest::Drive(Done done) {
    // Time-outs measure silence within this call.
    m_lastActivity = std::chrono::steady_clock::now();
    for (;;) {
        if (m_cancelled) return Fail(ERROR_INTERNET_OPERATION_CANCELLED);
        int running = 0;
        if (curl_multi_perform(m_multi, &running) != CURLM_OK) return Fail(ERROR_INTERNET_INTERNAL_ERROR);
        int queued = 0;
        while (CURLMsg *msg = curl_multi_info_read(m_multi, &queued)) {
            if (msg->msg == CURLMSG_DONE) {
                m_done = true;
                m_result = msg->data.result;
            }
        }
        if (m_cancelled) return Fail(ERROR_INTERNET_OPERATION_CANCELLED);
        if (done() || m_done) return 0;

        bool sending = !m_uploadEnded || m_uploadPos < m_upload.size();
        DWORD limit = sending ? sendTimeout : receiveTimeout;
        int wait = kPollSliceMs;
        if (limit != 0 && limit != 0xFFFFFFFF) {
            auto silent = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                                m_lastActivity)
                              .count();
            if (silent >= static_cast<long long>(limit)) return Fail(ERROR_INTERNET_TIMEOUT);
            wait = static_cast<int>(std::min<long long>(wait, static_cast<long long>(limit) - silent));
        }
        if (curl_multi_poll(m_multi, nullptr, 0, wait, nullptr) != CURLM_OK) return Fail(ERROR_INTERNET_INTERNAL_ERROR);
    }
}

DWORD HttpRequest::TransferError() const {
    if (m_result == CURLE_OK) return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    long verify = 0;
    curl_easy_getinfo(m_easy, CURLINFO_SSL_VERIFYRESULT, &verify);
    return InternetErrorFromCurl(m_result, verify, m_curlMessage);
}

void HttpRequest::UpdatePause() {
    if (m_done) return;
    int bits = (m_sendPaused ? CURLPAUSE_SEND : 0) | (m_receivePaused ? CURLPAUSE_RECV : 0);
    curl_easy_pause(m_easy, bits);
}

DWORD HttpRequest::WaitForHead() {
    DWORD error = Drive([this] { return m_headComplete; });
    if (error != 0) return error;
    if (!m_headComplete) return Fail(TransferError());
    m_phase = Phase::Receiving;
    return 0;
}

DWORD HttpRequest::Send(const void *body, size_t length) {
    std::lock_guard<std::mutex> guard(m_callLock);
    if (m_failure != 0) return m_failure;
    if (m_phase != Phase::Open) return ERROR_INTERNET_INCORRECT_HANDLE_STATE;
    if (length > 0) m_upload.assign(static_cast<const char *>(body), length);
    m_uploadEnded = true;
    m_uploadGiven = length;
    m_phase = Phase::Sending;
    DWORD error = Start(length);
    return error != 0 ? error : WaitForHead();
}

DWORD HttpRequest::BeginSend(uint64_t total) {
    std::lock_guard<std::mutex> guard(m_callLock);
    if (m_failure != 0) return m_failure;
    if (m_phase != Phase::Open) return ERROR_INTERNET_INCORRECT_HANDLE_STATE;
    m_phase = Phase::Sending;
    DWORD error = Start(total);
    if (error != 0) return error;
    // Returns once the head has gone out and curl asks for the body, so
    // that a server that cannot be reached fails here.
    error = Drive([this] { return m_sendPaused || m_headComplete; });
    if (error != 0) return error;
    if (m_done && !m_headComplete) return Fail(TransferError());
    return 0;
}

DWORD HttpRequest::Write(const void *data, size_t length) {
    std::lock_guard<std::mutex> guard(m_callLock);
    if (m_failure != 0) return m_failure;
    if (m_phase != Phase::Sending || m_uploadEnded) return ERROR_INTERNET_INCORRECT_HANDLE_STATE;
    if (m_uploadTotal != UINT64_MAX && length > m_uploadTotal - m_uploadGiven) return ERROR_INVALID_PARAMETER;
    if (m_headComplete) return 0;  // the server already answered; the rest is not wanted
    m_upload.append(static_cast<const char *>(data), length);
    m_uploadGiven += length;
    m_sendPaused = false;
    UpdatePause();
    DWORD error = Drive([this] { return m_upload.empty() || m_headComplete; });
    if (error != 0) return error;
    if (m_done && !m_headComplete && !m_upload.empty()) return Fail(TransferError());
    return 0;
}

DWORD HttpRequest::EndSend() {
    std::lock_guard<std::mutex> guard(m_callLock);
    if (m_failure != 0) return m_failure;
    if (m_phase != Phase::Sending || m_uploadEnded) return ERROR_INTERNET_INCORRECT_HANDLE_STATE;
    // A body shorter than announced would leave the server waiting.
    if (m_uploadTotal != UINT64_MAX && m_uploadGiven < m_uploadTotal && !m_headComplete) return ERROR_INVALID_PARAMETER;
    m_uploadEnded = true;
    m_sendPaused = false;
    UpdatePause();
    return WaitForHead();
}

DWORD HttpRequest::QueryAvailable(DWORD *available) {
    std::lock_guard<std::mutex> guard(m_callLock);
    if (m_failure != 0) return m_failure;
    if (m_phase != Phase::Receiving) return ERROR_INTERNET_INCORRECT_HANDLE_STATE;
    if (Buffered() == 0 && !m_done) {
        m_receivePaused = false;
        UpdatePause();
        DWORD error = Drive([this] { return Buffered() > 0; });
        if (error != 0) return error;
    }
    if (Buffered() == 0 && m_done && m_result != CURLE_OK) return TransferError();
    *available = static_cast<DWORD>(std::min<size_t>(Buffered(), 0xFFFFFFFF));
    return 0;
}

DWORD HttpRequest::Read(void *buffer, DWORD length, DWORD *read) {
    std::lock_guard<std::mutex> guard(m_callLock);
    *read = 0;
    if (m_failure != 0) return m_failure;
    if (m_phase != Phase::Receiving) return ERROR_INTERNET_INCORRECT_HANDLE_STATE;
    char *out = static_cast<char *>(buffer);
    DWORD got = 0;
    for (;;) {
        size_t take = std::min<size_t>(length - got, Buffered());
        memcpy(out + got, m_download.data() + m_downloadPos, take);
        got += static_cast<DWORD>(take);
        m_downloadPos += take;
        if (m_downloadPos == m_download.size()) {
            m_download.clear();
            m_downloadPos = 0;
        }
        if (got == length) break;
        if (m_done) {
            if (got == 0 && m_result != CURLE_OK) return TransferError();
            break;
        }
        m_receivePaused = false;
        UpdatePause();
        DWORD error = Drive([this] { return Buffered() > 0; });
        if (error != 0) {
            if (got > 0) break;  // what arrived is delivered; the failure stays for the next call
            return error;
        }
    }
    *read = got;
    return 0;
}

bool HttpRequest::ResponseStatus(DWORD *status, std::string *reason) const {
    std::lock_guard<std::mutex> guard(m_headLock);
    if (!m_headComplete) return false;
    *status = m_status;
    *reason = m_reason;
    return true;
}

DWORD HttpRequest::ResponseHeader(const std::string &name, DWORD index, std::string *value) const {
    std::lock_guard<std::mutex> guard(m_headLock);
    if (!m_headComplete) return ERROR_INTERNET_INCORRECT_HANDLE_STATE;
    DWORD seen = 0;
    for (const auto &h : m_responseHeaders) {
        if (!SameName(h.first, name)) continue;
        if (seen++ == index) {
            *value = h.second;
            return 0;
        }
    }
    return ERROR_HTTP_HEADER_NOT_FOUND;
}

size_t HttpRequest::OnHeader(char *data, size_t size, size_t count, void *self) {
    HttpRequest *r = static_cast<HttpRequest *>(self);
    size_t n = size * count;
    r->m_lastActivity = std::chrono::steady_clock::now();
    std::string line(data, n);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    std::lock_guard<std::mutex> guard(r->m_headLock);
    if (r->m_headComplete) return n;  // trailers of a chunked body
    if (line.compare(0, 5, "HTTP/") == 0) {
        // Each status line starts a new head: only the final answer's
        // headers stay (an interim 1xx answer is dropped).
        size_t sp = line.find(' ');
        DWORD status = 0;
        std::string reason;
        if (sp != std::string::npos) {
            size_t p = sp + 1;
            while (p < line.size() && line[p] >= '0' && line[p] <= '9' && status < 1000)
                status = status * 10 + static_cast<DWORD>(line[p++] - '0');
            if (p < line.size() && line[p] == ' ') reason = line.substr(p + 1);
        }
        r->m_status = status;
        r->m_reason = reason;
        r->m_responseHeaders.clear();
        r->m_inHead = true;
    } else if (line.empty()) {
        if (r->m_inHead && r->m_status >= 200) r->m_headComplete = true;
        r->m_inHead = false;
    } else if ((line[0] == ' ' || line[0] == '\t') && !r->m_responseHeaders.empty()) {
        r->m_responseHeaders.back().second += " " + Trim(line);
    } else {
        size_t colon = line.find(':');
        if (colon != std::string::npos)
            r->m_responseHeaders.emplace_back(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
    }
    return n;
}

size_t HttpRequest::OnWrite(char *data, size_t size, size_t count, void *self) {
    HttpRequest *r = static_cast<HttpRequest *>(self);
    if (r->Buffered() >= kBufferCap) {
        r->m_receivePaused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    if (r->m_downloadPos > 0) {
        r->m_download.erase(0, r->m_downloadPos);
        r->m_downloadPos = 0;
    }
    r->m_download.append(data, size * count);
    r->m_lastActivity = std::chrono::steady_clock::now();
    return size * count;
}

size_t HttpRequest::OnRead(char *buffer, size_t size, size_t count, void *self) {
    HttpRequest *r = static_cast<HttpRequest *>(self);
    size_t left = r->m_upload.size() - r->m_uploadPos;
    if (left == 0) {
        if (r->m_uploadEnded) return 0;
        r->m_sendPaused = true;
        return CURL_READFUNC_PAUSE;
    }
    size_t take = std::min(left, size * count);
    memcpy(buffer, r->m_upload.data() + r->m_uploadPos, take);
    r->m_uploadPos += take;
    if (r->m_uploadPos == r->m_upload.size()) {
        r->m_upload.clear();
        r->m_uploadPos = 0;
    }
    r->m_lastActivity = std::chrono::steady_clock::now();
    return take;
}

}  // namespace vplat
