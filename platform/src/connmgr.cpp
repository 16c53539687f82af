// The Connection Manager over the host's network: a connection is a handle
// that stands for "the host has a network interface up". Tests replace the
// answers with a script (vplatform_test.h).
#include <ifaddrs.h>
#include <net/if.h>

#include <cstring>
#include <memory>
#include <mutex>

#include "connmgr.h"
#include "handles.h"
#include "vplatform_test.h"
#include "winerror.h"
#include "winstr.h"
#include "winthread.h"

namespace vplat {
namespace {

struct ConnMgrState {
    std::mutex lock;
    ConnMgrScript script;
    ConnMgrCounters counters;
};

ConnMgrState &State() {
    static ConnMgrState *state = new ConnMgrState;  // outlives static destructors
    return *state;
}

ConnMgrScript CurrentScript() {
    ConnMgrState &s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.script;
}

bool HostHasInterfaceUp() {
    struct ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0) return false;
    bool up = false;
    for (struct ifaddrs *a = list; a != nullptr && !up; a = a->ifa_next) up = (a->ifa_flags & IFF_UP) != 0;
    freeifaddrs(list);
    return up;
}

bool NetworkUp(const ConnMgrScript &script) {
    return script.networkUp < 0 ? HostHasInterfaceUp() : script.networkUp != 0;
}

// A held connection; closing its handle releases it.
class ConnMgrConnection : public KernelObject {
public:
    ConnMgrConnection() {
        ConnMgrState &s = State();
        std::lock_guard<std::mutex> guard(s.lock);
        ++s.counters.heldConnections;
    }
    void Close() override {
        ConnMgrState &s = State();
        std::lock_guard<std::mutex> guard(s.lock);
        if (s.counters.heldConnections > 0) --s.counters.heldConnections;
    }
};

// True for "http://host..." or "https://host..." (scheme case-insensitive).
bool IsMappableUrl(LPCWSTR url) {
    for (const char16_t *scheme : {u"http://", u"https://"}) {
        const size_t n = size_t(lstrlenW(scheme));
        if (_wcsnicmp(url, scheme, n) != 0) continue;
        const WCHAR first = url[n];
        return first != u'\0' && first != u'/' && first != u'?' && first != u'#';
    }
    return false;
}

}  // namespace

PLATAPI void ConnMgrSetScript(const ConnMgrScript &script) {
    ConnMgrState &s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.script = script;
}

PLATAPI void ConnMgrResetScript(void) {
    ConnMgrState &s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.script = ConnMgrScript();
    s.counters.establishCalls = 0;
}

PLATAPI ConnMgrCounters ConnMgrGetCounters(void) {
    ConnMgrState &s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.counters;
}

}  // namespace vplat

extern "C" PLATAPI HANDLE ConnMgrApiReadyEvent(void) {
    const vplat::ConnMgrScript script = vplat::CurrentScript();
    if (!script.readyEventAvailable) return nullptr;
    return CreateEventW(nullptr, TRUE, script.ready ? TRUE : FALSE, nullptr);
}

extern "C" PLATAPI HRESULT ConnMgrMapURL(LPCWSTR pwszURL, GUID *pguid, DWORD *pdwIndex) {
    if (pwszURL == nullptr || pguid == nullptr || !vplat::IsMappableUrl(pwszURL)) return E_INVALIDARG;
    const vplat::ConnMgrScript script = vplat::CurrentScript();
    if (FAILED(script.mapResult)) return script.mapResult;
    *pguid = IID_DestNetInternet;
    if (pdwIndex != nullptr) *pdwIndex = 0;
    return S_OK;
}

extern "C" PLATAPI HRESULT ConnMgrEstablishConnectionSync(CONNMGR_CONNECTIONINFO *pConnInfo, HANDLE *phConnection,
                                                          DWORD dwTimeout, DWORD *pdwStatus) {
    (void)dwTimeout;
    if (pConnInfo == nullptr || phConnection == nullptr || pdwStatus == nullptr ||
        pConnInfo->cbSize != sizeof(CONNMGR_CONNECTIONINFO))
        return E_INVALIDARG;
    *phConnection = nullptr;
    vplat::ConnMgrScript script;
    {
        vplat::ConnMgrState &s = vplat::State();
        std::lock_guard<std::mutex> guard(s.lock);
        ++s.counters.establishCalls;
        script = s.script;
    }
    if (FAILED(script.establishResult)) {
        *pdwStatus = script.establishStatus;
        return script.establishResult;
    }
    // Only the Internet exists here; a request for another network has no path.
    if ((pConnInfo->dwParams & CONNMGR_PARAM_GUIDDESTNET) != 0 &&
        !IsEqualGUID(pConnInfo->guidDestNet, IID_DestNetInternet)) {
        *pdwStatus = CONNMGR_STATUS_NOPATHTODESTINATION;
        return E_FAIL;
    }
    if (!vplat::NetworkUp(script)) {
        *pdwStatus = CONNMGR_STATUS_NOPATHTODESTINATION;
        return E_FAIL;
    }
    HANDLE connection = vplat::HandleInsert(std::make_shared<vplat::ConnMgrConnection>());
    *phConnection = connection;
    *pdwStatus = CONNMGR_STATUS_CONNECTED;
    return S_OK;
}

extern "C" PLATAPI HRESULT ConnMgrConnectionStatus(HANDLE hConnection, DWORD *pdwStatus) {
    if (pdwStatus == nullptr || vplat::HandleGet<vplat::ConnMgrConnection>(hConnection) == nullptr)
        return E_INVALIDARG;
    const vplat::ConnMgrScript script = vplat::CurrentScript();
    if (FAILED(script.statusResult)) return script.statusResult;
    *pdwStatus = vplat::NetworkUp(script) ? CONNMGR_STATUS_CONNECTED : CONNMGR_STATUS_DISCONNECTED;
    return S_OK;
}

extern "C" PLATAPI HRESULT ConnMgrReleaseConnection(HANDLE hConnection, LONG lCache) {
    (void)lCache;
    if (vplat::HandleGet<vplat::ConnMgrConnection>(hConnection) == nullptr) return E_INVALIDARG;
    vplat::HandleClose(hConnection);
    return S_OK;
}
