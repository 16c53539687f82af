// DWinMobShadowRecord: the in-memory view of one record of a shadow
// change-tracking database. Only the server id and the local id (a
// message's entry id) are held in memory, and written by the database's
// WriteRecord; every other property is read from and written to the
// database at once, by the record's object id.
// - A record that is unbound, or not yet stored (object id 0 or -2),
//   reads every stored value as 0 and refuses writes with
//   generalErrItemNotFound: a write that did not land is never a success.
// - Flag and change-state updates are read-modify-writes under the
//   database's lock, shared with every process of the device, so that a
//   change recorded while the engine moves a state on is never lost.
#ifndef QV_DWINMOBSHADOWRECORD_H
#define QV_DWINMOBSHADOWRECORD_H

#include <cstdint>
#include <string>
#include <vector>

#include "DErrorCode.h"
#include "ShadowProps.h"

class DWinMobShadowRecord {
public:
    DWinMobShadowRecord();

    // Binding: the database type (1-3), the object id and the database's
    // handle and lock (INVALID_HANDLE_VALUE / null when unbound). The
    // property mask follows the type.
    void Bind(uint32_t type, CEOID oid, HANDLE db, HANDLE lock);
    void SetObjectID(CEOID oid) { m_oid = oid; }
    CEOID GetObjectID() const { return m_oid; }
    uint32_t GetType() const { return m_type; }
    uint32_t GetPropertyMask() const { return m_mask; }
    HANDLE GetDatabase() const { return m_db; }
    // Frees the held ids and unbinds (handle -1, mask 0); the object id stays.
    void Clear();

    const WCHAR *GetServerID() const { return m_hasServerID ? m_serverID.c_str() : nullptr; }
    bool HasServerID() const { return m_hasServerID; }
    DErrorCode SetServerID(const WCHAR *serverID);
    // A copy of the local id; empty when none.
    DErrorCode GetLocalID(std::vector<BYTE> *out) const;
    DErrorCode SetLocalID(const BYTE *bytes, uint32_t size);
    const std::vector<BYTE> &LocalID() const { return m_localID; }

    // The message folder's entry id (0x010C) and the move source (0x010D):
    // get gives generalErrItemNotFound when absent; set writes at once.
    // Setting the previous folder with no data clears it to an empty blob.
    DErrorCode GetFolderID(std::vector<BYTE> *out) const;
    DErrorCode SetFolderID(const BYTE *bytes, uint32_t size);
    DErrorCode GetPreviousFolderID(std::vector<BYTE> *out) const;
    DErrorCode SetPreviousFolderID(const BYTE *bytes, uint32_t size);
    // The body checksum as last synchronised: exactly 8 bytes (zeros when absent).
    DErrorCode GetBodyChecksum(BYTE checksum[8]) const;
    DErrorCode SetBodyChecksum(const BYTE checksum[8]);
    // The checksum of a body on its way to the server: it becomes the body
    // checksum only once the server's answer is applied
    // (PromoteSentBodyChecksum), so that a Sync that fails leaves the body
    // still to be sent.
    DErrorCode SetSentBodyChecksum(const BYTE checksum[8]);
    // Takes a waiting sent checksum as the body checksum; none: no change.
    DErrorCode PromoteSentBodyChecksum();
    DErrorCode GetMeetingResponse(uint32_t *response) const;
    DErrorCode SetMeetingResponse(uint32_t response);
    // The Pocket Outlook object id of an appointment or contact (0x0109).
    DErrorCode GetOutlookObjectID(uint32_t *oid) const;
    DErrorCode SetOutlookObjectID(uint32_t oid);

    // One bit of the flag word; the setter changes that bit alone.
    DErrorCode IsFlagSet(uint32_t bit, bool *set) const;
    DErrorCode SetFlag(uint32_t bit, bool set);
    DErrorCode GetFlags(uint32_t *flags) const;

    DErrorCode IsSent(bool *v) const { return IsFlagSet(kShadowFlagSent, v); }
    DErrorCode SetSent(bool v) { return SetFlag(kShadowFlagSent, v); }
    DErrorCode IsDeleted(bool *v) const { return IsFlagSet(kShadowFlagDeleted, v); }
    DErrorCode SetDeleted(bool v) { return SetFlag(kShadowFlagDeleted, v); }
    DErrorCode IsKeepNew(bool *v) const { return IsFlagSet(kShadowFlagKeepNew, v); }
    DErrorCode SetKeepNew(bool v) { return SetFlag(kShadowFlagKeepNew, v); }
    DErrorCode IsRead(bool *v) const { return IsFlagSet(kShadowFlagRead, v); }
    DErrorCode SetRead(bool v) { return SetFlag(kShadowFlagRead, v); }
    DErrorCode IsNew(bool *v) const { return IsFlagSet(kShadowFlagNew, v); }
    DErrorCode SetNew(bool v) { return SetFlag(kShadowFlagNew, v); }
    DErrorCode IsRemainderRequested(bool *v) const { return IsFlagSet(kShadowFlagRemainderRequested, v); }
    DErrorCode SetRemainderRequested(bool v) { return SetFlag(kShadowFlagRemainderRequested, v); }
    DErrorCode IsAttachmentRequested(bool *v) const { return IsFlagSet(kShadowFlagAttachmentRequested, v); }
    DErrorCode SetAttachmentRequested(bool v) { return SetFlag(kShadowFlagAttachmentRequested, v); }
    DErrorCode IsMeetingResponsePending(bool *v) const { return IsFlagSet(kShadowFlagMeetingResponsePending, v); }
    DErrorCode SetMeetingResponsePending(bool v) { return SetFlag(kShadowFlagMeetingResponsePending, v); }
    DErrorCode IsIgnoringChanges(bool *v) const { return IsFlagSet(kShadowFlagIgnoreChanges, v); }
    DErrorCode SetIgnoringChanges(bool v) { return SetFlag(kShadowFlagIgnoreChanges, v); }
    DErrorCode IsReadChanged(bool *v) const { return IsFlagSet(kShadowFlagReadChanged, v); }
    DErrorCode SetReadChanged(bool v) { return SetFlag(kShadowFlagReadChanged, v); }
    DErrorCode IsMeetingRequest(bool *v) const { return IsFlagSet(kShadowFlagMeetingRequest, v); }
    DErrorCode SetMeetingRequest(bool v) { return SetFlag(kShadowFlagMeetingRequest, v); }
    DErrorCode IsMoved(bool *v) const { return IsFlagSet(kShadowFlagMoved, v); }
    DErrorCode SetMoved(bool v) { return SetFlag(kShadowFlagMoved, v); }

    // The change state (0-3) and its rules.
    DErrorCode GetChangeState(uint32_t *state) const;
    DErrorCode IsModified(bool *modified) const;
    // 3 becomes 1, anything else 0.
    DErrorCode ClearModified();
    // 0 becomes 1 and 2 becomes 3; 1 and 3 stay.
    DErrorCode MarkModified();

private:
    // Whether the record stands for a stored one.
    bool Stored() const;
    DErrorCode ReadUInt(CEPROPID prop, uint32_t *value) const;
    DErrorCode ReadBlob(CEPROPID prop, std::vector<BYTE> *out, bool *found) const;
    // Rewrites one unsigned property under the database's lock.
    template <typename Change>
    DErrorCode Update(CEPROPID prop, Change change);

    uint32_t m_type;
    uint32_t m_mask;
    CEOID m_oid;
    HANDLE m_db;
    HANDLE m_lock;
    std::u16string m_serverID;
    bool m_hasServerID;
    std::vector<BYTE> m_localID;
};

#endif
