// DWinMobCorvanePreferences: the preferences over the current user's
// registry ("Software\Brellow\Vantrel" and the platform's account key).
//
// Contract:
// - Load reads every stored value in table order (the version numbers, then
//   the heartbeat migration, then the rest); a value that is missing or
//   unreadable is created from memory (the default on a first run). The
//   object counts as loaded even when a read fails; the first failing read
//   ends the load and is returned.
// - SaveAll writes only the values this object changed since it loaded or
//   last wrote them, in table order, so that values another process wrote
//   meanwhile (the scheduler's change bits above all) stay as they are. The
//   save is one registry transaction: it is stored whole or not at all (a
//   failing write, returned, undoes the save and leaves every value
//   pending for the next one).
// - The refreshing values re-read the registry on every get and are written
//   by their setters at once (InstallDirectory, QVHeartbeat,
//   RoamingOverride, PushNeedsSoap, EngineNeedsSoap, ShowWizard, ITPNum,
//   MaxServerPushFolders, the heartbeat bounds and counters and
//   RemoteWipeState);
//   ITPolicyEnabled and SetVersion write at once too.
// - The password is stored scrambled; the one in memory is never touched by
//   a save.
#ifndef QV_DWINMOBCORVANEPREFERENCES_H
#define QV_DWINMOBCORVANEPREFERENCES_H

#include "DCorvanePreferences.h"

class DWinMobCorvanePreferences : public DCorvanePreferences {
public:
    DWinMobCorvanePreferences();
    ~DWinMobCorvanePreferences() override;

    DErrorCode Load(BOOL force) override;
    DErrorCode SaveAll() override;

    virtual BYTE GetAttachOwnVCard() { return GetByte(kPrefAttachOwnVCard); }
    virtual DErrorCode SetAttachOwnVCard(BYTE value) { return SetNumber(kPrefAttachOwnVCard, value); }
    virtual BYTE GetReplyWithHistory() { return GetByte(kPrefReplyWithHistory); }
    virtual DErrorCode SetReplyWithHistory(BYTE value) { return SetNumber(kPrefReplyWithHistory, value); }
    virtual DErrorCode GetEMailSignature(VString *out) { return GetText(kPrefEMailSignature, out); }
    virtual DErrorCode SetEMailSignature(const VString &value) { return SetText(kPrefEMailSignature, value); }
    virtual DErrorCode GetInstallDirectory(VString *out) { return GetText(kPrefInstallDirectory, out); }
    virtual DErrorCode SetInstallDirectory(const VString &value) { return SetText(kPrefInstallDirectory, value); }
    virtual BYTE GetAttachSig() { return GetByte(kPrefAttachSig); }
    virtual DErrorCode SetAttachSig(BYTE value) { return SetNumber(kPrefAttachSig, value); }
    virtual BYTE GetShowWizard() { return GetByte(kPrefShowWizard); }
    virtual DErrorCode SetShowWizard(BYTE value) { return SetNumber(kPrefShowWizard, value); }
    virtual BYTE GetSyncScheduleEMail() { return GetByte(kPrefSyncScheduleEMail); }
    virtual DErrorCode SetSyncScheduleEMail(BYTE value) { return SetNumber(kPrefSyncScheduleEMail, value); }
    virtual BYTE GetSyncScheduleCalendar() { return GetByte(kPrefSyncScheduleCalendar); }
    virtual DErrorCode SetSyncScheduleCalendar(BYTE value) { return SetNumber(kPrefSyncScheduleCalendar, value); }
    virtual BYTE GetSyncScheduleContacts() { return GetByte(kPrefSyncScheduleContacts); }
    virtual DErrorCode SetSyncScheduleContacts(BYTE value) { return SetNumber(kPrefSyncScheduleContacts, value); }

    // Settings written by versions 1.x and 2.0 to 2.6 (build below 30) kept
    // the heartbeat as text: a stored decimal text becomes the heartbeat in
    // memory, and the load's own read then stores it as a number.
    virtual DErrorCode MigrateHeartbeat();

protected:
    DErrorCode RefreshValue(EPrefId id) override;
    DErrorCode StoreValueNow(EPrefId id) override;
    DErrorCode FlushStoredValues() override;

private:
    // One value from the registry into memory (created from memory when it
    // cannot be read), and from memory into the registry.
    DErrorCode ReadValue(EPrefId id);
    DErrorCode WriteValue(EPrefId id);
};

#endif
