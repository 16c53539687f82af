// ICorvanePreferences: every user and engine setting, with a getter and a
// setter each, and the questions asked of them many times a day (is it peak
// time, which schedule is in force, is push on now, which data types sync).
//
// Contract: every getter and setter loads the object first (once; Load(TRUE)
// reloads it). Most setters change memory only, and SaveAll writes what this
// object changed since it loaded it; a few values are written by their
// setter at once and re-read by their getter on every call, so that
// processes sharing the settings see each other's changes (see
// DWinMobCorvanePreferences). Values described as "memory only" have no
// registry value and are never shared. Texts are UTF-16LE copies, cut to
// their limit; numbers keep the width they have in memory.
#ifndef QV_ICORVANEPREFERENCES_H
#define QV_ICORVANEPREFERENCES_H

#include <ctime>

#include "DErrorCode.h"
#include "IPrefsData.h"
#include "VString.h"
#include "wintypes.h"

// Schedule codes of a period. Push is not a code but the period's own flag.
constexpr WORD kSyncScheduleEvery5Minutes = 1;
constexpr WORD kSyncScheduleEvery15Minutes = 2;
constexpr WORD kSyncScheduleHourly = 3;
constexpr WORD kSyncScheduleEvery4Hours = 4;
constexpr WORD kSyncScheduleEvery12Hours = 5;
constexpr WORD kSyncScheduleManual = 6;

// Roaming schedule codes.
constexpr WORD kRoamingScheduleManual = 0;
constexpr WORD kRoamingScheduleAsPeakAndOffPeak = 1;

// RoamingOverride: any other value means "ask the cellular line".
constexpr WORD kRoamingOverrideRoaming = 1;
constexpr WORD kRoamingOverrideNotRoaming = 2;

// A data type's override byte when it has none.
constexpr BYTE kNoUserSyncOverride = 255;

// The sync window size never exceeds this.
constexpr WORD kMaxWindowSize = 200;

class ICorvanePreferences : public IPrefsData {
public:
    ~ICorvanePreferences() override = default;

    // The account.
    virtual DErrorCode GetUser(VString *out) = 0;
    virtual DErrorCode SetUser(const VString &value) = 0;
    virtual DErrorCode GetPassword(VString *out) = 0;
    virtual DErrorCode SetPassword(const VString &value) = 0;
    virtual DErrorCode GetServer(VString *out) = 0;
    virtual DErrorCode SetServer(const VString &value) = 0;
    virtual DErrorCode GetDomain(VString *out) = 0;
    virtual DErrorCode SetDomain(const VString &value) = 0;
    virtual BYTE GetUseSSL() = 0;
    virtual DErrorCode SetUseSSL(BYTE value) = 0;

    // Locks and first-sync choices a deployment file sets for this run
    // (memory only).
    virtual BYTE GetServerSettingsLock() = 0;
    virtual DErrorCode SetServerSettingsLock(BYTE value) = 0;
    virtual BYTE GetAccessPointLock() = 0;
    virtual DErrorCode SetAccessPointLock(BYTE value) = 0;
    virtual BYTE GetOverwriteDataOnFirstSync() = 0;
    virtual DErrorCode SetOverwriteDataOnFirstSync(BYTE value) = 0;
    virtual BYTE GetDisplayDesktopSyncWarning() = 0;
    virtual DErrorCode SetDisplayDesktopSyncWarning(BYTE value) = 0;
    virtual BYTE GetPushCycleLock() = 0;
    virtual DErrorCode SetPushCycleLock(BYTE value) = 0;

    virtual BYTE GetVerboseLogging() = 0;
    virtual DErrorCode SetVerboseLogging(BYTE value) = 0;

    // The user's choice of each data type, its override (memory only;
    // kNoUserSyncOverride = none) and the choice in effect: 0 when the user
    // chose 0, else the override when there is one, else the choice. The
    // tasks choice is memory only.
    virtual BYTE GetUserSyncEMail() = 0;
    virtual DErrorCode SetUserSyncEMail(BYTE value) = 0;
    virtual DErrorCode SetUserSyncEMailOverride(BYTE value) = 0;
    virtual BYTE GetEffectiveUserSyncEMail() = 0;
    virtual BYTE GetUserSyncCalendar() = 0;
    virtual DErrorCode SetUserSyncCalendar(BYTE value) = 0;
    virtual DErrorCode SetUserSyncCalendarOverride(BYTE value) = 0;
    virtual BYTE GetEffectiveUserSyncCalendar() = 0;
    virtual BYTE GetUserSyncContacts() = 0;
    virtual DErrorCode SetUserSyncContacts(BYTE value) = 0;
    virtual DErrorCode SetUserSyncContactsOverride(BYTE value) = 0;
    virtual BYTE GetEffectiveUserSyncContacts() = 0;
    virtual BYTE GetUserSyncTasks() = 0;
    virtual DErrorCode SetUserSyncTasks(BYTE value) = 0;
    virtual DErrorCode SetUserSyncTasksOverride(BYTE value) = 0;
    virtual BYTE GetEffectiveUserSyncTasks() = 0;

    // "Start this type again from scratch" flags; tasks has none to keep
    // (its getter answers 0).
    virtual BYTE GetCleanMailbox() = 0;
    virtual DErrorCode SetCleanMailbox(BYTE value) = 0;
    virtual BYTE GetCleanCalendar() = 0;
    virtual DErrorCode SetCleanCalendar(BYTE value) = 0;
    virtual BYTE GetCleanContacts() = 0;
    virtual DErrorCode SetCleanContacts(BYTE value) = 0;
    virtual BYTE GetCleanTasks() = 0;
    virtual DErrorCode SetCleanTasks(BYTE value) = 0;

    // Date-range codes; the contacts and tasks codes are memory only.
    virtual WORD GetSyncEMailDateRange() = 0;
    virtual DErrorCode SetSyncEMailDateRange(WORD value) = 0;
    virtual WORD GetSyncCalDateRange() = 0;
    virtual DErrorCode SetSyncCalDateRange(WORD value) = 0;
    virtual WORD GetSyncContactsDateRange() = 0;
    virtual DErrorCode SetSyncContactsDateRange(WORD value) = 0;
    virtual WORD GetSyncTasksDateRange() = 0;
    virtual DErrorCode SetSyncTasksDateRange(WORD value) = 0;
    virtual WORD GetDeleteSentItemDateRange() = 0;
    virtual DErrorCode SetDeleteSentItemDateRange(WORD value) = 0;
    virtual WORD GetSyncEMailDataSize() = 0;
    virtual DErrorCode SetSyncEMailDataSize(WORD value) = 0;

    // The schedule code of the period in force now (peak or off-peak);
    // setting it changes that period's code and leaves its push flag alone.
    virtual DErrorCode SetCurrentSyncSchedule(WORD code) = 0;
    virtual WORD GetCurrentSyncSchedule() = 0;

    // The sync lock and the run times (memory only): the four-character tag
    // of the client that holds the lock (0 = free), when it was taken, a
    // waiting client's request that the holder yield, the holder's run kind,
    // the last and first completed runs. The remote-wipe state (0 none, 1 to
    // 6 a wipe ordered or in progress, 7 done) is a registry value written at
    // once, so that an ordered wipe goes on after a restart.
    virtual DWORD GetSyncLockOwner() = 0;
    virtual DErrorCode SetSyncLockOwner(DWORD tag) = 0;
    virtual struct tm GetSyncLockTime() = 0;
    virtual DErrorCode SetSyncLockTime(const struct tm &value) = 0;
    virtual BYTE GetYieldRequest() = 0;
    virtual DErrorCode SetYieldRequest(BYTE value) = 0;
    virtual WORD GetLockHolderRunKind() = 0;
    virtual DErrorCode SetLockHolderRunKind(WORD value) = 0;
    virtual struct tm GetLastSyncTime() = 0;
    virtual DErrorCode SetLastSyncTime(const struct tm &value) = 0;
    virtual struct tm GetFirstSyncTime() = 0;
    virtual DErrorCode SetFirstSyncTime(const struct tm &value) = 0;
    virtual WORD GetRemoteWipeState() = 0;
    virtual DErrorCode SetRemoteWipeState(WORD value) = 0;

    // The engine state kept across runs; its getter answers memory.
    virtual WORD GetEngineState() = 0;
    virtual DErrorCode SetEngineState(WORD value) = 0;

    // The calendar's 172-byte time-zone record (memory only; all zero = none).
    virtual BOOL IsTimeZoneSet() = 0;
    virtual DErrorCode SetTimeZone(const void *record) = 0;
    virtual DErrorCode GetTimeZone(void *record) = 0;

    // The server relationship starts again: policy key "0", no device
    // identity, no policy in force; then the protocol version and heartbeat
    // state go back to their post-reset values. The first error of the
    // first three steps.
    virtual DErrorCode ResetAccount() = 0;
    virtual DErrorCode RequestCleanMailbox() = 0;
    virtual DErrorCode RequestCleanCalendar() = 0;
    virtual DErrorCode RequestCleanContacts() = 0;
    virtual DErrorCode RequestCleanTasks() = 0;
    virtual DErrorCode ClearDeviceIdentity() = 0;
    // *out: user, password and server are all set (reloading once when not).
    virtual DErrorCode HasAccountSettings(bool *out) = 0;

    virtual DErrorCode Load(BOOL force) = 0;
    virtual DErrorCode SaveAll() = 0;

    virtual WORD GetEASVers() = 0;
    virtual DErrorCode SetEASVers(WORD value) = 0;
    virtual BYTE GetPushAvailable() = 0;
    virtual DErrorCode SetPushAvailable(BYTE value) = 0;
    virtual DErrorCode GetEASPolicyKey(VString *out) = 0;
    virtual DErrorCode SetEASPolicyKey(const VString &value) = 0;

    // Back to a new, empty account; the settings are saved and flushed.
    virtual DErrorCode ResetToNewAccount() = 0;

    virtual BOOL IsPeakTime() = 0;
    virtual BYTE IsPushEnabledNow() = 0;
    virtual DErrorCode SetPushEnabledNow(BYTE flag) = 0;

    // Schedules and peak time. Setting a period's schedule code turns that
    // period's push flag off first.
    virtual BYTE GetPeakPushSyncEnabled() = 0;
    virtual DErrorCode SetPeakPushSyncEnabled(BYTE value) = 0;
    virtual BYTE GetOffPeakPushSyncEnabled() = 0;
    virtual DErrorCode SetOffPeakPushSyncEnabled(BYTE value) = 0;
    virtual WORD GetPeakSyncSchedule() = 0;
    virtual DErrorCode SetPeakSyncSchedule(WORD code) = 0;
    virtual WORD GetOffPeakSyncSchedule() = 0;
    virtual DErrorCode SetOffPeakSyncSchedule(WORD code) = 0;
    virtual WORD GetRoamingSyncSchedule() = 0;
    virtual DErrorCode SetRoamingSyncSchedule(WORD value) = 0;
    virtual WORD GetRoamingOverride() = 0;
    virtual DErrorCode SetRoamingOverride(WORD value) = 0;
    virtual BYTE GetSendOutgoingImmediately() = 0;
    virtual DErrorCode SetSendOutgoingImmediately(BYTE value) = 0;
    virtual BYTE GetPeakWeekdayFlags() = 0;
    virtual DErrorCode SetPeakWeekdayFlags(BYTE value) = 0;
    // Only hours and minutes count.
    virtual struct tm GetPeakStartTime() = 0;
    virtual DErrorCode SetPeakStartTime(const struct tm &value) = 0;
    virtual struct tm GetPeakEndTime() = 0;
    virtual DErrorCode SetPeakEndTime(const struct tm &value) = 0;

    virtual BYTE GetInitiateFirstCmd() = 0;
    virtual DErrorCode SetInitiateFirstCmd(BYTE value) = 0;
    // Local change bits (0x01, 0x02 e-mail, 0x04 calendar, 0x08 contacts,
    // 0x10 tasks) written by the scheduler and taken over by the engine.
    virtual WORD GetPushNeedsSoap() = 0;
    virtual DErrorCode SetPushNeedsSoap(WORD value) = 0;
    virtual WORD GetEngineNeedsSoap() = 0;
    virtual DErrorCode SetEngineNeedsSoap(WORD value) = 0;
    virtual DWORD GetQVHeartbeat() = 0;
    virtual DErrorCode SetQVHeartbeat(DWORD seconds) = 0;

    // The version of the program that last wrote the settings.
    virtual WORD GetQVMaj() = 0;
    virtual DErrorCode SetQVMaj(WORD value) = 0;
    virtual WORD GetQVMin() = 0;
    virtual DErrorCode SetQVMin(WORD value) = 0;
    virtual WORD GetQVBui() = 0;
    virtual DErrorCode SetQVBui(WORD value) = 0;
    virtual DErrorCode GetQVDeviceID(VString *out) = 0;
    virtual DErrorCode SetQVDeviceID(const VString &value) = 0;
    // Stores the three numbers and writes them at once.
    virtual DErrorCode SetVersion(WORD major, WORD minor, WORD build) = 0;
    virtual DErrorCode GetQVDeviceType(VString *out) = 0;
    virtual DErrorCode SetQVDeviceType(const VString &value) = 0;

    virtual BYTE GetITPolicyEnabled() = 0;
    virtual DErrorCode SetITPolicyEnabled(BYTE value) = 0;
    // Failed device-password attempts (kept on its own, never by Load).
    virtual WORD GetITPNum() = 0;
    virtual DErrorCode SetITPNum(WORD value) = 0;

    // The adaptive heartbeat's state.
    virtual WORD GetPingCounter() = 0;
    virtual DErrorCode SetPingCounter(WORD value) = 0;
    virtual WORD GetLastGoodHeartBeat() = 0;
    virtual DErrorCode SetLastGoodHeartBeat(WORD seconds) = 0;
    virtual WORD GetMinimumHeartBeat() = 0;
    virtual DErrorCode SetMinimumHeartBeat(WORD seconds) = 0;
    virtual WORD GetMaximumHeartBeat() = 0;
    virtual DErrorCode SetMaximumHeartBeat(WORD seconds) = 0;
    virtual DWORD GetMaxServerPushFolders() = 0;
    virtual DErrorCode SetMaxServerPushFolders(DWORD value) = 0;

    // Items the server may send in one Sync answer (memory only; a larger
    // value is stored as kMaxWindowSize).
    virtual WORD GetWindowSize() = 0;
    virtual DErrorCode SetWindowSize(WORD value) = 0;

    // Policy key "0".
    virtual DErrorCode ResetPolicyKey() = 0;
};

#endif
