// The meeting's identity in its two forms: the UID text that ActiveSync
// carries, and the binary global object id that the device calendar keeps
// in the appointment's raw record. A UID that is itself the hexadecimal
// form of a global object id becomes those bytes; any other UID travels
// inside a global object id of the "vCal-Uid" form, which carries the text.
//
// Global object id layout (little-endian where numeric): 16 bytes class id,
// 4 bytes instance date (year high byte, year low byte, month, day; 0 none),
// 8 bytes creation time, 8 bytes reserved, 4 bytes size of the data, data.
// The "vCal-Uid" data is "vCal-Uid" 01 00 00 00, then the text.
#ifndef QV_MEETINGUID_H
#define QV_MEETINGUID_H

#include <cstdint>

#include "windbase.h"
#include "wintime.h"
#include "wintypes.h"

// The class id in hexadecimal, as a UID in binary form begins.
extern const WCHAR kGlobalObjectIDClassHex[];

// uid -> a new global object id in *blob (bytes from LocalAlloc; the caller
// frees them with LocalFree). The instance date of the result is always
// zero. E_FAIL for a missing or empty text and for a text that begins with
// the class id but is shorter than 40 characters; E_OUTOFMEMORY; E_POINTER
// without blob. A text is decoded only when it begins with the class id (in
// upper case) and is an even number of hexadecimal digits; any other text
// is wrapped as "vCal-Uid" text.
HRESULT UIDToGlobalObjectID(const WCHAR *uid, CEBLOB *blob);

// A global object id -> *uid, a new zero-terminated text (LocalAlloc; the
// caller frees it with LocalFree). When date is given it receives the
// instance date's year, month and day (all 0 when none; the other fields
// 0), and a binary id's text carries zeros in the date's place, so that
// every occurrence of a meeting reads as one UID. E_UNEXPECTED for a blob
// of 35 bytes or fewer or of another class; E_OUTOFMEMORY; E_POINTER
// without blob or uid. Nothing past the blob's count is read.
HRESULT GlobalObjectIDToUID(const CEBLOB *blob, WCHAR **uid, SYSTEMTIME *date);

// Two uppercase hexadecimal digits per byte into out (2 x count units, no
// terminator); returns the number of units written.
uint32_t BytesToHex(const BYTE *bytes, uint32_t count, WCHAR *out);

#endif
