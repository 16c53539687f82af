// DWinMobThreadedSocket: runs the blocking part of one HTTP exchange on a
// worker thread of its own, so that the engine's thread (which also runs the
// user interface) never waits on the network. One per request object,
// reused for every send; made and used on the engine's thread.
//
// SendAndRecv copies the body into memory, starts the worker and returns.
// Each send has a sequence number of its own. The worker posts its receive
// progress and its end, tagged with that number, to the engine's thread,
// where the client hears Socket_ReceiveProgress and, exactly once per send,
// Socket_TransferEnded. A post whose number is not the current send's, or
// that comes after the send was stopped, is dropped (and logged), so an old
// worker's end never passes for a later send's.
//
// A watchdog timer on the engine's thread ends a transfer that stays silent
// for the time-out: the worker only stamps an atomic last-progress time.
// When the watchdog fires it stops the worker (a cancel flag and closing the
// request through the client, then a bounded wait) and, when the worker
// still does not end, abandons it: the transfer owns all the worker uses,
// so nothing is freed under it and the engine's thread never waits on it.
// In both cases the send then ends with httpErrTransactionTimedOut.
#ifndef QV_DWINMOBTHREADEDSOCKET_H
#define QV_DWINMOBTHREADEDSOCKET_H

#include <cstdint>
#include <memory>
#include <string>

#include "DErrorCode.h"
#include "DWinMobSocketTransfer.h"
#include "ILogProvider.h"
#include "IThreadedSocketClient.h"
#include "ITimerManager.h"
#include "VFile.h"
#include "VString.h"
#include "wininet.h"

class DWinMobThreadedSocket : public ITimerManagerCallback {
public:
    // Any of the three may be null: no log, no watchdog, nobody told.
    DWinMobThreadedSocket(ILogProvider *log, ITimerManager *timers, IThreadedSocketClient *client);
    DWinMobThreadedSocket(const DWinMobThreadedSocket &) = delete;
    DWinMobThreadedSocket &operator=(const DWinMobThreadedSocket &) = delete;
    // Lets a running worker go (it is told to stop) without waiting for it.
    virtual ~DWinMobThreadedSocket();

    // Starts the transfer of request (body: null or the request body,
    // read whole into memory first; response: the named file the answer is
    // appended to, not owned: it is closed here, and the worker writes
    // through a handle of its own, closed again before its end is posted)
    // and returns at once. A body or response file that cannot be used is
    // an error and starts nothing. A send still running is let go first.
    // timeoutSeconds: the silence the watchdog allows; 0 means none.
    DErrorCode SendAndRecv(HINTERNET request, VFile *body, VFile *response, uint32_t timeoutSeconds);
    // Stops a running worker: asks it to stop and closes the request
    // through the client at once (which makes a blocked Internet call
    // return), then waits up to 500 ms for it and, when it still runs,
    // abandons it. Whatever happens, nothing more of this send reaches the
    // client from the worker. 0, or the result of writing the worker's log.
    DErrorCode ForceCancel();
    // The watchdog.
    DErrorCode TimerCallback(uint32_t id, void *cookie) override;

    // Whether the worker has ended, waiting up to waitMs for it; when it
    // has, its thread handle is closed, the watchdog stopped and "Thread
    // closed" logged. No worker counts as ended.
    bool ReapWorker(uint32_t waitMs);
    // Writes the lines the worker collected to the log in one call.
    DErrorCode WriteThreadLog();

    // The send's results, once the client heard that it ended.
    DErrorCode GetResult() const { return m_results.result; }
    uint32_t GetStatusCode() const { return m_results.status; }
    // Only when the answer carried one (status 200).
    bool HasContentType() const { return m_results.hasContentType; }
    const std::u16string &GetContentType() const { return m_results.contentType; }
    uint32_t GetContentLength() const { return m_results.contentLength; }
    uint32_t GetBytesRead() const { return m_results.bytesRead; }
    uint32_t GetTimeout() const { return m_timeoutSeconds; }
    bool IsWatchdogRunning() const { return m_watchdog != kNoTimerId; }

private:
    // Back to idle: a running worker is cancelled, the watchdog stopped,
    // the thread handle closed, the results cleared.
    void Reset();
    DErrorCode LoadBody(VFile *body, std::vector<uint8_t> *out);
    // Closes response and opens the transfer's own handle on its file.
    static DErrorCode PrepareResponse(VFile *response, DWinMobSocketTransfer *transfer);
    bool StartWorker();
    void StartWatchdog(uint32_t ms);
    void StopWatchdog();
    // Engine thread: the worker of send `sequence` posted progress / ended.
    void WorkerProgress(uint64_t sequence);
    void WorkerFinished(uint64_t sequence);
    // The current transfer when it is send `sequence` and still the
    // client's (neither let go nor delivered); else null.
    DWinMobSocketTransfer *Current(uint64_t sequence) const;
    // The client hears of the current send's end, once.
    void Deliver();
    // Lets the current transfer go: detached, its results taken when it
    // published them, its log kept.
    void LetGo();
    bool WaitForWorker(uint32_t ms);
    void CloseThread();
    void LogText(const char *text);
    void LogHex(const char *text, DErrorCode code);
    void LogCount(const char *text, uint32_t count);

    ILogProvider *m_log;
    ITimerManager *m_timers;
    IThreadedSocketClient *m_client;
    HINTERNET m_request;
    std::shared_ptr<DWinMobSocketTransfer> m_transfer;
    DWinMobSocketResults m_results;
    std::string m_threadLog;
    HANDLE m_thread;
    uint32_t m_timeoutSeconds;
    uint32_t m_watchdog;
    // The number of the last send started.
    uint64_t m_sequence;
    DWORD m_homeThread;
    // Work posted to the engine's thread holds a weak copy and runs only
    // while the socket exists.
    std::shared_ptr<int> m_alive;
};

#endif
