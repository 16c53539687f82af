#include "ConnectivityProbes.h"

#include "CellularLine.h"
#include "DRegistryKey.h"
#include "winerror.h"

BOOL HasCellularLine() {
    DCellularLine line;
    return line.Open() ? TRUE : FALSE;
}

BOOL HasWiFiSupport() {
    DRegistryKey key;
    return key.Open(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\WZCSVC", KEY_READ) == ERROR_SUCCESS ? TRUE : FALSE;
}

BOOL IsRadioOff() {
    DCellularLine line;
    if (!line.Open()) return FALSE;
    DWORD state = 0;
    DWORD radioSupport = 0;
    if (lineGetEquipmentState(line.Line(), &state, &radioSupport) != 0) return FALSE;
    return state == LINEEQUIPSTATE_MINIMUM ? TRUE : FALSE;
}
