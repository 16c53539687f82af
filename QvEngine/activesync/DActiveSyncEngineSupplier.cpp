// Request bodies from the data manager: each body record completes the
// request of the step in hand (content type, body, the command of a reply,
// forward or attachment fetch) or tells the engine there is nothing to send.
#include <string>

#include "ActiveSyncRequestPath.h"
#include "DASDS_DataResponse.h"
#include "DASDS_GetAttachmentDataResponse.h"
#include "DActiveSyncEngine.h"
#include "DHTTPTransaction.h"
#include "ICorvanePreferences.h"
#include "ILogProvider.h"

DErrorCode DActiveSyncEngine::ProcessDataSupplierResponse(DClientResponse *record) {
    if (record == nullptr) return generalErrInvalidParameter;
    if (m_currentTransaction == nullptr) return generalErrNotInitialized;
    switch (record->GetType()) {
    case kResponseTypeSyncData:
    case kResponseTypeMoveItemData: {
        const uint8_t more = record->GetType() == kResponseTypeSyncData
                                 ? static_cast<DASDS_SyncDataResponse *>(record)->GetMore()
                                 : static_cast<DASDS_MoveItemDataResponse *>(record)->GetMore();
        if (more != 0) {
            LogText("DActiveSyncEngine::ProcessDataSupplierResponse() - More Data Available\n");
            m_moreAvailable = 1;
        }
        return SetRequestBody(static_cast<DASDS_DataResponse *>(record));
    }
    case kResponseTypeSendData: {
        std::string command;
        DErrorCode err = BuildSendCommand(static_cast<DASDS_SendDataResponse *>(record), &command);
        if (err == kNoError) err = SetCommandPath(command.c_str());
        return err != kNoError ? err : SetRequestBody(static_cast<DASDS_DataResponse *>(record));
    }
    case kResponseTypeData:
        return SetRequestBody(static_cast<DASDS_DataResponse *>(record));
    case kResponseTypeGetAttachmentData: {
        auto *attachment = static_cast<DASDS_GetAttachmentDataResponse *>(record);
        if (attachment->GetNothingToFetch() != 0 || attachment->GetName() == nullptr) {
            if (m_dataManager != nullptr) m_dataManager->FinishAttachmentWork();
            return activeSyncErrStepCanceled;
        }
        std::string name;
        DErrorCode err = EscapeQueryValueText(*attachment->GetName(), &name);
        if (err == kNoError) err = SetCommandPath(("GetAttachment&AttachmentName=" + name).c_str());
        // The answer is the attachment itself: it goes to the attachment's file.
        if (err == kNoError && attachment->GetFile() != nullptr)
            err = m_currentTransaction->SetResponseData(attachment->TakeFile());
        return err;
    }
    case kResponseTypeMeetingResponse: {
        auto *meeting = static_cast<DASDS_GetMeetingResponseDataResponse *>(record);
        if (meeting->GetCalendarChanged() != 0) {
            m_serverCalendarChanged = 1;
            if (m_prefs != nullptr) m_prefs->SetUserSyncCalendarOverride(1);
        }
        if (meeting->GetNone() != 0) {
            if (m_dataManager != nullptr) m_dataManager->FinishMeetingResponses();
            return activeSyncErrStepCanceled;
        }
        return SetRequestBody(meeting);
    }
    default:
        LogTextCode("DActiveSyncEngine::ProcessDataSupplierResponse() - Unexpected Response Type : ",
                    record->GetType());
        return activeSyncErrDataManagerUnexpectedResponse;
    }
}
