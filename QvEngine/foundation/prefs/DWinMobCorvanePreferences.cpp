// Load and save of the preferences over the registry, value by value.
#include "DWinMobCorvanePreferences.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iterator>
#include <string>
#include <utility>

#include "PasswordScramble.h"
#include "PrefsRegistry.h"
#include "winreg.h"

namespace {

std::u16string PartName(const DPrefDescriptor &d, const char16_t *suffix) { return std::u16string(d.name) + suffix; }

}  // namespace

namespace {

// A copy of a text value as the registry holds it: the password scrambled.
DErrorCode StoredForm(EPrefId id, const VString &text, VString *out) {
    DErrorCode err = out->Assign(text);
    if (err == kNoError && id == kPrefPassword) err = ScramblePassword(out);
    return err;
}

}  // namespace

DWinMobCorvanePreferences::DWinMobCorvanePreferences() = default;

DWinMobCorvanePreferences::~DWinMobCorvanePreferences() = default;

DErrorCode DWinMobCorvanePreferences::ReadValue(EPrefId id) {
    const DPrefDescriptor &d = kPrefTable[id];
    const WCHAR *key = PrefRegKey(d);
    Slot &slot = m_values[id];
    DErrorCode err = kNoError;
    switch (d.kind) {
    case EPrefKind::Text: {
        // The password is stored scrambled, and so is its default.
        VString value;
        err = StoredForm(id, slot.text, &value);
        if (err == kNoError) err = ReadUserRegString(key, d.name, &value, d.maxChars);
        if (err == kNoError && id == kPrefPassword) err = ScramblePassword(&value);
        if (err == kNoError) err = value.ConvertTo(kVStringUTF16LE);
        if (err == kNoError) slot.text = std::move(value);
        break;
    }
    case EPrefKind::TimeOfDay: {
        DWORD minute = static_cast<DWORD>(slot.time.tm_min);
        err = ReadUserRegDWORD(key, PartName(d, u"-min").c_str(), &minute);
        if (err != kNoError) break;
        slot.time.tm_min = static_cast<int>(minute);
        DWORD hour = static_cast<DWORD>(slot.time.tm_hour);
        err = ReadUserRegDWORD(key, PartName(d, u"-hour").c_str(), &hour);
        if (err == kNoError) slot.time.tm_hour = static_cast<int>(hour);
        break;
    }
    default: {
        DWORD value = slot.number;
        err = ReadUserRegDWORD(key, d.name, &value);
        if (err == kNoError) slot.number = CutToWidth(id, value);
        break;
    }
    }
    if (err == kNoError) slot.changed = false;
    return err;
}

DErrorCode DWinMobCorvanePreferences::WriteValue(EPrefId id) {
    const DPrefDescriptor &d = kPrefTable[id];
    const WCHAR *key = PrefRegKey(d);
    Slot &slot = m_values[id];
    DErrorCode err = kNoError;
    switch (d.kind) {
    case EPrefKind::Text: {
        // A copy is scrambled, so the password in memory stays as it is.
        VString value;
        err = StoredForm(id, slot.text, &value);
        if (err == kNoError) err = WriteUserRegString(key, d.name, &value);
        break;
    }
    case EPrefKind::TimeOfDay:
        err = WriteUserRegDWORD(key, PartName(d, u"-min").c_str(), static_cast<DWORD>(slot.time.tm_min));
        if (err == kNoError)
            err = WriteUserRegDWORD(key, PartName(d, u"-hour").c_str(), static_cast<DWORD>(slot.time.tm_hour));
        break;
    default:
        err = WriteUserRegDWORD(key, d.name, slot.number);
        break;
    }
    return err;
}

DErrorCode DWinMobCorvanePreferences::Load(BOOL force) {
    if (m_loaded && !force) return kNoError;
    // Loaded from here on, whatever a read gives: later calls answer memory.
    m_loaded = true;
    DErrorCode err = kNoError;
    for (EPrefId id : {kPrefQVMaj, kPrefQVMin, kPrefQVBui}) {
        err = ReadValue(id);
        if (err != kNoError) return err;
    }
    MigrateHeartbeat();
    for (const DPrefDescriptor &d : kPrefTable) {
        if (d.id <= kPrefQVBui || (d.flags & kPrefOwnValue)) continue;
        err = ReadValue(d.id);
        if (err != kNoError) return err;
    }
    return kNoError;
}

DErrorCode DWinMobCorvanePreferences::SaveAll() {
    if (!m_loaded) return kNoError;
    auto pending = [this](const DPrefDescriptor &d) { return m_values[d.id].changed && !(d.flags & kPrefOwnValue); };
    if (std::none_of(std::begin(kPrefTable), std::end(kPrefTable), pending)) return kNoError;
    // One transaction: another process, or this one after a kill, sees the
    // whole save or none of it (never one save's hour with another's minute).
    DErrorCode err = static_cast<DErrorCode>(RegBeginTransaction());
    if (err != kNoError) return err;
    for (const DPrefDescriptor &d : kPrefTable) {
        if (!pending(d)) continue;
        err = WriteValue(d.id);
        if (err != kNoError) break;
    }
    DErrorCode end = static_cast<DErrorCode>(RegEndTransaction(err == kNoError ? TRUE : FALSE));
    if (err == kNoError) err = end;
    if (err != kNoError) return err;
    // Only now is every value stored: a failed save leaves them all pending.
    for (const DPrefDescriptor &d : kPrefTable)
        if (pending(d)) m_values[d.id].changed = false;
    return kNoError;
}

DErrorCode DWinMobCorvanePreferences::MigrateHeartbeat() {
    DWORD major = m_values[kPrefQVMaj].number;
    DWORD minor = m_values[kPrefQVMin].number;
    DWORD build = m_values[kPrefQVBui].number;
    if ((major != 1 && major != 2) || minor > 6 || build >= 30) return kNoError;

    VString text;
    const DPrefDescriptor &d = kPrefTable[kPrefQVHeartbeat];
    // Missing, or already a number: nothing to migrate.
    if (QueryUserRegString(PrefRegKey(d), d.name, &text, 128) != kNoError) return kNoError;
    DErrorCode err = text.ConvertTo(kVStringWindows1252);
    if (err != kNoError) return err;
    const char *digits = text.GetNarrowText();
    // A text that does not start with a number keeps the heartbeat in memory.
    if (!isdigit(static_cast<unsigned char>(digits[0]))) return kNoError;
    m_values[kPrefQVHeartbeat].number = static_cast<DWORD>(strtoul(digits, nullptr, 10));
    return kNoError;
}

DErrorCode DWinMobCorvanePreferences::RefreshValue(EPrefId id) { return ReadValue(id); }

DErrorCode DWinMobCorvanePreferences::StoreValueNow(EPrefId id) { return WriteValue(id); }

DErrorCode DWinMobCorvanePreferences::FlushStoredValues() {
    return static_cast<DErrorCode>(RegFlushKey(HKEY_CURRENT_USER));
}
