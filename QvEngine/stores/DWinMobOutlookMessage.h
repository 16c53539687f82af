// DWinMobOutlookMessage: one e-mail message of the account's message store
// as the data manager sees it. It reads a stored message's fields, writes
// the fields of a message that came from the server, keeps the message's
// shadow record in step, and hands the message's attachments out as device
// files.
//
// Contract:
// - Made only by its folder's collection (then Init); the caller deletes it.
//   Close (also run by the destructor) releases the store message, frees
//   every held field and deletes every temporary attachment file.
// - Getters read from the store on first use; setters hold the value until
//   Commit (or CommitNewItem) writes it. The body and attachment data go
//   through the store's streams piece by piece; attachment data is never
//   held in memory whole.
// - The message's own writes are bracketed by the shadow flag 0x0200 so
//   that the change recorders pass them by.
// - A new message's shadow record is made at Init; when the message is
//   closed without ever having been created in the store, that record is
//   deleted again.
// - Temporary attachment files get names of their own in the device's
//   temporary folder; names from the server never become paths.
// - Every operation returns an error code (store results pass through
//   unchanged); none throws.
#ifndef QV_DWINMOBOUTLOOKMESSAGE_H
#define QV_DWINMOBOUTLOOKMESSAGE_H

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "DWinMobMessagingItem.h"
#include "DWinMobShadowRecord.h"
#include "ILogProvider.h"
#include "IOutlookMessage.h"
#include "VFile.h"
#include "mapi.h"

class DWinMobOutlookMessageCollection;

// Room an attachment's download must leave free on the device, in bytes.
constexpr uint64_t kAttachmentSpareSpace = 25600;
// Bits of a message's PR_MSG_STATUS that the program keeps.
constexpr ULONG kMsgStatusRemainderRequested = 0x00001000;  // the user marked it for download
constexpr ULONG kMsgStatusBodyTruncated = 0x00100000;
constexpr ULONG kMsgStatusAttachmentRequested = 0x00200000;
// Bits of an attachment's PR_MSG_STATUS.
constexpr ULONG kAttachStatusMarked = 0x00001000;  // marked for download
constexpr ULONG kAttachStatusPending = 0x04010000;  // not yet downloaded (with kAttachStatusMarked: cleared at download)

class DWinMobOutlookMessage : public IOutlookMessage, public DWinMobMessagingItem {
public:
    DWinMobOutlookMessage(DWinMobOutlookMessageCollection *collection, ILogProvider *log);
    ~DWinMobOutlookMessage() override;

    // record: the message's shadow record (loaded again by its object id),
    // or null for a new message (a new record is made in the collection's
    // folder); entryID: the stored message, or null (then the record's
    // local id, when it has one).
    DErrorCode Init(DWinMobShadowRecord *record, const SBinary *entryID);

    // --- IOutlookItem ---
    DErrorCode Open() override;
    DErrorCode Close() override;
    DErrorCode Commit() override;
    DErrorCode CommitNewItem(DActiveTaskSignal *completion) override;
    DErrorCode IsNew(bool *flag) override;
    DErrorCode SetNew(bool flag) override;
    DErrorCode IsDeleted(bool *flag) override;
    DErrorCode SetDeleted(bool flag) override;
    DErrorCode IsSent(bool *flag) override;
    DErrorCode SetSent(bool flag) override;
    DErrorCode IsKeptNew(bool *flag) override;
    DErrorCode SetKeptNew(bool flag) override;
    DErrorCode IsModified(bool *flag) override;
    DErrorCode ClearModified() override;
    DErrorCode GetID(char *buffer, uint32_t size) override { return DWinMobMessagingItem::GetID(buffer, size); }
    DErrorCode SetID(const char *id) override { return DWinMobMessagingItem::SetID(id); }
    DErrorCode MatchID(const char *id, bool *equal) override { return DWinMobMessagingItem::MatchID(id, equal); }

    // --- IOutlookMessage ---
    DErrorCode SetSubject(const VString &text) override;
    DErrorCode GetSubject(VString *text) override;
    DErrorCode SetBody(const VString &text) override;
    DErrorCode GetBody(VString *text) override;
    DErrorCode SetFrom(const VString &text) override;
    DErrorCode GetFrom(VString *text) override;
    DErrorCode SetTo(const StringListNode *list) override;
    DErrorCode GetTo(StringListNode *list) override;
    DErrorCode SetCc(const StringListNode *list) override;
    DErrorCode GetCc(StringListNode *list) override;
    DErrorCode SetBcc(const StringListNode *list) override;
    DErrorCode GetBcc(StringListNode *list) override;
    DErrorCode SetBodyTruncated(bool flag) override;
    DErrorCode IsBodyTruncated(bool *flag) override;
    DErrorCode SetBodySize(uint32_t size) override;
    DErrorCode GetBodySize(uint32_t *size) override;
    DErrorCode SetImportance(uint32_t importance) override;
    DErrorCode GetImportance(uint32_t *importance) override;
    DErrorCode SetRemainderRequested(bool flag) override;
    DErrorCode IsRemainderRequested(bool *flag) override;
    DErrorCode SetMeetingRequest(bool flag) override;
    DErrorCode IsMeetingRequest(bool *flag) override;
    DErrorCode GetMeetingResponse(uint32_t *response) override;
    DErrorCode SetMeetingResponse(uint32_t response) override;
    DErrorCode Reserved1() override { return kNoError; }
    DErrorCode SetMeetingTimes(const struct tm *start, const struct tm *end) override;
    DErrorCode SetLocation(const VString &text) override;
    DErrorCode SetRead(bool flag) override;
    DErrorCode IsRead(bool *flag) override;
    DErrorCode IsReadChanged(bool *flag) override;
    DErrorCode ResetReadStatus() override;
    DErrorCode SetDate(const struct tm *date) override;
    DErrorCode GetDate(struct tm *date) override;
    DErrorCode SetHasAttachments(bool flag) override;
    DErrorCode HasAttachments(bool *flag) override;
    DErrorCode AddAttachments(DListNode<DAttachmentData> *list, DActiveTaskSignal *completion) override;
    DErrorCode GetAttachmentsList(DListNode<DAttachmentData> *list) override;
    DErrorCode AttachmentDownloadComplete(DAttachmentData *attachment, DErrorCode result) override;
    DErrorCode HasRoomForAttachment(DAttachmentData *attachment, bool *ok) override;
    DErrorCode GetSendType(uint32_t *type) override;
    DErrorCode SetSendType(uint32_t type) override;
    DErrorCode GetParentMessageID(char *buffer, uint32_t size) override;
    DErrorCode GetParentMessage(IOutlookMessage **message) override;
    DErrorCode Reserved2() override { return kNoError; }
    DErrorCode Reserved3(uint32_t flag) override;
    DErrorCode GetFolderServerID(char *buffer, uint32_t size) override;
    DErrorCode SetFolderID(const char *serverID) override;
    DErrorCode GetPreviousFolderServerID(char *buffer, uint32_t size) override;
    DErrorCode SetPreviousFolderID(const char *serverID) override;
    DErrorCode IsMoved(bool *flag) override;
    DErrorCode SetMoved(bool flag) override;
    DErrorCode Reserved4() override { return kNoError; }
    DErrorCode Reserved5() override { return kNoError; }
    DErrorCode Reserved6() override { return kNoError; }
    DErrorCode Reserved7() override { return kNoError; }
    DErrorCode Reserved8() override { return kNoError; }

    // --- Beside the interface ---
    // The tag of one of the message's named properties ("X-QV-ServerID",
    // "X-QV-SmartReply-ParentServerID", "X-QV-SendType",
    // "PR_SPLUS_GLOBAL_OBJID", "PR_SPLUS_WHERE"), resolved once.
    DErrorCode GetCustomMAPIPropertyID(const WCHAR *name, ULONG *tag);
    // Whether any stored attachment is still marked for download.
    DErrorCode MessageHasAdditionalAttachmentsToDownload(bool *more);
    // The shadow record (null before Init and after Close); not the caller's.
    DWinMobShadowRecord *GetShadowRecord() const { return m_record.get(); }
    IMessage *GetMAPIMessage() const { return m_message; }
    DWinMobOutlookMessageCollection *GetCollection() const { return m_collection; }
    // The number of attachments waiting for their download (temporary files).
    uint32_t GetTempAttachFileCount() const { return uint32_t(m_tempFiles.size()); }
    // The device path of the index-th temporary file: generalErrIndexOutOfRange
    // beyond the list, generalErrInvalidParameter without an out-pointer.
    DErrorCode GetTempAttachFilePath(uint32_t index, std::u16string *path) const;

protected:
    DErrorCode ReopenEntry() override;

private:
    // One temporary device file of an attachment: the attachment's number,
    // names as the store keeps them, and the file (owned, temporary: it is
    // deleted with the record). Only records that wait for a download take
    // part in matching a finished download.
    struct TempAttachFile {
        ULONG attachNum = 0;
        std::u16string fileName;
        std::u16string pathName;
        VFile file;
        bool awaitingDownload = false;
    };
    // One of the message's times: held when set or read.
    struct HeldTime {
        bool held = false;
        struct tm value = {};
    };

    // --- Opening (DWinMobOutlookMessage.cpp) ---
    DErrorCode OpenMessageInFolder();
    void ReleaseMessage();
    void FreeFields();
    IMAPIProp *NamedPropertySource() const;

    // --- Fields (DWinMobOutlookMessageFields.cpp) ---
    DErrorCode LoadString(ULONG tag, VString *text, bool *held);
    DErrorCode LoadBody();
    DErrorCode LoadDate();
    DErrorCode GetWinMobMessageRecipients();
    DErrorCode SetList(std::vector<std::u16string> *held, const StringListNode *list);
    DErrorCode GetList(const std::vector<std::u16string> &held, StringListNode *list);

    // --- Writing (DWinMobOutlookMessageCommit.cpp) ---
    DErrorCode SetInitialMAPIProps();
    DErrorCode SetAllMAPIProperties();
    DErrorCode WriteBody();
    DErrorCode SetMAPIMessageRecipients();
    DErrorCode SetMAPIAttachments();
    // Sets the properties in one call; each refused one is logged under who.
    DErrorCode SetPropsLogged(std::vector<SPropValue> &props, const char *who);
    DErrorCode DeleteOrphanRecord();

    // --- Attachments (DWinMobOutlookMessageAttach.cpp) ---
    void DropTempFiles();
    DErrorCode CopyAttachmentInfoToCoreList(const SRow &row, DListNode<DAttachmentData> *list);
    DErrorCode CreateTempAttachFile(IAttach *attach, ULONG attachNum, DAttachmentData *attachment);
    DErrorCode GetMAPIAttachFileStream(IAttach *attach, VFile *file);
    DErrorCode SetMAPIAttachFileStream(IAttach *attach, VFile *file);
    DErrorCode MatchAttachmentInExistingList(const VString &pathName, bool *found);
    DErrorCode MatchMAPIAttachmentByAttachData(const DAttachmentData &attachment, size_t *index);

    // --- Log lines ---
    // The subject line ("Message \"...\"") that precedes a failure's line.
    void LogSubject();
    void LogText(const char *text);
    void LogCode(const char *text, DErrorCode code);
    void LogFailure(const char *text, DErrorCode code);

    DWinMobOutlookMessageCollection *m_collection;
    ILogProvider *m_log;
    IMessage *m_message;
    std::unique_ptr<DWinMobShadowRecord> m_record;
    // A record made at Init for a message not yet in the store.
    bool m_orphanRecord;
    // CommitNewItem is giving the new message its entry id.
    bool m_creating;

    VString m_subject;
    bool m_subjectHeld;
    VString m_from;
    bool m_fromHeld;
    VString m_body;
    bool m_bodyHeld;
    // The body was set and is not yet written.
    bool m_bodyDirty;
    uint32_t m_bodySize;
    std::vector<std::u16string> m_to, m_cc, m_bcc;
    bool m_recipientsLoaded;
    // A list was set and is not yet written.
    bool m_recipientsDirty;
    VString m_location;
    bool m_locationHeld;
    std::u16string m_messageClass;
    uint32_t m_importance;
    bool m_importanceHeld;
    HeldTime m_date;
    HeldTime m_start;
    HeldTime m_end;
    ULONG m_messageFlags;
    ULONG m_msgStatus;
    bool m_read;
    bool m_hasAttachments;
    bool m_unsent;
    bool m_fromDevice;
    bool m_bodyTruncated;
    bool m_remainderRequested;
    bool m_attachmentRequested;

    // Attachment records to add to the store (AddAttachments).
    DListNode<DAttachmentData> m_attachments;
    std::vector<std::unique_ptr<TempAttachFile>> m_tempFiles;

    // Named-property tags, resolved on first use (0: not yet).
    ULONG m_tagServerID;
    ULONG m_tagParentServerID;
    ULONG m_tagSendType;
    ULONG m_tagGlobalObjID;
    ULONG m_tagWhere;
};

#endif
