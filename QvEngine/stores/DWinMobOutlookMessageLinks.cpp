// DWinMobOutlookMessage: what links a message to others: its send type,
// the message it answers, and the folders its shadow record names.
#include <cstring>
#include <new>

#include "DWinMobMessageManager.h"
#include "DWinMobOutlookMessage.h"
#include "DWinMobOutlookMessageCollection.h"
#include "MAPIPropertyHelpers.h"
#include "SendTypeMapping.h"
#include "ServerIDText.h"

// --- Send type and the parent message ---

DErrorCode DWinMobOutlookMessage::GetSendType(uint32_t *type) {
    if (type == nullptr) return generalErrInvalidParameter;
    *type = kMessageSendPlain;
    ULONG tag = 0, stored = 0;
    DErrorCode err = m_message == nullptr ? generalErrNotInitialized : GetCustomMAPIPropertyID(kPropNameSendType, &tag);
    if (err == kNoError) err = GetMAPIMessageULONGProprty(m_message, tag, &stored, nullptr);
    if (err != kNoError) {
        LogFailure("Failed to find MAPI send type - ", err);
        return kNoError;
    }
    *type = SendTypeFromStored(stored);
    return kNoError;
}

DErrorCode DWinMobOutlookMessage::SetSendType(uint32_t type) {
    ULONG tag = 0;
    DErrorCode err = m_message == nullptr ? generalErrNotInitialized : GetCustomMAPIPropertyID(kPropNameSendType, &tag);
    if (err == kNoError) err = SetMAPIMessageULONGProprty(m_message, tag, SendTypeToStored(type), m_log);
    if (err == kNoError) {
        HRESULT hr = m_message->SaveChanges(KEEP_OPEN_READWRITE);
        if (FAILED(hr)) err = DErrorCode(hr);
    }
    return err;
}

DErrorCode DWinMobOutlookMessage::GetParentMessageID(char *buffer, uint32_t size) {
    ULONG tag = 0;
    std::u16string wide;
    std::string narrow;
    DErrorCode err = m_message == nullptr ? generalErrNotInitialized
                                          : GetCustomMAPIPropertyID(kPropNameParentServerID, &tag);
    if (err == kNoError) err = GetMAPIMessageStringProprty(m_message, tag, &wide, m_log);
    if (err == kNoError) err = ServerIDToNarrow(wide.c_str(), &narrow);
    if (err == kNoError && (buffer == nullptr || narrow.size() >= size)) err = generalErrBufferTooSmall;
    if (err != kNoError) {
        LogFailure("GetParentMessageID() Failed - ", err);
        return err;
    }
    std::memcpy(buffer, narrow.c_str(), narrow.size() + 1);
    return kNoError;
}

DErrorCode DWinMobOutlookMessage::GetParentMessage(IOutlookMessage **message) {
    if (message == nullptr) return generalErrInvalidParameter;
    *message = nullptr;
    ULONG tag = 0;
    std::u16string parentID;
    DWinMobOutlookMessageCollection *inbox = nullptr;
    DWinMobShadowRecord record;
    DErrorCode err = m_message == nullptr ? generalErrNotInitialized
                                          : GetCustomMAPIPropertyID(kPropNameParentServerID, &tag);
    if (err == kNoError) err = GetMAPIMessageStringProprty(m_message, tag, &parentID, m_log);
    DWinMobMessageManager *manager = m_collection != nullptr ? m_collection->GetMessageManager() : nullptr;
    if (err == kNoError && manager == nullptr) err = generalErrNotInitialized;
    if (err == kNoError) err = manager->GetInboxCollection(&inbox);
    if (err == kNoError && (inbox == nullptr || inbox->GetShadowDB() == nullptr)) err = generalErrNotInitialized;
    // The parent may lie in any folder: the whole database is searched.
    if (err == kNoError) err = inbox->GetShadowDB()->FindByServerID(parentID.c_str(), &record);
    if (err == kNoError) {
        DWinMobOutlookMessage *parent = new (std::nothrow) DWinMobOutlookMessage(inbox, m_log);
        if (parent == nullptr) {
            err = generalErrMemoryError;
        } else {
            err = parent->Init(&record, nullptr);
            if (err == kNoError)
                *message = parent;
            else
                delete parent;
        }
    }
    if (err != kNoError) LogFailure("GetParentMessage() Failed - ", err);
    return err;
}

DErrorCode DWinMobOutlookMessage::Reserved3(uint32_t flag) {
    (void)flag;  // normalised to 1 when set, and not kept
    return kNoError;
}

// --- Folder ids ---

namespace {

// The server id of the folder-info store's folder with that entry id.
DErrorCode FolderServerID(DWinMobOutlookMessageCollection *collection, const std::vector<BYTE> &entryID,
                          char *buffer, uint32_t size) {
    DWinMobMessageManager *manager = collection != nullptr ? collection->GetMessageManager() : nullptr;
    DEASFolderInfoStore *folders = manager != nullptr ? manager->GetFolderInfoStore() : nullptr;
    if (folders == nullptr) return generalErrNotInitialized;
    if (entryID.empty()) return generalErrItemNotFound;
    DEASFolderInfoRecord *folder = nullptr;
    DErrorCode err = folders->FindFolderByData(entryID.data(), uint32_t(entryID.size()), &folder);
    if (err != kNoError) return err;
    const char *serverID = folder->GetString(kFolderFieldServerID);
    const size_t length = std::strlen(serverID);
    if (buffer == nullptr || length >= size) return generalErrBufferTooSmall;
    std::memcpy(buffer, serverID, length + 1);
    return kNoError;
}

// The entry id of the folder-info store's folder with that server id.
DErrorCode FolderEntryID(DWinMobOutlookMessageCollection *collection, const char *serverID,
                         std::vector<BYTE> *entryID) {
    DWinMobMessageManager *manager = collection != nullptr ? collection->GetMessageManager() : nullptr;
    DEASFolderInfoStore *folders = manager != nullptr ? manager->GetFolderInfoStore() : nullptr;
    if (folders == nullptr) return generalErrNotInitialized;
    DEASFolderInfoRecord *folder = nullptr;
    DErrorCode err = folders->FindFolderByServerID(serverID, &folder);
    if (err != kNoError) return err;
    if (folder->GetData() == nullptr || folder->GetDataSize() == 0) return generalErrItemNotFound;
    try {
        entryID->assign(folder->GetData(), folder->GetData() + folder->GetDataSize());
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    return kNoError;
}

}  // namespace

DErrorCode DWinMobOutlookMessage::GetFolderServerID(char *buffer, uint32_t size) {
    if (m_record == nullptr) return generalErrNotInitialized;
    std::vector<BYTE> folder;
    DErrorCode err = m_record->GetFolderID(&folder);
    return err != kNoError ? err : FolderServerID(m_collection, folder, buffer, size);
}

DErrorCode DWinMobOutlookMessage::SetFolderID(const char *serverID) {
    if (m_record == nullptr) return generalErrNotInitialized;
    if (serverID == nullptr) return generalErrInvalidParameter;
    std::vector<BYTE> folder;
    DErrorCode err = FolderEntryID(m_collection, serverID, &folder);
    return err != kNoError ? err : m_record->SetFolderID(folder.data(), uint32_t(folder.size()));
}

DErrorCode DWinMobOutlookMessage::GetPreviousFolderServerID(char *buffer, uint32_t size) {
    if (m_record == nullptr) return generalErrNotInitialized;
    std::vector<BYTE> folder;
    DErrorCode err = m_record->GetPreviousFolderID(&folder);
    return err != kNoError ? err : FolderServerID(m_collection, folder, buffer, size);
}

DErrorCode DWinMobOutlookMessage::SetPreviousFolderID(const char *serverID) {
    if (m_record == nullptr) return generalErrNotInitialized;
    if (serverID == nullptr) return m_record->SetPreviousFolderID(nullptr, 0);
    std::vector<BYTE> folder;
    DErrorCode err = FolderEntryID(m_collection, serverID, &folder);
    return err != kNoError ? err : m_record->SetPreviousFolderID(folder.data(), uint32_t(folder.size()));
}
