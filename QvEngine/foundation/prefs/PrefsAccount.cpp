// The account's resets and the clean requests of each data type.
#include <cstring>

#include "DCorvanePreferences.h"

namespace {

DErrorCode SetEmpty(DCorvanePreferences *prefs, DErrorCode (DCorvanePreferences::*setter)(const VString &)) {
    VString empty;
    DErrorCode err = empty.AssignWide(u"", 0, kVStringUTF16LE);
    return err != kNoError ? err : (prefs->*setter)(empty);
}

}  // namespace

DErrorCode DCorvanePreferences::ResetPolicyKey() {
    VString zero;
    DErrorCode err = zero.AssignWide(u"0", kQvUnknown, kVStringUTF16LE);
    return err != kNoError ? err : SetEASPolicyKey(zero);
}

DErrorCode DCorvanePreferences::ClearDeviceIdentity() {
    DErrorCode err = SetEmpty(this, &DCorvanePreferences::SetQVDeviceID);
    return err != kNoError ? err : SetEmpty(this, &DCorvanePreferences::SetQVDeviceType);
}

DErrorCode DCorvanePreferences::ResetAccount() {
    DErrorCode err = ResetPolicyKey();
    if (err == kNoError) err = ClearDeviceIdentity();
    if (err == kNoError) err = SetITPolicyEnabled(0);
    // The protocol and heartbeat state go back whatever happened above.
    SetEASVers(200);
    SetPingCounter(30);
    SetQVHeartbeat(540);
    SetLastGoodHeartBeat(540);
    return err;
}

DErrorCode DCorvanePreferences::ResetToNewAccount() {
    DErrorCode err = SetNumber(kPrefShowWizard, 1);
    if (err == kNoError) err = SetUserSyncCalendar(1);
    if (err == kNoError) err = SetUserSyncContacts(1);
    if (err == kNoError) err = SetUserSyncEMail(1);
    if (err == kNoError) err = SetEmpty(this, &DCorvanePreferences::SetPassword);
    if (err == kNoError) err = SetEmpty(this, &DCorvanePreferences::SetUser);
    if (err == kNoError) err = SetEmpty(this, &DCorvanePreferences::SetServer);
    if (err == kNoError) err = SetEmpty(this, &DCorvanePreferences::SetDomain);
    if (err == kNoError) err = ResetAccount();
    if (err == kNoError) err = SetCleanCalendar(0);
    if (err == kNoError) err = SetCleanContacts(0);
    if (err == kNoError) err = SetCleanMailbox(0);
    if (err == kNoError) err = SaveAll();
    DErrorCode flushed = FlushStoredValues();
    return err != kNoError ? err : flushed;
}

DErrorCode DCorvanePreferences::RequestCleanMailbox() {
    DErrorCode err = SetCleanMailbox(1);
    return err != kNoError ? err : SetMaxServerPushFolders(0xFFFFFFFF);
}

DErrorCode DCorvanePreferences::RequestCleanCalendar() {
    DErrorCode err = SetCleanCalendar(1);
    if (err != kNoError) return err;
    // The calendar is taken again from the server with its time zone.
    memset(m_timeZone, 0, sizeof(m_timeZone));
    return kNoError;
}

DErrorCode DCorvanePreferences::RequestCleanContacts() { return SetCleanContacts(1); }

DErrorCode DCorvanePreferences::RequestCleanTasks() { return SetCleanTasks(1); }

DErrorCode DCorvanePreferences::HasAccountSettings(bool *out) {
    if (out == nullptr) return generalErrNULLPointer;
    auto complete = [this]() {
        Load(FALSE);
        return m_values[kPrefUser].text.GetLength() > 0 && m_values[kPrefPassword].text.GetLength() > 0 &&
               m_values[kPrefServer].text.GetLength() > 0;
    };
    *out = complete();
    if (*out) return kNoError;
    DErrorCode err = Load(TRUE);
    *out = complete();
    return err;
}
