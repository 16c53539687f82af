// Advise sinks of the message store and the notifications they get. The
// store (mapistore*) calls Publish after each committed write; sinks of the
// writing process are called before Publish returns (so during the write,
// as the caller sees it), sinks of other processes of the device through
// their owning thread's message queue, in the order the writes were made.
// Advises are kept where every process finds them (mapi.db), so a writer in
// any process reaches them; a sink whose process is gone is dropped.
#ifndef VPLATFORM_MAPINOTIFY_H
#define VPLATFORM_MAPINOTIFY_H

#include <cstdint>
#include <vector>

#include "mapix.h"

namespace vplat {

// One object notification as the store publishes it.
struct MapiObjectEvent {
    ULONG eventType = 0;  // fnevObjectCreated, fnevObjectDeleted, fnevObjectModified, fnevObjectMoved, fnevObjectCopied
    ULONG objType = 0;  // MAPI_FOLDER, MAPI_MESSAGE
    std::vector<BYTE> entryID;
    std::vector<BYTE> parentID;
    std::vector<BYTE> oldID;  // moved or copied: the object's id before (the same as entryID on a move)
    std::vector<BYTE> oldParentID;  // moved or copied: the folder it left
    std::vector<ULONG> changedTags;  // modified: the tags written
};

// Registers a sink for the events of mask on one store (storeID), limited to
// one object when entryID is given (its events and, for a folder, those of
// the objects it holds). The sink is AddRef'd and called on the thread that
// registered it. *connection is never 0.
HRESULT MapiAdviseAdd(int64_t storeID, const BYTE *entryID, ULONG cbEntryID, ULONG mask, IMAPIAdviseSink *sink,
                      ULONG *connection);
// Releases the sink; MAPI_E_NOT_FOUND for an unknown connection.
HRESULT MapiAdviseRemove(ULONG connection);
// Delivers one committed write's events to every matching sink.
void MapiPublish(int64_t storeID, const std::vector<MapiObjectEvent> &events);

}  // namespace vplat

#endif
