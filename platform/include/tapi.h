// Telephony: the device's line devices, their capabilities and, for the
// cellular line, the radio's equipment state. This device has no cellular
// radio: by default the service starts with no line devices. Tests give it
// lines through vplatform_test.h.
#ifndef VPLATFORM_TAPI_H
#define VPLATFORM_TAPI_H

#include "wintypes.h"
#include "winuser.h"

typedef struct HLINEAPP__ *HLINEAPP;
typedef struct HLINE__ *HLINE;
typedef HLINEAPP *LPHLINEAPP;
typedef HLINE *LPHLINE;

// Line events; this device raises none.
typedef void(CALLBACK *LINECALLBACK)(DWORD hDevice, DWORD dwMessage, DWORD_PTR dwInstance, DWORD_PTR dwParam1,
                                     DWORD_PTR dwParam2, DWORD_PTR dwParam3);

// The versions this service speaks.
#define TAPI_CURRENT_VERSION 0x00020002

#define LINEINITIALIZEEXOPTION_USEHIDDENWINDOW 0x00000001
#define LINEINITIALIZEEXOPTION_USEEVENT 0x00000002

#define LINECALLPRIVILEGE_NONE 0x00000001
#define LINECALLPRIVILEGE_MONITOR 0x00000002
#define LINECALLPRIVILEGE_OWNER 0x00000004

#define LINEMEDIAMODE_INTERACTIVEVOICE 0x00000004
#define LINEMEDIAMODE_DATAMODEM 0x00000010

#define LINESTRINGFORMAT_UNICODE 0x00000003

// Equipment states of the cellular radio (lineGetEquipmentState).
#define LINEEQUIPSTATE_MINIMUM 0x00000001  // radio off
#define LINEEQUIPSTATE_RXONLY 0x00000002
#define LINEEQUIPSTATE_TXONLY 0x00000003
#define LINEEQUIPSTATE_NOTXRX 0x00000004
#define LINEEQUIPSTATE_FULL 0x00000005

#define LINERADIOSUPPORT_OFF 0x00000001
#define LINERADIOSUPPORT_ON 0x00000002
#define LINERADIOSUPPORT_UNKNOWN 0x00000003

// Results: 0 is success, failures have the high bit set.
#define LINEERR_BADDEVICEID ((LONG)0x80000002)
#define LINEERR_INCOMPATIBLEAPIVERSION ((LONG)0x8000000C)
#define LINEERR_INCOMPATIBLEEXTVERSION ((LONG)0x8000000D)
#define LINEERR_INVALAPPHANDLE ((LONG)0x80000015)
#define LINEERR_INVALLINEHANDLE ((LONG)0x8000002B)
#define LINEERR_INVALPARAM ((LONG)0x80000032)
#define LINEERR_INVALPOINTER ((LONG)0x80000035)
#define LINEERR_NOMEM ((LONG)0x80000044)
#define LINEERR_RESOURCEUNAVAIL ((LONG)0x80000047)
#define LINEERR_OPERATIONFAILED ((LONG)0x80000048)
#define LINEERR_OPERATIONUNAVAIL ((LONG)0x80000049)
#define LINEERR_STRUCTURETOOSMALL ((LONG)0x8000004D)

typedef struct linetag_LINEEXTENSIONID {
    DWORD dwExtensionID0;
    DWORD dwExtensionID1;
    DWORD dwExtensionID2;
    DWORD dwExtensionID3;
} LINEEXTENSIONID, *LPLINEEXTENSIONID;

typedef struct linetag_LINEINITIALIZEEXPARAMS {
    DWORD dwTotalSize;
    DWORD dwNeededSize;
    DWORD dwUsedSize;
    DWORD dwOptions;  // LINEINITIALIZEEXOPTION_*
    union {
        HANDLE hEvent;  // out, with LINEINITIALIZEEXOPTION_USEEVENT
        HANDLE hCompletionPort;
    } Handles;
    DWORD dwCompletionKey;
} LINEINITIALIZEEXPARAMS, *LPLINEINITIALIZEEXPARAMS;

// The capabilities of a line device: this fixed part, then the texts it
// points to (offsets from the record's start) in the caller's buffer of
// dwTotalSize bytes. Only the fields this device fills are declared.
typedef struct linetag_LINEDEVCAPS {
    DWORD dwTotalSize;  // in: the caller's buffer
    DWORD dwNeededSize;  // out: the size of the whole answer
    DWORD dwUsedSize;
    DWORD dwProviderInfoSize;
    DWORD dwProviderInfoOffset;
    DWORD dwSwitchInfoSize;
    DWORD dwSwitchInfoOffset;
    DWORD dwPermanentLineID;
    DWORD dwLineNameSize;  // bytes, the terminator included
    DWORD dwLineNameOffset;
    DWORD dwStringFormat;  // LINESTRINGFORMAT_UNICODE
} LINEDEVCAPS, *LPLINEDEVCAPS;

// Call parameters of lineOpen; this device takes none (pass null).
typedef struct linetag_LINECALLPARAMS LINECALLPARAMS, *LPLINECALLPARAMS;

extern "C" {
// Starts a telephony instance. *lpdwAPIVersion: in the caller's highest
// version, out the service's. With LINEINITIALIZEEXOPTION_USEEVENT the
// params receive an event owned by the instance (closed by lineShutdown).
PLATAPI LONG lineInitializeEx(LPHLINEAPP lphLineApp, HINSTANCE hInstance, LINECALLBACK lpfnCallback,
                              LPCWSTR lpszFriendlyAppName, LPDWORD lpdwNumDevs, LPDWORD lpdwAPIVersion,
                              LPLINEINITIALIZEEXPARAMS lpLineInitializeExParams);
PLATAPI LONG lineShutdown(HLINEAPP hLineApp);
PLATAPI LONG lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                                     DWORD dwAPIHighVersion, LPDWORD lpdwAPIVersion,
                                     LPLINEEXTENSIONID lpExtensionID);
PLATAPI LONG lineNegotiateExtVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtLowVersion,
                                     DWORD dwExtHighVersion, LPDWORD lpdwExtVersion);
// LINEERR_STRUCTURETOOSMALL when dwTotalSize cannot hold the fixed part;
// texts that do not fit are left out (size 0) and dwNeededSize says how much
// room they need.
PLATAPI LONG lineGetDevCaps(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                            LPLINEDEVCAPS lpLineDevCaps);
PLATAPI LONG lineOpen(HLINEAPP hLineApp, DWORD dwDeviceID, LPHLINE lphLine, DWORD dwAPIVersion, DWORD dwExtVersion,
                      DWORD_PTR dwCallbackInstance, DWORD dwPrivileges, DWORD dwMediaModes,
                      LPLINECALLPARAMS lpCallParams);
PLATAPI LONG lineClose(HLINE hLine);
// The radio's state on a cellular line (LINEEQUIPSTATE_*, LINERADIOSUPPORT_*).
PLATAPI LONG lineGetEquipmentState(HLINE hLine, LPDWORD lpdwEquipmentState, LPDWORD lpdwRadioSupport);
}

#endif
