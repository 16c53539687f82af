// Fetching an attachment a user asked for, and storing the answer. The
// current mail folder's messages that wait for a download form the work
// list; one attachment at a time is in hand, its device file (made by the
// message store, never named after the server's texts) receives the
// answer, and the message at the head of the work list stores it.
#include <new>
#include <string>

#include "DASDP_PlainResponses.h"
#include "DASDS_GetAttachmentDataResponse.h"
#include "DActiveSyncDataManager.h"
#include "DWinMobOutlookMessageCollection.h"
#include "IOutlookMessage.h"

namespace {

// The status text of an attachment the device has no room for.
constexpr uint32_t kNoRoomText = 30;

std::string Utf8Text(const VString &text) {
    VString copy;
    if (copy.Assign(text) != kNoError || copy.ConvertTo(kVStringUTF8) != kNoError || copy.GetNarrowText() == nullptr)
        return std::string();
    return std::string(copy.GetNarrowText(), copy.GetLength());
}

}  // namespace

DErrorCode DActiveSyncDataManager::CollectAttachmentFetch() {
    DWinMobOutlookMessageCollection *folder = nullptr;
    DErrorCode err = CurrentMailFolder(&folder);
    if (err != kNoError) return err;
    // The list of now: attachments stored since the last fetch are gone from it.
    m_workList.Free();
    delete m_attachment;
    m_attachment = nullptr;
    bool waiting = false;
    err = folder->HasDownloadAttachmentItems(&waiting, nullptr);
    if (err != kNoError) return err;
    return GatherWorkList(kDMFindAttachment, folder, [this, folder](DActiveTaskSignal *signal) {
        return folder->GetDownloadAttachmentItems(&m_workList, signal);
    });
}

DErrorCode DActiveSyncDataManager::RunAttachmentState(uint32_t state, DErrorCode result) {
    if (result != kNoError) return result;
    switch (state) {
        case kDMFindAttachment:
            return FindAttachmentToDownload();
        case kDMDeliverAttachment:
            // The engine judges the record; its failures are its own.
            Deliver();
            return kNoError;
        default:
            LogNumber("DActiveSyncDataManager::RunTask() - unexpected state : ", state);
            return activeSyncErrUnexpectedStep;
    }
}

DErrorCode DActiveSyncDataManager::FindAttachmentToDownload() {
    m_currStore = nullptr;
    delete m_attachment;
    m_attachment = nullptr;
    while (m_workList.item != nullptr && m_attachment == nullptr) {
        auto *message = dynamic_cast<IOutlookMessage *>(m_workList.item);
        DListNode<DAttachmentData> list;
        DErrorCode err = message != nullptr ? message->GetAttachmentsList(&list) : ASDataManagerErrInvalidDataType;
        if (err != kNoError)
            LogCode("DActiveSyncDataManager::FindAttachmentToDownload() - failed to retrieve attachment list ERROR: ",
                    err);
        for (DListNode<DAttachmentData> *node = &list; err == kNoError && node != nullptr; node = node->next) {
            DAttachmentData *attachment = node->item;
            if (attachment == nullptr || !attachment->IsMarked()) continue;
            bool room = false;
            const DErrorCode asked = message->HasRoomForAttachment(attachment, &room);
            if (asked != kNoError) {
                list.Free();
                return asked;
            }
            if (room) {
                m_attachment = attachment;
                node->item = nullptr;
                break;
            }
            // A log line, no status report: the user asked for it, the device decides.
            if (m_log != nullptr) {
                m_log->WriteString("\"", 1, kLogAllCategories);
                m_log->WriteString(Utf8Text(attachment->DisplayName()).c_str(), 1, kLogAllCategories);
                LogResourceText(kNoRoomText);
                m_log->NewLine(1, kLogAllCategories);
            }
            // Left marked for a later run with more room.
            message->AttachmentDownloadComplete(attachment, vfileErrOutOfStorageSpace);
        }
        list.Free();
        if (m_attachment == nullptr) {
            // Nothing of this message is wanted now.
            m_workList.item->Close();
            m_workList.DropFirst();
        }
    }

    auto *record = new (std::nothrow) DASDS_GetAttachmentDataResponse;
    if (record == nullptr) return generalErrMemoryError;
    if (m_attachment != nullptr) {
        VString *name = new (std::nothrow) VString;
        if (name == nullptr || name->Assign(m_attachment->Name()) != kNoError) {
            delete name;
            delete record;
            return generalErrMemoryError;
        }
        // The answer goes into the file the store made for this attachment.
        record->SetAttachment(name, m_attachment->TakeFile());
    } else {
        record->SetNothingToFetch(1);
    }
    DropResponse();
    m_response = record;
    return Deliver();
}

DErrorCode DActiveSyncDataManager::ProcessAttachmentAnswer(DHTTPTransaction *, VFile *) {
    // The answer is in the attachment's file already; the message the
    // attachment belongs to takes it from there.
    auto *message = dynamic_cast<IOutlookMessage *>(m_workList.item);
    if (m_attachment == nullptr || message == nullptr) {
        LogText("DActiveSyncDataManager::ProcessAttachmentAnswer() - no attachment in hand\n");
        return generalErrNotInitialized;
    }
    const DErrorCode stored = message->AttachmentDownloadComplete(m_attachment, kNoError);
    delete m_attachment;
    m_attachment = nullptr;
    if (stored != kNoError && stored != generalErrCanceled) return stored;
    if (stored != generalErrCanceled) {
        const DErrorCode err = m_workList.item->Commit();
        if (err != kNoError) return err;
    }
    DropResponse();
    m_response = new (std::nothrow) DASDP_EMailGetAttachmentResponse;
    if (m_response == nullptr) return generalErrMemoryError;
    const DErrorCode err = GoTo(kDMDeliverAttachment);
    return err != kNoError ? err : activeSyncErrWaitForCallback;
}

DErrorCode DActiveSyncDataManager::FinishAttachmentWork() {
    // A fetch given up while in hand ends as cancelled for its message,
    // which keeps the attachment marked.
    if (m_attachment != nullptr) {
        if (auto *message = dynamic_cast<IOutlookMessage *>(m_workList.item))
            message->AttachmentDownloadComplete(m_attachment, generalErrCanceled);
    }
    delete m_attachment;
    m_attachment = nullptr;
    m_workList.Free();
    // Nothing more is fetched from the current folder in this run.
    DEASFolderInfoRecord *folder = nullptr;
    if (m_folders != nullptr && m_folders->GetCurrentFolder(&folder) == kNoError && folder != nullptr)
        return folder->SetFlag(kMailFlagAttachment, false);
    return kNoError;
}
