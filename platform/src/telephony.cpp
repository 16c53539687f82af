// The telephony service: instances, line devices and the cellular radio's
// equipment state. The device has no radio, so the service starts with no
// lines unless a test's script gives it some (vplatform_test.h). Each
// instance sees the lines the script had when it started.
#include <cstring>
#include <map>
#include <mutex>

#include "tapi.h"
#include "vplatform_test.h"
#include "winfile.h"
#include "winthread.h"

namespace vplat {
namespace {

constexpr DWORD kLowestApiVersion = 0x00010003;
constexpr DWORD kLowestExtVersion = 0x00010000;
constexpr DWORD kHighestExtVersion = 0x00010001;

struct AppInstance {
    std::vector<TelephonyLine> lines;
    HANDLE event = nullptr;
};

struct OpenLine {
    uintptr_t app;
    DWORD device;
};

struct TelephonyState {
    std::mutex lock;
    TelephonyScript script;
    std::map<uintptr_t, AppInstance> apps;
    std::map<uintptr_t, OpenLine> lines;
    uintptr_t next = 1;
};

TelephonyState &State() {
    static TelephonyState *state = new TelephonyState;  // outlives static destructors
    return *state;
}

uintptr_t Id(HLINEAPP app) { return reinterpret_cast<uintptr_t>(app); }
uintptr_t Id(HLINE line) { return reinterpret_cast<uintptr_t>(line); }

// The instance behind a handle, or null; the caller holds the lock.
AppInstance *FindApp(TelephonyState &s, HLINEAPP app) {
    auto it = s.apps.find(Id(app));
    return it == s.apps.end() ? nullptr : &it->second;
}

// The instance and its line device, or the error that says which is wrong.
LONG FindDevice(TelephonyState &s, HLINEAPP app, DWORD device, AppInstance **instance) {
    *instance = FindApp(s, app);
    if (*instance == nullptr) return LINEERR_INVALAPPHANDLE;
    if (device >= (*instance)->lines.size()) return LINEERR_BADDEVICEID;
    return 0;
}

// The highest version both sides speak within [low, high], or 0.
DWORD Negotiate(DWORD low, DWORD high, DWORD ourLow, DWORD ourHigh) {
    const DWORD best = high < ourHigh ? high : ourHigh;
    const DWORD floor = low > ourLow ? low : ourLow;
    return low <= high && best >= floor ? best : 0;
}

}  // namespace

PLATAPI void TelephonySetScript(const TelephonyScript &script) {
    TelephonyState &s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.script = script;
}

PLATAPI void TelephonyResetScript(void) { TelephonySetScript(TelephonyScript()); }

PLATAPI DWORD TelephonyHeldCount(void) {
    TelephonyState &s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    return DWORD(s.apps.size() + s.lines.size());
}

}  // namespace vplat

extern "C" PLATAPI LONG lineInitializeEx(LPHLINEAPP lphLineApp, HINSTANCE hInstance, LINECALLBACK lpfnCallback,
                                         LPCWSTR lpszFriendlyAppName, LPDWORD lpdwNumDevs, LPDWORD lpdwAPIVersion,
                                         LPLINEINITIALIZEEXPARAMS lpLineInitializeExParams) {
    (void)hInstance;
    (void)lpfnCallback;
    (void)lpszFriendlyAppName;
    if (lphLineApp == nullptr || lpdwNumDevs == nullptr || lpdwAPIVersion == nullptr) return LINEERR_INVALPOINTER;
    LPLINEINITIALIZEEXPARAMS params = lpLineInitializeExParams;
    if (params != nullptr && params->dwTotalSize < sizeof(LINEINITIALIZEEXPARAMS)) return LINEERR_STRUCTURETOOSMALL;
    if (*lpdwAPIVersion < vplat::kLowestApiVersion) return LINEERR_INCOMPATIBLEAPIVERSION;

    vplat::TelephonyState &s = vplat::State();
    vplat::AppInstance instance;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        if (s.script.initializeResult != 0) return s.script.initializeResult;
        instance.lines = s.script.lines;
    }
    if (params != nullptr && (params->dwOptions & LINEINITIALIZEEXOPTION_USEEVENT) != 0) {
        // Signalled when events wait; this device raises none.
        instance.event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (instance.event == nullptr) return LINEERR_NOMEM;
        params->Handles.hEvent = instance.event;
    }
    if (params != nullptr) params->dwNeededSize = params->dwUsedSize = sizeof(LINEINITIALIZEEXPARAMS);

    std::lock_guard<std::mutex> guard(s.lock);
    const uintptr_t id = s.next++;
    *lpdwNumDevs = DWORD(instance.lines.size());
    s.apps.emplace(id, std::move(instance));
    *lphLineApp = reinterpret_cast<HLINEAPP>(id);
    *lpdwAPIVersion = TAPI_CURRENT_VERSION;
    return 0;
}

extern "C" PLATAPI LONG lineShutdown(HLINEAPP hLineApp) {
    vplat::TelephonyState &s = vplat::State();
    HANDLE event = nullptr;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        auto it = s.apps.find(vplat::Id(hLineApp));
        if (it == s.apps.end()) return LINEERR_INVALAPPHANDLE;
        event = it->second.event;
        for (auto line = s.lines.begin(); line != s.lines.end();)
            line = line->second.app == it->first ? s.lines.erase(line) : std::next(line);
        s.apps.erase(it);
    }
    if (event != nullptr) CloseHandle(event);
    return 0;
}

extern "C" PLATAPI LONG lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                                                DWORD dwAPIHighVersion, LPDWORD lpdwAPIVersion,
                                                LPLINEEXTENSIONID lpExtensionID) {
    vplat::TelephonyState &s = vplat::State();
    std::lock_guard<std::mutex> guard(s.lock);
    vplat::AppInstance *instance = nullptr;
    if (LONG err = vplat::FindDevice(s, hLineApp, dwDeviceID, &instance)) return err;
    if (lpdwAPIVersion == nullptr || lpExtensionID == nullptr) return LINEERR_INVALPOINTER;
    const DWORD version =
        vplat::Negotiate(dwAPILowVersion, dwAPIHighVersion, vplat::kLowestApiVersion, TAPI_CURRENT_VERSION);
    if (version == 0) return LINEERR_INCOMPATIBLEAPIVERSION;
    *lpdwAPIVersion = version;
    memset(lpExtensionID, 0, sizeof *lpExtensionID);
    return 0;
}

extern "C" PLATAPI LONG lineNegotiateExtVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion,
                                                DWORD dwExtLowVersion, DWORD dwExtHighVersion,
                                                LPDWORD lpdwExtVersion) {
    (void)dwAPIVersion;
    vplat::TelephonyState &s = vplat::State();
    std::lock_guard<std::mutex> guard(s.lock);
    vplat::AppInstance *instance = nullptr;
    if (LONG err = vplat::FindDevice(s, hLineApp, dwDeviceID, &instance)) return err;
    if (lpdwExtVersion == nullptr) return LINEERR_INVALPOINTER;
    const DWORD version =
        vplat::Negotiate(dwExtLowVersion, dwExtHighVersion, vplat::kLowestExtVersion, vplat::kHighestExtVersion);
    if (version == 0) return LINEERR_INCOMPATIBLEEXTVERSION;
    *lpdwExtVersion = version;
    return 0;
}

extern "C" PLATAPI LONG lineGetDevCaps(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                                       LPLINEDEVCAPS lpLineDevCaps) {
    (void)dwAPIVersion;
    (void)dwExtVersion;
    vplat::TelephonyState &s = vplat::State();
    std::lock_guard<std::mutex> guard(s.lock);
    vplat::AppInstance *instance = nullptr;
    if (LONG err = vplat::FindDevice(s, hLineApp, dwDeviceID, &instance)) return err;
    if (lpLineDevCaps == nullptr) return LINEERR_INVALPOINTER;
    const DWORD total = lpLineDevCaps->dwTotalSize;
    if (total < sizeof(LINEDEVCAPS)) return LINEERR_STRUCTURETOOSMALL;

    const std::u16string &name = instance->lines[dwDeviceID].name;
    const DWORD nameBytes = DWORD((name.size() + 1) * sizeof(WCHAR));
    memset(lpLineDevCaps, 0, sizeof(LINEDEVCAPS));
    lpLineDevCaps->dwTotalSize = total;
    lpLineDevCaps->dwNeededSize = DWORD(sizeof(LINEDEVCAPS)) + nameBytes;
    lpLineDevCaps->dwUsedSize = sizeof(LINEDEVCAPS);
    lpLineDevCaps->dwPermanentLineID = dwDeviceID;
    lpLineDevCaps->dwStringFormat = LINESTRINGFORMAT_UNICODE;
    if (lpLineDevCaps->dwNeededSize <= total) {
        memcpy(reinterpret_cast<BYTE *>(lpLineDevCaps) + sizeof(LINEDEVCAPS), name.c_str(), nameBytes);
        lpLineDevCaps->dwLineNameOffset = sizeof(LINEDEVCAPS);
        lpLineDevCaps->dwLineNameSize = nameBytes;
        lpLineDevCaps->dwUsedSize = lpLineDevCaps->dwNeededSize;
    }
    return 0;
}

extern "C" PLATAPI LONG lineOpen(HLINEAPP hLineApp, DWORD dwDeviceID, LPHLINE lphLine, DWORD dwAPIVersion,
                                 DWORD dwExtVersion, DWORD_PTR dwCallbackInstance, DWORD dwPrivileges,
                                 DWORD dwMediaModes, LPLINECALLPARAMS lpCallParams) {
    (void)dwAPIVersion;
    (void)dwExtVersion;
    (void)dwCallbackInstance;
    (void)dwPrivileges;
    (void)dwMediaModes;
    vplat::TelephonyState &s = vplat::State();
    std::lock_guard<std::mutex> guard(s.lock);
    vplat::AppInstance *instance = nullptr;
    if (LONG err = vplat::FindDevice(s, hLineApp, dwDeviceID, &instance)) return err;
    if (lphLine == nullptr) return LINEERR_INVALPOINTER;
    if (lpCallParams != nullptr) return LINEERR_INVALPARAM;
    const uintptr_t id = s.next++;
    s.lines.emplace(id, vplat::OpenLine{vplat::Id(hLineApp), dwDeviceID});
    *lphLine = reinterpret_cast<HLINE>(id);
    return 0;
}

extern "C" PLATAPI LONG lineClose(HLINE hLine) {
    vplat::TelephonyState &s = vplat::State();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.lines.erase(vplat::Id(hLine)) == 1 ? 0 : LINEERR_INVALLINEHANDLE;
}

extern "C" PLATAPI LONG lineGetEquipmentState(HLINE hLine, LPDWORD lpdwEquipmentState, LPDWORD lpdwRadioSupport) {
    vplat::TelephonyState &s = vplat::State();
    std::lock_guard<std::mutex> guard(s.lock);
    auto it = s.lines.find(vplat::Id(hLine));
    if (it == s.lines.end()) return LINEERR_INVALLINEHANDLE;
    if (lpdwEquipmentState == nullptr || lpdwRadioSupport == nullptr) return LINEERR_INVALPOINTER;
    const vplat::TelephonyLine &line = s.apps.at(it->second.app).lines[it->second.device];
    if (line.equipmentResult != 0) return line.equipmentResult;
    *lpdwEquipmentState = line.equipmentState;
    *lpdwRadioSupport = line.equipmentState == LINEEQUIPSTATE_MINIMUM ? LINERADIOSUPPORT_OFF : LINERADIOSUPPORT_ON;
    return 0;
}
