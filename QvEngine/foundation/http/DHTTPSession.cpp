// DHTTPSession: connection, submission and the session headers.
#include "DHTTPSession.h"

#include <new>
#include <string>

#include "Base64.h"
#include "DHTTPTransaction.h"
#include "winthread.h"
#include "winuser.h"

DHTTPSession::DHTTPSession(IGlobalData *global)
    : m_global(global),
      m_client(nullptr),
      m_flag(0),
      m_current(nullptr),
      m_pending(nullptr),
      m_submitCount(0),
      m_homeThread(GetCurrentThreadId()),
      m_progressTrx(nullptr),
      m_progressBytes(0),
      m_progressPending(false),
      m_alive(std::make_shared<int>(0)) {
    // Progress from the transfer worker is posted to this thread.
    vplat::EnsureThreadQueue();
}

DHTTPSession::~DHTTPSession() {
    if (m_current != nullptr) m_current->m_session = nullptr;
    // Whatever the engine does while it goes must not reach a session
    // that is half gone.
    if (m_engine) m_engine->SetClient(nullptr);
}

DErrorCode DHTTPSession::CreateConnectEngine(DInternetConnectEngine **out) {
    *out = new (std::nothrow) DInternetConnectEngine(m_global);
    return *out != nullptr ? kNoError : generalErrMemoryError;
}

DErrorCode DHTTPSession::EnsureConnectEngine() {
    if (m_engine) return kNoError;
    DInternetConnectEngine *engine = nullptr;
    DErrorCode err = CreateConnectEngine(&engine);
    if (err == kNoError && engine == nullptr) err = generalErrMemoryError;
    if (err != kNoError) return err;
    engine->SetClient(this);
    m_engine.reset(engine);
    return kNoError;
}

DErrorCode DHTTPSession::OpenConnection() {
    DErrorCode err = EnsureConnectEngine();
    if (err != kNoError) return err;
    if (m_engine->IsConnected()) return kNoError;
    return m_engine->Connect();
}

DErrorCode DHTTPSession::CloseConnection() {
    DErrorCode err = m_engine ? m_engine->CloseConnection() : kNoError;
    m_flag = 0;
    return err;
}

DErrorCode DHTTPSession::CanConnect(DActiveTaskSignal *signal) {
    DErrorCode err = EnsureConnectEngine();
    if (err != kNoError) return err;
    return m_engine->CanConnect(signal);
}

void DHTTPSession::SetFlag() { m_flag = 1; }

DErrorCode DHTTPSession::SubmitTransaction(DHTTPTransaction *trx) {
    if (trx == nullptr) return generalErrNULLPointer;
    PendingSubmit pending = {trx, false, m_pending};
    m_pending = &pending;
    const uint32_t submitsBefore = m_submitCount;
    // The client may cancel or delete trx, or submit another, in here.
    DErrorCode err = OpenConnection();
    m_pending = pending.outer;
    if (err != kNoError) return err;
    if (pending.gone || m_submitCount != submitsBefore) return generalErrCanceled;
    m_current = trx;
    ++m_submitCount;
    return kNoError;
}

DErrorCode DHTTPSession::TransactionComplete(DHTTPTransaction *trx) {
    for (PendingSubmit *p = m_pending; p != nullptr; p = p->outer)
        if (trx != nullptr && p->trx == trx) p->gone = true;
    if (trx == nullptr || trx == m_current) {
        m_current = nullptr;
        {
            // Progress still posted for it is stale now.
            std::lock_guard<std::mutex> hold(m_progressLock);
            m_progressPending = false;
        }
        if (m_engine && !m_engine->IsConnected()) CloseConnection();
    }
    return kNoError;
}

DErrorCode DHTTPSession::CreateTransaction(DHTTPTransaction **out) {
    if (out == nullptr) return generalErrNULLPointer;
    *out = new (std::nothrow) DHTTPTransaction(m_global, this);
    return kNoError;
}

DErrorCode DHTTPSession::SetHeader(uint32_t id, const char *value, int32_t length) {
    if (value == nullptr) return m_headers.RemoveByID(id);
    return m_headers.SetByID(id, value, length);
}

DErrorCode DHTTPSession::SetBasicAuthorization() {
    if (m_client == nullptr) return generalErrNULLPointer;
    VString user;
    VString password;
    DErrorCode err = m_client->HTTP_GetCredentials(&user, &password);
    if (err != kNoError) return err;
    try {
        std::string userText;
        std::string passwordText;
        err = ToWindows1252Text(user, &userText);
        if (err == kNoError) err = ToWindows1252Text(password, &passwordText);
        if (err != kNoError) return err;
        const std::string pair = userText + ":" + passwordText;
        uint32_t encodedLength = 0;
        std::unique_ptr<char[]> encoded(
            Base64Encode(reinterpret_cast<const BYTE *>(pair.data()), uint32_t(pair.size()), &encodedLength));
        if (!encoded) return generalErrMemoryError;
        const std::string value = "Basic " + std::string(encoded.get(), encodedLength);
        return m_headers.SetByID(kHTTPHeaderAuthorization, value.c_str(), int32_t(value.size()));
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
}
