#include "DWinMobShadowRecord.h"

#include <new>

#include "ShadowLock.h"
#include "ShadowRecordIO.h"

DWinMobShadowRecord::DWinMobShadowRecord()
    : m_type(0),
      m_mask(kShadowMaskBase),
      m_oid(kShadowOidNone),
      m_db(INVALID_HANDLE_VALUE),
      m_lock(nullptr),
      m_hasServerID(false) {}

void DWinMobShadowRecord::Bind(uint32_t type, CEOID oid, HANDLE db, HANDLE lock) {
    m_type = type;
    m_oid = oid;
    m_db = db;
    m_lock = lock;
    m_mask = kShadowMaskBase;
    if (type == kShadowEmail) m_mask = kShadowMaskEmail;
    if (type == kShadowCalendar || type == kShadowContacts) m_mask |= kShadowMaskObjectID;
}

void DWinMobShadowRecord::Clear() {
    m_serverID.clear();
    m_hasServerID = false;
    m_localID.clear();
    m_db = INVALID_HANDLE_VALUE;
    m_lock = nullptr;
    m_mask = 0;
}

DErrorCode DWinMobShadowRecord::SetServerID(const WCHAR *serverID) {
    try {
        m_hasServerID = serverID != nullptr;
        m_serverID = serverID != nullptr ? serverID : u"";
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    return kNoError;
}

DErrorCode DWinMobShadowRecord::GetLocalID(std::vector<BYTE> *out) const {
    try {
        *out = m_localID;
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    return kNoError;
}

DErrorCode DWinMobShadowRecord::SetLocalID(const BYTE *bytes, uint32_t size) {
    try {
        m_localID.assign(bytes, bytes + (bytes != nullptr ? size : 0));
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    return kNoError;
}

bool DWinMobShadowRecord::Stored() const {
    return m_db != INVALID_HANDLE_VALUE && m_oid != 0 && m_oid != kShadowOidNew;
}

DErrorCode DWinMobShadowRecord::ReadUInt(CEPROPID prop, uint32_t *value) const {
    *value = 0;
    return Stored() ? ShadowReadUInt(m_db, m_oid, prop, value) : kNoError;
}

DErrorCode DWinMobShadowRecord::ReadBlob(CEPROPID prop, std::vector<BYTE> *out, bool *found) const {
    out->clear();
    *found = false;
    return Stored() ? ShadowReadBlob(m_db, m_oid, prop, out, found) : kNoError;
}

template <typename Change>
DErrorCode DWinMobShadowRecord::Update(CEPROPID prop, Change change) {
    if (!Stored()) return generalErrItemNotFound;
    DShadowLockHold hold(m_lock);
    if (hold.Error() != kNoError) return hold.Error();
    uint32_t value = 0;
    DErrorCode err = ShadowReadUInt(m_db, m_oid, prop, &value);
    if (err != kNoError) return err;
    const uint32_t updated = change(value);
    return updated == value ? kNoError : ShadowWriteUInt(m_db, m_oid, prop, updated);
}

DErrorCode DWinMobShadowRecord::GetFolderID(std::vector<BYTE> *out) const {
    bool found = false;
    DErrorCode err = ReadBlob(kShadowPropFolderID, out, &found);
    return err != kNoError ? err : (found ? kNoError : generalErrItemNotFound);
}

DErrorCode DWinMobShadowRecord::SetFolderID(const BYTE *bytes, uint32_t size) {
    if (!Stored()) return generalErrItemNotFound;
    return ShadowWriteBlob(m_db, m_oid, kShadowPropFolderID, bytes, bytes != nullptr ? size : 0);
}

DErrorCode DWinMobShadowRecord::GetPreviousFolderID(std::vector<BYTE> *out) const {
    bool found = false;
    DErrorCode err = ReadBlob(kShadowPropPrevFolderID, out, &found);
    return err != kNoError ? err : (found ? kNoError : generalErrItemNotFound);
}

DErrorCode DWinMobShadowRecord::SetPreviousFolderID(const BYTE *bytes, uint32_t size) {
    if (!Stored()) return generalErrItemNotFound;
    return ShadowWriteBlob(m_db, m_oid, kShadowPropPrevFolderID, bytes, bytes != nullptr ? size : 0);
}

DErrorCode DWinMobShadowRecord::GetBodyChecksum(BYTE checksum[8]) const {
    std::vector<BYTE> stored;
    bool found = false;
    DErrorCode err = ReadBlob(kShadowPropChecksum, &stored, &found);
    for (size_t i = 0; i < 8; ++i) checksum[i] = i < stored.size() ? stored[i] : 0;
    return err;
}

DErrorCode DWinMobShadowRecord::SetBodyChecksum(const BYTE checksum[8]) {
    if (!Stored()) return generalErrItemNotFound;
    if (checksum == nullptr) return generalErrNULLPointer;
    return ShadowWriteBlob(m_db, m_oid, kShadowPropChecksum, checksum, 8);
}

DErrorCode DWinMobShadowRecord::SetSentBodyChecksum(const BYTE checksum[8]) {
    if (!Stored()) return generalErrItemNotFound;
    if (checksum == nullptr) return generalErrNULLPointer;
    return ShadowWriteBlob(m_db, m_oid, kShadowPropSentChecksum, checksum, 8);
}

DErrorCode DWinMobShadowRecord::PromoteSentBodyChecksum() {
    if (!Stored()) return generalErrItemNotFound;
    std::vector<BYTE> sent;
    bool found = false;
    DErrorCode err = ReadBlob(kShadowPropSentChecksum, &sent, &found);
    if (err != kNoError || !found || sent.size() != 8) return err;
    err = SetBodyChecksum(sent.data());
    return err != kNoError ? err : ShadowWriteBlob(m_db, m_oid, kShadowPropSentChecksum, nullptr, 0);
}

DErrorCode DWinMobShadowRecord::GetMeetingResponse(uint32_t *response) const {
    return ReadUInt(kShadowPropMeetingResponse, response);
}

DErrorCode DWinMobShadowRecord::SetMeetingResponse(uint32_t response) {
    return Stored() ? ShadowWriteUInt(m_db, m_oid, kShadowPropMeetingResponse, response) : generalErrItemNotFound;
}

DErrorCode DWinMobShadowRecord::GetOutlookObjectID(uint32_t *oid) const { return ReadUInt(kShadowPropObjectID, oid); }

DErrorCode DWinMobShadowRecord::SetOutlookObjectID(uint32_t oid) {
    return Stored() ? ShadowWriteUInt(m_db, m_oid, kShadowPropObjectID, oid) : generalErrItemNotFound;
}

DErrorCode DWinMobShadowRecord::GetFlags(uint32_t *flags) const { return ReadUInt(kShadowPropFlags, flags); }

DErrorCode DWinMobShadowRecord::IsFlagSet(uint32_t bit, bool *set) const {
    uint32_t flags = 0;
    DErrorCode err = GetFlags(&flags);
    *set = (flags & bit) != 0;
    return err;
}

DErrorCode DWinMobShadowRecord::SetFlag(uint32_t bit, bool set) {
    return Update(kShadowPropFlags, [bit, set](uint32_t flags) { return set ? flags | bit : flags & ~bit; });
}

DErrorCode DWinMobShadowRecord::GetChangeState(uint32_t *state) const { return ReadUInt(kShadowPropState, state); }

DErrorCode DWinMobShadowRecord::IsModified(bool *modified) const {
    uint32_t state = 0;
    DErrorCode err = GetChangeState(&state);
    *modified = state != kShadowUnchanged;
    return err;
}

DErrorCode DWinMobShadowRecord::ClearModified() {
    return Update(kShadowPropState, [](uint32_t state) {
        return state == kShadowChangedAgain ? uint32_t(kShadowChanged) : uint32_t(kShadowUnchanged);
    });
}

DErrorCode DWinMobShadowRecord::MarkModified() {
    return Update(kShadowPropState, [](uint32_t state) {
        if (state == kShadowUnchanged) return uint32_t(kShadowChanged);
        if (state == kShadowPickedUp) return uint32_t(kShadowChangedAgain);
        return state;
    });
}
