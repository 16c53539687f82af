// The message stores' file (<device root>/mapi.db) as the store objects use
// it: this thread's connection, the tables, entry ids, and one write
// transaction per store call.
// - objects: every store, folder, message, attachment and recipient, with
//   its store, parent and kind; ids grow and are never reused, so an entry
//   id (store + object id) names one object for good and rows sort in
//   creation order.
// - props: one row per stored property; integers inline, everything else
//   as bytes in chunks of kMapiChunk, so a large body streams.
// - names: the named properties of each store.
// Several processes write the file at once: each write is one BEGIN
// IMMEDIATE transaction, so a process killed mid-write leaves the old state.
#ifndef VPLATFORM_MAPIDB_H
#define VPLATFORM_MAPIDB_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "mapidefs.h"
#include "mapinotify.h"
#include "sqlitedb.h"
#include "winerror.h"

namespace vplat {

// Bytes of one chunk of a stored value.
const size_t kMapiChunk = 64 * 1024;

// The object kinds are the object types of PR_OBJECT_TYPE.
const ULONG kMapiKindStore = MAPI_STORE;
const ULONG kMapiKindFolder = MAPI_FOLDER;
const ULONG kMapiKindMessage = MAPI_MESSAGE;
const ULONG kMapiKindAttach = MAPI_ATTACH;
const ULONG kMapiKindRecipient = MAPI_MAILUSER;

// One row of objects.
struct MapiObjectRow {
    int64_t id = 0;
    int64_t store = 0;
    int64_t parent = 0;  // 0: none (a store)
    ULONG kind = 0;
    int64_t num = 0;  // an attachment's number, a recipient's row id
    bool saved = false;  // a message saved at least once
};

// The result code of a store call for an error number of the file.
HRESULT MapiResult(DWORD err);

// This thread's connection to the open device's mapi.db, tables made.
HRESULT MapiDbForThread(SqliteDb **db);
// The advise sinks' tables (mapinotifydb.cpp), made with the store's.
extern const char kMapiNoticeSchema[];

// Runs body in one write transaction, retrying within a bound while other
// writers hold the file; then publishes the events body listed (only when
// it committed).
HRESULT MapiWrite(int64_t store, const std::function<HRESULT(SqliteDb &, std::vector<MapiObjectEvent> *)> &body);
// Runs body in one read transaction: one state of the file.
HRESULT MapiRead(const std::function<HRESULT(SqliteDb &)> &body);

// Entry ids: 4 flag bytes, a 4-byte mark, the store id and the object id.
std::vector<BYTE> MapiEntryId(int64_t store, int64_t object);
// MAPI_E_INVALID_ENTRYID for bytes that are no entry id of the device.
HRESULT MapiParseEntryId(ULONG cb, const BYTE *bytes, int64_t *store, int64_t *object);

// The object's row; MAPI_E_NOT_FOUND when it is gone.
HRESULT MapiLoadObject(SqliteDb &db, int64_t id, MapiObjectRow *row);
// Inserts an object; *id gets its new id.
HRESULT MapiInsertObject(SqliteDb &db, const MapiObjectRow &row, const std::u16string *folderName, int64_t *id);
// Every object below id (not id itself), parents before their children.
HRESULT MapiSubtree(SqliteDb &db, int64_t id, std::vector<MapiObjectRow> *rows);
// The children of id of one kind (0: any), in creation order.
HRESULT MapiChildren(SqliteDb &db, int64_t id, ULONG kind, std::vector<int64_t> *ids);
// Removes id, everything below it and their properties.
HRESULT MapiDeleteTree(SqliteDb &db, int64_t id);
// Lists a new message as not yet saved, made by this process.
HRESULT MapiNoteUnsaved(SqliteDb &db, int64_t message);
// Removes the new messages never saved whose making process is gone (a
// process stopped between CreateMessage and SaveChanges).
HRESULT MapiDropAbandoned(SqliteDb &db);
// Takes a message's next attachment number: never given twice in it.
HRESULT MapiTakeAttachNumber(SqliteDb &db, int64_t message, int64_t *number);

// The current time as a FILETIME count.
int64_t MapiNow();

// Folder names compare without regard to letter case.
std::u16string MapiFoldName(const std::u16string &name);

}  // namespace vplat

#endif
