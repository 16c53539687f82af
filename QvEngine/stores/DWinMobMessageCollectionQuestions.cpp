// The message folder collection's change questions, answered from one scan
// of the folder's shadow records: changed, moved, meeting response pending,
// attachment download requested.
#include <cstdlib>

#include "DWinMobOutlookMessageCollection.h"

void DWinMobOutlookMessageCollection::FreeChangedList() {
    std::free(m_changed);
    m_changed = nullptr;
    m_changedCount = 0;
    m_haveChangedList = false;
}

DErrorCode DWinMobOutlookMessageCollection::LoadShadowChangedItemList() {
    FreeChangedList();
    DErrorCode err = m_shadow->ScanChangedInFolder(GetFolderEntryID(), &m_changedCount, &m_changed);
    if (err != kNoError) {
        LogCode("DWinMobOutlookMessageCollection::LoadShadowChangedItemList() ", err);
        FreeChangedList();
        return err;
    }
    m_haveChangedList = true;
    return kNoError;
}

DErrorCode DWinMobOutlookMessageCollection::Admits(EQuestion question, DWinMobShadowRecord *record, bool *admitted) {
    uint32_t flags = 0;
    DErrorCode err = record->GetFlags(&flags);
    if (err != kNoError) return err;
    const bool deleted = (flags & kShadowFlagDeleted) != 0;
    const bool responsePending = (flags & kShadowFlagMeetingResponsePending) != 0;
    switch (question) {
        case kQuestionChanged:
            // A pending meeting response is answered on its own path, never as a change.
            *admitted = !responsePending &&
                        (deleted || (flags & (kShadowFlagReadChanged | kShadowFlagRemainderRequested)) != 0);
            break;
        case kQuestionMoved:
            *admitted = (flags & kShadowFlagMoved) != 0;
            break;
        case kQuestionMeetingResponse:
            *admitted = responsePending;
            break;
        case kQuestionDownloadAttachment:
            *admitted = (flags & kShadowFlagAttachmentRequested) != 0 && !deleted;
            break;
        default:
            *admitted = false;
            break;
    }
    return kNoError;
}

DErrorCode DWinMobOutlookMessageCollection::Ask(EQuestion question, const char *name, bool *flag,
                                                DListNode<IOutlookItem> *list, DActiveTaskSignal *completion) {
    DErrorCode err = flag != nullptr || list != nullptr ? kNoError : generalErrInvalidParameter;
    m_question = question;
    if (flag != nullptr) {
        // A "Has" question scans afresh; a "Get" question answers from that scan.
        FreeChangedList();
        *flag = false;
    }
    // A folder without shadow records has no changes to tell.
    if (err == kNoError && m_shadow != nullptr && !m_haveChangedList) err = LoadShadowChangedItemList();
    for (uint32_t i = 0; err == kNoError && m_shadow != nullptr && i < m_changedCount; ++i) {
        DWinMobShadowRecord record;
        // A record deleted since the scan is no longer asked about.
        if (m_shadow->GetRecordByOID(m_changed[i], &record) != kNoError) continue;
        bool admitted = false;
        err = Admits(question, &record, &admitted);
        if (err != kNoError || !admitted) continue;
        if (flag != nullptr) {
            *flag = true;
            break;
        }
        IOutlookItem *message = nullptr;
        err = MessageFromRecord(&record, &message);
        if (err == kNoError) {
            err = list->Append(message);
            if (err != kNoError) delete message;
        }
    }
    if (completion != nullptr) completion->Signal(err);
    m_question = kQuestionNone;
    if (err != kNoError) LogCode(name, err);
    return err;
}

DErrorCode DWinMobOutlookMessageCollection::GetChangedItems(DListNode<IOutlookItem> *list,
                                                            DActiveTaskSignal *completion) {
    return Ask(kQuestionChanged, "DWinMobOutlookMessageCollection::GetChangedItems() ", nullptr, list, completion);
}

DErrorCode DWinMobOutlookMessageCollection::HasChangedItems(bool *flag, DActiveTaskSignal *completion) {
    return Ask(kQuestionChanged, "DWinMobOutlookMessageCollection::HasChangedItems() ", flag, nullptr, completion);
}

DErrorCode DWinMobOutlookMessageCollection::GetMovedItems(DListNode<IOutlookItem> *list,
                                                          DActiveTaskSignal *completion) {
    return Ask(kQuestionMoved, "DWinMobOutlookMessageCollection::GetMovedItems() ", nullptr, list, completion);
}

DErrorCode DWinMobOutlookMessageCollection::HasMovedItems(bool *flag, DActiveTaskSignal *completion) {
    return Ask(kQuestionMoved, "DWinMobOutlookMessageCollection::HasMovedItems() ", flag, nullptr, completion);
}

DErrorCode DWinMobOutlookMessageCollection::GetDownloadAttachmentItems(DListNode<IOutlookItem> *list,
                                                                       DActiveTaskSignal *completion) {
    return Ask(kQuestionDownloadAttachment, "DWinMobOutlookMessageCollection::GetDownloadAttachmentItems() ", nullptr,
               list, completion);
}

DErrorCode DWinMobOutlookMessageCollection::HasDownloadAttachmentItems(bool *flag, DActiveTaskSignal *completion) {
    return Ask(kQuestionDownloadAttachment, "DWinMobOutlookMessageCollection::HasDownloadAttachmentItems() ", flag,
               nullptr, completion);
}

DErrorCode DWinMobOutlookMessageCollection::GetMeetingRequestResponseItems(DListNode<IOutlookItem> *list,
                                                                           DActiveTaskSignal *completion) {
    return Ask(kQuestionMeetingResponse, "DWinMobOutlookMessageCollection::GetMeetingRequestResponseItems() ",
               nullptr, list, completion);
}

DErrorCode DWinMobOutlookMessageCollection::HasMeetingRequestResponseItems(bool *flag,
                                                                           DActiveTaskSignal *completion) {
    return Ask(kQuestionMeetingResponse, "DWinMobOutlookMessageCollection::HasMeetingRequestResponseItems() ", flag,
               nullptr, completion);
}
