// The engine's questions to the stores before it picks its steps: local
// changes per type and per mail folder (states 14 to 18, 71, 72), outgoing
// mail, and whether a type still needs its first Sync.
#include "DActiveSyncDataManager.h"
#include "DOutlookManager.h"
#include "DWinMobMessageManager.h"
#include "DWinMobOutlookMessageCollection.h"
#include "ICorvanePreferences.h"
#include "IOutlookMessage.h"

DErrorCode DActiveSyncDataManager::ProbeCalendarChanges(DActiveTaskSignal *signal, BYTE *changes) {
    return StartPimProbe(m_cal, kDMCalendarProbeDone, signal, changes);
}

DErrorCode DActiveSyncDataManager::ProbeContactsChanges(DActiveTaskSignal *signal, BYTE *changes) {
    return StartPimProbe(m_con, kDMContactsProbeDone, signal, changes);
}

DErrorCode DActiveSyncDataManager::ProbeTasksChanges(DActiveTaskSignal *signal, BYTE *changes) {
    return StartPimProbe(m_tsk, kDMTasksProbeDone, signal, changes);
}

DErrorCode DActiveSyncDataManager::ProbeEMailChanges(DActiveTaskSignal *signal) {
    return StartMailFolderProbe(kDMEMailProbeDone, signal);
}

DErrorCode DActiveSyncDataManager::ProbeAttachmentDownloads(DActiveTaskSignal *signal) {
    return StartMailFolderProbe(kDMAttachmentProbeDone, signal);
}

DErrorCode DActiveSyncDataManager::ProbeMeetingResponses(DActiveTaskSignal *signal) {
    return StartMailFolderProbe(kDMMeetingProbeDone, signal);
}

DErrorCode DActiveSyncDataManager::ProbeMovedMail(DActiveTaskSignal *signal, BYTE *moved) {
    if (moved != nullptr) *moved = 0;
    m_probeFlag = false;
    m_callerSignal = signal;
    m_callerByte = moved;
    // No message store: no mail was moved on the device.
    DErrorCode err = m_msg == nullptr ? GoTo(kDMMovedProbeDone) : WaitIn(kDMMovedProbeDone);
    if (err == kNoError && m_msg != nullptr) err = StoreStarted(m_msg->HasMovedItems(&m_probeFlag, GetSignal()));
    if (err != kNoError) {
        m_callerSignal = nullptr;
        m_callerByte = nullptr;
    }
    return err;
}

DErrorCode DActiveSyncDataManager::StartPimProbe(DOutlookManager *store, uint32_t state, DActiveTaskSignal *signal,
                                                 BYTE *changes) {
    if (changes != nullptr) *changes = 0;
    m_probeFlag = false;
    m_callerSignal = signal;
    m_callerByte = changes;
    // Without its store the type has no local changes to send.
    DErrorCode err = store == nullptr ? GoTo(state) : WaitIn(state);
    if (err == kNoError && store != nullptr) err = StoreStarted(store->HasChangedItems(&m_probeFlag, GetSignal()));
    if (err != kNoError) {
        m_callerSignal = nullptr;
        m_callerByte = nullptr;
    }
    return err;
}

DErrorCode DActiveSyncDataManager::StartMailFolderProbe(uint32_t state, DActiveTaskSignal *signal) {
    m_probeFlag = false;
    DEASFolderInfoRecord *folder = nullptr;
    DWinMobOutlookMessageCollection *collection = nullptr;
    // The engine probes the folder its walk is on; on none there is nothing to ask.
    const bool current = m_folders != nullptr && m_folders->GetCurrentFolder(&folder) == kNoError && folder != nullptr;
    if (current) {
        if (state == kDMEMailProbeDone) LogLine("Looking for changes in ", folder->GetDisplayName());
        DErrorCode err = CurrentMailFolder(&collection);
        if (err != kNoError) return err;
    }
    m_callerSignal = signal;
    m_callerByte = nullptr;
    DErrorCode err = !current ? GoTo(state) : WaitIn(state);
    if (err == kNoError && current) {
        if (state == kDMEMailProbeDone)
            err = collection->HasChangedItems(&m_probeFlag, GetSignal());
        else if (state == kDMAttachmentProbeDone)
            err = collection->HasDownloadAttachmentItems(&m_probeFlag, GetSignal());
        else
            err = collection->HasMeetingRequestResponseItems(&m_probeFlag, GetSignal());
        err = StoreStarted(err);
    }
    if (err != kNoError) m_callerSignal = nullptr;
    return err;
}

// States 14 to 18, 71 and 72: the answer goes where the engine looks for it.
DErrorCode DActiveSyncDataManager::ProbeDone(uint32_t state, DErrorCode result) {
    if (result != kNoError) return result;
    const BYTE answer = m_probeFlag ? 1 : 0;
    BYTE *changes = state == kDMCalendarProbeDone   ? &m_calChanges
                    : state == kDMContactsProbeDone ? &m_conChanges
                    : state == kDMTasksProbeDone    ? &m_tskChanges
                                                    : nullptr;
    BYTE *wanted = state == kDMCalendarProbeDone   ? &m_calWanted
                   : state == kDMContactsProbeDone ? &m_conWanted
                   : state == kDMTasksProbeDone    ? &m_tskWanted
                                                   : nullptr;
    if (changes != nullptr) {
        *changes = answer;
        if (answer == 0) *wanted = 0;
    }
    DEASFolderInfoRecord *folder = nullptr;
    const bool current = m_folders != nullptr && m_folders->GetCurrentFolder(&folder) == kNoError && folder != nullptr;
    DErrorCode err = kNoError;
    if (current && state == kDMEMailProbeDone) {
        err = folder->SetFlag(kMailFlagLocalChanges, answer != 0);
        if (err == kNoError && answer == 0) err = folder->SetFlag(kMailFlagRecheckLocal, false);
    } else if (current && state == kDMAttachmentProbeDone) {
        err = folder->SetFlag(kMailFlagAttachment, answer != 0);
    } else if (current && state == kDMMeetingProbeDone) {
        err = folder->SetFlag(kMailFlagMeetingResponses, answer != 0);
    }
    if (err != kNoError) return err;
    if (m_callerByte != nullptr) *m_callerByte = answer;
    FinishCaller(kNoError);
    return kNoError;
}

// The engine asks this only about outgoing mail: the outbox is the store
// whose items wait to go to the server.
DErrorCode DActiveSyncDataManager::CheckPendingItems(BYTE *pending) {
    if (pending == nullptr) return generalErrNULLPointer;
    *pending = 0;
    if (m_msg == nullptr) return kNoError;
    DErrorCode err = OpenMessageStore();
    if (err != kNoError) return err;
    IOutlookItem *message = nullptr;
    err = NextOutgoingMessage(&message);
    if (message != nullptr) *pending = 1;
    delete message;
    return err;
}

DErrorCode DActiveSyncDataManager::NeedsFirstSync(BYTE *needed) {
    if (needed == nullptr) return generalErrNULLPointer;
    *needed = 0;
    if (m_prefs == nullptr || m_folders == nullptr) return generalErrNotInitialized;
    const struct {
        bool on;
        uint32_t type;
    } types[] = {{m_prefs->GetEffectiveUserSyncCalendar() != 0, kFolderTypeCalendar},
                 {m_prefs->GetEffectiveUserSyncContacts() != 0, kFolderTypeContacts},
                 {m_prefs->GetEffectiveUserSyncTasks() != 0, kFolderTypeTasks}};
    for (const auto &t : types) {
        DEASFolderInfoRecord *folder = nullptr;
        if (t.on && (m_folders->FindFirstFolderOfType(t.type, &folder) != kNoError || !HasSyncKey(folder))) {
            *needed = 1;
            return kNoError;
        }
    }
    if (m_prefs->GetEffectiveUserSyncEMail() == 0) return kNoError;
    DEASFolderInfoRecord *inbox = nullptr;
    if (m_folders->FindFirstFolderOfType(kFolderTypeInbox, &inbox) != kNoError || !HasSyncKey(inbox)) {
        *needed = 1;
        return kNoError;
    }
    uint32_t count = 0;
    DErrorCode err = m_folders->GetRecordCount(&count);
    for (uint32_t i = 0; err == kNoError && i < count; ++i) {
        DEASFolderInfoRecord *folder = nullptr;
        err = m_folders->GetFolderAt(i, &folder);
        if (err == kNoError && folder->GetInt(kFolderFieldType) == kFolderTypeUserMail &&
            folder->IsFlagSet(kFolderFlagSync) && !HasSyncKey(folder)) {
            *needed = 1;
            break;
        }
    }
    return err;
}
