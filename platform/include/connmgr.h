// The Connection Manager: maps a URL to a destination network and brings up
// a data connection to it. On this device a connection stands for the host's
// network: it is up while the host has a network interface up (loopback
// counts). Tests replace the answers through vplatform_test.h.
#ifndef VPLATFORM_CONNMGR_H
#define VPLATFORM_CONNMGR_H

#include "winguid.h"
#include "wintypes.h"
#include "winuser.h"

// Which fields of CONNMGR_CONNECTIONINFO a request fills in.
#define CONNMGR_PARAM_GUIDDESTNET 0x1
#define CONNMGR_PARAM_MAXCOST 0x2
#define CONNMGR_PARAM_MINRCVBW 0x4
#define CONNMGR_PARAM_MAXCONNLATENCY 0x8

// The kind of proxy a connection may go through.
#define CONNMGR_FLAG_PROXY_HTTP 0x1

#define CONNMGR_PRIORITY_USERINTERACTIVE 0x08000
#define CONNMGR_PRIORITY_USERBACKGROUND 0x02000
#define CONNMGR_PRIORITY_LOWBKGND 0x00010

// Connection states (ConnMgrConnectionStatus, ConnMgrEstablishConnectionSync).
#define CONNMGR_STATUS_UNKNOWN 0x00
#define CONNMGR_STATUS_CONNECTED 0x10
#define CONNMGR_STATUS_DISCONNECTED 0x20
#define CONNMGR_STATUS_CONNECTIONFAILED 0x21
#define CONNMGR_STATUS_NOPATHTODESTINATION 0x24
#define CONNMGR_STATUS_PHONEOFF 0x27
#define CONNMGR_STATUS_WAITINGCONNECTION 0x40

// The one destination network of this device: the Internet.
static const GUID IID_DestNetInternet = {0x436ef144, 0xb4fb, 0x4863, {0xa0, 0x41, 0x8f, 0x90, 0x5a, 0x62, 0xc5, 0x72}};

// A connection request. cbSize must be sizeof(CONNMGR_CONNECTIONINFO).
typedef struct _CONNMGR_CONNECTIONINFO {
    DWORD cbSize;
    DWORD dwParams;  // CONNMGR_PARAM_*
    DWORD dwFlags;  // CONNMGR_FLAG_*
    DWORD dwPriority;  // CONNMGR_PRIORITY_*
    BOOL bExclusive;
    BOOL bDisabled;
    GUID guidDestNet;
    HWND hWnd;  // status messages: not sent by this device
    UINT uMsg;
    LPARAM lParam;
    ULONG ulMaxCost;
    ULONG ulMinRcvBw;
    ULONG ulMaxConnLatency;
} CONNMGR_CONNECTIONINFO;

extern "C" {
// A new event (close it with CloseHandle) that is signalled once the
// Connection Manager takes requests; NULL when it cannot be had.
PLATAPI HANDLE ConnMgrApiReadyEvent(void);
// The destination network of an "http:" or "https:" URL with a host;
// E_INVALIDARG for a missing argument or another URL. *pdwIndex (optional)
// is the enumeration index, set to 0: every URL maps to one network.
PLATAPI HRESULT ConnMgrMapURL(LPCWSTR pwszURL, GUID *pguid, DWORD *pdwIndex);
// Brings a connection up and answers at once (dwTimeout is never needed):
// S_OK with *phConnection and CONNMGR_STATUS_CONNECTED, or E_FAIL with the
// state that says why. The connection is held until ConnMgrReleaseConnection.
PLATAPI HRESULT ConnMgrEstablishConnectionSync(CONNMGR_CONNECTIONINFO *pConnInfo, HANDLE *phConnection,
                                               DWORD dwTimeout, DWORD *pdwStatus);
// The state of a held connection; E_INVALIDARG for an unknown handle.
PLATAPI HRESULT ConnMgrConnectionStatus(HANDLE hConnection, DWORD *pdwStatus);
// Releases a held connection. lCache (how long the device may keep the link
// up for another user) has no effect here.
PLATAPI HRESULT ConnMgrReleaseConnection(HANDLE hConnection, LONG lCache);
}

#endif
