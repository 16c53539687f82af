// DWinMobSocketTransfer: one send of DWinMobThreadedSocket, shared by the
// worker thread that runs it and the engine thread that started it. Both
// hold it (shared ownership), and it owns everything the worker touches:
// the body copy, its own handle on the response file, its log and its
// results. So a worker that will not stop can be abandoned at any moment
// without waiting for it and without freeing anything it still uses.
//
// The worker sends the request body (in pieces above 64 KB), appends the
// response to the response file in reads of at most 2048 bytes, queries
// status, content type and content length, publishes its results and then
// calls its end function once. It never logs (its lines collect in the
// transfer's own log) and never calls into the engine's objects: the
// progress and end functions only post to the engine's thread.
//
// The lock guards only the log and the results, and is never held across
// a network call, a file write or a notification. Once Detach has run the
// worker starts no further write and reports no further progress.
#ifndef QV_DWINMOBSOCKETTRANSFER_H
#define QV_DWINMOBSOCKETTRANSFER_H

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "DErrorCode.h"
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
    // sequence: the socket's number of this send, which its posts carry.
    DWinMobSocketTransfer(uint64_t sequence, HINTERNET request);
    DWinMobSocketTransfer(const DWinMobSocketTransfer &) = delete;
    DWinMobSocketTransfer &operator=(const DWinMobSocketTransfer &) = delete;

    uint64_t GetSequence() const { return m_sequence; }

    // Before the worker starts (engine thread).
    std::vector<uint8_t> &Body() { return m_body; }
    // Opens a handle of the transfer's own on the file that response names,
    // for reading and writing, at its end. response must be closed (a file
    // open for writing admits no second handle).
    DErrorCode OpenResponse(const VFile &response);
    // progress: called (worker thread) when new response bytes were written
    // and no earlier call is still unanswered (TakeProgress answers it).
    // ended: called once (worker thread) after the results are published.
    void SetNotify(std::function<void()> progress, std::function<void()> ended) {
        m_progressNotify = std::move(progress);
        m_endNotify = std::move(ended);
    }

    // The whole transfer; runs on the worker's thread.
    void Run();

    // Engine thread. Asks the worker to stop at its next check.
    void RequestCancel() { m_cancel = true; }
    // The worker writes nothing more and reports no more progress; results
    // already published stay readable. Never waits for the worker.
    void Detach() { m_detached = true; }
    bool IsDetached() const { return m_detached.load(); }
    // True once the worker published its results.
    bool IsFinished() const { return m_finished.load(); }
    // The published results (false before the worker finished).
    bool TakeResults(DWinMobSocketResults *out);
    // The lines collected so far, which are removed.
    std::string TakeLog();
    // The response bytes written so far; answers the progress call.
    uint32_t TakeProgress();
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

    const uint64_t m_sequence;
    const HINTERNET m_request;
    std::vector<uint8_t> m_body;
    // Worker thread only once it runs.
    VFile m_response;
    std::function<void()> m_progressNotify;
    std::function<void()> m_endNotify;
    std::atomic<bool> m_cancel;
    std::atomic<bool> m_detached;
    std::atomic<bool> m_finished;
    std::atomic<uint64_t> m_lastProgress;
    std::atomic<uint32_t> m_written;
    // A progress call is out and not yet answered by TakeProgress.
    std::atomic<bool> m_progressPosted;
    bool m_delivered;

    std::mutex m_lock;
    std::string m_log;
    DWinMobSocketResults m_results;
};

#endif
