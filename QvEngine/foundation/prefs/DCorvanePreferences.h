// DCorvanePreferences: the preferences' values in memory, with their
// defaults (the stored ones from kPrefTable), and the rules over them: peak
// time, the schedule in force, effective data-type choices, the account
// resets. The stored values go through one slot each; the registry-backed
// class fills the hooks (load, save of all, the refreshing getters and the
// immediate setters). Each setter marks its value changed, so that a save
// of all writes only what this object changed since it loaded it.
#ifndef QV_DCORVANEPREFERENCES_H
#define QV_DCORVANEPREFERENCES_H

#include "ICorvanePreferences.h"
#include "PrefsTable.h"
#include "TimeZoneBase64.h"

class ILogProvider;

class DCorvanePreferences : public ICorvanePreferences {
public:
    DCorvanePreferences();
    ~DCorvanePreferences() override;
    DCorvanePreferences(const DCorvanePreferences &) = delete;
    DCorvanePreferences &operator=(const DCorvanePreferences &) = delete;

    void SetLogger(ILogProvider *logger) { m_logger = logger; }
    ILogProvider *GetLogger() const { return m_logger; }

    DErrorCode GetUser(VString *out) override { return GetText(kPrefUser, out); }
    DErrorCode SetUser(const VString &value) override { return SetText(kPrefUser, value); }
    DErrorCode GetPassword(VString *out) override { return GetText(kPrefPassword, out); }
    DErrorCode SetPassword(const VString &value) override { return SetText(kPrefPassword, value); }
    DErrorCode GetServer(VString *out) override { return GetText(kPrefServer, out); }
    DErrorCode SetServer(const VString &value) override { return SetText(kPrefServer, value); }
    DErrorCode GetDomain(VString *out) override { return GetText(kPrefDomain, out); }
    DErrorCode SetDomain(const VString &value) override { return SetText(kPrefDomain, value); }
    BYTE GetUseSSL() override { return GetByte(kPrefUseSSL); }
    DErrorCode SetUseSSL(BYTE value) override { return SetNumber(kPrefUseSSL, value); }

    BYTE GetServerSettingsLock() override { return GetMemory(m_serverSettingsLock); }
    DErrorCode SetServerSettingsLock(BYTE value) override { return SetMemory(&m_serverSettingsLock, value); }
    BYTE GetAccessPointLock() override { return GetMemory(m_accessPointLock); }
    DErrorCode SetAccessPointLock(BYTE value) override { return SetMemory(&m_accessPointLock, value); }
    BYTE GetOverwriteDataOnFirstSync() override { return GetMemory(m_overwriteDataOnFirstSync); }
    DErrorCode SetOverwriteDataOnFirstSync(BYTE value) override {
        return SetMemory(&m_overwriteDataOnFirstSync, value);
    }
    BYTE GetDisplayDesktopSyncWarning() override { return GetMemory(m_displayDesktopSyncWarning); }
    DErrorCode SetDisplayDesktopSyncWarning(BYTE value) override {
        return SetMemory(&m_displayDesktopSyncWarning, value);
    }
    BYTE GetPushCycleLock() override { return GetMemory(m_pushCycleLock); }
    DErrorCode SetPushCycleLock(BYTE value) override { return SetMemory(&m_pushCycleLock, value); }

    BYTE GetVerboseLogging() override { return GetByte(kPrefVerboseLogging); }
    DErrorCode SetVerboseLogging(BYTE value) override { return SetNumber(kPrefVerboseLogging, value); }

    BYTE GetUserSyncEMail() override { return GetByte(kPrefUserSyncEMail); }
    DErrorCode SetUserSyncEMail(BYTE value) override { return SetNumber(kPrefUserSyncEMail, value); }
    DErrorCode SetUserSyncEMailOverride(BYTE value) override { return SetMemory(&m_userSyncOverride[0], value); }
    BYTE GetEffectiveUserSyncEMail() override { return EffectiveUserSync(GetUserSyncEMail(), 0); }
    BYTE GetUserSyncCalendar() override { return GetByte(kPrefUserSyncCalendar); }
    DErrorCode SetUserSyncCalendar(BYTE value) override { return SetNumber(kPrefUserSyncCalendar, value); }
    DErrorCode SetUserSyncCalendarOverride(BYTE value) override {
        return SetMemory(&m_userSyncOverride[1], value);
    }
    BYTE GetEffectiveUserSyncCalendar() override { return EffectiveUserSync(GetUserSyncCalendar(), 1); }
    BYTE GetUserSyncContacts() override { return GetByte(kPrefUserSyncContacts); }
    DErrorCode SetUserSyncContacts(BYTE value) override { return SetNumber(kPrefUserSyncContacts, value); }
    DErrorCode SetUserSyncContactsOverride(BYTE value) override {
        return SetMemory(&m_userSyncOverride[2], value);
    }
    BYTE GetEffectiveUserSyncContacts() override { return EffectiveUserSync(GetUserSyncContacts(), 2); }
    BYTE GetUserSyncTasks() override { return GetMemory(m_userSyncTasks); }
    DErrorCode SetUserSyncTasks(BYTE value) override { return SetMemory(&m_userSyncTasks, value); }
    DErrorCode SetUserSyncTasksOverride(BYTE value) override { return SetMemory(&m_userSyncOverride[3], value); }
    BYTE GetEffectiveUserSyncTasks() override { return EffectiveUserSync(GetUserSyncTasks(), 3); }

    BYTE GetCleanMailbox() override { return GetByte(kPrefCleanMailbox); }
    DErrorCode SetCleanMailbox(BYTE value) override { return SetNumber(kPrefCleanMailbox, value); }
    BYTE GetCleanCalendar() override { return GetByte(kPrefCleanCalendar); }
    DErrorCode SetCleanCalendar(BYTE value) override { return SetNumber(kPrefCleanCalendar, value); }
    BYTE GetCleanContacts() override { return GetByte(kPrefCleanContacts); }
    DErrorCode SetCleanContacts(BYTE value) override { return SetNumber(kPrefCleanContacts, value); }
    BYTE GetCleanTasks() override;
    DErrorCode SetCleanTasks(BYTE value) override;

    WORD GetSyncEMailDateRange() override { return GetWord(kPrefSyncEMailDateRange); }
    DErrorCode SetSyncEMailDateRange(WORD value) override { return SetNumber(kPrefSyncEMailDateRange, value); }
    WORD GetSyncCalDateRange() override { return GetWord(kPrefSyncCalDateRange); }
    DErrorCode SetSyncCalDateRange(WORD value) override { return SetNumber(kPrefSyncCalDateRange, value); }
    WORD GetSyncContactsDateRange() override { return GetMemory(m_syncContactsDateRange); }
    DErrorCode SetSyncContactsDateRange(WORD value) override { return SetMemory(&m_syncContactsDateRange, value); }
    WORD GetSyncTasksDateRange() override { return GetMemory(m_syncTasksDateRange); }
    DErrorCode SetSyncTasksDateRange(WORD value) override { return SetMemory(&m_syncTasksDateRange, value); }
    WORD GetDeleteSentItemDateRange() override { return GetWord(kPrefDeleteSentItemDateRange); }
    DErrorCode SetDeleteSentItemDateRange(WORD value) override {
        return SetNumber(kPrefDeleteSentItemDateRange, value);
    }
    WORD GetSyncEMailDataSize() override { return GetWord(kPrefSyncEMailDataSize); }
    DErrorCode SetSyncEMailDataSize(WORD value) override { return SetNumber(kPrefSyncEMailDataSize, value); }

    DErrorCode SetCurrentSyncSchedule(WORD code) override;
    WORD GetCurrentSyncSchedule() override;

    // The lock owner answers memory without loading: the engine asks it
    // between steps and it has no stored form.
    DWORD GetSyncLockOwner() override { return m_syncLockOwner; }
    DErrorCode SetSyncLockOwner(DWORD tag) override { return SetMemory(&m_syncLockOwner, tag); }
    struct tm GetSyncLockTime() override { return GetMemory(m_syncLockTime); }
    DErrorCode SetSyncLockTime(const struct tm &value) override { return SetMemory(&m_syncLockTime, value); }
    BYTE GetYieldRequest() override { return GetMemory(m_yieldRequest); }
    DErrorCode SetYieldRequest(BYTE value) override { return SetMemory(&m_yieldRequest, value); }
    WORD GetLockHolderRunKind() override { return GetMemory(m_lockHolderRunKind); }
    DErrorCode SetLockHolderRunKind(WORD value) override { return SetMemory(&m_lockHolderRunKind, value); }
    struct tm GetLastSyncTime() override { return GetMemory(m_lastSyncTime); }
    DErrorCode SetLastSyncTime(const struct tm &value) override { return SetMemory(&m_lastSyncTime, value); }
    struct tm GetFirstSyncTime() override { return GetMemory(m_firstSyncTime); }
    DErrorCode SetFirstSyncTime(const struct tm &value) override { return SetMemory(&m_firstSyncTime, value); }
    WORD GetRemoteWipeState() override { return GetWord(kPrefRemoteWipeState); }
    DErrorCode SetRemoteWipeState(WORD value) override { return SetNumber(kPrefRemoteWipeState, value); }

    // Memory as this object last loaded or set it, without loading.
    WORD GetEngineState() override { return static_cast<WORD>(m_values[kPrefEngineState].number); }
    DErrorCode SetEngineState(WORD value) override { return SetNumber(kPrefEngineState, value); }

    BOOL IsTimeZoneSet() override;
    DErrorCode SetTimeZone(const void *record) override;
    DErrorCode GetTimeZone(void *record) override;

    DErrorCode ResetAccount() override;
    DErrorCode RequestCleanMailbox() override;
    DErrorCode RequestCleanCalendar() override;
    DErrorCode RequestCleanContacts() override;
    DErrorCode RequestCleanTasks() override;
    DErrorCode ClearDeviceIdentity() override;
    DErrorCode HasAccountSettings(bool *out) override;

    // Memory only: loading marks the object loaded, saving writes nothing.
    DErrorCode Load(BOOL force) override;
    DErrorCode SaveAll() override;

    WORD GetEASVers() override { return GetWord(kPrefEASVers); }
    DErrorCode SetEASVers(WORD value) override { return SetNumber(kPrefEASVers, value); }
    BYTE GetPushAvailable() override { return GetByte(kPrefPushAvailable); }
    DErrorCode SetPushAvailable(BYTE value) override { return SetNumber(kPrefPushAvailable, value); }
    DErrorCode GetEASPolicyKey(VString *out) override { return GetText(kPrefEASPolicyKey, out); }
    DErrorCode SetEASPolicyKey(const VString &value) override { return SetText(kPrefEASPolicyKey, value); }

    DErrorCode ResetToNewAccount() override;

    BOOL IsPeakTime() override;
    BYTE IsPushEnabledNow() override;
    DErrorCode SetPushEnabledNow(BYTE flag) override;

    BYTE GetPeakPushSyncEnabled() override { return GetByte(kPrefPeakPushSyncEnabled); }
    DErrorCode SetPeakPushSyncEnabled(BYTE value) override { return SetNumber(kPrefPeakPushSyncEnabled, value); }
    BYTE GetOffPeakPushSyncEnabled() override { return GetByte(kPrefOffPeakPushSyncEnabled); }
    DErrorCode SetOffPeakPushSyncEnabled(BYTE value) override {
        return SetNumber(kPrefOffPeakPushSyncEnabled, value);
    }
    WORD GetPeakSyncSchedule() override { return GetWord(kPrefPeakSyncSchedule); }
    DErrorCode SetPeakSyncSchedule(WORD code) override;
    WORD GetOffPeakSyncSchedule() override { return GetWord(kPrefOffPeakSyncSchedule); }
    DErrorCode SetOffPeakSyncSchedule(WORD code) override;
    WORD GetRoamingSyncSchedule() override { return GetWord(kPrefRoamingSyncSchedule); }
    DErrorCode SetRoamingSyncSchedule(WORD value) override { return SetNumber(kPrefRoamingSyncSchedule, value); }
    WORD GetRoamingOverride() override { return GetWord(kPrefRoamingOverride); }
    DErrorCode SetRoamingOverride(WORD value) override { return SetNumber(kPrefRoamingOverride, value); }
    BYTE GetSendOutgoingImmediately() override { return GetByte(kPrefSendOutgoingImmediately); }
    DErrorCode SetSendOutgoingImmediately(BYTE value) override {
        return SetNumber(kPrefSendOutgoingImmediately, value);
    }
    BYTE GetPeakWeekdayFlags() override { return GetByte(kPrefPeakWeekdayFlags); }
    DErrorCode SetPeakWeekdayFlags(BYTE value) override { return SetNumber(kPrefPeakWeekdayFlags, value); }
    struct tm GetPeakStartTime() override { return GetTime(kPrefPeakStartTime); }
    DErrorCode SetPeakStartTime(const struct tm &value) override { return SetTime(kPrefPeakStartTime, value); }
    struct tm GetPeakEndTime() override { return GetTime(kPrefPeakEndTime); }
    DErrorCode SetPeakEndTime(const struct tm &value) override { return SetTime(kPrefPeakEndTime, value); }

    BYTE GetInitiateFirstCmd() override { return GetByte(kPrefInitiateFirstCmd); }
    DErrorCode SetInitiateFirstCmd(BYTE value) override { return SetNumber(kPrefInitiateFirstCmd, value); }
    WORD GetPushNeedsSoap() override { return GetWord(kPrefPushNeedsSoap); }
    DErrorCode SetPushNeedsSoap(WORD value) override { return SetNumber(kPrefPushNeedsSoap, value); }
    WORD GetEngineNeedsSoap() override { return GetWord(kPrefEngineNeedsSoap); }
    DErrorCode SetEngineNeedsSoap(WORD value) override { return SetNumber(kPrefEngineNeedsSoap, value); }
    DWORD GetQVHeartbeat() override { return GetNumber(kPrefQVHeartbeat); }
    DErrorCode SetQVHeartbeat(DWORD seconds) override { return SetNumber(kPrefQVHeartbeat, seconds); }

    WORD GetQVMaj() override { return GetWord(kPrefQVMaj); }
    DErrorCode SetQVMaj(WORD value) override { return SetNumber(kPrefQVMaj, value); }
    WORD GetQVMin() override { return GetWord(kPrefQVMin); }
    DErrorCode SetQVMin(WORD value) override { return SetNumber(kPrefQVMin, value); }
    WORD GetQVBui() override { return GetWord(kPrefQVBui); }
    DErrorCode SetQVBui(WORD value) override { return SetNumber(kPrefQVBui, value); }
    DErrorCode GetQVDeviceID(VString *out) override { return GetText(kPrefQVDeviceID, out); }
    DErrorCode SetQVDeviceID(const VString &value) override { return SetText(kPrefQVDeviceID, value); }
    DErrorCode SetVersion(WORD major, WORD minor, WORD build) override;
    DErrorCode GetQVDeviceType(VString *out) override { return GetText(kPrefQVDeviceType, out); }
    DErrorCode SetQVDeviceType(const VString &value) override { return SetText(kPrefQVDeviceType, value); }

    BYTE GetITPolicyEnabled() override { return GetByte(kPrefITPolicyEnabled); }
    DErrorCode SetITPolicyEnabled(BYTE value) override { return SetNumber(kPrefITPolicyEnabled, value); }
    WORD GetITPNum() override { return GetWord(kPrefITPNum); }
    DErrorCode SetITPNum(WORD value) override { return SetNumber(kPrefITPNum, value); }

    WORD GetPingCounter() override { return GetWord(kPrefPingCounter); }
    DErrorCode SetPingCounter(WORD value) override { return SetNumber(kPrefPingCounter, value); }
    WORD GetLastGoodHeartBeat() override { return GetWord(kPrefLastGoodHeartBeat); }
    DErrorCode SetLastGoodHeartBeat(WORD seconds) override { return SetNumber(kPrefLastGoodHeartBeat, seconds); }
    WORD GetMinimumHeartBeat() override { return GetWord(kPrefMinimumHeartBeat); }
    DErrorCode SetMinimumHeartBeat(WORD seconds) override { return SetNumber(kPrefMinimumHeartBeat, seconds); }
    WORD GetMaximumHeartBeat() override { return GetWord(kPrefMaximumHeartBeat); }
    DErrorCode SetMaximumHeartBeat(WORD seconds) override { return SetNumber(kPrefMaximumHeartBeat, seconds); }
    DWORD GetMaxServerPushFolders() override { return GetNumber(kPrefMaxServerPushFolders); }
    DErrorCode SetMaxServerPushFolders(DWORD value) override { return SetNumber(kPrefMaxServerPushFolders, value); }

    WORD GetWindowSize() override;
    DErrorCode SetWindowSize(WORD value) override;

    DErrorCode ResetPolicyKey() override;

protected:
    // One stored value as this object holds it.
    struct Slot {
        DWORD number = 0;
        VString text;
        struct tm time = {};
        // Set by a setter, cleared when the value is read or written.
        bool changed = false;
    };

    // Stored values by id: each loads the object first; getters of
    // refreshing values re-read them, setters of immediate ones write them.
    DWORD GetNumber(EPrefId id);
    BYTE GetByte(EPrefId id) { return static_cast<BYTE>(GetNumber(id)); }
    WORD GetWord(EPrefId id) { return static_cast<WORD>(GetNumber(id)); }
    DErrorCode SetNumber(EPrefId id, DWORD value);
    DErrorCode GetText(EPrefId id, VString *out);
    // Cut to the value's limit.
    DErrorCode SetText(EPrefId id, const VString &value);
    struct tm GetTime(EPrefId id);
    DErrorCode SetTime(EPrefId id, const struct tm &value);

    // Hooks of the registry-backed class; here they do nothing.
    virtual DErrorCode RefreshValue(EPrefId id);
    virtual DErrorCode StoreValueNow(EPrefId id);
    virtual DErrorCode FlushStoredValues();

    // A number cut to the width the value has in memory.
    static DWORD CutToWidth(EPrefId id, DWORD value);

    Slot m_values[kPrefCount];
    bool m_loaded;

private:
    template <typename T>
    T GetMemory(const T &field) {
        Load(FALSE);
        return field;
    }
    template <typename T>
    DErrorCode SetMemory(T *field, const T &value) {
        Load(FALSE);
        *field = value;
        return kNoError;
    }
    BYTE EffectiveUserSync(BYTE choice, int type);

    ILogProvider *m_logger;

    // Memory-only values.
    BYTE m_serverSettingsLock;
    BYTE m_accessPointLock;
    BYTE m_overwriteDataOnFirstSync;
    BYTE m_displayDesktopSyncWarning;
    BYTE m_pushCycleLock;
    BYTE m_userSyncTasks;
    // E-mail, calendar, contacts, tasks.
    BYTE m_userSyncOverride[4];
    WORD m_syncContactsDateRange;
    WORD m_syncTasksDateRange;
    DWORD m_syncLockOwner;
    struct tm m_syncLockTime;
    BYTE m_yieldRequest;
    WORD m_lockHolderRunKind;
    struct tm m_lastSyncTime;
    struct tm m_firstSyncTime;
    WORD m_windowSize;
    BYTE m_timeZone[kTimeZoneRecordSize];
};

#endif
