#include "DHTTPTransaction.h"

#include <new>

#include "DHTTPSession.h"
#include "HTTPPathEscape.h"
#include "ILogProvider.h"
#include "TempVFile.h"

namespace {

const char *const kVerbNames[] = {"OPTIONS", "GET", "HEAD", "POST", "PUT", "DELETE", "TRACE", "CONNECT"};

}  // namespace

DHTTPTransaction::DHTTPTransaction(IGlobalData *global, DHTTPSession *session)
    : m_global(global),
      m_session(session),
      m_verb(kHTTPVerbGet),
      m_scheme(kHTTPSchemeHttp),
      m_port(kHTTPSchemeDefaultPort),
      m_request(nullptr),
      m_response(nullptr),
      m_responseIsTemporary(false),
      m_status(0),
      m_contentLength(0),
      m_bytesReceived(0),
      m_timeout(kHTTPDefaultTimeoutSeconds) {
    m_contentType.AssignCStr("", kVStringWindows1252);
}

DHTTPTransaction::~DHTTPTransaction() {
    DHTTPTransaction::CancelTransaction();
    delete m_request;
    delete m_response;
}

const char *DHTTPTransaction::GetVerbName(uint32_t verb) {
    return verb < sizeof kVerbNames / sizeof kVerbNames[0] ? kVerbNames[verb] : nullptr;
}

uint32_t DHTTPTransaction::GetDefaultPort(uint32_t scheme) {
    switch (scheme) {
    case kHTTPSchemeHttps:
        return 443;
    case kHTTPSchemeFtp:
        return 21;
    default:
        return 80;
    }
}

uint32_t DHTTPTransaction::GetEffectivePort() const {
    return m_port == kHTTPSchemeDefaultPort ? GetDefaultPort(m_scheme) : uint32_t(m_port);
}

DErrorCode DHTTPTransaction::SetVerb(uint32_t verb) {
    m_verb = verb;
    return kNoError;
}

DErrorCode DHTTPTransaction::SetProtocol(uint32_t scheme) {
    m_scheme = scheme;
    return kNoError;
}

DErrorCode DHTTPTransaction::SetPort(int32_t port) {
    m_port = port;
    return kNoError;
}

DErrorCode DHTTPTransaction::SetTimeout(uint32_t seconds) {
    m_timeout = seconds;
    return kNoError;
}

DErrorCode DHTTPTransaction::SetServer(const char *host) {
    try {
        m_server.assign(host != nullptr ? host : "");
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    return kNoError;
}

DErrorCode DHTTPTransaction::SetPath(const char *path) { return EscapeHTTPPath(path != nullptr ? path : "", &m_path); }

DErrorCode DHTTPTransaction::SetRequestHeader(uint32_t id, const char *value, int32_t length) {
    return m_headers.SetByID(id, value, length);
}

DErrorCode DHTTPTransaction::SetRequestData(VFile *body) {
    if (body != m_request) delete m_request;
    m_request = body;
    if (body == nullptr) return kNoError;
    DErrorCode err = kNoError;
    if (body->GetOpenMode() == kVFileClosed)
        err = body->Open(kVFileRead);
    else
        err = body->SetPosition(0);
    uint32_t size = 0;
    if (err == kNoError) err = body->GetSize(&size);
    if (err != kNoError) return err;
    const std::string text = std::to_string(size);
    return m_headers.SetByID(kHTTPHeaderContentLength, text.c_str(), kHTTPHeaderToTerminator);
}

DErrorCode DHTTPTransaction::SetResponseData(VFile *file) {
    if (file != m_response) delete m_response;
    m_response = file;
    m_responseIsTemporary = false;
    if (file == nullptr) return kNoError;
    bool exists = false;
    DErrorCode err = file->Exists(&exists);
    if (err == kNoError && !exists) err = file->Create();
    return err;
}

DErrorCode DHTTPTransaction::GetResponseData(VFile **file) const {
    if (file == nullptr) return generalErrNULLPointer;
    *file = m_response;
    return kNoError;
}

DErrorCode DHTTPTransaction::GetContentType(VString *type) const {
    if (type == nullptr) return generalErrNULLPointer;
    return type->Assign(m_contentType);
}

DErrorCode DHTTPTransaction::GetHTTPResponseHeader(const char *, std::string *) { return httpErrNotImplemented; }

DErrorCode DHTTPTransaction::CancelTransaction() {
    if (m_session != nullptr) m_session->TransactionComplete(this);
    if (m_response != nullptr) m_response->Close();
    return kNoError;
}

DErrorCode DHTTPTransaction::EnsureResponseFile() {
    if (m_response != nullptr) return kNoError;
    DErrorCode err = EnsureTempVFile(&m_response);
    if (err == kNoError) m_responseIsTemporary = true;
    return err;
}

void DHTTPTransaction::LogError(const char *text, DErrorCode code) const {
    ILogProvider *log = m_global != nullptr ? m_global->GetLogger() : nullptr;
    if (log != nullptr) log->WriteStringHexLine(text, int32_t(code), 1, kLogAllCategories);
}

DErrorCode DHTTPTransaction::Submit() {
    if (m_session == nullptr) return generalErrNULLPointer;
    // A send in flight appends to the response file: it stops before the
    // file is emptied or replaced.
    StopTransfer();
    m_status = 0;
    m_contentLength = 0;
    m_bytesReceived = 0;
    m_contentType.AssignCStr("", kVStringWindows1252);
    if (m_response != nullptr) {
        if (m_responseIsTemporary) {
            DErrorCode err = m_response->Release();
            if (err != kNoError) LogError("DHTTPTransaction::Submit() - Failed to delete response data file", err);
            delete m_response;
            m_response = nullptr;
            m_responseIsTemporary = false;
        } else {
            DErrorCode err = kNoError;
            if (m_response->GetOpenMode() != kVFileReadWrite) {
                m_response->Close();
                err = m_response->Open(kVFileReadWrite);
            }
            if (err == kNoError) err = m_response->SetSize(0);
            if (err == kNoError) err = m_response->SetPosition(0);
            if (err != kNoError) return err;
        }
    }
    if ((m_verb == kHTTPVerbPost || m_verb == kHTTPVerbPut) &&
        m_headers.Find(DHTTPHeaderList::GetHeaderName(kHTTPHeaderContentLength)) == nullptr) {
        DErrorCode err = m_headers.SetByID(kHTTPHeaderContentLength, "0", kHTTPHeaderToTerminator);
        if (err != kNoError) return err;
    }
    // The connection record may reach the engine inside this call, and the
    // engine may delete this transaction there: nothing follows it.
    return m_session->SubmitTransaction(this);
}

DErrorCode DHTTPTransaction::BuildRequestHeaderText(std::string *text) {
    if (text == nullptr) return generalErrNULLPointer;
    DHTTPHeaderList merged;
    DErrorCode err = kNoError;
    DHTTPHeaderList *own = &m_headers;
    if (m_session != nullptr) {
        DHTTPHeaderList *common = m_session->GetHeaders();
        for (DHTTPHeader *h = common->First(); h != nullptr && err == kNoError; h = common->Next()) {
            const DHTTPHeader *mine = own->Find(h->GetName());
            const DHTTPHeader *use = mine != nullptr ? mine : h;
            if (use->HasValue()) err = merged.Set(h->GetName(), use->GetValue(), int32_t(use->GetValueLength()));
        }
    }
    for (DHTTPHeader *h = own->First(); h != nullptr && err == kNoError; h = own->Next()) {
        const bool inSession = m_session != nullptr && m_session->GetHeaders()->Find(h->GetName()) != nullptr;
        if (!inSession && h->HasValue()) err = merged.Set(h->GetName(), h->GetValue(), int32_t(h->GetValueLength()));
    }
    const char *hostName = DHTTPHeaderList::GetHeaderName(kHTTPHeaderHost);
    if (err == kNoError && merged.Find(hostName) == nullptr) {
        try {
            std::string host = m_server;
            if (GetEffectivePort() != GetDefaultPort(m_scheme)) host += ":" + std::to_string(GetEffectivePort());
            err = merged.Set(hostName, host.c_str(), int32_t(host.size()));
        } catch (const std::bad_alloc &) {
            err = generalErrMemoryError;
        }
    }
    if (err == kNoError) err = merged.BuildText(text, false);
    return err;
}
