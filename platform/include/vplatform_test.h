// For tests only: hooks that replace what the device's network and radio
// services answer, so that a test reaches each failure without hardware,
// and one that stops a process in the middle of its registry writes.
// Programs never call these. A script stays in force for the process until
// it is replaced or reset; tests reset it when they end.
#ifndef VPLATFORM_VPLATFORM_TEST_H
#define VPLATFORM_VPLATFORM_TEST_H

#include <string>
#include <vector>

#include "connmgr.h"
#include "tapi.h"
#include "wintypes.h"

namespace vplat {

// The Connection Manager's answers. The defaults are the device's own
// behaviour: ready, every http(s) URL maps to the Internet, and a connection
// is up while the host has a network interface up.
struct ConnMgrScript {
    bool readyEventAvailable = true;  // false: ConnMgrApiReadyEvent gives NULL
    bool ready = true;  // false: the ready event is never signalled
    HRESULT mapResult = S_OK;  // a failure: ConnMgrMapURL fails with it
    HRESULT establishResult = S_OK;  // a failure: ConnMgrEstablishConnectionSync
    DWORD establishStatus = CONNMGR_STATUS_CONNECTIONFAILED;  // fails with it and reports this state
    HRESULT statusResult = S_OK;  // a failure: ConnMgrConnectionStatus fails with it
    int networkUp = -1;  // -1 ask the host; 0 no interface up; 1 up
};
PLATAPI void ConnMgrSetScript(const ConnMgrScript &script);
PLATAPI void ConnMgrResetScript(void);

// What the Connection Manager has done.
struct ConnMgrCounters {
    DWORD establishCalls = 0;  // ConnMgrEstablishConnectionSync calls since the last reset
    DWORD heldConnections = 0;  // connections established and not yet released
};
PLATAPI ConnMgrCounters ConnMgrGetCounters(void);

// A message shown to the user (MessageBoxW), in the order shown.
struct ShownMessage {
    std::u16string caption;
    std::u16string text;
    UINT type = 0;
};
PLATAPI std::vector<ShownMessage> MessagesShown(void);
PLATAPI void MessagesShownReset(void);

// One line device of the telephony service.
struct TelephonyLine {
    std::u16string name;  // e.g. u"Cellular Line"
    DWORD equipmentState = LINEEQUIPSTATE_FULL;
    LONG equipmentResult = 0;  // a failure: lineGetEquipmentState fails with it
};
// The telephony service's answers; the default has no line devices.
struct TelephonyScript {
    LONG initializeResult = 0;  // a failure: lineInitializeEx fails with it
    std::vector<TelephonyLine> lines;
};
PLATAPI void TelephonySetScript(const TelephonyScript &script);
PLATAPI void TelephonyResetScript(void);
// Telephony instances and open lines not yet released (a test's leak check).
PLATAPI DWORD TelephonyHeldCount(void);

// Called after each value a registry call has set (RegSetValueExW), before
// the call returns and, inside RegBeginTransaction, before the commit: a
// test ends its process there to see what a kill at that point leaves.
// Null removes it.
typedef void (*RegistryWriteHook)(void);
PLATAPI void RegistrySetWriteHook(RegistryWriteHook hook);

}  // namespace vplat

#endif
