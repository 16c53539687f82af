// Advise sinks of the message store and the notifications they get. The
// store prepares each write's publication inside the write's transaction
// and delivers it after the commit: sinks of the writing thread are called
// before the write call returns (so during the write, as the caller sees
// it), sinks of other threads and processes of the device through their
// owning thread's message queue, in the order the writes committed.
// Advises are kept where every process finds them (mapi.db), so a writer in
// any process reaches them; a sink whose process is gone is dropped.
#ifndef VPLATFORM_MAPINOTIFY_H
#define VPLATFORM_MAPINOTIFY_H

#include <cstdint>
#include <utility>
#include <vector>

#include "mapix.h"
#include "winuser.h"

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
// One advise as every process of the device finds it.
struct MapiAdviseRecord {
    int64_t id = 0;
    int64_t store = 0;
    bool filtered = false;
    std::vector<BYTE> entryID;  // filtered: the object watched
    ULONG mask = 0;
    int64_t pid = 0;
    int64_t started = 0;  // the process's start time: a reused pid is another process
    HWND window = nullptr;  // the advising thread's notice window
};

// One write's events on their way to the sinks.
struct MapiPublication {
    std::vector<std::pair<ULONG, std::vector<MapiObjectEvent>>> here;  // sinks of the writing thread
    std::vector<std::pair<int64_t, MapiAdviseRecord>> woken;  // a stored notice's sequence number and its advise
    std::vector<int64_t> gone;  // advises of processes that ended
};

class SqliteDb;
// Inside the writer's transaction on db, before its commit: stores the
// notices for the sinks of other threads and processes, so that they see
// the writes of every process in the order the writes commit.
void MapiPublishPrepare(SqliteDb &db, int64_t storeID, const std::vector<MapiObjectEvent> &events,
                        MapiPublication *publication);
// After the commit: wakes the other sinks' threads and calls the writing
// thread's own sinks.
void MapiPublishDeliver(const MapiPublication &publication);

}  // namespace vplat

#endif
