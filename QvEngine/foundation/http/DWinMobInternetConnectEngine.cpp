#include "DWinMobInternetConnectEngine.h"

#include <new>
#include <string>

#include "ConnectivityProbes.h"
#include "DStringStatusData.h"
#include "DWinMobInternetConnectResponse.h"
#include "ILogProvider.h"
#include "IResourceManager.h"
#include "PlatformErrorLog.h"
#include "ServerURL.h"
#include "connmgr.h"
#include "winthread.h"

namespace {

constexpr DWORD kApiReadyWaitMs = 1000;
constexpr DWORD kEstablishTimeoutMs = 25000;
// How long the device may keep a released link up for another user.
constexpr LONG kReleaseCacheSeconds = 1;
const WCHAR kAgent[] = u"QV-WinMo-Agent";

}  // namespace

DWinMobInternetConnectEngine::DWinMobInternetConnectEngine(IGlobalData *global)
    : DInternetConnectEngine(global), m_prefs(nullptr), m_connection(nullptr), m_internet(nullptr) {
    if (global != nullptr) m_prefs = dynamic_cast<ICorvanePreferences *>(global->GetPreferences());
}

DWinMobInternetConnectEngine::~DWinMobInternetConnectEngine() {
    DWinMobInternetConnectEngine::CloseConnection();
    // Whatever a failed close left behind.
    ReleaseHandles();
}

void DWinMobInternetConnectEngine::LogText(const char *text) {
    ILogProvider *log = m_global != nullptr ? m_global->GetLogger() : nullptr;
    if (log != nullptr) log->WriteString(text, 1, kLogAllCategories);
}

void DWinMobInternetConnectEngine::LogHex(const char *text, DErrorCode code) {
    ILogProvider *log = m_global != nullptr ? m_global->GetLogger() : nullptr;
    if (log != nullptr) log->WriteStringHexLine(text, int32_t(code), 1, kLogAllCategories);
}

void DWinMobInternetConnectEngine::LogLastError(const char *context, DErrorCode code) {
    LogPlatformError(m_global != nullptr ? m_global->GetLogger() : nullptr, context, code);
}

void DWinMobInternetConnectEngine::ReleaseHandles() {
    if (m_internet != nullptr) {
        InternetCloseHandle(m_internet);
        m_internet = nullptr;
    }
    if (m_connection != nullptr) {
        ConnMgrReleaseConnection(m_connection, kReleaseCacheSeconds);
        m_connection = nullptr;
    }
}

DErrorCode DWinMobInternetConnectEngine::BringUpNetwork() {
    HANDLE ready = ConnMgrApiReadyEvent();
    if (ready == nullptr) return internetConnectNoConnection;
    const DWORD wait = WaitForSingleObject(ready, kApiReadyWaitMs);
    CloseHandle(ready);
    if (wait != WAIT_OBJECT_0) return internetConnectNoConnection;

    if (HasCellularLine() && !HasWiFiSupport() && IsRadioOff()) return internetConnectFlightMode;

    // The server is checked before the Connection Manager hears of it.
    VString server;
    bool secure = false;
    if (m_prefs != nullptr) {
        m_prefs->GetServer(&server);
        secure = m_prefs->GetUseSSL() != 0;
    }
    std::u16string url;
    GUID network = {};
    if (BuildServerURL(server, secure, &url) != kNoError || FAILED(ConnMgrMapURL(url.c_str(), &network, nullptr))) {
        LogText("DWinMobInternetConnectEngine::CanConnect() - Failed to map url to network\n");
        return internetConnectNetUnavailable;
    }

    CONNMGR_CONNECTIONINFO info = {};
    info.cbSize = sizeof info;
    info.dwParams = CONNMGR_PARAM_GUIDDESTNET;
    info.dwFlags = CONNMGR_FLAG_PROXY_HTTP;
    info.dwPriority = CONNMGR_PRIORITY_USERINTERACTIVE;
    info.guidDestNet = network;
    DWORD status = 0;
    HANDLE connection = nullptr;
    const HRESULT established = ConnMgrEstablishConnectionSync(&info, &connection, kEstablishTimeoutMs, &status);
    if (FAILED(established)) {
        LogHex("DWinMobInternetConnectEngine::CanConnect() - Failed to establish connection via ConnMgr ",
               DErrorCode(established));
        return internetConnectNetUnavailable;
    }
    m_connection = connection;
    // Only the call's success counts, not the state it reports.
    if (FAILED(ConnMgrConnectionStatus(m_connection, &status))) {
        LogText("DWinMobInternetConnectEngine::CanConnect() - Failed to get connection status\n");
        ReleaseHandles();
        return internetConnectNetUnavailable;
    }
    return kNoError;
}

DErrorCode DWinMobInternetConnectEngine::CanConnect(DActiveTaskSignal *signal) {
    LogText("DWinMobInternetConnectEngine::CanConnect() - Enter\n");
    // Whatever this ends in, the connection held so far is over: let go of
    // it rather than lose its handles.
    ReleaseHandles();
    m_state = kConnectStateDisconnected;
    const DErrorCode err = BringUpNetwork();
    m_state = err == kNoError ? kConnectStateNetworkReady : kConnectStateDisconnected;
    if (signal == nullptr) return err;
    signal->Signal(err);
    return kNoError;
}

DErrorCode DWinMobInternetConnectEngine::Connect() {
    LogText("DWinMobInternetConnectEngine::Connect() - Enter\n");
    DErrorCode err = kNoError;
    if (m_state == kConnectStateDisconnected) {
        err = CanConnect(nullptr);
        LogHex("DWinMobInternetConnectEngine::Connect() - CanConnect() return =", err);
    }
    switch (m_state) {
    case kConnectStateNetworkReady:
        if (m_connection == nullptr) {
            LogText("DWinMobInternetConnectEngine::Connect() - Bad state, no connection handle");
            LogText("\n");
            err = internetConnectNetUnavailable;
            break;
        }
        m_option = 1;
        m_internet = InternetOpenW(kAgent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
        if (m_internet == nullptr) {
            LogText("DWinMobInternetConnectEngine::Connect() - Failed to open WinInet connection\n");
            LogLastError("DWinMobInternetConnectEngine::Connect ", internetConnectNetUnavailable);
            ReleaseHandles();
            m_state = kConnectStateDisconnected;
            err = internetConnectNetUnavailable;
            break;
        }
        m_state = kConnectStateConnected;
        ReportStatus(kConnectedStatusText);
        // The client may do anything in here: nothing of this engine is
        // touched afterwards.
        ReportConnection();
        return kNoError;
    case kConnectStateConnected:
        ReportConnection();
        return kNoError;
    case kConnectStateClosing:
        ReportStatus(kConnectedStatusText);
        m_option = 1;
        m_state = kConnectStateNetworkReady;
        break;
    default:
        break;
    }
    if (err != kNoError) ReportError(err, "DWinMobInternetConnectEngine::Connect()");
    return kNoError;
}

DErrorCode DWinMobInternetConnectEngine::CloseConnection() {
    if (m_state == kConnectStateDisconnected) return kNoError;
    LogText("DWinMobInternetConnectEngine::CloseConnection()\n");
    m_state = kConnectStateClosing;
    ReleaseHandles();
    m_state = kConnectStateDisconnected;
    return kNoError;
}

DErrorCode DWinMobInternetConnectEngine::ReportConnection() {
    m_state = kConnectStateConnected;
    if (m_client == nullptr) return generalErrNULLPointer;
    DWinMobInternetConnectResponse *record = new (std::nothrow) DWinMobInternetConnectResponse(m_internet);
    if (record == nullptr) return ReportError(generalErrMemoryError, "DWinMobInternetConnectEngine::ReportConnection()");
    const DErrorCode err = m_client->InternetConnect_RecievedResponse(record);
    delete record;
    return err;
}

DErrorCode DWinMobInternetConnectEngine::ReportStatus(UINT textId) {
    IResourceManager *strings = m_global != nullptr ? m_global->GetResourceManager() : nullptr;
    VString *text = nullptr;
    DErrorCode err = strings != nullptr ? strings->GetString(textId, &text) : generalErrNULLPointer;
    DStringStatusData *record = nullptr;
    if (err == kNoError) {
        record = new (std::nothrow) DStringStatusData(text);
        if (record == nullptr) err = generalErrMemoryError;
    }
    if (err == kNoError && m_client == nullptr) err = generalErrNULLPointer;
    if (err != kNoError) {
        LogHex("DWinMobInternetConnectEngine::ReportStatus() - Failed to report status ERR : ", err);
        delete record;
        delete text;
        return err;
    }
    err = m_client->InternetConnect_ReportStatus(record);
    delete record;
    delete text;
    return err;
}
