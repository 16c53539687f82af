// The probes that decide whether the phone is in flight mode: the device has
// a cellular line, it has Wi-Fi support, its radio is off. The connection
// engine declares flight mode when there is a cellular line whose radio is
// off and no Wi-Fi support.
#ifndef QV_CONNECTIVITYPROBES_H
#define QV_CONNECTIVITYPROBES_H

#include "wintypes.h"

// TRUE when the telephony service has a line named "Cellular Line" that
// can be opened.
BOOL HasCellularLine();
// TRUE when HKEY_LOCAL_MACHINE\Software\Microsoft\WZCSVC can be opened for
// reading.
BOOL HasWiFiSupport();
// TRUE when the cellular line reports its radio in the minimum (off)
// equipment state; FALSE without a cellular line or when it cannot say.
BOOL IsRadioOff();

#endif
