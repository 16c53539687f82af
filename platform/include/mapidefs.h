// The message store's data shapes: property tags and values, rows and row
// sets, entry ids, recipient lists, named-property names, notifications, and
// the result codes of the store's calls.
#ifndef VPLATFORM_MAPIDEFS_H
#define VPLATFORM_MAPIDEFS_H

#include <cstddef>

#include "wincom.h"
#include "wintime.h"
#include "wintypes.h"

typedef LONG SCODE;
typedef ULONG FLAGS;
typedef const IID *LPCIID;
typedef WCHAR *LPTSTR;

// Property tags: the identifier in the high 16 bits, the value type low.
#define PROP_TYPE(tag) ((ULONG)(tag) & 0xFFFFu)
#define PROP_ID(tag) ((ULONG)(tag) >> 16)
#define PROP_TAG(type, id) ((((ULONG)(id)) << 16) | ((ULONG)(type)))
#define CHANGE_PROP_TYPE(tag, type) (((ULONG)0xFFFF0000u & (tag)) | (type))

#define PT_UNSPECIFIED 0x0000
#define PT_NULL 0x0001
#define PT_I2 0x0002
#define PT_LONG 0x0003
#define PT_BOOLEAN 0x000B
#define PT_ERROR 0x000A
#define PT_OBJECT 0x000D
#define PT_I8 0x0014
#define PT_STRING8 0x001E
#define PT_UNICODE 0x001F
#define PT_SYSTIME 0x0040
#define PT_CLSID 0x0048
#define PT_BINARY 0x0102

// Object types (PR_OBJECT_TYPE, OpenEntry's out type).
#define MAPI_STORE 0x00000001
#define MAPI_FOLDER 0x00000003
#define MAPI_MESSAGE 0x00000005
#define MAPI_MAILUSER 0x00000006
#define MAPI_ATTACH 0x00000007

// Flags of the calls.
#define MAPI_UNICODE 0x80000000u
#define MAPI_MODIFY 0x00000001u
#define MAPI_CREATE 0x00000002u
#define MAPI_DEFERRED_ERRORS 0x00000008u
#define MAPI_BEST_ACCESS 0x00000010u
#define MAPI_NO_MAIL 0x00008000u
#define MAPI_EXTENDED 0x00000020u
#define MAPI_NEW_SESSION 0x00000002u
#define MAPI_LOGON_UI 0x00000001u
#define MDB_NO_DIALOG 0x00000001u
#define OPEN_IF_EXISTS 0x00000001u
#define FOLDER_GENERIC 1
#define FOLDER_SEARCH 2
#define MESSAGE_MOVE 0x00000001u
#define MESSAGE_DIALOG 0x00000002u
#define FOLDER_MOVE 0x00000001u
#define COPY_SUBFOLDERS 0x00000010u
#define DEL_MESSAGES 0x00000008u
#define DEL_FOLDERS 0x00000004u
#define DEL_ASSOCIATED 0x00000008u
#define KEEP_OPEN_READONLY 0x00000001u
#define KEEP_OPEN_READWRITE 0x00000002u
#define FORCE_SAVE 0x00000004u
#define MODRECIP_ADD 0x00000002u
#define MODRECIP_MODIFY 0x00000004u
#define MODRECIP_REMOVE 0x00000008u
#define ATTACH_BY_VALUE 0x00000001
#define MAPI_ORIG 0
#define MAPI_TO 1
#define MAPI_CC 2
#define MAPI_BCC 3
#define STGM_READ 0x00000000u
#define STGM_WRITE 0x00000001u
#define STGM_READWRITE 0x00000002u
#define STGM_CREATE 0x00001000u
#define TBL_BATCH 0x00000002u
#define BOOKMARK_BEGINNING ((ULONG)0)
#define BOOKMARK_CURRENT ((ULONG)1)
#define BOOKMARK_END ((ULONG)2)
#define MNID_ID 0
#define MNID_STRING 1

// Message flags (PR_MESSAGE_FLAGS).
#define MSGFLAG_READ 0x00000001u
#define MSGFLAG_UNMODIFIED 0x00000002u
#define MSGFLAG_SUBMIT 0x00000004u
#define MSGFLAG_UNSENT 0x00000008u
#define MSGFLAG_HASATTACH 0x00000010u
#define MSGFLAG_FROMME 0x00000020u

// Results.
#define MAPI_E_CALL_FAILED E_FAIL
#define MAPI_E_NOT_ENOUGH_MEMORY E_OUTOFMEMORY
#define MAPI_E_INVALID_PARAMETER E_INVALIDARG
#define MAPI_E_INTERFACE_NOT_SUPPORTED E_NOINTERFACE
#define MAPI_E_NO_ACCESS E_ACCESSDENIED
#define MAPI_E_NO_SUPPORT ((HRESULT)0x80040102L)
#define MAPI_E_BAD_CHARWIDTH ((HRESULT)0x80040103L)
#define MAPI_E_STRING_TOO_LONG ((HRESULT)0x80040105L)
#define MAPI_E_INVALID_ENTRYID ((HRESULT)0x80040107L)
#define MAPI_E_INVALID_OBJECT ((HRESULT)0x80040108L)
#define MAPI_E_OBJECT_CHANGED ((HRESULT)0x80040109L)
#define MAPI_E_OBJECT_DELETED ((HRESULT)0x8004010AL)
#define MAPI_E_NOT_ENOUGH_DISK ((HRESULT)0x8004010DL)
#define MAPI_E_NOT_ENOUGH_RESOURCES ((HRESULT)0x8004010EL)
#define MAPI_E_NOT_FOUND ((HRESULT)0x8004010FL)
#define MAPI_E_LOGON_FAILED ((HRESULT)0x80040111L)
#define MAPI_E_CORRUPT_DATA ((HRESULT)0x8004011BL)
#define MAPI_E_END_OF_SESSION ((HRESULT)0x80040200L)
#define MAPI_E_UNKNOWN_ENTRYID ((HRESULT)0x80040201L)
#define MAPI_E_TOO_BIG ((HRESULT)0x80040305L)
#define MAPI_E_COLLISION ((HRESULT)0x80040604L)
#define MAPI_E_NOT_INITIALIZED ((HRESULT)0x80040605L)
#define MAPI_E_HAS_FOLDERS ((HRESULT)0x80040609L)
#define MAPI_E_HAS_MESSAGES ((HRESULT)0x8004060AL)
#define MAPI_E_FOLDER_CYCLE ((HRESULT)0x8004060BL)
#define MAPI_W_ERRORS_RETURNED ((HRESULT)0x00040380L)

// Notification events.
#define fnevCriticalError 0x00000001u
#define fnevNewMail 0x00000002u
#define fnevObjectCreated 0x00000004u
#define fnevObjectDeleted 0x00000008u
#define fnevObjectModified 0x00000010u
#define fnevObjectMoved 0x00000020u
#define fnevObjectCopied 0x00000040u

// Properties the system reads and writes.
#define PR_ENTRYID PROP_TAG(PT_BINARY, 0x0FFF)
#define PR_OBJECT_TYPE PROP_TAG(PT_LONG, 0x0FFE)
#define PR_PARENT_ENTRYID PROP_TAG(PT_BINARY, 0x0E09)
#define PR_RECORD_KEY PROP_TAG(PT_BINARY, 0x0FF9)
#define PR_DISPLAY_NAME_W PROP_TAG(PT_UNICODE, 0x3001)
#define PR_DISPLAY_NAME PR_DISPLAY_NAME_W
#define PR_ADDRTYPE_W PROP_TAG(PT_UNICODE, 0x3002)
#define PR_EMAIL_ADDRESS_W PROP_TAG(PT_UNICODE, 0x3003)
#define PR_CREATION_TIME PROP_TAG(PT_SYSTIME, 0x3007)
#define PR_LAST_MODIFICATION_TIME PROP_TAG(PT_SYSTIME, 0x3008)
#define PR_ROWID PROP_TAG(PT_LONG, 0x3000)
#define PR_FOLDER_TYPE PROP_TAG(PT_LONG, 0x3601)
#define PR_CONTENT_COUNT PROP_TAG(PT_LONG, 0x3602)
#define PR_SUBFOLDERS PROP_TAG(PT_BOOLEAN, 0x360A)
#define PR_CONTAINER_CLASS_W PROP_TAG(PT_UNICODE, 0x3613)
#define PR_SUBJECT_W PROP_TAG(PT_UNICODE, 0x0037)
#define PR_MESSAGE_CLASS_W PROP_TAG(PT_UNICODE, 0x001A)
#define PR_IMPORTANCE PROP_TAG(PT_LONG, 0x0017)
#define PR_START_DATE PROP_TAG(PT_SYSTIME, 0x0060)
#define PR_END_DATE PROP_TAG(PT_SYSTIME, 0x0061)
#define PR_RESPONSE_REQUESTED PROP_TAG(PT_BOOLEAN, 0x0063)
#define PR_SENDER_EMAIL_ADDRESS_W PROP_TAG(PT_UNICODE, 0x0C1F)
#define PR_SENDER_NAME_W PROP_TAG(PT_UNICODE, 0x0C1A)
#define PR_RECIPIENT_TYPE PROP_TAG(PT_LONG, 0x0C15)
#define PR_MESSAGE_DELIVERY_TIME PROP_TAG(PT_SYSTIME, 0x0E06)
#define PR_MESSAGE_FLAGS PROP_TAG(PT_LONG, 0x0E07)
#define PR_MESSAGE_SIZE PROP_TAG(PT_LONG, 0x0E08)
#define PR_MSG_STATUS PROP_TAG(PT_LONG, 0x0E17)
#define PR_HASATTACH PROP_TAG(PT_BOOLEAN, 0x0E1B)
#define PR_ATTACH_SIZE PROP_TAG(PT_LONG, 0x0E20)
#define PR_ATTACH_NUM PROP_TAG(PT_LONG, 0x0E21)
#define PR_BODY_W PROP_TAG(PT_UNICODE, 0x1000)
#define PR_ATTACH_DATA_BIN PROP_TAG(PT_BINARY, 0x3701)
#define PR_ATTACH_FILENAME_W PROP_TAG(PT_UNICODE, 0x3704)
#define PR_ATTACH_METHOD PROP_TAG(PT_LONG, 0x3705)
#define PR_ATTACH_PATHNAME_W PROP_TAG(PT_UNICODE, 0x3708)
// The store's special folders.
#define PR_IPM_SUBTREE_ENTRYID PROP_TAG(PT_BINARY, 0x35E0)
#define PR_IPM_OUTBOX_ENTRYID PROP_TAG(PT_BINARY, 0x35E2)
#define PR_IPM_WASTEBASKET_ENTRYID PROP_TAG(PT_BINARY, 0x35E3)
#define PR_IPM_SENTMAIL_ENTRYID PROP_TAG(PT_BINARY, 0x35E4)
#define PR_CE_IPM_DRAFTS_ENTRYID PROP_TAG(PT_BINARY, 0x8104)
#define PR_CE_IPM_INBOX_ENTRYID PROP_TAG(PT_BINARY, 0x8106)

typedef struct _ENTRYID {
    BYTE abFlags[4];
    BYTE ab[1];
} ENTRYID, *LPENTRYID;

typedef struct _SBinary {
    ULONG cb;
    LPBYTE lpb;
} SBinary, *LPSBinary;

typedef struct _SBinaryArray {
    ULONG cValues;
    SBinary *lpbin;
} SBinaryArray, ENTRYLIST, *LPENTRYLIST;

typedef struct _SLargeInteger {
    ULONG LowPart;
    LONG HighPart;
} SLargeInteger;

typedef union _PV {
    short int i;
    LONG l;
    ULONG ul;
    unsigned short int b;
    FILETIME ft;
    char *lpszA;
    WCHAR *lpszW;
    SBinary bin;
    GUID *lpguid;
    LONGLONG li;
    SCODE err;
    LONG x;
} __UPV;

typedef struct _SPropValue {
    ULONG ulPropTag;
    ULONG dwAlignPad;
    __UPV Value;
} SPropValue, *LPSPropValue;

typedef struct _SPropTagArray {
    ULONG cValues;
    ULONG aulPropTag[1];
} SPropTagArray, *LPSPropTagArray;

#define CbNewSPropTagArray(n) (offsetof(SPropTagArray, aulPropTag) + (n) * sizeof(ULONG))
#define SizedSPropTagArray(n, name) \
    struct _SPropTagArray_##name {   \
        ULONG cValues;               \
        ULONG aulPropTag[n];         \
    } name

typedef struct _SPropProblem {
    ULONG ulIndex;
    ULONG ulPropTag;
    SCODE scode;
} SPropProblem;

typedef struct _SPropProblemArray {
    ULONG cProblem;
    SPropProblem aProblem[1];
} SPropProblemArray, *LPSPropProblemArray;

typedef struct _SRow {
    ULONG ulAdrEntryPad;
    ULONG cValues;
    LPSPropValue lpProps;
} SRow, *LPSRow;

typedef struct _SRowSet {
    ULONG cRows;
    SRow aRow[1];
} SRowSet, *LPSRowSet;

#define CbNewSRowSet(n) (offsetof(SRowSet, aRow) + (n) * sizeof(SRow))

typedef struct _ADRENTRY {
    ULONG ulReserved1;
    ULONG cValues;
    LPSPropValue rgPropVals;
} ADRENTRY, *LPADRENTRY;

typedef struct _ADRLIST {
    ULONG cEntries;
    ADRENTRY aEntries[1];
} ADRLIST, *LPADRLIST;

#define CbNewADRLIST(n) (offsetof(ADRLIST, aEntries) + (n) * sizeof(ADRENTRY))

typedef struct _MAPINAMEID {
    LPGUID lpguid;
    ULONG ulKind;
    union {
        LONG lID;
        LPWSTR lpwstrName;
    } Kind;
} MAPINAMEID, *LPMAPINAMEID;

// The property set of the string-named properties: {00020328-0000-0000-C000-000000000046}.
constexpr GUID PS_MAPI = {0x00020328, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

typedef struct _OBJECT_NOTIFICATION {
    ULONG cbEntryID;
    LPENTRYID lpEntryID;
    ULONG ulObjType;
    ULONG cbParentID;
    LPENTRYID lpParentID;
    ULONG cbOldID;
    LPENTRYID lpOldID;
    ULONG cbOldParentID;
    LPENTRYID lpOldParentID;
    LPSPropTagArray lpPropTagArray;
} OBJECT_NOTIFICATION;

typedef struct _NOTIFICATION {
    ULONG ulEventType;
    ULONG ulAlignPad;
    union {
        OBJECT_NOTIFICATION obj;
    } info;
} NOTIFICATION, *LPNOTIFICATION;

#endif
