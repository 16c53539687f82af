// The device's property databases: named databases of records, each record
// a set of typed properties, kept in the object store (<device root>/
// objectstore.db) or in a mounted database volume (its own file under fs/).
// Records are walked in a database's sort order; object ids of databases
// and records are never reused and never 0, 0x7FFF7FFF, -2 or -3. A handle
// opened with a notification request makes every write to its database, by
// any handle of any process of the device, post WM_DBNOTIFICATION to the
// requesting window, in the order the writes were made.
#ifndef VPLATFORM_WINDBASE_H
#define VPLATFORM_WINDBASE_H

#include <cstring>

#include "winerror.h"
#include "winfile.h"
#include "wintime.h"
#include "wintypes.h"
#include "winuser.h"

typedef DWORD CEOID;
typedef CEOID *PCEOID;
typedef DWORD CEPROPID;
typedef CEPROPID *PCEPROPID;

// A database volume; the object store is the all-zero (or all-ones) value
// or a null pointer.
typedef struct _CEGUID {
    DWORD Data1;
    DWORD Data2;
    DWORD Data3;
    DWORD Data4;
} CEGUID, *PCEGUID;

#define CREATE_SYSTEMGUID(pguid) (memset((pguid), 0xFF, sizeof(CEGUID)))
#define CREATE_INVALIDGUID(pguid) (memset((pguid), 0, sizeof(CEGUID)))
#define CHECK_SYSTEMGUID(pguid) \
    ((pguid)->Data1 == 0xFFFFFFFF && (pguid)->Data2 == 0xFFFFFFFF && (pguid)->Data3 == 0xFFFFFFFF && \
     (pguid)->Data4 == 0xFFFFFFFF)
#define CHECK_INVALIDGUID(pguid) \
    ((pguid)->Data1 == 0 && (pguid)->Data2 == 0 && (pguid)->Data3 == 0 && (pguid)->Data4 == 0)

// Value types: the low word of a property id.
#define CEVT_I2 2
#define CEVT_I4 3
#define CEVT_R8 5
#define CEVT_BOOL 11
#define CEVT_UI2 18
#define CEVT_UI4 19
#define CEVT_LPWSTR 31
#define CEVT_FILETIME 64
#define CEVT_BLOB 65

#define TypeFromPropID(propid) LOWORD(propid)
#define PropIdFromPropID(propid) HIWORD(propid)

typedef struct _CEBLOB {
    DWORD dwCount;
    LPBYTE lpb;
} CEBLOB;

typedef union _CEVALUNION {
    SHORT iVal;
    USHORT uiVal;
    LONG lVal;
    ULONG ulVal;
    FILETIME filetime;
    LPWSTR lpwstr;
    CEBLOB blob;
    BOOL boolVal;
    double dblVal;
} CEVALUNION;

typedef struct _CEPROPVAL {
    CEPROPID propid;
    WORD wLenData;
    WORD wFlags;  // CEDB_PROPDELETE on a write, CEDB_PROPNOTFOUND on a read
    CEVALUNION val;
} CEPROPVAL, *PCEPROPVAL;

#define CEDB_PROPNOTFOUND 0x0100
#define CEDB_PROPDELETE 0x0200

#define CEDB_MAXDBASENAMELEN 32
#define CEDB_MAXSORTORDER 4
#define CEDB_MAXSORTPROP 3
#define CEDB_MAXPROPDATASIZE 0x3FFFF

// Flags of a sort order: per property (rgdwFlags) and for the key (wKeyFlags).
#define CEDB_SORT_DESCENDING 0x00000001
#define CEDB_SORT_CASEINSENSITIVE 0x00000002
#define CEDB_SORT_UNKNOWNFIRST 0x00000004
#define CEDB_SORT_GENERICORDER 0x00000008
#define CEDB_SORT_UNIQUE 0x00000200
#define CEDB_SORT_NONNULL 0x00000400

#define SORTORDERSPECEX_VERSION 1
typedef struct _SORTORDERSPECEX {
    WORD wVersion;
    WORD wNumProps;
    WORD wKeyFlags;
    WORD wReserved;
    CEPROPID rgPropID[CEDB_MAXSORTPROP];
    DWORD rgdwFlags[CEDB_MAXSORTPROP];
} SORTORDERSPECEX;

// Which fields of CEDBASEINFOEX a caller filled in.
#define CEDB_VALIDNAME 0x0001
#define CEDB_VALIDTYPE 0x0002
#define CEDB_VALIDSORTSPEC 0x0004
#define CEDB_VALIDMODTIME 0x0008
#define CEDB_VALIDDBFLAGS 0x0010
#define CEDB_VALIDCREATE (CEDB_VALIDNAME | CEDB_VALIDTYPE | CEDB_VALIDSORTSPEC | CEDB_VALIDDBFLAGS)

#define CEDBASEINFOEX_VERSION 1
typedef struct _CEDBASEINFOEX {
    WORD wVersion;
    WORD wNumSortOrder;
    DWORD dwFlags;
    WCHAR szDbaseName[CEDB_MAXDBASENAMELEN];
    DWORD dwDbaseType;
    DWORD dwNumRecords;
    DWORD dwSize;
    FILETIME ftLastModified;
    SORTORDERSPECEX rgSortSpecs[CEDB_MAXSORTORDER];
} CEDBASEINFOEX, *PCEDBASEINFOEX;

#define BY_HANDLE_DB_INFORMATION_VERSION 1
typedef struct _BY_HANDLE_DB_INFORMATION {
    WORD wVersion;
    WORD wReserved;
    CEGUID guidVol;
    CEOID oidDbase;
    CEDBASEINFOEX infoex;
} BY_HANDLE_DB_INFORMATION, *LPBY_HANDLE_DB_INFORMATION;

// Open flags: each read moves the handle to the next record.
#define CEDB_AUTOINCREMENT 0x00000001

// Seek types.
#define CEDB_SEEK_CEOID 0x00000001
#define CEDB_SEEK_BEGINNING 0x00000002
#define CEDB_SEEK_END 0x00000004
#define CEDB_SEEK_CURRENT 0x00000008
#define CEDB_SEEK_VALUESMALLER 0x00000010
#define CEDB_SEEK_VALUEFIRSTEQUAL 0x00000020
#define CEDB_SEEK_VALUEGREATER 0x00000040
#define CEDB_SEEK_VALUENEXTEQUAL 0x00000080

// Read flags: the call may allocate or grow the buffer (LocalAlloc).
#define CEDB_ALLOWREALLOC 0x00000001

// Notifications.
#define CEDB_EXNOTIFICATION 0x00000001
#define WM_DBNOTIFICATION 0x03FD
#define DB_CEOID_CREATED (WM_USER + 0x1)
#define DB_CEOID_DATABASE_DELETED (WM_USER + 0x2)
#define DB_CEOID_RECORD_DELETED (WM_USER + 0x3)
#define DB_CEOID_CHANGED (WM_USER + 0x6)

// What a window asks for: with CEDB_EXNOTIFICATION each notice is a
// WM_DBNOTIFICATION whose lParam is a CENOTIFICATION (free it with
// CeFreeNotification); without it the message is the notice type itself,
// wParam the object id and lParam the database's. The heap is unused: notices
// come from the local heap.
typedef struct _CENOTIFYREQUEST {
    DWORD dwSize;
    HWND hwnd;
    DWORD dwFlags;
    HANDLE hHeap;
    DWORD dwParam;
} CENOTIFYREQUEST, *PCENOTIFYREQUEST;

typedef struct _CENOTIFICATION {
    DWORD dwSize;
    DWORD dwParam;
    UINT uType;
    CEGUID guid;
    CEOID oid;
    CEOID oidParent;
} CENOTIFICATION, *PCENOTIFICATION;

// Errors of these calls beyond the common ones.
#ifndef ERROR_DUP_NAME
#define ERROR_DUP_NAME 52L  // a database of that name exists
#endif
#ifndef ERROR_NO_DATA
#define ERROR_NO_DATA 232L  // the record the handle or the call names is gone
#endif
#ifndef ERROR_DISK_FULL
#define ERROR_DISK_FULL 112L
#endif

extern "C" {
// Returns the new database's object id, 0 on failure (ERROR_DUP_NAME when
// the name exists on that volume).
PLATAPI CEOID CeCreateDatabaseEx2(PCEGUID pguid, CEDBASEINFOEX *pInfo);
// Opens by object id (*poid not 0) or else by name (case-insensitive),
// setting *poid. A null pSort takes the database's first sort order; a
// given one must be one of the database's. INVALID_HANDLE_VALUE on failure
// (ERROR_FILE_NOT_FOUND when no such database). Close with CloseHandle.
PLATAPI HANDLE CeOpenDatabaseEx2(PCEGUID pguid, PCEOID poid, LPWSTR lpszName, SORTORDERSPECEX *pSort, DWORD dwFlags,
                                 CENOTIFYREQUEST *pRequest);
// Moves the handle and returns the record's object id (its position in
// *lpdwIndex), or 0: ERROR_NO_DATA for an object id that names no record of
// the database, ERROR_NO_MORE_ITEMS past either end.
PLATAPI CEOID CeSeekDatabaseEx(HANDLE hDatabase, DWORD dwSeekType, DWORD_PTR dwValue, WORD wNumVals,
                               LPDWORD lpdwIndex);
// Reads the current record's properties (all of them for a null rgPropID,
// then *lpcPropID is set to their number) into *lplpBuffer: the CEPROPVALs,
// then their strings and blobs. A property the record lacks comes back with
// CEDB_PROPNOTFOUND. ERROR_INSUFFICIENT_BUFFER (and the size needed in
// *lpcbBuffer) when the buffer is short and CEDB_ALLOWREALLOC is not given.
PLATAPI CEOID CeReadRecordPropsEx(HANDLE hDbase, DWORD dwFlags, LPWORD lpcPropID, CEPROPID *rgPropID,
                                  LPBYTE *lplpBuffer, LPDWORD lpcbBuffer, HANDLE hHeap);
// Writes properties into a record (oidRecord 0 makes a new one) in one
// atomic step; CEDB_PROPDELETE removes a property. Returns the record's
// object id, 0 on failure (ERROR_ALREADY_EXISTS when a unique sort key
// would repeat).
PLATAPI CEOID CeWriteRecordProps(HANDLE hDbase, CEOID oidRecord, WORD cPropID, CEPROPVAL *rgPropVal);
PLATAPI BOOL CeDeleteRecord(HANDLE hDatabase, CEOID oidRecord);
PLATAPI BOOL CeGetDBInformationByHandle(HANDLE hDbase, LPBY_HANDLE_DB_INFORMATION lpDBInfo);
PLATAPI BOOL CeDeleteDatabaseEx(PCEGUID pguid, CEOID oid);
// Mounts the volume file at a device path (dwFlags as CreateFileW's
// creation disposition) and gives its GUID. Mounts are counted per process:
// each mount needs its unmount.
PLATAPI BOOL CeMountDBVol(PCEGUID pguid, LPWSTR lpszVol, DWORD dwFlags);
PLATAPI BOOL CeUnmountDBVol(PCEGUID pguid);
PLATAPI BOOL CeFreeNotification(PCENOTIFYREQUEST pRequest, PCENOTIFICATION pNotify);
}

#endif
