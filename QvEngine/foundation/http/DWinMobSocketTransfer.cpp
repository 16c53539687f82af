#include "DWinMobSocketTransfer.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <vector>

#include "WinInetErrorText.h"
#include "winerror.h"
#include "winthread.h"
#include "wintime.h"

namespace {

// The content type is read into a 256-byte wide buffer first.
constexpr DWORD kContentTypeUnits = 128;
// A pending answer is asked for again after this many milliseconds.
constexpr DWORD kPendingRetryMs = 50;

// A text query of the response head. A value too long for the first
// buffer is asked for again in one of the size the call names, so that no
// length reads as absent.
BOOL QueryText(HINTERNET request, DWORD level, std::u16string *value) {
    std::vector<WCHAR> buffer(kContentTypeUnits);
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD size = DWORD(buffer.size() * sizeof(WCHAR));
        if (HttpQueryInfoW(request, level, buffer.data(), &size, nullptr)) {
            value->assign(buffer.data(), size / sizeof(WCHAR));
            return TRUE;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
        buffer.assign(size / sizeof(WCHAR) + 1, 0);
    }
    return FALSE;
}

}  // namespace

DWinMobSocketTransfer::DWinMobSocketTransfer(uint64_t sequence, HINTERNET request)
    : m_sequence(sequence),
      m_request(request),
      m_cancel(false),
      m_detached(false),
      m_finished(false),
      m_lastProgress(vplat::ClockTickCount64()),
      m_written(0),
      m_progressPosted(false),
      m_delivered(false) {}

DErrorCode DWinMobSocketTransfer::OpenResponse(const VFile &response) {
    DErrorCode err = m_response.CopyFileName(response);
    if (err == kNoError) err = m_response.Open(kVFileReadWrite);
    if (err == kNoError) err = m_response.Seek(kVFileSeekEnd, 0);
    if (err != kNoError) m_response.Close();
    return err;
}

void DWinMobSocketTransfer::MarkProgress() { m_lastProgress = vplat::ClockTickCount64(); }

void DWinMobSocketTransfer::Log(const char *text, uint32_t number, bool hex) {
    char value[24];
    std::snprintf(value, sizeof value, hex ? " 0x%x\n" : " %u\n", unsigned(number));
    std::lock_guard<std::mutex> hold(m_lock);
    try {
        m_log += text;
        m_log += value;
    } catch (const std::bad_alloc &) {
        // The log is diagnostics only.
    }
}

DErrorCode DWinMobSocketTransfer::Failure(const char *context) {
    const DWORD error = GetLastError();
    const WinInetErrorEntry entry = MapWinInetError(error);
    Log(FormatWinInetError(context, error, entry.text).c_str(), entry.code, true);
    return entry.code;
}

void DWinMobSocketTransfer::Run() {
    const uint32_t length = uint32_t(m_body.size());
    DWinMobSocketResults results;
    DErrorCode err = Send(length);
    if (err == kNoError) err = Receive(&results.bytesRead);
    if (err == kNoError) err = QueryResponse(&results);
    results.result = err;
    // The file is free for others before anyone hears of the end.
    m_response.Close();
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_results = std::move(results);
    }
    m_finished = true;
    if (m_endNotify) m_endNotify();
}

DErrorCode DWinMobSocketTransfer::Send(uint32_t length) {
    Log("-Send Request, length = ", length, false);
    const bool pieces = length > kSocketPieceSize;
    BOOL ok = FALSE;
    if (pieces) {
        INTERNET_BUFFERSW buffers = {};
        buffers.dwStructSize = sizeof buffers;
        buffers.dwBufferTotal = length;
        ok = HttpSendRequestExW(m_request, &buffers, nullptr, 0, 0);
    } else {
        ok = HttpSendRequestW(m_request, nullptr, 0, length != 0 ? m_body.data() : nullptr, length);
    }
    const DWORD sendError = GetLastError();
    Log("-HttpSendRequest return = ", uint32_t(ok), false);
    if (!ok) {
        SetLastError(sendError);
        return Failure("-HttpSendRequest error");
    }
    if (Canceled()) return generalErrCanceled;
    if (!pieces) return kNoError;

    for (uint32_t sent = 0; sent < length;) {
        if (Canceled()) return generalErrCanceled;
        const DWORD piece = std::min(kSocketPieceSize, length - sent);
        DWORD written = 0;
        // A failed piece ends the transfer without ending the request.
        if (!InternetWriteFile(m_request, m_body.data() + sent, piece, &written))
            return Failure("-InternetWriteFile error");
        sent += piece;
        MarkProgress();
    }
    if (!HttpEndRequestW(m_request, nullptr, 0, 0)) return Failure("-HttpEndRequest error");
    return kNoError;
}

DErrorCode DWinMobSocketTransfer::Append(const uint8_t *data, uint32_t count, uint32_t total) {
    // Let go by the engine thread: nothing more is written.
    if (m_detached.load()) return generalErrCanceled;
    // No lock here: a write that blocks (slow storage) holds up no one but
    // this worker, and the file is the transfer's own.
    uint32_t written = 0;
    DErrorCode err = m_response.Write(count, data, &written);
    if (err == kNoError && written != count) err = vfileErrOutOfStorageSpace;
    if (err != kNoError) return err;
    m_written = total;
    // One call out at a time; it carries whatever is latest when answered.
    if (!m_detached.load() && m_progressNotify && !m_progressPosted.exchange(true)) m_progressNotify();
    return kNoError;
}

uint32_t DWinMobSocketTransfer::TakeProgress() {
    // Cleared before the count is read, so a later write posts again.
    m_progressPosted = false;
    return m_written.load();
}

DErrorCode DWinMobSocketTransfer::Receive(uint32_t *bytesRead) {
    uint8_t *buffer = new (std::nothrow) uint8_t[kSocketReadSize];
    if (buffer == nullptr) return generalErrMemoryError;
    DErrorCode err = kNoError;
    uint32_t total = 0;
    bool done = false;
    while (err == kNoError && !done) {
        DWORD available = 0;
        if (!InternetQueryDataAvailable(m_request, &available, 0, 0)) {
            if (GetLastError() == ERROR_IO_PENDING) {
                Sleep(kPendingRetryMs);
                if (Canceled()) err = generalErrCanceled;
                continue;
            }
            err = Failure("-InternetQueryDataAvailable error");
            break;
        }
        DWORD got = 0;
        do {
            DWORD read = 0;
            const DWORD want = std::min<DWORD>(available - got, kSocketReadSize);
            if (!InternetReadFile(m_request, buffer, want, &read)) {
                err = Failure("-InternetReadFile error");
            } else {
                Log("-InternetReadFile bytes read = ", read, false);
                if (read == 0) {
                    // Nothing announced and nothing read: the end. A short
                    // answer ends reading too, without an error.
                    if (available != 0) Log("-InternetReadFile should have byte count = ", got, false);
                    done = true;
                } else {
                    got += read;
                    total += read;
                    // Stamped before the progress is reported, so that an
                    // engine that sees the progress never sees an old stamp.
                    MarkProgress();
                    err = Append(buffer, read, total);
                    if (err != kNoError) Log("-Error adding response data ", err, true);
                }
            }
            if (err == kNoError && Canceled()) err = generalErrCanceled;
        } while (err == kNoError && !done && got < available);
    }
    delete[] buffer;
    *bytesRead = total;
    return err;
}

DErrorCode DWinMobSocketTransfer::QueryResponse(DWinMobSocketResults *results) {
    DWORD status = 0;
    DWORD size = sizeof status;
    const BOOL ok = HttpQueryInfoW(m_request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr);
    if (Canceled()) return generalErrCanceled;
    if (!ok) {
        Log("-Unable to retrieve http status header ", httpErrUnknownResponse, true);
        return httpErrUnknownResponse;
    }
    Log("-Http response status = ", status, false);
    results->status = status;
    if (status == 100) {
        Log("-100 Continue status (Error) ", kHTTPContinueStatusError, true);
        return kHTTPContinueStatusError;
    }
    // Any other 2xx answer is a success too (the session reports it so),
    // and its body comes with a type and a length like a 200's.
    if (status < 200 || status > 299) return httpErrRequestFailed;

    std::u16string type;
    BOOL typeFound = FALSE;
    try {
        typeFound = QueryText(m_request, HTTP_QUERY_CONTENT_TYPE, &type);
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    Log("-ContentType header found = ", uint32_t(typeFound), false);
    if (Canceled()) return generalErrCanceled;
    if (typeFound) {
        results->hasContentType = true;
        results->contentType.swap(type);
    }
    DWORD contentLength = 0;
    DWORD lengthSize = sizeof contentLength;
    if (!HttpQueryInfoW(m_request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &contentLength, &lengthSize,
                        nullptr))
        contentLength = 0;
    Log("-ContentLen header = ", contentLength, false);
    if (Canceled()) return generalErrCanceled;
    results->contentLength = contentLength;
    return status == 200 ? kNoError : httpErrRequestFailed;
}

bool DWinMobSocketTransfer::TakeResults(DWinMobSocketResults *out) {
    if (!m_finished.load()) return false;
    std::lock_guard<std::mutex> hold(m_lock);
    *out = m_results;
    return true;
}

std::string DWinMobSocketTransfer::TakeLog() {
    std::lock_guard<std::mutex> hold(m_lock);
    std::string log;
    log.swap(m_log);
    return log;
}
