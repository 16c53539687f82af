// What the data manager's item mappings share: an item's texts to and from
// the tree's UTF-8, string lists to and from list elements, and dates in the
// long ActiveSync form. A date record that is all zero is "no date", and so
// is a date in the device's far future, which is where the device puts "no
// date" (4501-01-01): neither is a date to send.
#ifndef QV_DACTIVESYNCDATAMANAGERTEXT_H
#define QV_DACTIVESYNCDATAMANAGERTEXT_H

#include <ctime>
#include <new>
#include <string>
#include <vector>

#include "ActiveSyncDateTime.h"
#include "DErrorCode.h"
#include "StringList.h"
#include "VString.h"
#include "WbxmlTree.h"

namespace dmtext {

// The first year that holds no real date on the device.
constexpr int kFirstNoDateYear = 4500;

inline DErrorCode FromUtf8(const std::string &text, VString *out) {
    return out->AssignNarrow(text.data(), uint32_t(text.size()), kVStringUTF8);
}

inline DErrorCode ToUtf8(const VString &text, std::string *out) {
    out->clear();
    if (text.GetLength() == 0) return kNoError;
    VString copy;
    DErrorCode err = copy.Assign(text);
    if (err == kNoError) err = copy.ConvertTo(kVStringUTF8);
    if (err != kNoError) return err;
    const char *narrow = copy.GetNarrowText();
    if (narrow == nullptr) return generalErrMemoryError;
    try {
        out->assign(narrow, copy.GetLength());
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    return kNoError;
}

// The element's text ("" when it has none).
inline std::string TextOf(const WBXMLTreeNode *element) {
    unsigned length = 0;
    const char *text = element != nullptr ? ElementText(element, &length) : nullptr;
    return text != nullptr ? std::string(text, length) : std::string();
}

inline bool IsNoDate(const struct tm &t) {
    const bool zero =
        t.tm_year == 0 && t.tm_mon == 0 && t.tm_mday == 0 && t.tm_hour == 0 && t.tm_min == 0 && t.tm_sec == 0;
    return zero || t.tm_year + 1900 >= kFirstNoDateYear;
}

// A date text as the UTC record the items keep; no text gives the all-zero
// record. A text that is no date-time is the reader's failure.
inline DErrorCode ReadDate(const std::string &text, struct tm *utc) {
    *utc = {};
    if (text.empty()) return kNoError;
    struct tm read = {};
    int32_t offset = 0;
    const DErrorCode err = ReadActiveSyncDateTime(text.c_str(), &read, &offset);
    if (err != kNoError) return err;
    if (offset == 0) {
        *utc = read;
        return kNoError;
    }
    const time_t moment = timegm(&read) - offset;
    return gmtime_r(&moment, utc) != nullptr ? kNoError : ASDataManagerErrInvalidDataType;
}

// The long form YYYY-MM-DDTHH:MM:SS.000Z.
inline DErrorCode WriteDate(const struct tm &utc, std::string *out) {
    return WriteActiveSyncDateTime(utc, 0, false, out);
}

// Appends one string to the chain whose first node is head (that node's own
// slot first); *last follows the end.
inline DErrorCode AppendString(StringListNode *head, StringListNode **last, const std::string &utf8) {
    VString *value = new (std::nothrow) VString;
    if (value == nullptr) return generalErrMemoryError;
    DErrorCode err = FromUtf8(utf8, value);
    StringListNode *node = *last == nullptr ? head : new (std::nothrow) StringListNode{nullptr, nullptr};
    if (node == nullptr && err == kNoError) err = generalErrMemoryError;
    if (err != kNoError) {
        delete value;
        return err;
    }
    node->value = value;
    if (*last != nullptr) (*last)->next = node;
    *last = node;
    return kNoError;
}

// The texts of the list element's child elements, in order, as a chain
// hanging off head (which the caller frees with FreeStringList).
inline DErrorCode ListOfChildren(const WBXMLTreeNode *list, StringListNode *head) {
    StringListNode *last = nullptr;
    for (const WBXMLTreeNode *child = list != nullptr ? list->children : nullptr; child != nullptr;
         child = child->next) {
        if (WbxmlElementName(child) == nullptr) continue;
        const DErrorCode err = AppendString(head, &last, TextOf(child));
        if (err != kNoError) return err;
    }
    return kNoError;
}

// The chain's non-empty strings as UTF-8 texts.
inline DErrorCode TextsOfList(const StringListNode *head, std::vector<std::string> *texts) {
    for (const StringListNode *node = head; node != nullptr && node->value != nullptr; node = node->next) {
        std::string text;
        const DErrorCode err = ToUtf8(*node->value, &text);
        if (err != kNoError) return err;
        if (!text.empty()) texts->push_back(text);
    }
    return kNoError;
}

// A list element with one item element per text, under the parent; nothing
// when there are no texts.
inline DErrorCode AddListElement(WBXMLTreeNode *parent, const char *listName, const char *itemName,
                                 const std::vector<std::string> &texts) {
    if (texts.empty()) return kNoError;
    WBXMLTreeNode *list = nullptr;
    DErrorCode err = AppendElementNode(parent, nullptr, listName, &list);
    for (size_t i = 0; err == kNoError && i < texts.size(); ++i) {
        WBXMLTreeNode *item = nullptr;
        err = CreateTextElementNode(&item, itemName, texts[i].c_str());
        if (err == kNoError) err = AppendChildNode(list, nullptr, item);
        if (err != kNoError && item != nullptr) WbxmlDestroyNode(item);
    }
    return err;
}

}  // namespace dmtext

#endif
