// File steps of a simple database that other processes may be in the
// middle of: opening with retries, and the read-only snapshot that readers
// load ("X.brw" has the snapshot "X.ro" beside it).
//
// Another process may hold a database file for a moment (a writer saving, a
// reader loading the snapshot), so these steps try up to kDBFileTries times,
// kDBFileRetryDelay ms apart, while the file is busy.
//
// The snapshot is replaced whole: the database is copied to a temporary
// file in the same folder, which is then renamed over the snapshot, so a
// reader finds the old snapshot or the new one, never half of one. A reader
// holds the snapshot only while it loads it; a writer waits for that at
// most kDBSnapshotReplaceTries x kDBSnapshotReplaceDelay ms and otherwise
// leaves the snapshot behind (the next writer's open or save replaces it).
#ifndef QV_DSIMPLEDBSNAPSHOT_H
#define QV_DSIMPLEDBSNAPSHOT_H

#include <string>

#include "DErrorCode.h"
#include "VFile.h"

constexpr int kDBFileTries = 50;
constexpr DWORD kDBFileRetryDelay = 100;
constexpr int kDBSnapshotReplaceTries = 25;
constexpr DWORD kDBSnapshotReplaceDelay = 20;

// The snapshot's name: the database name with its ".brw" extension (in any
// case) replaced by ".ro"; a name without it gets ".ro" appended.
DErrorCode DBSnapshotName(const VFile &database, std::u16string *name);

// Opens file in mode, retrying while another process holds it. A file that
// stays busy is vfileErrFileAccesDenied; other errors return at once.
DErrorCode DBOpenWithRetries(VFile &file, int mode);

// Replaces the snapshot with a copy of the open database file;
// vfileErrFileAccesDenied when a reader holds the snapshot all the while.
DErrorCode DBWriteSnapshot(VFile &database, const std::u16string &snapshot);

// *current: the snapshot exists and holds the open database file's bytes.
// A snapshot that cannot be read now counts as current (there is nothing
// to do about it now).
DErrorCode DBSnapshotIsCurrent(VFile &database, const std::u16string &snapshot, bool *current);

// Deletes the snapshot (and a temporary copy a crash left behind), retrying
// while a reader holds it. A missing snapshot is no error.
DErrorCode DBDeleteSnapshot(const std::u16string &snapshot);

#endif
