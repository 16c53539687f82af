// DWinMobOutlookContactItem: one contact of the device as the data manager
// sees it: numbered fields (IOutlookContact) held in memory between reading
// and committing. Most fields live in the contact's raw record of
// "Contacts Database" and are read and written there in one call each way;
// the object model carries the body, the categories, the two dates and the
// three names it files the contact under, and makes, saves and deletes the
// contact. The contact's record in "QV_contacts_shadow" is written with it.
//
// Contract:
// - Made by the contacts manager; Load binds it (shadow database,
//   application, database handle: none owned) and reads the contact. The
//   caller closes or deletes it before the store closes; the item owns its
//   shadow record.
// - Values stay unset until read or set, and only set values are written;
//   a field set to the empty text is removed from the record.
// - "No date" is held as the object model's 4501-01-01 and reads back as
//   the all-zero date-time record; dates are days, taken as they are (no
//   time-zone shift).
// - A commit while the contact's change is on its way to the server keeps
//   the body's checksum apart (the sent checksum) until the server's answer
//   is applied, so that a Sync that fails leaves the body still changed.
// - A new item (object id -2) whose contact was never saved takes its shadow
//   record away again when it is closed or deleted.
// - Every write to the contacts is bracketed by the broadcasts of
//   "brwNotifierChangeMessage" (wParam 0, then 0xFFFFFFFF, also after a
//   failure). Object-model results travel unchanged; raw-record failures
//   are generalErrUnknownError; nothing throws.
#ifndef QV_DWINMOBOUTLOOKCONTACTITEM_H
#define QV_DWINMOBOUTLOOKCONTACTITEM_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "DWinMobShadowDB.h"
#include "ILogProvider.h"
#include "IOutlookContact.h"
#include "vplatform_pim.h"

// Object ids of an item that names no contact.
constexpr LONG kContactOidNone = 0x7FFF7FFF;
constexpr LONG kContactOidNew = -2;
constexpr LONG kContactOidDeleted = -3;

// Raw properties of "Contacts Database" beside the field table.
constexpr CEPROPID kContactPropChildren = (CEPROPID(0x4006) << 16) | CEVT_LPWSTR;
constexpr CEPROPID kContactPropServerID = (CEPROPID(0x8103) << 16) | CEVT_LPWSTR;
// The raw property of a string field (1000 to 1045); 0 for the body, which
// the object model alone keeps.
CEPROPID ContactFieldProperty(uint32_t field);

class DWinMobOutlookContactItem : public IOutlookContact {
public:
    explicit DWinMobOutlookContactItem(ILogProvider *log);
    ~DWinMobOutlookContactItem() override;
    DWinMobOutlookContactItem(const DWinMobOutlookContactItem &) = delete;
    DWinMobOutlookContactItem &operator=(const DWinMobOutlookContactItem &) = delete;

    // --- IOutlookItem ---
    DErrorCode Open() override;
    DErrorCode Close() override;
    // A shadow record marked deleted is the only thing written then.
    DErrorCode Commit() override;
    DErrorCode CommitNewItem(DActiveTaskSignal *completion) override;
    DErrorCode IsNew(bool *flag) override;
    DErrorCode SetNew(bool flag) override;
    DErrorCode IsDeleted(bool *flag) override;
    DErrorCode SetDeleted(bool flag) override;  // not implemented
    DErrorCode IsSent(bool *flag) override;
    DErrorCode SetSent(bool flag) override;
    DErrorCode IsKeptNew(bool *flag) override;
    DErrorCode SetKeptNew(bool flag) override;
    // Not deleted and changed on the device.
    DErrorCode IsModified(bool *flag) override;
    DErrorCode ClearModified() override;
    // Windows-1252 text, terminated; an id that does not fit with its
    // terminator is generalErrBufferTooSmall and leaves the buffer empty.
    DErrorCode GetID(char *buffer, uint32_t size) override;
    DErrorCode SetID(const char *id) override;
    DErrorCode MatchID(const char *id, bool *equal) override;  // not implemented

    // --- IOutlookContact ---
    DErrorCode SetDateField(uint32_t which, const struct tm *time) override;
    DErrorCode SetListField(uint32_t id, const StringListNode *list) override;
    // E-mail fields (1014 to 1016) keep only the address of a quoted
    // "name" <address> text and at most 1023 characters.
    DErrorCode SetStringField(uint32_t id, const VString &text) override;
    DErrorCode GetDateField(uint32_t which, struct tm *time) override;
    DErrorCode GetListField(uint32_t id, StringListNode *list) override;
    // The body of a contact that is not new, emptied on the device, reads
    // " \r\n", so that the server's body is cleared too.
    DErrorCode GetStringField(uint32_t id, VString *text) override;
    DErrorCode IsBodyChanged(bool *flag) override;
    DErrorCode Delete() override;

    DErrorCode Load(DWinMobShadowDB *shadow, IPOutlookApp *application, HANDLE database, LONG objectID);

    LONG GetObjectID() const { return m_oid; }
    // The shadow record (null before Load); not the caller's.
    DWinMobShadowRecord *GetShadowRecord() const { return m_record.get(); }

private:
    static constexpr uint32_t kStringCount = kContactLastString - kContactFirstString + 1;

    // --- Reading and writing (DWinMobOutlookContactStore.cpp) ---
    DErrorCode Read();
    DErrorCode ReadRaw();
    DErrorCode Write();
    DErrorCode WriteModel(IContact *contact);
    DErrorCode WriteRaw();
    DErrorCode WriteShadow();
    // The checksum of the held body (zeros without one).
    DErrorCode BodyChecksum(BYTE checksum[8]) const;
    DErrorCode GetContact(IContact **contact) const;
    // An unsaved new item gives its shadow record up.
    void DropUnsavedRecord();
    bool Stored() const { return m_oid != kContactOidNone && m_oid != kContactOidNew && m_oid != kContactOidDeleted; }
    std::optional<std::u16string> &StringSlot(uint32_t id) { return m_strings[id - kContactFirstString]; }
    const std::optional<std::u16string> &Body() const { return m_strings[kContactBody - kContactFirstString]; }

    ILogProvider *m_log;
    DWinMobShadowDB *m_shadow;
    std::unique_ptr<DWinMobShadowRecord> m_record;
    IPOutlookApp *m_app;
    HANDLE m_database;
    LONG m_oid;
    std::optional<std::u16string> m_strings[kStringCount];
    std::optional<std::u16string> m_categories;
    std::optional<std::u16string> m_children;
    std::optional<DATE> m_birthday;
    std::optional<DATE> m_anniversary;
    std::optional<std::u16string> m_serverID;
};

#endif
