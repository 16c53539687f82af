// Sending a message: the next outgoing message of the outbox, its MIME text
// written into the request body (state 25 the headers and the text, state 27
// one attachment per step through the base64 encoder), and the answer: the
// message filed as sent (state 59), or kept for another try after a refusal.
#include <functional>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "DASDP_PlainResponses.h"
#include "DActiveSyncDataManager.h"
#include "DActiveSyncDataManagerMime.h"
#include "DActiveSyncDataManagerText.h"
#include "DFileBase64Async.h"
#include "DHTTPTransaction.h"
#include "DWinMobMessageManager.h"
#include "DWinMobOutlookMessageCollection.h"
#include "IOutlookMessage.h"
#include "IResourceManager.h"
#include "MessageTime.h"
#include "TempVFile.h"
#include "wintime.h"

namespace {

const char kSendContentType[] = "message/rfc822";
const char kMimeOle[] = "Produced By Microsoft MimeOLE V5.00.1432.1";
// Resource texts: the preamble of a message with attachments, and the line
// that ends a reply or forward whose quoted text was kept.
constexpr uint32_t kTextMultipartPreamble = 27;
constexpr uint32_t kTextOriginalMessage = 28;
// The parent's server id as the engine reads it for the SmartReply URL: an
// id it cannot read makes it send plainly, so the body must be whole.
constexpr uint32_t kParentIDSize = 128;
// The server refused the message.
constexpr uint32_t kHTTPStatusServerError = 500;

using dmtext::ToUtf8;

DErrorCode ToUtf16(const VString &text, std::u16string *out) {
    VString copy;
    DErrorCode err = copy.Assign(text);
    if (err == kNoError && copy.GetLength() != 0) err = copy.ConvertTo(kVStringUTF16LE);
    if (err != kNoError) return err;
    out->assign(copy.GetLength() != 0 ? copy.GetWideText() : u"", copy.GetLength() / 2);
    return kNoError;
}

DErrorCode Utf16ToUtf8(const std::u16string &text, std::string *out) {
    VString wide;
    DErrorCode err = wide.AssignWide(text.c_str(), uint32_t(text.size()), kVStringUTF16LE);
    return err == kNoError ? ToUtf8(wide, out) : err;
}

// One of the message's address lists (To, Cc or Bcc) as UTF-8 texts.
DErrorCode AddressesOf(IOutlookMessage *message, DErrorCode (IOutlookMessage::*get)(StringListNode *),
                       std::vector<std::string> *addresses) {
    StringListNode list{nullptr, nullptr};
    DErrorCode err = (message->*get)(&list);
    for (const StringListNode *node = &list; err == kNoError && node != nullptr && node->value != nullptr;
         node = node->next) {
        std::string address;
        err = ToUtf8(*node->value, &address);
        if (err == kNoError) addresses->push_back(address);
    }
    FreeStringList(&list);
    return err;
}

// The message's date as the device's local time and that time's distance
// from universal time; without a date, the time of sending.
void LocalDateOf(IOutlookMessage *message, struct tm *local, int32_t *offsetMinutes) {
    struct tm utc = {};
    FILETIME universal = {};
    bool have = message->GetDate(&utc) == kNoError && MessageTimeToFileTime(utc, &universal) == kNoError;
    if (!have) {
        SYSTEMTIME now;
        GetSystemTime(&now);
        SystemTimeToFileTime(&now, &universal);
    }
    FILETIME localTime = universal;
    if (!FileTimeToLocalFileTime(&universal, &localTime)) localTime = universal;
    const auto ticks = [](const FILETIME &t) {
        return int64_t((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    *offsetMinutes = int32_t((ticks(localTime) - ticks(universal)) / 600000000LL);
    if (MessageTimeFromFileTime(localTime, local) != kNoError) *local = utc;
}

// A boundary of its own for each message: a random number (seeded with the
// tick count and the universal time) and the universal time.
std::string NewBoundary() {
    SYSTEMTIME now;
    GetSystemTime(&now);
    FILETIME fileTime = {};
    SystemTimeToFileTime(&now, &fileTime);
    std::minstd_rand random(uint32_t(GetTickCount() + fileTime.dwLowDateTime));
    struct tm utc = {};
    utc.tm_year = now.wYear - 1900;
    utc.tm_mon = now.wMonth - 1;
    utc.tm_mday = now.wDay;
    utc.tm_hour = now.wHour;
    utc.tm_min = now.wMinute;
    utc.tm_sec = now.wSecond;
    return MimeBoundary(uint32_t(random()), utc);
}

}  // namespace

// --- Finding the message (steps 11 and 12) ---

DErrorCode DActiveSyncDataManager::CollectSendMail() {
    // Whatever an abandoned send left behind goes first.
    m_workList.Free();
    m_attachmentList.Free();
    m_sendEncoding = false;
    DErrorCode err = OpenMessageStore();
    IOutlookItem *message = nullptr;
    // The same rule as the pending-item check, so that a send step the
    // engine starts always finds its message.
    if (err == kNoError) err = NextOutgoingMessage(&message);
    if (err != kNoError) return err;
    // Nothing to send for this step.
    if (message == nullptr) return generalErrIndexOutOfRange;
    err = m_workList.Append(message);
    if (err != kNoError) {
        delete message;
        return err;
    }
    return GoTo(kDMWriteSendHeaders);
}

DErrorCode DActiveSyncDataManager::WalkOutbox(
    const std::function<DErrorCode(IOutlookItem *&item, bool *stop)> &visit) {
    DWinMobOutlookMessageCollection *outbox = nullptr;
    DErrorCode err = m_msg->GetOutboxCollection(&outbox);
    // No outbox known yet: nothing can wait in it.
    if (err == generalErrItemNotFound || (err == kNoError && outbox == nullptr)) return kNoError;
    if (err == kNoError) err = outbox->Open();
    uint32_t count = 0;
    if (err == kNoError) err = outbox->GetCount(&count);
    bool stop = false;
    for (uint32_t i = 0; err == kNoError && i < count && !stop; ++i) {
        IOutlookItem *item = nullptr;
        err = outbox->GetItem(i, &item);
        if (err != kNoError) break;
        err = visit(item, &stop);
        delete item;
    }
    return err;
}

DErrorCode DActiveSyncDataManager::NextOutgoingMessage(IOutlookItem **found) {
    *found = nullptr;
    return WalkOutbox([found](IOutlookItem *&item, bool *stop) {
        bool keptNew = false, deleted = false, moved = false;
        DErrorCode err = item->IsKeptNew(&keptNew);
        if (err == kNoError) err = item->IsDeleted(&deleted);
        auto *message = dynamic_cast<IOutlookMessage *>(item);
        if (err == kNoError && message != nullptr) err = message->IsMoved(&moved);
        if (err == kNoError && message != nullptr && !keptNew && !deleted && !moved) {
            *found = item;
            item = nullptr;
            *stop = true;
        }
        return err;
    });
}

DErrorCode DActiveSyncDataManager::ReleaseRefusedMessages() {
    return WalkOutbox([](IOutlookItem *&item, bool *) {
        bool keptNew = false;
        DErrorCode err = item->IsKeptNew(&keptNew);
        return err == kNoError && keptNew ? item->SetKeptNew(false) : err;
    });
}

IOutlookMessage *DActiveSyncDataManager::MessageToSend() const {
    return dynamic_cast<IOutlookMessage *>(m_workList.item);
}

// --- Writing the message (states 25 and 27) ---

DErrorCode DActiveSyncDataManager::RunSendState(uint32_t state, DErrorCode result) {
    if (result != kNoError) return result;
    try {
        switch (state) {
            case kDMWriteSendHeaders:
                return WriteSendHeaders();
            case kDMWriteNextAttachment:
                return WriteNextAttachment();
            case kDMDeliverSend:
                return DeliverSentMessage();
            default:
                LogNumber("DActiveSyncDataManager::RunTask() - unexpected state : ", state);
                return activeSyncErrUnexpectedStep;
        }
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
}

DErrorCode DActiveSyncDataManager::CheckSendType(IOutlookMessage *message, uint32_t *sendType) {
    *sendType = kMessageSendPlain;
    DErrorCode err = message->GetSendType(sendType);
    if (err != kNoError) return err;
    if (*sendType != kMessageSendReply && *sendType != kMessageSendForward) {
        *sendType = kMessageSendPlain;
        return kNoError;
    }
    // The engine sends a smart reply only when it can name the parent and
    // the folder that holds it; otherwise the server has no parent to add,
    // and the body must keep the quoted text.
    char parentID[kParentIDSize] = {};
    bool known = message->GetParentMessageID(parentID, sizeof parentID) == kNoError && parentID[0] != '\0';
    if (known) {
        IOutlookMessage *parent = nullptr;
        char folderID[kParentIDSize] = {};
        known = message->GetParentMessage(&parent) == kNoError && parent != nullptr &&
                parent->GetFolderServerID(folderID, sizeof folderID) == kNoError && folderID[0] != '\0';
        if (parent != nullptr) parent->Close();
        delete parent;
    }
    if (known) return kNoError;
    LogText("Detected Reply/Forward to a message without Exchange ID! converting to a regular send.\n");
    *sendType = kMessageSendPlain;
    return message->SetSendType(kMessageSendPlain);
}

DErrorCode DActiveSyncDataManager::SendBodyText(IOutlookMessage *message, uint32_t sendType, std::string *utf8) {
    VString body;
    std::u16string text;
    DErrorCode err = message->GetBody(&body);
    if (err == kNoError) err = ToUtf16(body, &text);
    if (err != kNoError) return err;
    if (sendType != kMessageSendPlain) {
        // The server appends the parent itself: its quoted copy goes.
        std::u16string parentText;
        IOutlookMessage *parent = nullptr;
        VString parentBody;
        bool read = message->GetParentMessage(&parent) == kNoError && parent != nullptr &&
                    parent->GetBody(&parentBody) == kNoError && ToUtf16(parentBody, &parentText) == kNoError;
        if (parent != nullptr) parent->Close();
        delete parent;
        if (read && text.size() > parentText.size() &&
            text.compare(text.size() - parentText.size(), parentText.size(), parentText) == 0) {
            text.resize(text.size() - parentText.size());
        } else {
            // The quoted text was edited (or cannot be compared): it stays,
            // and a line marks where the server's copy of the parent begins.
            IResourceManager *strings = m_global != nullptr ? m_global->GetResourceManager() : nullptr;
            VString *line = nullptr;
            std::u16string lineText;
            if (strings != nullptr && strings->GetString(UINT(kTextOriginalMessage), &line) == kNoError &&
                line != nullptr)
                err = ToUtf16(*line, &lineText);
            delete line;
            if (err != kNoError) return err;
            text += u"\r\n" + lineText;
        }
    }
    return Utf16ToUtf8(text, utf8);
}

DErrorCode DActiveSyncDataManager::WriteSendBytes(const std::string &bytes) {
    auto *record = dynamic_cast<DASDS_SendDataResponse *>(m_response);
    VFile *body = record != nullptr ? record->GetBody() : nullptr;
    if (body == nullptr) return generalErrNotInitialized;
    if (bytes.empty()) return kNoError;
    // The encoder writes at the end too.
    DErrorCode err = body->Seek(kVFileSeekEnd, 0);
    uint32_t written = 0;
    if (err == kNoError) err = body->Write(uint32_t(bytes.size()), bytes.data(), &written);
    if (err == kNoError && written != bytes.size()) err = vfileErrOutOfStorageSpace;
    return err;
}

DErrorCode DActiveSyncDataManager::WriteSendHeaders() {
    IOutlookMessage *message = MessageToSend();
    if (message == nullptr) return generalErrNotInitialized;
    uint32_t sendType = kMessageSendPlain;
    std::string text;
    DErrorCode err = CheckSendType(message, &sendType);
    if (err == kNoError) err = SendBodyText(message, sendType, &text);
    // The attachments decide the message's form before its first header.
    m_attachmentList.Free();
    m_sendEncoding = false;
    if (err == kNoError) err = message->GetAttachmentsList(&m_attachmentList);
    if (err != kNoError) return err;
    const bool multipart = m_attachmentList.item != nullptr;

    VFile *body = nullptr;
    err = EnsureTempVFile(&body);
    if (err != kNoError || body == nullptr) {
        LogText("DActiveSyncDataManager::WriteSendHeaders() - failed to allocate VFile\n");
        return err != kNoError ? err : generalErrMemoryError;
    }
    auto *record = new (std::nothrow) DASDS_SendDataResponse;
    if (record == nullptr) {
        delete body;
        return generalErrMemoryError;
    }
    record->SetBody(body);
    record->SetMessage(message);
    DropResponse();
    m_response = record;
    err = record->SetContentType(kSendContentType);
    bool open = false;
    if (err == kNoError) err = body->IsOpen(&open);
    if (err == kNoError && !open) err = body->Open(kVFileReadWrite);
    if (err != kNoError) return err;

    VString value;
    std::string from, subject;
    std::vector<std::string> to, cc, bcc;
    uint32_t importance = 1;
    err = message->GetFrom(&value);
    if (err == kNoError) err = ToUtf8(value, &from);
    if (err == kNoError) err = AddressesOf(message, &IOutlookMessage::GetTo, &to);
    if (err == kNoError) err = AddressesOf(message, &IOutlookMessage::GetCc, &cc);
    if (err == kNoError) err = AddressesOf(message, &IOutlookMessage::GetBcc, &bcc);
    if (err == kNoError) err = message->GetSubject(&value);
    if (err == kNoError) err = ToUtf8(value, &subject);
    if (err == kNoError) err = message->GetImportance(&importance);
    if (err != kNoError) return err;
    struct tm date = {};
    int32_t offset = 0;
    LocalDateOf(message, &date, &offset);

    std::string mime = MimeHeader("From", from) + MimeAddressHeader("To", to) + MimeAddressHeader("CC", cc) +
                       MimeAddressHeader("BCC", bcc) + MimeHeader("Subject", subject) +
                       MimeHeader("Date", MimeDate(date, offset)) + MimeHeader("Importance", MimeImportance(importance)) +
                       MimeHeader("MIME-Version", "1.0");
    if (!multipart) {
        const std::string lines = MimeCanonicalLines(text);
        // UTF-8 beyond ASCII is 8bit data, and says so; a line too long for
        // mail makes the text quoted-printable.
        const std::string encoding = MimeTextEncoding(lines);
        mime += MimeParamHeader("Content-Type", "text/plain", "charset", "Utf-8") +
                MimeHeader("Content-Transfer-Encoding", encoding) + MimeHeader("X-MimeOLE", kMimeOle) + "\r\n" +
                (encoding == "quoted-printable" ? MimeQuotedPrintable(lines) : lines) + "\r\n";
        err = WriteSendBytes(mime);
        if (err == kNoError) err = body->Close();
        return err != kNoError ? err : GoTo(kDMDeliverRequest);
    }
    m_sendBoundary = NewBoundary();
    std::string preamble;
    IResourceManager *strings = m_global != nullptr ? m_global->GetResourceManager() : nullptr;
    VString *resource = nullptr;
    if (strings != nullptr && strings->GetString(UINT(kTextMultipartPreamble), &resource) == kNoError &&
        resource != nullptr)
        err = ToUtf8(*resource, &preamble);
    delete resource;
    if (err != kNoError) return err;
    mime += MimeParamHeader("Content-Type", "multipart/mixed", "boundary", m_sendBoundary) +
            MimeHeader("X-MimeOLE", kMimeOle) + MimeHeader("X-MS-Has-Attach", "yes") + "\r\n" + preamble +
            MimePartBoundary(m_sendBoundary, false) +
            MimeParamHeader("Content-Type", "text/plain", "charset", "Utf-8") +
            MimeHeader("Content-Transfer-Encoding", "quoted-printable") + "\r\n" + MimeQuotedPrintable(text) + "\r\n";
    err = WriteSendBytes(mime);
    return err != kNoError ? err : GoTo(kDMWriteNextAttachment);
}

DErrorCode DActiveSyncDataManager::WriteNextAttachment() {
    auto *record = dynamic_cast<DASDS_SendDataResponse *>(m_response);
    VFile *body = record != nullptr ? record->GetBody() : nullptr;
    if (body == nullptr) return generalErrNotInitialized;
    // The attachment the encoder finished leaves the list.
    if (m_sendEncoding) m_attachmentList.DropFirst();
    m_sendEncoding = false;
    DAttachmentData *attachment = m_attachmentList.item;
    if (attachment == nullptr) {
        DErrorCode err = WriteSendBytes(MimePartBoundary(m_sendBoundary, true) + "\r\n");
        delete m_encoder;
        m_encoder = nullptr;
        if (err == kNoError) err = body->Close();
        return err != kNoError ? err : GoTo(kDMDeliverRequest);
    }
    if (attachment->GetFile() == nullptr) return generalErrNotInitialized;
    std::string name;
    DErrorCode err = ToUtf8(attachment->DisplayName().GetLength() != 0 ? attachment->DisplayName() : attachment->Name(),
                            &name);
    if (err != kNoError) return err;
    err = WriteSendBytes(MimePartBoundary(m_sendBoundary, false) +
                         MimeHeader("Content-Type", "application/octet-stream") +
                         MimeHeader("Content-Transfer-Encoding", "base64") + MimeHeader("Content-Description", name) +
                         MimeParamHeader("Content-Disposition", "attachment", "filename", name) + "\r\n");
    if (err == kNoError && m_encoder == nullptr) err = DFileBase64Async::Create(&m_encoder, m_global);
    if (err != kNoError) return err;
    m_encoder->SetLineLength(kMimeBase64LineLength);
    // The encoder signals from its own steps, after this one: it may start first.
    err = m_encoder->Start(attachment->GetFile(), body, GetSignal());
    if (err != kNoError) return err;
    m_sendEncoding = true;
    return WaitIn(kDMWriteNextAttachment);
}

// --- The answer ---

DErrorCode DActiveSyncDataManager::ProcessSendAnswer(DHTTPTransaction *transaction) {
    IOutlookMessage *message = MessageToSend();
    if (transaction != nullptr && transaction->GetStatusCode() == kHTTPStatusServerError)
        return message != nullptr ? KeepRefusedMessage(message) : kNoError;
    // The server took the message (its answer may be empty or missing).
    if (message == nullptr) {
        LogText("DActiveSyncDataManager::ProcessSendAnswer() - no message in hand\n");
        return kNoError;
    }
    DWinMobOutlookMessageCollection *outbox = nullptr;
    DErrorCode err = m_msg != nullptr ? m_msg->GetOutboxCollection(&outbox) : generalErrNotInitialized;
    if (err == kNoError && outbox == nullptr) err = generalErrItemNotFound;
    if (err != kNoError) return err;
    auto *record = new (std::nothrow) DASDP_EMailSendResponse;
    if (record == nullptr) return generalErrMemoryError;
    DropResponse();
    m_response = record;
    err = WaitIn(kDMDeliverSend);
    if (err == kNoError) err = StoreOpStarted(m_msg->FinishSentMessage(outbox, message, GetSignal()));
    if (err != kNoError) {
        m_state = kDMIdle;
        DropResponse();
        return err;
    }
    return activeSyncErrWaitForCallback;
}

DErrorCode DActiveSyncDataManager::DeliverSentMessage() {
    // Filed: the message object has no more use.
    m_workList.Free();
    return Deliver();
}

DErrorCode DActiveSyncDataManager::KeepRefusedMessage(IOutlookMessage *message) {
    uint32_t sendType = kMessageSendPlain;
    DErrorCode err = message->GetSendType(&sendType);
    // A refused smart reply goes again as a plain message; a refused plain
    // message waits for the next run (ReleaseRefusedMessages).
    if (err == kNoError && (sendType == kMessageSendReply || sendType == kMessageSendForward))
        err = message->SetSendType(kMessageSendPlain);
    else if (err == kNoError)
        err = message->SetKeptNew(true);
    if (err == kNoError) err = message->Commit();
    m_workList.Free();
    return err;
}
