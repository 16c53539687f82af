// DWinMobThreadedSocket: runs the blocking part of one HTTP exchange on a
// worker thread of its own, so that the engine's thread (which also runs the
// user interface) never waits on the network. One per request object,
// reused for every send; made and used on the engine's thread.
//
// SendAndRecv copies the body into memory, starts the worker and returns.
// The worker reports receive progress to the client from its own thread and
// hands its end to the engine's thread through that thread's queue, where
// the client hears Socket_TransferEnded exactly once per send.
//
// A watchdog timer on the engine's thread ends a transfer that stays silent
// for the time-out: the worker only stamps an atomic last-progress time.
// When the watchdog fires it stops the worker cooperatively (a cancel flag,
// then closing the request through the client) and, when the worker still
// does not end, abandons it: the transfer's state is shared, so nothing the
// worker holds is freed, and nothing it does later reaches the client. In
// both cases the send then ends with httpErrTransactionTimedOut; a late end
// from the worker is dropped.
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
    // read whole into memory first; response: where the answer goes, not
    // owned, opened for writing when it is not) and returns at once. A body
    // or response file that cannot be used is an error and starts nothing.
    // timeoutSeconds: the silence the watchdog allows; 0 means none.
    DErrorCode SendAndRecv(HINTERNET request, VFile *body, VFile *response, uint32_t timeoutSeconds);
    // Stops a running worker: asks it to stop, waits up to 250 ms, then
    // closes the request through the client and waits another 250 ms, then
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
    static DErrorCode PrepareResponse(VFile *response);
    bool StartWorker();
    void StartWatchdog(uint32_t ms);
    void StopWatchdog();
    // Engine thread: the worker of transfer ended.
    void WorkerFinished(const DWinMobSocketTransfer *transfer);
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
    DWORD m_homeThread;
    // Work posted to the engine's thread holds a weak copy and runs only
    // while the socket exists.
    std::shared_ptr<int> m_alive;
};

#endif
