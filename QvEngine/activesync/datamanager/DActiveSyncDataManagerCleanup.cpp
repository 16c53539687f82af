// The end of a run (states 65 to 69 and 74), the remote wipe (70) and the
// preparation of a run that only sends mail.
#include "DActiveSyncDataManager.h"
#include "DOutlookManager.h"
#include "DWinMobMessageManager.h"
#include "ICorvanePreferences.h"

namespace {

// The preferences' wipe state once the wipe is done (the engine then tells its client).
constexpr WORD kWipeStateDone = 7;
constexpr uint32_t kWipePhaseFinish = 6;

// The wipe phase that a stored wipe state resumes at.
uint32_t WipePhaseOfState(WORD state) {
    switch (state) {
        case 1:
        case 2:
            return 1;
        case 3:
            return 2;
        case 4:
            return 3;
        case 5:
            return 4;
        case 6:
            return 5;
        default:
            return kWipePhaseFinish;
    }
}

}  // namespace

DErrorCode DActiveSyncDataManager::EndOfRunCleanup(DActiveTaskSignal *signal) {
    if (m_prefs == nullptr) return generalErrNotInitialized;
    m_callerSignal = signal;
    m_callerByte = nullptr;
    DErrorCode err = GoTo(m_timeZoneChanged ? kDMResetAfterTimeZone : kDMCleanCalendar);
    if (err != kNoError) m_callerSignal = nullptr;
    return err;
}

DErrorCode DActiveSyncDataManager::StartRemoteWipe(uint32_t step, DActiveTaskSignal *signal) {
    if (m_prefs == nullptr) return generalErrNotInitialized;
    mCurrASCommand = step;
    m_wipePhase = WipePhaseOfState(m_prefs->GetRemoteWipeState());
    m_callerSignal = signal;
    m_callerByte = nullptr;
    DErrorCode err = GoTo(kDMWipe);
    if (err != kNoError) m_callerSignal = nullptr;
    return err;
}

DErrorCode DActiveSyncDataManager::PrepareSendOnly(DActiveTaskSignal *signal) {
    // The inbox is found through the open store.
    DErrorCode err = OpenMessageStore();
    if (err != kNoError) return err;
    return m_msg->OpenInboxAsync(signal);
}

DErrorCode DActiveSyncDataManager::CleanUpStep(uint32_t state, DErrorCode result) {
    if (result != kNoError) return result;
    switch (state) {
        case kDMCleanCalendar:
            return CleanUpStore(m_cal, m_prefs->GetEffectiveUserSyncCalendar() != 0, kDMCleanContacts);
        case kDMCleanContacts:
            return CleanUpStore(m_con, m_prefs->GetEffectiveUserSyncContacts() != 0, kDMCleanTasks);
        case kDMCleanTasks:
            return CleanUpStore(m_tsk, m_prefs->GetEffectiveUserSyncTasks() != 0, kDMCleanEMail);
        case kDMCleanEMail:
            return CleanUpStore(m_msg, m_prefs->GetEffectiveUserSyncEMail() != 0, kDMSaveFolderInfo);
        case kDMResetAfterTimeZone:
            return ResetMailAfterTimeZoneChange();
        case kDMWipe:
            return WipeDataFromDevice();
        default:
            LogNumber("DActiveSyncDataManager::RunTask() - unexpected state : ", state);
            return activeSyncErrUnexpectedStep;
    }
}

DErrorCode DActiveSyncDataManager::CleanUpStore(DOutlookManager *store, bool on, uint32_t next) {
    if (store == nullptr || !on) return GoTo(next);
    DErrorCode err = WaitIn(next);
    if (err != kNoError) return err;
    return StoreStarted(store->CleanUpStore(GetSignal()));
}

// The mail store is emptied after a time-zone change; its folders' sync
// keys go back to "0" with it, or the server would never send that mail again.
DErrorCode DActiveSyncDataManager::ResetMailAfterTimeZoneChange() {
    m_timeZoneChanged = 0;
    DErrorCode err = m_global != nullptr ? m_global->ResetMailSyncData() : kNoError;
    if (err == kNoError) err = OpenMessageStore();
    if (err == kNoError) err = WaitIn(kDMCleanCalendar);
    if (err != kNoError) return err;
    return StoreStarted(m_msg->DeleteExistingItems(GetSignal()));
}

// This build's wipe is its finish: the device itself is reset by the
// application once the engine reports the wipe done.
DErrorCode DActiveSyncDataManager::WipeDataFromDevice() {
    m_wipePhase = kWipePhaseFinish;
    // A cancel must not cut the end of the run that reports the wipe.
    if (m_global != nullptr) m_global->SetCallbackFlag(true);
    DErrorCode err = m_prefs->SetRemoteWipeState(kWipeStateDone);
    return err != kNoError ? err : GoTo(kDMSaveFolderInfo);
}

// State 74: the folder-info store saved, the task reset, the caller told.
DErrorCode DActiveSyncDataManager::SaveFolderInfo(DErrorCode result) {
    DErrorCode saved = kNoError;
    if (m_folders != nullptr && m_folders->GetMode() == kDBReadWrite) saved = m_folders->Save();
    if (saved != kNoError) LogCode("DActiveSyncDataManager::SaveFolderInfo() - failed to save folder info : ", saved);
    DActiveTaskSignal *caller = m_callerSignal;
    CancelTask();
    m_callerSignal = caller;
    const DErrorCode err = result != kNoError ? result : saved;
    if (err != kNoError) return err;
    FinishCaller(kNoError);
    return kNoError;
}
