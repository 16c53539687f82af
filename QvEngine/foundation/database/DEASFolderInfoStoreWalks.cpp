// The folder-info store's two walks and how removals move their cursors.
#include "DEASFolderInfoStore.h"

DErrorCode DEASFolderInfoStore::NextFlaggedFolder(bool *found) {
    if (found == nullptr) return generalErrInvalidParameter;
    *found = false;
    if (!m_open) return dbIsNotReadyError;
    DEASFolderInfoRecord *folder;
    for (uint32_t i = m_flaggedCursor == kQvUnknown ? 0 : m_flaggedCursor + 1;; ++i) {
        DErrorCode err = GetFolderAt(i, &folder);
        if (err == generalErrIndexOutOfRange) break;
        if (err != kNoError) return err;
        if (folder->IsFlagSet(kFolderFlagWalk)) {
            m_flaggedCursor = i;
            m_flaggedRecordID = folder->GetRecordID();
            *found = true;
            return kNoError;
        }
    }
    m_flaggedCursor = kQvUnknown;
    m_flaggedRecordID = kQvUnknown;
    return kNoError;
}

DErrorCode DEASFolderInfoStore::GetCurrentFlaggedFolder(DEASFolderInfoRecord **out) {
    if (out == nullptr) return generalErrInvalidParameter;
    *out = nullptr;
    if (m_flaggedCursor == kQvUnknown || m_flaggedRecordID == kQvUnknown) return generalErrNULLPointer;
    DSimpleDBRecord *record = nullptr;
    DErrorCode err = GetRecordByID(m_flaggedRecordID, &record);
    *out = static_cast<DEASFolderInfoRecord *>(record);
    return err;
}

DErrorCode DEASFolderInfoStore::NextSyncFolder(bool all) {
    if (!m_open) return dbIsNotReadyError;
    if (m_nextMailSearch == kQvUnknown) {
        // The walk begins: the Inbox first, without further tests; with no
        // Inbox, the user mail folders alone.
        m_nextMailSearch = 0;
        uint32_t inbox = kQvUnknown;
        DErrorCode err = FindFolderIndexByType(kFolderTypeInbox, &inbox);
        if (err == kNoError) {
            m_currentFolder = inbox;
            return kNoError;
        }
        if (err != generalErrItemNotFound) return err;
    }
    DEASFolderInfoRecord *folder;
    for (uint32_t i = m_nextMailSearch;; ++i) {
        DErrorCode err = GetFolderAt(i, &folder);
        if (err == generalErrIndexOutOfRange) break;
        if (err != kNoError) return err;
        if (folder->GetInt(kFolderFieldType) == kFolderTypeUserMail &&
            (all || folder->IsFlagSet(kFolderFlagSync)) && folder->FindField(kFolderFieldData) != nullptr) {
            m_currentFolder = i;
            m_nextMailSearch = i + 1;
            return kNoError;
        }
    }
    ClearCurrentFolder();
    return generalErrItemNotFound;
}

DErrorCode DEASFolderInfoStore::GetCurrentFolder(DEASFolderInfoRecord **out) {
    if (out == nullptr) return generalErrInvalidParameter;
    *out = nullptr;
    if (m_currentFolder == kQvUnknown) return generalErrNULLPointer;
    return GetFolderAt(m_currentFolder, out);
}

void DEASFolderInfoStore::ClearCurrentFolder() {
    m_currentFolder = kQvUnknown;
    m_nextMailSearch = kQvUnknown;
}

// Indexes above the removed one move down by one. A removed current folder
// leaves its walk on no folder, but the next step still goes on with the
// folder that followed it.
void DEASFolderInfoStore::RecordRemoved(uint32_t index, uint32_t recordID) {
    auto follow = [index](uint32_t *cursor) {
        if (*cursor != kQvUnknown && *cursor > index) --*cursor;
    };
    if (m_currentFolder == index)
        m_currentFolder = kQvUnknown;
    else
        follow(&m_currentFolder);
    follow(&m_nextMailSearch);

    if (m_flaggedRecordID == recordID) m_flaggedRecordID = kQvUnknown;
    if (m_flaggedCursor == index)
        m_flaggedCursor = index == 0 ? kQvUnknown : index - 1;
    else
        follow(&m_flaggedCursor);
}
