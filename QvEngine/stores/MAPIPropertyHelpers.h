// Free helpers with which every store component resolves the program's
// named message properties and reads and writes single properties, the body
// and the recipients of a store object (a message or a folder).
// - Each takes an optional logger (null: no log lines).
// - Store results pass through unchanged; the program's own codes are
//   generalErrMemoryError, generalErrItemNotFound, generalErrInvalidParameter
//   and generalErrUnknownError as each helper says.
// - The body is read from its stream piece by piece.
#ifndef QV_MAPIPROPERTYHELPERS_H
#define QV_MAPIPROPERTYHELPERS_H

#include <functional>
#include <string>
#include <vector>

#include "DErrorCode.h"
#include "ILogProvider.h"
#include "VString.h"
#include "mapi.h"

// The program's named properties (string names in PS_MAPI).
extern const WCHAR kPropNameServerID[];        // "X-QV-ServerID", PT_UNICODE
extern const WCHAR kPropNameParentServerID[];  // "X-QV-SmartReply-ParentServerID", PT_UNICODE
extern const WCHAR kPropNameSendType[];        // "X-QV-SendType", PT_LONG
extern const WCHAR kPropNameGlobalObjID[];     // "PR_SPLUS_GLOBAL_OBJID", PT_BINARY
extern const WCHAR kPropNameWhere[];           // "PR_SPLUS_WHERE", PT_UNICODE
extern const WCHAR kPropNameFolderID[];        // "X-QV-BRWFolderID", PT_LONG

// One name resolved with create: *tag = the store's identifier (high 16
// bits) and type. generalErrItemNotFound when the answer holds no identifier.
// Reads a table from its beginning with the given columns, batch rows at a
// time, handing every batch to visit, the last one empty (count 0); stops
// at the first error visit returns or when it sets *stop. A failing table
// call returns its result.
DErrorCode WalkMAPITable(IMAPITable *table, LPSPropTagArray columns, LONG batch,
                         const std::function<DErrorCode(const SRow *rows, ULONG count, bool *stop)> &visit);

DErrorCode GetMAPIPropertyIDFromName(IMAPIProp *store, const WCHAR *name, ULONG type, ULONG *tag,
                                     ILogProvider *log = nullptr);

// One wide string property; generalErrItemNotFound when the object lacks it.
DErrorCode GetMAPIMessageStringProprty(IMAPIProp *object, ULONG tag, std::u16string *text,
                                       ILogProvider *log = nullptr);
// One 32-bit property; generalErrItemNotFound when the object lacks it.
DErrorCode GetMAPIMessageULONGProprty(IMAPIProp *object, ULONG tag, ULONG *value, ILogProvider *log = nullptr);
// Sets one 32-bit property (not saved); generalErrUnknownError when the
// store refuses it.
DErrorCode SetMAPIMessageULONGProprty(IMAPIProp *object, ULONG tag, ULONG value, ILogProvider *log = nullptr);

// PR_BODY_W, read through its stream; a message without a body gives the
// open's error.
DErrorCode GetMAPIMessageBody(IMessage *message, VString *body, ILogProvider *log = nullptr);

// The recipients' addresses by type (1 To, 2 Cc, 3 Bcc), appended in table
// order. A row without type or address fails with generalErrItemNotFound,
// a row of another type with generalErrInvalidParameter (rows before it
// stay in the lists).
DErrorCode GetMAPIMessageRecipients(IMessage *message, std::vector<std::u16string> *to,
                                    std::vector<std::u16string> *cc, std::vector<std::u16string> *bcc,
                                    ILogProvider *log = nullptr);

#endif
