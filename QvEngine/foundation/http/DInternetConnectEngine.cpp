#include "DInternetConnectEngine.h"

DInternetConnectEngine::DInternetConnectEngine(IGlobalData *global)
    : m_global(global), m_client(nullptr), m_state(kConnectStateDisconnected), m_option(0) {}

void DInternetConnectEngine::SetClient(IInternetConnectClient *client) { m_client = client; }

DErrorCode DInternetConnectEngine::Connect() { return internetConnectErrNotImplemented; }

DErrorCode DInternetConnectEngine::CloseConnection() { return internetConnectErrNotImplemented; }

DErrorCode DInternetConnectEngine::CanConnect(DActiveTaskSignal *signal) {
    if (signal != nullptr) signal->Signal(kNoError);
    return kNoError;
}

void DInternetConnectEngine::SetOption(uint32_t option) { m_option = option; }

DErrorCode DInternetConnectEngine::Reserved() { return kNoError; }

DErrorCode DInternetConnectEngine::ReportConnection() {
    m_state = kConnectStateConnected;
    return kNoError;
}

DErrorCode DInternetConnectEngine::Disconnect() { return CloseConnection(); }

DErrorCode DInternetConnectEngine::ReportError(DErrorCode code, const char *detail) {
    if (m_client == nullptr) return generalErrNULLPointer;
    VString text;
    DErrorCode err = text.AssignCStr(detail != nullptr ? detail : "", kVStringWindows1252);
    if (err != kNoError) return err;
    return m_client->InternetConnect_ReportError(code, &text);
}
