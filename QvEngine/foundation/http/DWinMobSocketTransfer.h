// DWinMobSocketTransfer: one transfer of DWinMobThreadedSocket, shared by
// the worker thread that runs it and the engine thread that started it.
// Both hold it (shared ownership), so a worker that will not stop can be
// abandoned without freeing anything it still uses.
//
// The worker sends the request body (in pieces above 64 KB), streams the
// response into the response file in reads of at most 2048 bytes, queries
// status, content type and content length, publishes its results and then
// calls the notify function once. It never logs: its lines collect in the
// transfer's own log.
//
// The lock guards what the engine thread may take away (the response file,
// the client) or read (results, the collected log); the worker never holds
// it while it blocks on the network. Once Detach has run, the worker no
// longer touches the response file or the client.
#ifndef QV_DWINMOBSOCKETTRANSFER_H
#define QV_DWINMOBSOCKETTRANSFER_H

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "DErrorCode.h"
#include "IThreadedSocketClient.h"
#include "VFile.h"
#include "wininet.h"

// Bodies above this go out in pieces of this size.
constexpr uint32_t kSocketPieceSize = 0x10000;
// The largest read of the response.
constexpr uint32_t kSocketReadSize = 2048;
// The result of a transfer answered with status 100 (an interim answer
// taken for the final one).
constexpr DErrorCode kHTTPContinueStatusError = QvErrorCode(0x0C, 0x0A);

// What a finished worker leaves behind.
struct DWinMobSocketResults {
    DErrorCode result = generalErrUnknownError;
    uint32_t status = 0;
    bool hasContentType = false;
    std::u16string contentType;
    uint32_t contentLength = 0;
    uint32_t bytesRead = 0;
};

class DWinMobSocketTransfer {
public:
    DWinMobSocketTransfer(HINTERNET request, VFile *response, IThreadedSocketClient *client);
    DWinMobSocketTransfer(const DWinMobSocketTransfer &) = delete;
    DWinMobSocketTransfer &operator=(const DWinMobSocketTransfer &) = delete;

    // Before the worker starts (engine thread).
    std::vector<uint8_t> &Body() { return m_body; }
    // Called once on the worker's thread after the results are published.
    void SetNotify(std::function<void()> notify) { m_notify = std::move(notify); }

    // The whole transfer; runs on the worker's thread.
    void Run();

    // Engine thread. Asks the worker to stop at its next check.
    void RequestCancel() { m_cancel = true; }
    // The response file and the client are let go; results already
    // published stay readable.
    void Detach();
    // True once the worker published its results.
    bool IsFinished() const { return m_finished.load(); }
    // The published results (false before the worker finished).
    bool TakeResults(DWinMobSocketResults *out);
    // The lines collected so far, which are removed.
    std::string TakeLog();
    // The device clock's tick of the last progress (start, a piece sent, a
    // read).
    uint64_t GetLastProgress() const { return m_lastProgress.load(); }
    void MarkProgress();

    // Engine thread only: whether the transfer's end was handed to the
    // client (it is, once per send).
    bool IsDelivered() const { return m_delivered; }
    void SetDelivered() { m_delivered = true; }

private:
    DErrorCode Send(uint32_t length);
    DErrorCode Receive(uint32_t *bytesRead);
    DErrorCode QueryResponse(DWinMobSocketResults *results);
    // Maps the thread's last error, logging the context and the mapped text.
    DErrorCode Failure(const char *context);
    DErrorCode Append(const uint8_t *data, uint32_t count, uint32_t total);
    void Log(const char *text, uint32_t number, bool hex);
    bool Canceled() const { return m_cancel.load(); }

    const HINTERNET m_request;
    std::vector<uint8_t> m_body;
    std::function<void()> m_notify;
    std::atomic<bool> m_cancel;
    std::atomic<bool> m_finished;
    std::atomic<uint64_t> m_lastProgress;
    bool m_delivered;

    std::mutex m_lock;
    VFile *m_response;
    IThreadedSocketClient *m_client;
    std::string m_log;
    DWinMobSocketResults m_results;
};

#endif
