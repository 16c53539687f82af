// ShadowMarks: per open shadow database, the records of this process's
// knowledge that may carry a flag the purge and the completion of sent items
// look for (kShadowMarkFlags), so that those walks read only them instead of
// every record after each Sync window. Every flag word written through
// ShadowRecordIO or DWinMobShadowDB adds its record; a full read of the
// database's flags makes the set whole (until then it is unknown, as it is
// after each open: a record marked by a process that stopped is found).
// Records whose marks are gone are dropped as the walks find them.
// Flags are written by this engine's own stores only; a flag write through
// a handle that was not registered makes every set unknown again.
#ifndef QV_SHADOWMARKS_H
#define QV_SHADOWMARKS_H

#include <cstdint>
#include <vector>

#include "ShadowProps.h"
#include "windbase.h"

// The flags the walks by flag look for.
constexpr uint32_t kShadowMarkFlags = kShadowFlagSent | kShadowFlagIgnoreChanges;

// An open shadow database's handle and name; its set starts unknown.
void ShadowMarksRegister(HANDLE db, const WCHAR *name);
void ShadowMarksUnregister(HANDLE db);
// A flag word was written to oid through db.
void ShadowMarksNote(HANDLE db, CEOID oid, uint32_t flags);
// The set of db; false while unknown.
bool ShadowMarksGet(HANDLE db, std::vector<CEOID> *oids);
// A full read of db's flags found oids marked: the set is whole.
void ShadowMarksComplete(HANDLE db, const std::vector<CEOID> &oids);
// The record is gone or carries no mark.
void ShadowMarksDrop(HANDLE db, CEOID oid);

#endif
