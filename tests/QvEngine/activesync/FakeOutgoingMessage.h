// A message for the engine's request tests: it answers only what the engine
// asks of an outgoing message (send kind, parent's server id, the parent and
// its folder); every other operation is generalErrNotImplemented.
#ifndef VTEST_FAKEOUTGOINGMESSAGE_H
#define VTEST_FAKEOUTGOINGMESSAGE_H

#include <cstring>
#include <string>

#include "IOutlookMessage.h"

class FakeOutgoingMessage : public IOutlookMessage {
public:
    uint32_t sendType = kMessageSendPlain;
    std::string parentId;      // "" when the parent has no server id
    std::string parentFolder;  // the server id of the parent's folder; "" when unknown
    bool isParent = false;

    DErrorCode GetSendType(uint32_t *type) override {
        *type = sendType;
        return kNoError;
    }
    DErrorCode GetParentMessageID(char *buffer, uint32_t size) override {
        return Copy(parentId, buffer, size);
    }
    DErrorCode GetParentMessage(IOutlookMessage **message) override {
        auto *parent = new FakeOutgoingMessage;
        parent->parentFolder = parentFolder;
        parent->isParent = true;
        *message = parent;
        return kNoError;
    }
    DErrorCode GetFolderServerID(char *buffer, uint32_t size) override {
        return isParent ? Copy(parentFolder, buffer, size) : generalErrNotImplemented;
    }
    DErrorCode Close() override { return kNoError; }

    DErrorCode Open() override { return generalErrNotImplemented; }
    DErrorCode Commit() override { return generalErrNotImplemented; }
    DErrorCode CommitNewItem(DActiveTaskSignal *) override { return generalErrNotImplemented; }
    DErrorCode IsNew(bool *) override { return generalErrNotImplemented; }
    DErrorCode SetNew(bool) override { return generalErrNotImplemented; }
    DErrorCode IsDeleted(bool *) override { return generalErrNotImplemented; }
    DErrorCode SetDeleted(bool) override { return generalErrNotImplemented; }
    DErrorCode IsSent(bool *) override { return generalErrNotImplemented; }
    DErrorCode SetSent(bool) override { return generalErrNotImplemented; }
    DErrorCode IsKeptNew(bool *) override { return generalErrNotImplemented; }
    DErrorCode SetKeptNew(bool) override { return generalErrNotImplemented; }
    DErrorCode IsModified(bool *) override { return generalErrNotImplemented; }
    DErrorCode ClearModified() override { return generalErrNotImplemented; }
    DErrorCode GetID(char *, uint32_t) override { return generalErrNotImplemented; }
    DErrorCode SetID(const char *) override { return generalErrNotImplemented; }
    DErrorCode MatchID(const char *, bool *) override { return generalErrNotImplemented; }
    DErrorCode SetSubject(const VString &) override { return generalErrNotImplemented; }
    DErrorCode GetSubject(VString *) override { return generalErrNotImplemented; }
    DErrorCode SetBody(const VString &) override { return generalErrNotImplemented; }
    DErrorCode GetBody(VString *) override { return generalErrNotImplemented; }
    DErrorCode SetFrom(const VString &) override { return generalErrNotImplemented; }
    DErrorCode GetFrom(VString *) override { return generalErrNotImplemented; }
    DErrorCode SetTo(const StringListNode *) override { return generalErrNotImplemented; }
    DErrorCode GetTo(StringListNode *) override { return generalErrNotImplemented; }
    DErrorCode SetCc(const StringListNode *) override { return generalErrNotImplemented; }
    DErrorCode GetCc(StringListNode *) override { return generalErrNotImplemented; }
    DErrorCode SetBcc(const StringListNode *) override { return generalErrNotImplemented; }
    DErrorCode GetBcc(StringListNode *) override { return generalErrNotImplemented; }
    DErrorCode SetBodyTruncated(bool) override { return generalErrNotImplemented; }
    DErrorCode IsBodyTruncated(bool *) override { return generalErrNotImplemented; }
    DErrorCode SetBodySize(uint32_t) override { return generalErrNotImplemented; }
    DErrorCode GetBodySize(uint32_t *) override { return generalErrNotImplemented; }
    DErrorCode SetImportance(uint32_t) override { return generalErrNotImplemented; }
    DErrorCode GetImportance(uint32_t *) override { return generalErrNotImplemented; }
    DErrorCode SetRemainderRequested(bool) override { return generalErrNotImplemented; }
    DErrorCode IsRemainderRequested(bool *) override { return generalErrNotImplemented; }
    DErrorCode SetMeetingRequest(bool) override { return generalErrNotImplemented; }
    DErrorCode IsMeetingRequest(bool *) override { return generalErrNotImplemented; }
    DErrorCode GetMeetingResponse(uint32_t *) override { return generalErrNotImplemented; }
    DErrorCode SetMeetingResponse(uint32_t) override { return generalErrNotImplemented; }
    DErrorCode Reserved1() override { return generalErrNotImplemented; }
    DErrorCode SetMeetingTimes(const struct tm *, const struct tm *) override { return generalErrNotImplemented; }
    DErrorCode SetLocation(const VString &) override { return generalErrNotImplemented; }
    DErrorCode SetRead(bool) override { return generalErrNotImplemented; }
    DErrorCode IsRead(bool *) override { return generalErrNotImplemented; }
    DErrorCode IsReadChanged(bool *) override { return generalErrNotImplemented; }
    DErrorCode ResetReadStatus() override { return generalErrNotImplemented; }
    DErrorCode SetDate(const struct tm *) override { return generalErrNotImplemented; }
    DErrorCode GetDate(struct tm *) override { return generalErrNotImplemented; }
    DErrorCode SetHasAttachments(bool) override { return generalErrNotImplemented; }
    DErrorCode HasAttachments(bool *) override { return generalErrNotImplemented; }
    DErrorCode AddAttachments(DListNode<DAttachmentData> *, DActiveTaskSignal *) override {
        return generalErrNotImplemented;
    }
    DErrorCode GetAttachmentsList(DListNode<DAttachmentData> *) override { return generalErrNotImplemented; }
    DErrorCode AttachmentDownloadComplete(DAttachmentData *, DErrorCode) override { return generalErrNotImplemented; }
    DErrorCode HasRoomForAttachment(DAttachmentData *, bool *) override { return generalErrNotImplemented; }
    DErrorCode SetSendType(uint32_t) override { return generalErrNotImplemented; }
    DErrorCode Reserved2() override { return generalErrNotImplemented; }
    DErrorCode Reserved3(uint32_t) override { return generalErrNotImplemented; }
    DErrorCode SetFolderID(const char *) override { return generalErrNotImplemented; }
    DErrorCode GetPreviousFolderServerID(char *, uint32_t) override { return generalErrNotImplemented; }
    DErrorCode SetPreviousFolderID(const char *) override { return generalErrNotImplemented; }
    DErrorCode IsMoved(bool *) override { return generalErrNotImplemented; }
    DErrorCode SetMoved(bool) override { return generalErrNotImplemented; }
    DErrorCode Reserved4() override { return generalErrNotImplemented; }
    DErrorCode Reserved5() override { return generalErrNotImplemented; }
    DErrorCode Reserved6() override { return generalErrNotImplemented; }
    DErrorCode Reserved7() override { return generalErrNotImplemented; }
    DErrorCode Reserved8() override { return generalErrNotImplemented; }

private:
    static DErrorCode Copy(const std::string &text, char *buffer, uint32_t size) {
        if (text.size() >= size) return generalErrBufferTooSmall;
        std::memcpy(buffer, text.c_str(), text.size() + 1);
        return kNoError;
    }
};

#endif
