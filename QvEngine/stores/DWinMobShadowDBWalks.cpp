// The walks over a shadow database in sort order, and the change scan.
#include <cstdlib>
#include <cstring>

#include "DWinMobShadowDB.h"
#include "ShadowLock.h"
#include "ShadowMarks.h"
#include "ShadowRecordIO.h"

namespace {

// Positions a walk visits at most.
constexpr uint32_t kMaxPositions = 0x7FFFFF;
// The scan's list grows by this many entries at a time.
constexpr uint32_t kListGrowth = 10;

}  // namespace

DErrorCode DWinMobShadowDB::SeekPosition(uint32_t position, CEOID *oid, bool *gone) {
    *oid = 0;
    *gone = false;
    if (!IsOpen()) return kNoError;  // a closed database has no records
    DWORD index = 0;
    *oid = CeSeekDatabaseEx(m_handle, CEDB_SEEK_BEGINNING, position, 1, &index);
    if (*oid == 0 && GetLastError() == ERROR_NO_DATA) *gone = true;
    return kNoError;
}

DErrorCode DWinMobShadowDB::InFolder(CEOID oid, const std::vector<BYTE> &folder, bool *in) {
    std::vector<BYTE> stored;
    bool found = false;
    DErrorCode err = ShadowReadBlob(m_handle, oid, kShadowPropFolderID, &stored, &found);
    *in = err == kNoError && found && stored == folder;
    return err;
}

template <typename Match>
DErrorCode DWinMobShadowDB::NextMatching(uint32_t *position, Match match, DWinMobShadowRecord *record, bool *found) {
    *found = false;
    if (*position == kShadowOidNone) *position = 0;
    for (; *position < kMaxPositions; ++*position) {
        CEOID oid = 0;
        bool gone = false;
        SeekPosition(*position, &oid, &gone);
        if (gone) continue;
        if (oid == 0) return kNoError;  // the end
        bool matches = false;
        DErrorCode err = match(oid, &matches);
        if (err != kNoError) return err;
        if (!matches) continue;
        ++*position;
        *found = true;
        return LoadRecord(record, oid);
    }
    return kNoError;
}

DErrorCode DWinMobShadowDB::GetRecordAt(uint32_t index, DWinMobShadowRecord *record) {
    CEOID oid = 0;
    bool gone = false;
    SeekPosition(index, &oid, &gone);
    return oid == 0 ? generalErrItemNotFound : LoadRecord(record, oid);
}

DErrorCode DWinMobShadowDB::FindByServerID(const WCHAR *serverID, DWinMobShadowRecord *record) {
    if (serverID == nullptr || record == nullptr) return generalErrNULLPointer;
    uint32_t position = 0;
    bool found = false;
    DErrorCode err = NextMatching(
        &position,
        [&](CEOID oid, bool *matches) {
            DErrorCode e = LoadRecord(record, oid);
            *matches = e == kNoError && record->HasServerID() &&
                       std::char_traits<WCHAR>::compare(record->GetServerID(), serverID,
                                                        std::char_traits<WCHAR>::length(serverID) + 1) == 0;
            return e;
        },
        record, &found);
    return err != kNoError ? err : (found ? kNoError : generalErrItemNotFound);
}

DErrorCode DWinMobShadowDB::FindByObjectID(uint32_t objectID, DWinMobShadowRecord *record) {
    if (record == nullptr) return generalErrNULLPointer;
    uint32_t position = 0;
    bool found = false;
    DErrorCode err = NextMatching(
        &position,
        [&](CEOID oid, bool *matches) {
            uint32_t value = 0;
            bool has = false;
            DErrorCode e = ShadowReadUInt(m_handle, oid, kShadowPropObjectID, &value, &has);
            *matches = has && value == objectID;
            return e;
        },
        record, &found);
    return err != kNoError ? err : (found ? kNoError : generalErrItemNotFound);
}

DErrorCode DWinMobShadowDB::CollectMarks(std::vector<CEOID> *marked) {
    marked->clear();
    for (uint32_t position = 0; position < kMaxPositions; ++position) {
        CEOID oid = 0;
        bool gone = false;
        SeekPosition(position, &oid, &gone);
        if (gone) continue;
        if (oid == 0) break;
        uint32_t flags = 0;
        DErrorCode err = ShadowReadUInt(m_handle, oid, kShadowPropFlags, &flags);
        if (err != kNoError) return err;
        if ((flags & kShadowMarkFlags) != 0) marked->push_back(oid);
    }
    ShadowMarksComplete(m_handle, *marked);
    return kNoError;
}

DErrorCode DWinMobShadowDB::NextWithFlag(uint32_t flag, uint32_t *position, DWinMobShadowRecord *record, bool *found) {
    if (position == nullptr || record == nullptr || found == nullptr) return generalErrNULLPointer;
    *found = false;
    if (*position == kShadowOidNone) *position = 0;
    std::vector<CEOID> marked;
    if (!IsOpen() || (!ShadowMarksGet(m_handle, &marked) && CollectMarks(&marked) != kNoError)) {
        // Every record from *position on, its flag word read.
        return NextMatching(
            position,
            [&](CEOID oid, bool *matches) {
                uint32_t flags = 0;
                DErrorCode e = ShadowReadUInt(m_handle, oid, kShadowPropFlags, &flags);
                *matches = (flags & flag) != 0;
                return e;
            },
            record, found);
    }
    // Only the marked records: the first of them in sort order from *position on.
    CEOID first = 0;
    DWORD firstIndex = 0;
    for (CEOID oid : marked) {
        DWORD index = 0;
        if (CeSeekDatabaseEx(m_handle, CEDB_SEEK_CEOID, oid, 1, &index) != oid) {
            if (GetLastError() == ERROR_NO_DATA) ShadowMarksDrop(m_handle, oid);  // deleted
            continue;
        }
        if (index < *position || (first != 0 && index > firstIndex)) continue;
        uint32_t flags = 0;
        DErrorCode err = ShadowReadUInt(m_handle, oid, kShadowPropFlags, &flags);
        if (err != kNoError) return err;
        if ((flags & kShadowMarkFlags) == 0) ShadowMarksDrop(m_handle, oid);
        if ((flags & flag) == 0) continue;
        first = oid;
        firstIndex = index;
    }
    if (first == 0) {
        // Past the end, as a walk over every record leaves it (the last
        // record's index: the count would add up every record's size).
        DWORD last = 0;
        if (CeSeekDatabaseEx(m_handle, CEDB_SEEK_END, 0, 1, &last) != 0 && last + 1 > *position) *position = last + 1;
        return kNoError;
    }
    *position = firstIndex + 1;
    *found = true;
    return LoadRecord(record, first);
}

DErrorCode DWinMobShadowDB::NextSent(uint32_t *position, DWinMobShadowRecord *record, bool *found) {
    return NextWithFlag(kShadowFlagSent, position, record, found);
}

DErrorCode DWinMobShadowDB::NextUnfinished(uint32_t *position, DWinMobShadowRecord *record, bool *found) {
    return NextWithFlag(kShadowFlagIgnoreChanges, position, record, found);
}

DErrorCode DWinMobShadowDB::NextInFolder(const std::vector<BYTE> &folder, uint32_t *position,
                                         DWinMobShadowRecord *record, bool *found) {
    if (position == nullptr || record == nullptr || found == nullptr) return generalErrNULLPointer;
    return NextMatching(
        position, [&](CEOID oid, bool *matches) { return InFolder(oid, folder, matches); }, record, found);
}

DErrorCode DWinMobShadowDB::CountInFolder(const std::vector<BYTE> &folder, uint32_t *count) {
    *count = 0;
    for (uint32_t position = 0; position < kMaxPositions; ++position) {
        CEOID oid = 0;
        bool gone = false;
        SeekPosition(position, &oid, &gone);
        if (gone) continue;
        if (oid == 0) break;
        bool in = false;
        DErrorCode err = InFolder(oid, folder, &in);
        if (err != kNoError) return err;
        if (in) ++*count;
    }
    return kNoError;
}

DErrorCode DWinMobShadowDB::GetRecordInFolder(uint32_t index, const std::vector<BYTE> &folder,
                                              DWinMobShadowRecord *record) {
    uint32_t position = 0;
    for (uint32_t seen = 0;; ++seen) {
        bool found = false;
        DErrorCode err = NextInFolder(folder, &position, record, &found);
        if (err != kNoError) return err;
        if (!found) return generalErrIndexOutOfRange;
        if (seen == index) return kNoError;
    }
}

DErrorCode DWinMobShadowDB::ScanChanged(uint32_t *count, CEOID **list) { return Scan(nullptr, count, list); }

DErrorCode DWinMobShadowDB::ScanChangedInFolder(const std::vector<BYTE> &folder, uint32_t *count, CEOID **list) {
    return Scan(&folder, count, list);
}

DErrorCode DWinMobShadowDB::Scan(const std::vector<BYTE> *folder, uint32_t *count, CEOID **list) {
    if (count == nullptr || list == nullptr) return generalErrNULLPointer;
    *count = 0;
    *list = nullptr;
    uint32_t capacity = 0;
    DErrorCode err = kNoError;
    for (uint32_t position = 0; position < kMaxPositions && err == kNoError; ++position) {
        CEOID oid = 0;
        bool gone = false;
        SeekPosition(position, &oid, &gone);
        if (gone) continue;
        if (oid == 0) break;
        if (folder != nullptr) {
            bool in = false;
            if (InFolder(oid, *folder, &in) != kNoError) err = generalErrItemNotFound;
            if (err != kNoError || !in) continue;
        }
        // Read and move on under the lock: a recorder's 0->1 or 2->3 in
        // between is never overwritten.
        DShadowLockHold hold(m_lock);
        err = hold.Error();
        uint32_t state = 0;
        if (err == kNoError && ShadowReadUInt(m_handle, oid, kShadowPropState, &state) != kNoError)
            err = generalErrItemNotFound;
        if (err != kNoError || state == kShadowUnchanged) continue;
        if (*count == capacity) {
            void *grown = std::realloc(*list, sizeof(CEOID) * (capacity + kListGrowth));
            if (grown == nullptr) {
                err = generalErrMemoryError;
                continue;
            }
            *list = static_cast<CEOID *>(grown);
            capacity += kListGrowth;
        }
        (*list)[(*count)++] = oid;
        if (state == kShadowChanged) err = ShadowWriteUInt(m_handle, oid, kShadowPropState, kShadowPickedUp);
    }
    if (err != kNoError) {
        std::free(*list);
        *list = nullptr;
        *count = 0;
    }
    return err;
}
