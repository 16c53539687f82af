#include "DWinMobThreadedSocket.h"

#include <algorithm>
#include <new>

#include "winthread.h"
#include "wintime.h"
#include "winuser.h"

namespace {

const char kThreadLogHeader[] = "DWmSocket: Thread log:\n";
// How long a forced stop waits for the worker once its request is closed.
constexpr DWORD kCancelWaitMs = 500;
// What SendAndRecv returns when no thread can be made.
constexpr DErrorCode kCreateThreadFailed = 100;

DWORD WorkerMain(LPVOID param) {
    std::shared_ptr<DWinMobSocketTransfer> transfer;
    {
        std::unique_ptr<std::shared_ptr<DWinMobSocketTransfer>> hold(
            static_cast<std::shared_ptr<DWinMobSocketTransfer> *>(param));
        transfer = *hold;
    }
    transfer->Run();
    return 0;
}

}  // namespace

DWinMobThreadedSocket::DWinMobThreadedSocket(ILogProvider *log, ITimerManager *timers, IThreadedSocketClient *client)
    : m_log(log),
      m_timers(timers),
      m_client(client),
      m_request(nullptr),
      m_thread(nullptr),
      m_timeoutSeconds(0),
      m_watchdog(kNoTimerId),
      m_sequence(0),
      m_homeThread(GetCurrentThreadId()),
      m_alive(std::make_shared<int>(0)) {
    // The worker's end is posted to this thread.
    vplat::EnsureThreadQueue();
}

DWinMobThreadedSocket::~DWinMobThreadedSocket() {
    StopWatchdog();
    if (m_transfer) {
        m_transfer->RequestCancel();
        m_transfer->Detach();
    }
    // A worker still running is abandoned: it holds its own share of the
    // transfer and ends once its blocking call returns.
    CloseThread();
}

void DWinMobThreadedSocket::LogText(const char *text) {
    if (m_log != nullptr) m_log->WriteString(text, 1, kLogAllCategories);
}

void DWinMobThreadedSocket::LogHex(const char *text, DErrorCode code) {
    if (m_log != nullptr) m_log->WriteStringHexLine(text, int32_t(code), 1, kLogAllCategories);
}

void DWinMobThreadedSocket::LogCount(const char *text, uint32_t count) {
    if (m_log == nullptr) return;
    m_log->WriteString(text, 1, kLogAllCategories);
    m_log->WriteNumber(int32_t(count), 1, kLogAllCategories);
    m_log->NewLine(1, kLogAllCategories);
}

void DWinMobThreadedSocket::CloseThread() {
    if (m_thread == nullptr) return;
    CloseHandle(m_thread);
    m_thread = nullptr;
}

bool DWinMobThreadedSocket::WaitForWorker(uint32_t ms) {
    if (m_thread == nullptr) return true;
    // A handle that cannot be waited on counts as ended.
    return WaitForSingleObject(m_thread, ms) != WAIT_TIMEOUT;
}

void DWinMobThreadedSocket::StartWatchdog(uint32_t ms) {
    StopWatchdog();
    if (m_timers == nullptr) return;
    uint32_t id = kNoTimerId;
    if (m_timers->StartTimer(std::max<uint32_t>(ms, 1), this, nullptr, &id) == kNoError) m_watchdog = id;
}

void DWinMobThreadedSocket::StopWatchdog() {
    if (m_watchdog == kNoTimerId) return;
    if (m_timers != nullptr) m_timers->StopTimer(m_watchdog);
    m_watchdog = kNoTimerId;
}

void DWinMobThreadedSocket::Reset() {
    StopWatchdog();
    // A previous worker still running is let go without waiting: it owns
    // what it uses, and its posts no longer match the current send.
    if (m_transfer) {
        m_transfer->RequestCancel();
        m_transfer->Detach();
        m_transfer.reset();
    }
    CloseThread();
    m_results = DWinMobSocketResults();
    m_threadLog.clear();
    m_request = nullptr;
    m_timeoutSeconds = 0;
}

DErrorCode DWinMobThreadedSocket::LoadBody(VFile *body, std::vector<uint8_t> *out) {
    if (body == nullptr) return kNoError;
    if (body->GetOpenMode() == kVFileClosed) {
        DErrorCode err = body->Open(kVFileRead);
        if (err != kNoError) return err;
    }
    uint32_t size = 0;
    DErrorCode err = body->GetSize(&size);
    if (err != kNoError || size == 0) return err;
    err = body->SetPosition(0);
    if (err != kNoError) return err;
    try {
        out->resize(size);
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    uint32_t read = 0;
    err = body->Read(size, out->data(), &read);
    // A body is sent whole or not at all.
    if (err == kNoError && read != size) err = vfileErrEOF;
    if (err != kNoError) return err;
    LogCount("DWmSocket::SendAndRecv(): Request bytes = ", size);
    return kNoError;
}

DErrorCode DWinMobThreadedSocket::PrepareResponse(VFile *response, DWinMobSocketTransfer *transfer) {
    if (response == nullptr) return generalErrNULLPointer;
    // The worker appends through a handle of its own, which the caller's
    // open handle would refuse; the caller's object is never used by it.
    response->Close();
    return transfer->OpenResponse(*response);
}

bool DWinMobThreadedSocket::StartWorker() {
    auto *param = new (std::nothrow) std::shared_ptr<DWinMobSocketTransfer>(m_transfer);
    if (param == nullptr) return false;
    m_thread = CreateThread(nullptr, 0, &WorkerMain, param, 0, nullptr);
    if (m_thread != nullptr) return true;
    delete param;
    return false;
}

DErrorCode DWinMobThreadedSocket::SendAndRecv(HINTERNET request, VFile *body, VFile *response,
                                              uint32_t timeoutSeconds) {
    Reset();
    m_timeoutSeconds = timeoutSeconds;
    m_request = request;
    m_threadLog = kThreadLogHeader;

    std::shared_ptr<DWinMobSocketTransfer> transfer;
    try {
        transfer = std::make_shared<DWinMobSocketTransfer>(++m_sequence, request);
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    DErrorCode err = LoadBody(body, &transfer->Body());
    if (err != kNoError) {
        LogHex("DWmSocket::SendAndRecv(): Request error = ", err);
        return err;
    }
    err = PrepareResponse(response, transfer.get());
    if (err != kNoError) {
        LogHex("DWmSocket::SendAndRecv() exit", err);
        return err;
    }

    // The posts carry the send's number, never the transfer's address: a
    // later send may be given the same address once this one is freed.
    std::weak_ptr<int> alive = m_alive;
    DWinMobThreadedSocket *self = this;
    const uint64_t sequence = m_sequence;
    const DWORD home = m_homeThread;
    transfer->SetNotify(
        [alive, self, sequence, home] {
            vplat::PostThreadCall(home, [alive, self, sequence] {
                if (!alive.expired()) self->WorkerProgress(sequence);
            });
        },
        [alive, self, sequence, home] {
            vplat::PostThreadCall(home, [alive, self, sequence] {
                if (!alive.expired()) self->WorkerFinished(sequence);
            });
        });
    m_transfer = transfer;
    if (!StartWorker()) {
        m_transfer.reset();
        LogHex("DWmSocket::SendAndRecv(): CreateThread error = ", kCreateThreadFailed);
        return kCreateThreadFailed;
    }
    LogText("DWmSocket::SendAndRecv(): Created thread\n");
    if (m_timeoutSeconds != 0)
        StartWatchdog(uint32_t(std::min<uint64_t>(uint64_t(m_timeoutSeconds) * 1000, UINT32_MAX)));
    LogHex("DWmSocket::SendAndRecv() exit", kNoError);
    return kNoError;
}

DWinMobSocketTransfer *DWinMobThreadedSocket::Current(uint64_t sequence) const {
    if (!m_transfer || m_transfer->GetSequence() != sequence || m_transfer->IsDetached() ||
        m_transfer->IsDelivered())
        return nullptr;
    return m_transfer.get();
}

void DWinMobThreadedSocket::WorkerProgress(uint64_t sequence) {
    DWinMobSocketTransfer *transfer = Current(sequence);
    if (transfer == nullptr) return;
    const uint32_t bytes = transfer->TakeProgress();
    if (m_client != nullptr) m_client->Socket_ReceiveProgress(bytes);
}

void DWinMobThreadedSocket::WorkerFinished(uint64_t sequence) {
    // A send that was superseded, let go or already ended is not told again.
    if (Current(sequence) == nullptr) {
        LogText("DWmSocket: end of a stopped transfer dropped\n");
        return;
    }
    StopWatchdog();
    m_transfer->TakeResults(&m_results);
    m_threadLog += m_transfer->TakeLog();
    Deliver();
}

void DWinMobThreadedSocket::Deliver() {
    if (!m_transfer || m_transfer->IsDelivered()) return;
    m_transfer->SetDelivered();
    if (m_client != nullptr) m_client->Socket_TransferEnded();
}

void DWinMobThreadedSocket::LetGo() {
    if (!m_transfer) return;
    m_transfer->Detach();
    if (!m_transfer->IsDelivered()) m_transfer->TakeResults(&m_results);
    m_threadLog += m_transfer->TakeLog();
    m_transfer->SetDelivered();
}

DErrorCode DWinMobThreadedSocket::ForceCancel() {
    if (!m_transfer) return kNoError;
    if (WaitForWorker(0)) {
        ReapWorker(0);
        LetGo();
        return kNoError;
    }
    LogText("DWmSocket::ForceCancel() Force shutdown\n");
    m_transfer->RequestCancel();
    // Closed before any wait: a worker blocked on the network returns only
    // then, and the flag alone would cost the engine's thread the whole wait.
    if (m_client != nullptr) m_client->DoWmCloseTrx();
    m_request = nullptr;
    if (WaitForWorker(kCancelWaitMs)) {
        LogText("DWmSocket::ForceCancel(): graceful shutdown\n");
        ReapWorker(0);
    } else {
        // No thread can be killed safely: the worker is abandoned with its
        // own share of the transfer and ends once its call returns. Letting
        // it go below takes no lock it could hold.
        LogText("DWmSocket::ForceCancel() Graceful shutdown failed, terminate\n");
        CloseThread();
    }
    LetGo();
    return WriteThreadLog();
}

DErrorCode DWinMobThreadedSocket::TimerCallback(uint32_t id, void *) {
    if (id != m_watchdog) return kNoError;
    m_watchdog = kNoTimerId;
    if (!m_transfer || m_transfer->IsDelivered() || m_transfer->IsFinished()) {
        LogText("DWmSocket: TimerCallback after thread complete\n");
        return kNoError;
    }
    // The worker only stamps its progress; the time-out counts silence.
    const uint64_t limit = uint64_t(m_timeoutSeconds) * 1000;
    const uint64_t now = vplat::ClockTickCount64();
    const uint64_t last = m_transfer->GetLastProgress();
    const uint64_t silence = now > last ? now - last : 0;
    if (silence < limit) {
        StartWatchdog(uint32_t(std::min<uint64_t>(limit - silence, UINT32_MAX)));
        return kNoError;
    }
    LogText("DWmSocket: time out expired, cancelling thread\n");
    const DErrorCode err = ForceCancel();
    if (m_results.result != kNoError) m_results.result = httpErrTransactionTimedOut;
    LogHex("DWmSocket::TimerCallback exit", err);
    // The worker's own end, should it come, is dropped: this is the one.
    if (m_client != nullptr) m_client->Socket_TransferEnded();
    return kNoError;
}

bool DWinMobThreadedSocket::ReapWorker(uint32_t waitMs) {
    if (m_thread == nullptr) return true;
    if (!WaitForWorker(waitMs)) return false;
    CloseThread();
    StopWatchdog();
    LogText("DWmSocket: Thread closed\n");
    return true;
}

DErrorCode DWinMobThreadedSocket::WriteThreadLog() {
    if (m_transfer) m_threadLog += m_transfer->TakeLog();
    if (m_threadLog.empty()) return kNoError;
    DErrorCode err = m_log != nullptr ? m_log->WriteString(m_threadLog.c_str(), 1, kLogAllCategories) : kNoError;
    m_threadLog.clear();
    return err;
}
