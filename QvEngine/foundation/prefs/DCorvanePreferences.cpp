// The preferences' values in memory: defaults, the stored values by id, the
// memory-only values and the effective data-type choices.
#include "DCorvanePreferences.h"

#include <cstring>
#include <utility>

#include "PrefsRegistry.h"

DCorvanePreferences::DCorvanePreferences()
    : m_loaded(false),
      m_logger(nullptr),
      m_serverSettingsLock(0),
      m_accessPointLock(0),
      m_overwriteDataOnFirstSync(0),
      m_displayDesktopSyncWarning(1),
      m_pushCycleLock(0),
      m_userSyncTasks(0),
      m_userSyncOverride{kNoUserSyncOverride, kNoUserSyncOverride, kNoUserSyncOverride, kNoUserSyncOverride},
      m_syncContactsDateRange(0),
      m_syncTasksDateRange(0),
      m_syncLockOwner(0),
      m_syncLockTime(),
      m_yieldRequest(0),
      m_lockHolderRunKind(0),
      m_lastSyncTime(),
      m_firstSyncTime(),
      m_windowSize(50),
      m_timeZone() {
    for (const DPrefDescriptor &d : kPrefTable) {
        Slot &slot = m_values[d.id];
        switch (d.kind) {
        case EPrefKind::Text:
            // Texts are held as UTF-16LE, as the registry gives them.
            if (slot.text.AssignCStr(d.defaultText, kVStringWindows1252) == kNoError)
                slot.text.ConvertTo(kVStringUTF16LE);
            break;
        case EPrefKind::TimeOfDay:
            slot.time.tm_hour = static_cast<int>(d.defaultNumber / 60);
            slot.time.tm_min = static_cast<int>(d.defaultNumber % 60);
            break;
        default:
            slot.number = d.defaultNumber;
            break;
        }
    }
}

DCorvanePreferences::~DCorvanePreferences() = default;

DWORD DCorvanePreferences::CutToWidth(EPrefId id, DWORD value) {
    switch (kPrefTable[id].kind) {
    case EPrefKind::Byte:
        return value & 0xFF;
    case EPrefKind::Word:
        return value & 0xFFFF;
    default:
        return value;
    }
}

DErrorCode DCorvanePreferences::RefreshValue(EPrefId) { return kNoError; }

DErrorCode DCorvanePreferences::StoreValueNow(EPrefId) { return kNoError; }

DErrorCode DCorvanePreferences::FlushStoredValues() { return kNoError; }

DErrorCode DCorvanePreferences::Load(BOOL) {
    m_loaded = true;
    return kNoError;
}

DErrorCode DCorvanePreferences::SaveAll() { return kNoError; }

DWORD DCorvanePreferences::GetNumber(EPrefId id) {
    Load(FALSE);
    if (kPrefTable[id].flags & kPrefRefreshing) RefreshValue(id);
    return m_values[id].number;
}

DErrorCode DCorvanePreferences::SetNumber(EPrefId id, DWORD value) {
    Load(FALSE);
    m_values[id].number = CutToWidth(id, value);
    if (kPrefTable[id].flags & kPrefImmediate) return StoreValueNow(id);
    m_values[id].changed = true;
    return kNoError;
}

DErrorCode DCorvanePreferences::GetText(EPrefId id, VString *out) {
    if (out == nullptr) return generalErrNULLPointer;
    Load(FALSE);
    if (kPrefTable[id].flags & kPrefRefreshing) RefreshValue(id);
    return out->Assign(m_values[id].text);
}

DErrorCode DCorvanePreferences::SetText(EPrefId id, const VString &value) {
    Load(FALSE);
    VString copy;
    DErrorCode err = copy.Assign(value);
    if (err == kNoError) err = LimitUserRegText(&copy, kPrefTable[id].maxChars);
    if (err != kNoError) return err;
    m_values[id].text = std::move(copy);
    if (kPrefTable[id].flags & kPrefImmediate) return StoreValueNow(id);
    m_values[id].changed = true;
    return kNoError;
}

struct tm DCorvanePreferences::GetTime(EPrefId id) {
    Load(FALSE);
    return m_values[id].time;
}

DErrorCode DCorvanePreferences::SetTime(EPrefId id, const struct tm &value) {
    Load(FALSE);
    m_values[id].time = value;
    m_values[id].changed = true;
    return kNoError;
}

BYTE DCorvanePreferences::EffectiveUserSync(BYTE choice, int type) {
    if (choice == 0) return 0;
    BYTE override = m_userSyncOverride[type];
    return override != kNoUserSyncOverride ? override : choice;
}

BYTE DCorvanePreferences::GetCleanTasks() {
    Load(FALSE);
    return 0;
}

DErrorCode DCorvanePreferences::SetCleanTasks(BYTE) {
    // Tasks keep no clean flag: a tasks reset needs nothing remembered.
    Load(FALSE);
    return kNoError;
}

WORD DCorvanePreferences::GetWindowSize() {
    Load(FALSE);
    return m_windowSize > kMaxWindowSize ? kMaxWindowSize : m_windowSize;
}

DErrorCode DCorvanePreferences::SetWindowSize(WORD value) {
    return SetMemory(&m_windowSize, value > kMaxWindowSize ? kMaxWindowSize : value);
}

BOOL DCorvanePreferences::IsTimeZoneSet() {
    Load(FALSE);
    for (BYTE b : m_timeZone)
        if (b != 0) return TRUE;
    return FALSE;
}

DErrorCode DCorvanePreferences::SetTimeZone(const void *record) {
    if (record == nullptr) return generalErrNULLPointer;
    Load(FALSE);
    memcpy(m_timeZone, record, sizeof(m_timeZone));
    return kNoError;
}

DErrorCode DCorvanePreferences::GetTimeZone(void *record) {
    if (record == nullptr) return generalErrNULLPointer;
    Load(FALSE);
    memcpy(record, m_timeZone, sizeof(m_timeZone));
    return kNoError;
}

DErrorCode DCorvanePreferences::SetVersion(WORD major, WORD minor, WORD build) {
    Load(FALSE);
    m_values[kPrefQVMaj].number = major;
    m_values[kPrefQVMin].number = minor;
    m_values[kPrefQVBui].number = build;
    DErrorCode err = StoreValueNow(kPrefQVMaj);
    if (err == kNoError) err = StoreValueNow(kPrefQVMin);
    if (err == kNoError) err = StoreValueNow(kPrefQVBui);
    return err;
}
