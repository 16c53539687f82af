// IOutlookMessage: one e-mail message of the device's message store as the
// data manager sees it. Texts are VStrings, address lists StringListNode
// chains, dates broken-down calendar times (struct tm: year from 1900,
// month from 0). Getters read from the store on first use; setters hold the
// value until Commit or CommitNewItem writes it.
#ifndef QV_IOUTLOOKMESSAGE_H
#define QV_IOUTLOOKMESSAGE_H

#include <cstdint>
#include <ctime>

#include "DAttachmentData.h"
#include "DListNode.h"
#include "IOutlookItem.h"
#include "StringList.h"
#include "VString.h"

// The message's smart-send kind as the engine reads it.
enum EMessageSendType : uint32_t {
    kMessageSendPlain = 0,
    kMessageSendForward = 1,
    kMessageSendReply = 2,
};

class IOutlookMessage : public IOutlookItem {
public:
    virtual DErrorCode SetSubject(const VString &text) = 0;
    virtual DErrorCode GetSubject(VString *text) = 0;
    virtual DErrorCode SetBody(const VString &text) = 0;
    virtual DErrorCode GetBody(VString *text) = 0;
    virtual DErrorCode SetFrom(const VString &text) = 0;
    virtual DErrorCode GetFrom(VString *text) = 0;
    // Set replaces the held list with a copy; get fills the caller's first
    // node and appends further ones.
    virtual DErrorCode SetTo(const StringListNode *list) = 0;
    virtual DErrorCode GetTo(StringListNode *list) = 0;
    virtual DErrorCode SetCc(const StringListNode *list) = 0;
    virtual DErrorCode GetCc(StringListNode *list) = 0;
    virtual DErrorCode SetBcc(const StringListNode *list) = 0;
    virtual DErrorCode GetBcc(StringListNode *list) = 0;
    virtual DErrorCode SetBodyTruncated(bool flag) = 0;
    virtual DErrorCode IsBodyTruncated(bool *flag) = 0;
    virtual DErrorCode SetBodySize(uint32_t size) = 0;
    virtual DErrorCode GetBodySize(uint32_t *size) = 0;
    // 0 low, 1 normal, 2 high.
    virtual DErrorCode SetImportance(uint32_t importance) = 0;
    virtual DErrorCode GetImportance(uint32_t *importance) = 0;
    virtual DErrorCode SetRemainderRequested(bool flag) = 0;
    virtual DErrorCode IsRemainderRequested(bool *flag) = 0;
    virtual DErrorCode SetMeetingRequest(bool flag) = 0;
    virtual DErrorCode IsMeetingRequest(bool *flag) = 0;
    virtual DErrorCode GetMeetingResponse(uint32_t *response) = 0;
    virtual DErrorCode SetMeetingResponse(uint32_t response) = 0;
    virtual DErrorCode Reserved1() = 0;
    // Either may be null (absent).
    virtual DErrorCode SetMeetingTimes(const struct tm *start, const struct tm *end) = 0;
    virtual DErrorCode SetLocation(const VString &text) = 0;
    virtual DErrorCode SetRead(bool flag) = 0;
    virtual DErrorCode IsRead(bool *flag) = 0;
    virtual DErrorCode IsReadChanged(bool *flag) = 0;
    virtual DErrorCode ResetReadStatus() = 0;
    virtual DErrorCode SetDate(const struct tm *date) = 0;
    virtual DErrorCode GetDate(struct tm *date) = 0;
    virtual DErrorCode SetHasAttachments(bool flag) = 0;
    virtual DErrorCode HasAttachments(bool *flag) = 0;
    // Takes over the records of list that the message does not hold yet;
    // the list is left empty.
    virtual DErrorCode AddAttachments(DListNode<DAttachmentData> *list, DActiveTaskSignal *completion) = 0;
    // The message's attachments, each with its device file; the caller
    // frees the list.
    virtual DErrorCode GetAttachmentsList(DListNode<DAttachmentData> *list) = 0;
    // The download of one attachment (from GetAttachmentsList) ended with result.
    virtual DErrorCode AttachmentDownloadComplete(DAttachmentData *attachment, DErrorCode result) = 0;
    virtual DErrorCode HasRoomForAttachment(DAttachmentData *attachment, bool *ok) = 0;
    virtual DErrorCode GetSendType(uint32_t *type) = 0;
    virtual DErrorCode SetSendType(uint32_t type) = 0;
    virtual DErrorCode GetParentMessageID(char *buffer, uint32_t size) = 0;
    // A new message over the parent; the caller deletes it.
    virtual DErrorCode GetParentMessage(IOutlookMessage **message) = 0;
    virtual DErrorCode Reserved2() = 0;
    virtual DErrorCode Reserved3(uint32_t flag) = 0;
    virtual DErrorCode GetFolderServerID(char *buffer, uint32_t size) = 0;
    virtual DErrorCode SetFolderID(const char *serverID) = 0;
    virtual DErrorCode GetPreviousFolderServerID(char *buffer, uint32_t size) = 0;
    // Null clears it.
    virtual DErrorCode SetPreviousFolderID(const char *serverID) = 0;
    virtual DErrorCode IsMoved(bool *flag) = 0;
    virtual DErrorCode SetMoved(bool flag) = 0;
    virtual DErrorCode Reserved4() = 0;
    virtual DErrorCode Reserved5() = 0;
    virtual DErrorCode Reserved6() = 0;
    virtual DErrorCode Reserved7() = 0;
    virtual DErrorCode Reserved8() = 0;
};

#endif
