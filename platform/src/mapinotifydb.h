// The advise sinks' side of the device's message store file (mapi.db): who
// advised (process, thread's notice window, store, filter, events) and the
// notices that wait for a sink of another thread or process. A notice holds
// one write's events that match one advise; its sequence number orders the
// notices of the whole device. Each thread of each process has its own
// connection; nothing is held between calls.
#ifndef VPLATFORM_MAPINOTIFYDB_H
#define VPLATFORM_MAPINOTIFYDB_H

#include <cstdint>
#include <vector>

#include "mapinotify.h"
#include "winuser.h"

namespace vplat {

class SqliteDb;

// One advise as every process sees it. id is the connection number.

// A notice to store for an advise of another thread or process.
struct MapiPendingNotice {
    int64_t advise = 0;
    std::vector<MapiObjectEvent> events;
};

// This process's identity as advises record it.
int64_t MapiProcessId();
int64_t MapiProcessStarted();
// Whether the process that made an advise still runs.
bool MapiAdviseAlive(const MapiAdviseRecord &advise);

// Records an advise; rec.id is set to its new connection number (never 0).
DWORD MapiNoticeAddAdvise(MapiAdviseRecord *rec);
// Removes an advise and the notices that wait for it.
DWORD MapiNoticeRemoveAdvises(const std::vector<int64_t> &ids);
// The advises on a store, oldest first.
DWORD MapiNoticeLoadAdvises(int64_t store, std::vector<MapiAdviseRecord> *advises);
// Stores notices in the writer's open transaction on db, so that their
// sequence numbers follow the order the writes commit in; *seqs gets them
// in the same order.
DWORD MapiNoticeQueue(SqliteDb &db, const std::vector<MapiPendingNotice> &notices, std::vector<int64_t> *seqs);
// Takes (removes) the oldest notice that waits for an advise of this
// process made through window; *found false when none waits.
DWORD MapiNoticeTakeNext(HWND window, MapiPendingNotice *notice, bool *found);

// The events as stored bytes, and back; false for bytes that are no list of
// events.
std::vector<BYTE> MapiEncodeEvents(const std::vector<MapiObjectEvent> &events);
bool MapiDecodeEvents(const std::vector<BYTE> &bytes, std::vector<MapiObjectEvent> *events);

}  // namespace vplat

#endif
