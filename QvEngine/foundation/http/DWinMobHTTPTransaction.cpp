#include "DWinMobHTTPTransaction.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "DActiveTaskManager.h"
#include "DHTTPSession.h"
#include "ICorvanePreferences.h"
#include "ILogProvider.h"
#include "PlatformErrorLog.h"
#include "winerror.h"

namespace {

// How long the transaction's step waits for a worker that already handed
// over its end to leave its thread.
constexpr uint32_t kReapWaitMs = 1000;
// Response header values are read into a buffer of this many units first;
// a longer one is asked for again in a buffer of the size the call names.
constexpr size_t kHeaderUnits = 512;

// Header bytes as wide units, one for one, so that the platform sends the
// very bytes the header list holds.
std::u16string WidenBytes(const std::string &text) {
    std::u16string wide;
    wide.reserve(text.size());
    for (unsigned char c : text) wide += char16_t(c);
    return wide;
}

}  // namespace

DWinMobHTTPTransaction::DWinMobHTTPTransaction(IGlobalData *global, DHTTPSession *session)
    : DHTTPTransaction(global, session),
      DActiveTask(kActiveTaskDefaultPriority),
      m_inFlight(false),
      m_sessionSignal(nullptr),
      m_requestHandle(nullptr),
      m_taskState(0),
      m_transferResult(kNoError),
      m_progressSession(nullptr) {
    DActiveTaskManager *manager = global != nullptr ? global->GetTaskManager() : nullptr;
    if (manager != nullptr) manager->AddTask(this);
    m_socket.reset(new (std::nothrow) DWinMobThreadedSocket(
        global != nullptr ? global->GetLogger() : nullptr, global != nullptr ? global->GetTimerManager() : nullptr,
        this));
}

DWinMobHTTPTransaction::~DWinMobHTTPTransaction() {
    if (m_inFlight)
        DWinMobHTTPTransaction::CancelTransaction();
    else if (m_socket)
        m_socket->ForceCancel();
    DoWmCloseTrx();
    m_socket.reset();
}

ILogProvider *DWinMobHTTPTransaction::Logger() const { return m_global != nullptr ? m_global->GetLogger() : nullptr; }

bool DWinMobHTTPTransaction::UsesSSL() const {
    IPrefsData *data = m_global != nullptr ? m_global->GetPreferences() : nullptr;
    ICorvanePreferences *prefs = dynamic_cast<ICorvanePreferences *>(data);
    return prefs != nullptr && prefs->GetUseSSL() != 0;
}

DErrorCode DWinMobHTTPTransaction::CancelTransaction() {
    if (m_inFlight) {
        m_inFlight = false;
        if (ILogProvider *log = Logger()) log->WriteString("DWmHttpTrx::CancelTransaction()\n", 1, kLogAllCategories);
    }
    // The worker stops before the response file is closed under it, and its
    // end, should it still come, is dropped.
    StopTransfer();
    m_headerText.clear();
    m_headerText.shrink_to_fit();
    return DHTTPTransaction::CancelTransaction();
}

void DWinMobHTTPTransaction::StopTransfer() {
    if (m_socket) m_socket->ForceCancel();
    Deactivate();
    m_sessionSignal = nullptr;
    m_progressSession = nullptr;
}

DErrorCode DWinMobHTTPTransaction::SetResponseData(VFile *file) {
    if (m_inFlight) return activeTaskErrAlreadyActive;
    return DHTTPTransaction::SetResponseData(file);
}

void DWinMobHTTPTransaction::CancelTask() { m_taskState = 0; }

DErrorCode DWinMobHTTPTransaction::DoSendWmReq(DActiveTaskSignal *signal, HINTERNET connect) {
    m_inFlight = true;
    m_sessionSignal = signal;
    // A step left over from an earlier send must not run for this one.
    Deactivate();
    DErrorCode err = m_socket ? PrepWmReq(connect) : generalErrMemoryError;
    if (err == kNoError) err = SendWmReq();
    if (err == kNoError) {
        // Waits for the worker's end, which comes through this thread's
        // queue and so always after this.
        Activate();
        m_taskState = 1;
    }
    if (ILogProvider *log = Logger())
        log->WriteStringHexLine("DWmHttpTrx::DoSendWmReq() exit ", int32_t(err), 1, kLogAllCategories);
    return err;
}

DErrorCode DWinMobHTTPTransaction::PrepWmReq(HINTERNET connect) {
    ILogProvider *log = Logger();
    // The previous send's request is done with.
    DoWmCloseTrx();
    const char *verb = GetVerbName(m_verb);
    DErrorCode err = verb != nullptr ? kNoError : generalErrInvalidParameter;
    if (err == kNoError) {
        if (log != nullptr) {
            log->WriteString("DWmHttpTrx::PrepWmReq() Http method = ", 1, kLogAllCategories);
            log->WriteLine(verb, 1, kLogAllCategories);
        }
        const std::u16string wideVerb = WidenBytes(verb);
        const std::u16string widePath = WidenBytes(m_path);
        // The secure flag follows the account, not the transaction's scheme.
        const DWORD flags = kWinMobRequestFlags | (UsesSSL() ? DWORD(INTERNET_FLAG_SECURE) : 0);
        m_requestHandle =
            HttpOpenRequestW(connect, wideVerb.c_str(), widePath.c_str(), nullptr, nullptr, nullptr, flags, 0);
        if (m_requestHandle == nullptr) {
            LogPlatformError(log, "DWmHttpTrx::PrepWinMobRequest HttpOpenRequest");
            err = internetConnectNetUnavailable;
        }
    }
    if (err == kNoError) {
        std::string text;
        err = BuildRequestHeaderText(&text);
        if (err == kNoError) {
            m_headerText = WidenBytes(text);
            if (!HttpAddRequestHeadersW(m_requestHandle, m_headerText.c_str(), DWORD(-1), HTTP_ADDREQ_FLAG_ADD)) {
                LogPlatformError(log, "DWmHttpTrx::PrepWinMobRequest HttpAddRequestHeaders");
                err = httpErrUnknownHeaderType;
            }
        }
    }
    if (log != nullptr) log->WriteStringHexLine("DWmHttpTrx::PrepWmReq() exit ", int32_t(err), 1, kLogAllCategories);
    return err;
}

DErrorCode DWinMobHTTPTransaction::SendWmReq() {
    ILogProvider *log = Logger();
    if (log != nullptr) log->WriteString("DWmHttpTrx::SendWmReq() enter\n", 1, kLogAllCategories);
    DErrorCode err = EnsureResponseFile();
    if (err != kNoError) {
        if (log != nullptr)
            log->WriteString("DWmHttpTrx::SendWmReq() - failed to allocate response VFile\n", 1, kLogAllCategories);
        return err;
    }
    m_progressSession = m_session;
    err = m_socket->SendAndRecv(m_requestHandle, m_request, m_response, m_timeout);
    if (log != nullptr) log->WriteStringHexLine("DWmHttpTrx::SendWmReq() exit", int32_t(err), 1, kLogAllCategories);
    return err;
}

DErrorCode DWinMobHTTPTransaction::RunTask() {
    const DErrorCode code = m_signal.GetCode();
    if (code != kNoError) {
        m_taskState = 0;
        if (m_sessionSignal != nullptr) m_sessionSignal->Signal(code);
        return kNoError;
    }
    if (m_taskState != 1) return kNoError;
    ILogProvider *log = Logger();
    if (log != nullptr) log->WriteString("DWmHttpTrx::RunTask() Transaction complete\n", 1, kLogAllCategories);
    if (!m_socket->ReapWorker(kReapWaitMs) && log != nullptr)
        log->WriteString("DWmHttpTrx::RunTask() Error: unable to close thread\n", 1, kLogAllCategories);
    m_socket->WriteThreadLog();
    m_transferResult = m_socket->GetResult();
    if (m_transferResult == kNoError || m_transferResult == httpErrRequestFailed) {
        m_status = m_socket->GetStatusCode();
        if (m_socket->HasContentType()) {
            VString type;
            DErrorCode err = type.AssignWide(m_socket->GetContentType().c_str(), kQvUnknown, kVStringUTF16LE);
            if (err == kNoError) err = type.ConvertTo(kVStringWindows1252);
            if (err == kNoError) m_contentType.Assign(type);
        }
        m_contentLength = m_socket->GetContentLength();
        m_bytesReceived = m_socket->GetBytesRead();
    }
    m_taskState = 0;
    if (m_sessionSignal != nullptr) m_sessionSignal->Signal(kNoError);
    return kNoError;
}

void DWinMobHTTPTransaction::Socket_ReceiveProgress(uint32_t bytesReceived) {
    if (m_progressSession != nullptr) m_progressSession->PostReceiveProgress(this, bytesReceived);
}

void DWinMobHTTPTransaction::Socket_TransferEnded() { m_signal.Signal(kNoError); }

void DWinMobHTTPTransaction::DoWmCloseTrx() {
    ILogProvider *log = Logger();
    if (m_requestHandle != nullptr) {
        if (log != nullptr) log->WriteString("DWmHttpTrx::DoWmCloseTrx() - Closing.\n", 1, kLogAllCategories);
        InternetCloseHandle(m_requestHandle);
        m_requestHandle = nullptr;
    }
    if (log != nullptr) log->WriteLine("DWmHttpTrx::DoWmCloseTrx() exit ", 1, kLogAllCategories);
}

DErrorCode DWinMobHTTPTransaction::GetHTTPResponseHeader(const char *name, std::string *value) {
    if (name == nullptr || value == nullptr) return generalErrNULLPointer;
    const size_t length = std::strlen(name);
    if (length == 0 || length >= kHeaderUnits) return httpErrHeaderNotFound;
    std::vector<char16_t> buffer;
    DWORD size = DWORD(kHeaderUnits * sizeof(char16_t));
    BOOL ok = FALSE;
    try {
        for (int attempt = 0; attempt < 2 && m_requestHandle != nullptr; ++attempt) {
            // The call reads the name from the buffer that then takes the value.
            buffer.assign(std::max<size_t>(size / sizeof(char16_t), length + 1), 0);
            for (size_t i = 0; i < length; ++i) buffer[i] = char16_t(static_cast<unsigned char>(name[i]));
            size = DWORD(buffer.size() * sizeof(char16_t));
            ok = HttpQueryInfoW(m_requestHandle, HTTP_QUERY_CUSTOM, buffer.data(), &size, nullptr);
            if (ok || GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
        }
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    if (!ok) {
        LogPlatformError(Logger(), "DWmHttpTrx::GetHTTPResponseHeader HttpQueryInfo");
        return httpErrHeaderNotFound;
    }
    try {
        value->clear();
        for (size_t i = 0; i < size / sizeof(char16_t); ++i)
            *value += buffer[i] <= 0xFF ? char(buffer[i]) : '?';
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    return kNoError;
}
