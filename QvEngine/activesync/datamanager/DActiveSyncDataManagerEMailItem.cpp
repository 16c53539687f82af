// The e-mail mapping of a server message: sender, subject, body, received
// date, recipients, body size and truncation, importance, meeting request,
// read state and the attachment list, in that order. Server text is UTF-8,
// attachment references Windows-1252; an element that is missing leaves its
// field as it was.
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <vector>

#include "ActiveSyncDateTime.h"
#include "Base64.h"
#include "DActiveSyncDataManager.h"
#include "DActiveSyncDataManagerText.h"
#include "ICorvanePreferences.h"
#include "IOutlookMessage.h"
#include "StringList.h"
#include "TimeZoneBase64.h"

namespace {

// Email page (2).
const char *const kTagAttachments = "0x06_0x02";
const char *const kTagAttName = "0x07_0x02";
const char *const kTagAttSize = "0x08_0x02";
const char *const kTagBody = "0x0C_0x02";
const char *const kTagBodySize = "0x0D_0x02";
const char *const kTagBodyTruncated = "0x0E_0x02";
const char *const kTagDateReceived = "0x0F_0x02";
const char *const kTagDisplayName = "0x10_0x02";
const char *const kTagImportance = "0x12_0x02";
const char *const kTagMessageClass = "0x13_0x02";
const char *const kTagSubject = "0x14_0x02";
const char *const kTagRead = "0x15_0x02";
const char *const kTagTo = "0x16_0x02";
const char *const kTagCc = "0x17_0x02";
const char *const kTagFrom = "0x18_0x02";
const char *const kTagEndTime = "0x1E_0x02";
const char *const kTagLocation = "0x21_0x02";
const char *const kTagMeetingRequest = "0x22_0x02";
const char *const kTagStartTime = "0x31_0x02";
const char *const kTagTimeZone = "0x33_0x02";

const char *const kMeetingRequestClass = "IPM.Schedule.Meeting.Request";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trimmed(const std::string &text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// "Name <address>" as "\"Name\" <address>"; a piece without an address in
// angle brackets, or one that starts with a quote, stays as it is.
std::string CleanAddress(const std::string &piece) {
    size_t start = 0;
    while (start < piece.size() && IsBlank(piece[start])) ++start;
    if (start < piece.size() && piece[start] == '"') return piece;
    size_t open = std::string::npos, close = std::string::npos, stop = piece.size();
    bool quoted = false;
    for (size_t i = start; i < piece.size(); ++i) {
        const char c = piece[i];
        if (c == '\\') {
            ++i;
            continue;
        }
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (quoted) continue;
        if (open == std::string::npos) {
            if (c == '<') open = i;
        } else if (close == std::string::npos) {
            if (c == '>') close = i;
        } else if (c == ',' || c == ';') {
            stop = i;
            break;
        }
    }
    if (open == std::string::npos) return piece;
    std::string name = piece.substr(0, open);
    while (!name.empty() && IsBlank(name.back())) name.pop_back();
    std::string cleaned;
    if (name.empty() || name.front() != '"') cleaned += '"';
    cleaned += name;
    if (name.size() < 2 || name.back() != '"') cleaned += '"';
    cleaned += ' ';
    cleaned += piece.substr(open, stop - open);
    return cleaned;
}

bool HoldsBracketedAddress(const std::string &piece) {
    const size_t close = piece.rfind('>');
    const size_t open = piece.rfind('<');
    return close != std::string::npos && open != std::string::npos && open < close;
}

// The recipients of a To or Cc text, split at separators outside quotes.
// A piece grows over separators while it may still be an unquoted display
// name ("Smith, John <js@...>"); one that holds an address in angle
// brackets is rewritten with its name quoted. A bare address stays a
// recipient as it is: dropping it would leave the message without them.
std::vector<std::string> SplitAddresses(const std::string &text) {
    std::vector<std::string> recipients;
    size_t begin = 0;
    bool quoted = false;
    for (size_t i = 0; i <= text.size(); ++i) {
        const bool end = i >= text.size();
        if (!end) {
            const char c = text[i];
            // A backslash at the very end escapes nothing: the last piece still counts.
            if (c == '\\' && i + 1 < text.size()) {
                ++i;
                continue;
            }
            if (c == '"') quoted = !quoted;
            if (quoted || (c != ',' && c != ';')) continue;
        }
        const std::string candidate = text.substr(begin, i - begin);
        const std::string bare = Trimmed(candidate);
        if (HoldsBracketedAddress(candidate)) {
            recipients.push_back(CleanAddress(candidate));
        } else if (bare.empty()) {
            // Nothing between two separators.
        } else if (end || bare.find('@') != std::string::npos) {
            recipients.push_back(bare);
        } else {
            continue;
        }
        begin = i + 1;
    }
    return recipients;
}

DErrorCode SetRecipients(IOutlookMessage *message, bool to, const std::string &text) {
    StringListNode head = {nullptr, nullptr};
    StringListNode *last = nullptr;
    DErrorCode err = kNoError;
    for (const std::string &recipient : SplitAddresses(text)) {
        err = dmtext::AppendString(&head, &last, recipient);
        if (err != kNoError) break;
    }
    if (err == kNoError) err = to ? message->SetTo(&head) : message->SetCc(&head);
    FreeStringList(&head);
    return err;
}

// An ActiveSync date-time as the UTC time the store keeps; false when the
// text is no date-time.
bool ReadUtc(const std::string &text, struct tm *utcTime) {
    return !text.empty() && dmtext::ReadDate(text, utcTime) == kNoError;
}

// The meeting's time-zone record over the one held: only a text that
// decodes to a whole record replaces it, so a short text never leaves
// bytes of another zone behind and a long one is never cut to fit.
bool DecodeMeetingTimeZone(const std::string &text, BYTE *record) {
    uint32_t decoded = 0;
    BYTE *bytes = Base64Decode(text.c_str(), uint32_t(text.size()), &decoded);
    const bool whole = bytes != nullptr && decoded == kTimeZoneRecordSize;
    if (whole) memcpy(record, bytes, kTimeZoneRecordSize);
    delete[] bytes;
    return whole;
}

// What the server says an attachment weighs is its encoded size; the
// device shows an estimate of the decoded one when that makes sense.
uint32_t EstimatedAttachmentSize(uint32_t serverSize) {
    const double estimate = double(serverSize) * 0.7308 - 48.732;
    return estimate > 0 ? uint32_t(estimate) : serverSize;
}

bool HasContent(WBXMLTreeNode *node) { return node != nullptr && node->children != nullptr; }

}  // namespace

DErrorCode DActiveSyncDataManager::SetMessageHeaders(IOutlookMessage *message, WBXMLTreeNode *applicationData) {
    // 1. What the server sends is not deleted.
    DErrorCode err = message->SetDeleted(false);
    if (err != kNoError) return err;
    WBXMLTreeNode *node = nullptr;
    VString text;
    // 2. Sender.
    WBXMLTreeNode *fromNode = Find(applicationData, kTagFrom);
    if (fromNode != nullptr) {
        const std::string from = CleanAddress(TextOf(fromNode));
        LogLine("Sender: ", from.c_str());
        err = dmtext::FromUtf8(from, &text);
        if (err == kNoError) err = message->SetFrom(text);
        if (err != kNoError) return err;
    }
    // 3. Subject.
    if ((node = Find(applicationData, kTagSubject)) != nullptr) {
        const std::string subject = TextOf(node);
        LogLine("Subject: ", subject.c_str());
        err = dmtext::FromUtf8(subject, &text);
        if (err == kNoError) err = message->SetSubject(text);
        if (err != kNoError) return err;
    }
    // 4. Body, and its size in bytes.
    if ((node = Find(applicationData, kTagBody)) != nullptr) {
        const std::string body = TextOf(node);
        VString bodyText;
        err = dmtext::FromUtf8(body, &bodyText);
        if (err == kNoError) err = message->SetBodySize(uint32_t(body.size()));
        if (err == kNoError) err = message->SetBody(bodyText);
        if (err != kNoError) return err;
    }
    // 5. Received, kept as UTC; a date that is not one leaves the field unset.
    if ((node = Find(applicationData, kTagDateReceived)) != nullptr) {
        const std::string value = TextOf(node);
        LogLine("Date/Time : ", value.c_str());
        struct tm received = {};
        if (ReadUtc(value, &received)) {
            err = message->SetDate(&received);
            if (err != kNoError) return err;
        } else {
            LogText("DActiveSyncDataManager::SetMessageHeaders() - bad date, not set\n");
        }
    }
    // 6, 7. Recipients.
    if ((node = Find(applicationData, kTagTo)) != nullptr) {
        err = SetRecipients(message, true, TextOf(node));
        if (err != kNoError) return err;
    }
    if ((node = Find(applicationData, kTagCc)) != nullptr) {
        err = SetRecipients(message, false, TextOf(node));
        if (err != kNoError) return err;
    }
    // 8, 9. The whole body's size, and whether only part of it came.
    err = SetMessageBodyState(message, applicationData);
    if (err != kNoError) return err;
    // 10. Importance.
    if ((node = Find(applicationData, kTagImportance)) != nullptr) {
        const std::string value = TextOf(node);
        const char first = value.empty() ? '\0' : value[0];
        uint32_t importance = 1;
        if (first == '0' || first == '1' || first == '2') {
            importance = uint32_t(first - '0');
        } else {
            LogLine("DActiveSyncDataManager::SetMessageImportance() - unrecognized importance : ",
                    value.substr(0, 1).c_str());
        }
        err = message->SetImportance(importance);
        if (err != kNoError) return err;
    }
    // 11. Meeting request: the class and a MeetingRequest with content.
    WBXMLTreeNode *classNode = Find(applicationData, kTagMessageClass);
    WBXMLTreeNode *meeting = Find(applicationData, kTagMeetingRequest);
    if (classNode != nullptr && HasContent(meeting) && TextOf(classNode) == kMeetingRequestClass) {
        err = message->SetMeetingRequest(true);
        if (err == kNoError) err = SetMessageMeetingRequest(message, meeting);
        if (err != kNoError) return err;
    } else if (fromNode != nullptr) {
        err = message->SetMeetingRequest(false);
        if (err != kNoError) return err;
    }
    // 12. Read state. The Sync record has no count of new unread mail to add to.
    if ((node = Find(applicationData, kTagRead)) != nullptr) {
        const std::string value = TextOf(node);
        err = message->SetRead(!value.empty() && value[0] == '1');
        if (err != kNoError) return err;
    }
    // 13. Attachments; a message without them or a sender keeps its own.
    WBXMLTreeNode *attachments = Find(applicationData, kTagAttachments);
    if (attachments == nullptr && fromNode == nullptr) return kNoError;
    return SetMessageAttachments(message, attachments);
}

DErrorCode DActiveSyncDataManager::SetMessageBodyState(IOutlookMessage *message, WBXMLTreeNode *applicationData) {
    DErrorCode err = kNoError;
    WBXMLTreeNode *node = Find(applicationData, kTagBodySize);
    if (node != nullptr) {
        uint32_t size = 0;
        if (ParseNumber(TextOf(node), &size)) {
            err = message->SetBodySize(size);
            if (err != kNoError) return err;
        } else {
            LogLine("DActiveSyncDataManager::SetMessageHeaders() - bad body size, not set : ", TextOf(node).c_str());
        }
    }
    if ((node = Find(applicationData, kTagBodyTruncated)) != nullptr) {
        const std::string value = TextOf(node);
        if (!value.empty() && value[0] == '1') return message->SetBodyTruncated(true);
        // The whole body is here: a request for the rest is answered.
        err = message->SetBodyTruncated(false);
        if (err == kNoError) err = message->SetRemainderRequested(false);
    }
    return err;
}

DErrorCode DActiveSyncDataManager::SetMessageMeetingRequest(IOutlookMessage *message, WBXMLTreeNode *meeting) {
    // 1. The time zone: the held record unless the server's is a whole one.
    BYTE zone[kTimeZoneRecordSize] = {};
    if (m_prefs != nullptr) m_prefs->GetTimeZone(zone);
    const std::string zoneText = TextOf(Child(meeting, kTagTimeZone));
    if (!zoneText.empty() && !DecodeMeetingTimeZone(zoneText, zone))
        LogText("DActiveSyncDataManager::SetMessageMeetingRequest() - TimeZone is no time-zone record, kept the held one\n");
    // 2. Both times, or neither.
    WBXMLTreeNode *startNode = Child(meeting, kTagStartTime);
    WBXMLTreeNode *endNode = Child(meeting, kTagEndTime);
    DErrorCode err = kNoError;
    if (startNode != nullptr && endNode != nullptr) {
        const std::string startText = TextOf(startNode), endText = TextOf(endNode);
        struct tm start = {}, end = {};
        if (ReadUtc(startText, &start) && ReadUtc(endText, &end)) {
            LogLine("Meeting Start Time : ", startText.c_str());
            LogLine("Meeting End Time : ", endText.c_str());
            err = message->SetMeetingTimes(&start, &end);
            if (err != kNoError) return err;
        } else {
            LogText("DActiveSyncDataManager::SetMessageMeetingRequest() - bad meeting times, not set\n");
        }
    }
    // 3. Where.
    const std::string location = TextOf(Child(meeting, kTagLocation));
    LogLine("Meeting Location: ", location.c_str());
    VString text;
    err = dmtext::FromUtf8(location, &text);
    return err != kNoError ? err : message->SetLocation(text);
}

DErrorCode DActiveSyncDataManager::SetMessageAttachments(IOutlookMessage *message, WBXMLTreeNode *attachments) {
    DListNode<DAttachmentData> list;
    DErrorCode err = kNoError;
    for (WBXMLTreeNode *child = attachments != nullptr ? attachments->children : nullptr;
         child != nullptr && err == kNoError; child = child->next) {
        if (WbxmlElementName(child) == nullptr) continue;
        if (child->children == nullptr) break;
        DAttachmentData *attachment = new (std::nothrow) DAttachmentData;
        if (attachment == nullptr) {
            err = generalErrMemoryError;
            break;
        }
        // The reference goes back to the server byte for byte; the store
        // names the device file itself.
        const std::string name = TextOf(Child(child, kTagAttName));
        const std::string display = TextOf(Child(child, kTagDisplayName));
        err = attachment->Name().AssignNarrow(name.c_str(), uint32_t(name.size()), kVStringWindows1252);
        if (err == kNoError) err = dmtext::FromUtf8(display, &attachment->DisplayName());
        uint32_t size = 0;
        if (ParseNumber(TextOf(Child(child, kTagAttSize)), &size)) attachment->SetSize(EstimatedAttachmentSize(size));
        if (err == kNoError) err = list.Append(attachment);
        if (err != kNoError) delete attachment;
    }
    if (err == kNoError) err = message->SetHasAttachments(list.item != nullptr);
    // The store signals before it returns; the step machine goes on to the commit.
    if (err == kNoError && list.item != nullptr) err = message->AddAttachments(&list, nullptr);
    list.Free();
    return err;
}
