// The e-mail mapping of a server message's headers: sender, subject,
// received date, recipients, importance and read state. Server text is
// UTF-8; an element that is missing leaves its field as it was.
#include <ctime>
#include <new>
#include <string>
#include <vector>

#include "ActiveSyncDateTime.h"
#include "DActiveSyncDataManager.h"
#include "IOutlookMessage.h"
#include "StringList.h"

namespace {

// Email page (2).
const char *const kTagDateReceived = "0x0F_0x02";
const char *const kTagImportance = "0x12_0x02";
const char *const kTagSubject = "0x14_0x02";
const char *const kTagRead = "0x15_0x02";
const char *const kTagTo = "0x16_0x02";
const char *const kTagCc = "0x17_0x02";
const char *const kTagFrom = "0x18_0x02";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

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

// The recipients of a To or Cc text: a piece is cut at a separator outside
// quotes only once it holds an address in angle brackets.
std::vector<std::string> SplitAddresses(const std::string &text) {
    std::vector<std::string> recipients;
    size_t begin = 0;
    bool quoted = false;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size()) {
            const char c = text[i];
            if (c == '\\') {
                ++i;
                continue;
            }
            if (c == '"') quoted = !quoted;
            if (quoted || (c != ',' && c != ';')) continue;
        }
        const std::string candidate = text.substr(begin, i - begin);
        const size_t close = candidate.rfind('>');
        const size_t open = candidate.rfind('<');
        if (close == std::string::npos || open == std::string::npos || open > close) continue;
        recipients.push_back(CleanAddress(candidate));
        begin = i + 1;
    }
    return recipients;
}

DErrorCode Utf8(const std::string &text, VString *out) {
    return out->AssignNarrow(text.c_str(), uint32_t(text.size()), kVStringUTF8);
}

DErrorCode SetRecipients(IOutlookMessage *message, bool to, const std::string &text) {
    StringListNode head = {nullptr, nullptr};
    StringListNode *last = nullptr;
    DErrorCode err = kNoError;
    for (const std::string &recipient : SplitAddresses(text)) {
        VString *value = new (std::nothrow) VString;
        if (value == nullptr) {
            err = generalErrMemoryError;
            break;
        }
        err = Utf8(recipient, value);
        StringListNode *node = last == nullptr ? &head : new (std::nothrow) StringListNode{nullptr, nullptr};
        if (node == nullptr && err == kNoError) err = generalErrMemoryError;
        if (err != kNoError) {
            delete value;
            break;
        }
        node->value = value;
        if (last != nullptr) last->next = node;
        last = node;
    }
    if (err == kNoError) err = to ? message->SetTo(&head) : message->SetCc(&head);
    FreeStringList(&head);
    return err;
}

}  // namespace

DErrorCode DActiveSyncDataManager::SetMessageHeaders(IOutlookMessage *message, WBXMLTreeNode *applicationData) {
    // 1. What the server sends is not deleted.
    DErrorCode err = message->SetDeleted(false);
    if (err != kNoError) return err;
    WBXMLTreeNode *node = nullptr;
    VString text;
    // 2. Sender.
    if ((node = Find(applicationData, kTagFrom)) != nullptr) {
        const std::string from = CleanAddress(TextOf(node));
        LogLine("Sender: ", from.c_str());
        err = Utf8(from, &text);
        if (err == kNoError) err = message->SetFrom(text);
        if (err != kNoError) return err;
    }
    // 3. Subject.
    if ((node = Find(applicationData, kTagSubject)) != nullptr) {
        const std::string subject = TextOf(node);
        LogLine("Subject: ", subject.c_str());
        err = Utf8(subject, &text);
        if (err == kNoError) err = message->SetSubject(text);
        if (err != kNoError) return err;
    }
    // 5. Received, kept as UTF; a date that is not one leaves the field unset.
    if ((node = Find(applicationData, kTagDateReceived)) != nullptr) {
        const std::string value = TextOf(node);
        LogLine("Date/Time : ", value.c_str());
        struct tm received = {};
        int32_t offset = 0;
        if (ReadActiveSyncDateTime(value.c_str(), &received, &offset) == kNoError) {
            const time_t utc = timegm(&received) - offset;
            struct tm held = {};
            if (gmtime_r(&utc, &held) != nullptr) err = message->SetDate(&held);
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
    // 12. Read state.
    if ((node = Find(applicationData, kTagRead)) != nullptr) {
        const std::string value = TextOf(node);
        err = message->SetRead(!value.empty() && value[0] == '1');
        if (err != kNoError) return err;
    }
    return kNoError;
}
