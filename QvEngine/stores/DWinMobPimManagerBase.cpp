// Opening and closing a Pocket Outlook store, its failure log, and emptying
// it; the collection walks and the jobs' record work are in
// DWinMobPimManagerRecords.cpp.
#include "DWinMobPimManagerBase.h"

#include <new>
#include <string>

#include "ChangeNotifier.h"
#include "StoreResult.h"
#include "winerror.h"

namespace {

constexpr unsigned kLogLevel = 1;

#ifdef VANTREL_EDITION_SMARTPHONE
// Where the Smartphone edition keeps the Pocket Outlook databases.
const WCHAR kPimVolume[] = u"\\storage\\mxip_initdb.vol";
#endif

// The platform's last error as a failing result.
HRESULT LastErrorResult() {
    const DWORD err = GetLastError();
    return err != ERROR_SUCCESS ? HRESULT_FROM_WIN32(err) : E_FAIL;
}

template <class T>
void ReleaseRef(T **object) {
    if (*object != nullptr) (*object)->Release();
    *object = nullptr;
}

}  // namespace

DWinMobPimManagerBase::DWinMobPimManagerBase(const DPimStoreKind &kind)
    : m_pimLog(nullptr),
      m_kind(kind),
      m_app(nullptr),
      m_folder(nullptr),
      m_items(nullptr),
      m_database(INVALID_HANDLE_VALUE),
      m_volume(),
      m_volumeMounted(false),
      m_shadow(nullptr) {
    CREATE_INVALIDGUID(&m_volume);
}

DWinMobPimManagerBase::~DWinMobPimManagerBase() { Shutdown(); }

HRESULT DWinMobPimManagerBase::LogResult(HRESULT result, const char *phase) {
    if (result >= 0 || m_pimLog == nullptr) return result;
    m_pimLog->WriteString(m_kind.errorTitle, kLogLevel, kLogAllCategories);
    m_pimLog->WriteString("  hr = ", kLogLevel, kLogAllCategories);
    m_pimLog->WriteHex(int32_t(result), kLogLevel, kLogAllCategories);
    m_pimLog->WriteString("  phase = ", kLogLevel, kLogAllCategories);
    m_pimLog->WriteString(phase, kLogLevel, kLogAllCategories);
    m_pimLog->NewLine(kLogLevel, kLogAllCategories);
    return result;
}

HRESULT DWinMobPimManagerBase::Initialize(int folder, const WCHAR *databaseName, uint32_t shadowType) {
    Shutdown();
    HRESULT hr = vplat::PimCreateApplication(&m_app);
    if (SUCCEEDED(hr)) hr = m_app->Logon(nullptr);
    LogResult(hr, "POOM - Initialization");

    if (SUCCEEDED(hr)) {
        hr = m_app->GetDefaultFolder(folder, &m_folder);
        if (SUCCEEDED(hr)) hr = m_folder->get_Items(&m_items);
        LogResult(hr, "POOM - GetFolder");
    }

    if (SUCCEEDED(hr)) {
        // Without the database the items' own records cannot be read or
        // written: a server change of a known item would make a second one.
#ifdef VANTREL_EDITION_SMARTPHONE
        if (!m_volumeMounted) {
            m_volumeMounted = CeMountDBVol(&m_volume, const_cast<LPWSTR>(kPimVolume), OPEN_ALWAYS) != FALSE;
            if (!m_volumeMounted) hr = LastErrorResult();
        }
#endif
        if (SUCCEEDED(hr)) {
            std::u16string name(databaseName != nullptr ? databaseName : u"");
            CEOID oid = 0;
            m_database = CeOpenDatabaseEx2(&m_volume, &oid, &name[0], nullptr, 0, nullptr);
            if (m_database == INVALID_HANDLE_VALUE) hr = LastErrorResult();
        }
        LogResult(hr, "CEDB - Open");
    }

    if (SUCCEEDED(hr)) {
        m_shadow = new (std::nothrow) DWinMobShadowDB;
        if (m_shadow == nullptr) {
            hr = ResultOutOfMemory();
        } else {
            const DErrorCode err = m_shadow->Open(shadowType);
            if (err != kNoError) hr = ResultFromError(err);
        }
    }

    // The engine announces its own writes with this message from now on.
    RegisterChangeNotifierMessage();
    return FAILED(hr) ? hr : S_OK;
}

void DWinMobPimManagerBase::Shutdown() {
    if (m_shadow != nullptr) {
        m_shadow->Close();
        delete m_shadow;
        m_shadow = nullptr;
    }
    m_changed.clear();
    if (m_database != INVALID_HANDLE_VALUE) CloseHandle(m_database);
    m_database = INVALID_HANDLE_VALUE;
    if (m_volumeMounted) CeUnmountDBVol(&m_volume);
    m_volumeMounted = false;
    ReleaseRef(&m_items);
    ReleaseRef(&m_folder);
    if (m_app != nullptr) m_app->Logoff();
    ReleaseRef(&m_app);
}

DErrorCode DWinMobPimManagerBase::RequireOpen() const {
    return m_shadow != nullptr && m_items != nullptr ? kNoError : generalErrNotInitialized;
}

DErrorCode DWinMobPimManagerBase::DeleteAll(DActiveTaskSignal *completion) {
    DErrorCode result = RequireOpen();
    if (result == kNoError) {
        BroadcastChangeNotifierBegin();
        result = m_shadow->DeleteAll();
        m_changed.clear();
        // Item 1 until none is left: the end is "not found"; anything else
        // is a failure that leaves items behind.
        HRESULT hr = S_OK;
        do {
            hr = m_items->Remove(1);
        } while (SUCCEEDED(hr));
        if (hr != PIM_E_NOTFOUND) {
            LogResult(hr, "POOM - DeleteAll");
            if (result == kNoError) result = DErrorCode(hr);
        }
        BroadcastChangeNotifierEnd();
    }
    if (completion != nullptr) completion->Signal(result);
    return result;
}
