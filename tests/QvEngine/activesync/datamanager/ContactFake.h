// An in-memory contact for the contacts mapping's tests: string fields as
// UTF-8 under their ids (handed out as UTF-16, as the device gives them),
// dates and lists under theirs, the body-changed answer, and a failure to
// give for one field's setter. Unset fields read as empty or all zero.
#ifndef VTEST_CONTACTFAKE_H
#define VTEST_CONTACTFAKE_H

#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "support/DateRecord.h"
#include "IOutlookContact.h"

// A VString's text as UTF-8, and UTF-8 as a UTF-16 VString.
inline std::string Utf8Of(const VString &text) {
    VString copy;
    copy.Assign(text);
    if (copy.GetLength() != 0) copy.ConvertTo(kVStringUTF8);
    return std::string(copy.GetNarrowText() != nullptr ? copy.GetNarrowText() : "");
}
inline void AssignWide(const std::string &utf8, VString *out) {
    out->AssignNarrow(utf8.c_str(), uint32_t(utf8.size()), kVStringUTF8);
    if (!utf8.empty()) out->ConvertTo(kVStringUTF16LE);
}
inline std::vector<std::string> ListOf(const StringListNode *head) {
    std::vector<std::string> texts;
    for (const StringListNode *node = head; node != nullptr && node->value != nullptr; node = node->next)
        texts.push_back(Utf8Of(*node->value));
    return texts;
}
inline void FillList(const std::vector<std::string> &texts, StringListNode *head) {
    StringListNode *last = nullptr;
    for (const std::string &text : texts) {
        StringListNode *node = last == nullptr ? head : new StringListNode{nullptr, nullptr};
        node->value = new VString;
        AssignWide(text, node->value);
        if (last != nullptr) last->next = node;
        last = node;
    }
}
// "YYYY-MM-DD HH:MM:SS", or "none" for the all-zero record.
inline std::string DateText(const struct tm &t) {
    if (t.tm_year == 0 && t.tm_mon == 0 && t.tm_mday == 0 && t.tm_hour == 0 && t.tm_min == 0 && t.tm_sec == 0)
        return "none";
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                  t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

// The flags and server id every fake item keeps.
template <typename Interface>
class FakeItemBase : public Interface {
public:
    bool isNew = false, deleted = false, sent = false, keptNew = false;
    std::string id;

    DErrorCode Open() override { return kNoError; }
    DErrorCode Close() override { return kNoError; }
    DErrorCode Commit() override { return kNoError; }
    DErrorCode CommitNewItem(DActiveTaskSignal *completion) override {
        if (completion != nullptr) completion->Signal(kNoError);
        return kNoError;
    }
    DErrorCode IsNew(bool *f) override { return Out(isNew, f); }
    DErrorCode SetNew(bool f) override { return In(&isNew, f); }
    DErrorCode IsDeleted(bool *f) override { return Out(deleted, f); }
    DErrorCode SetDeleted(bool f) override { return In(&deleted, f); }
    DErrorCode IsSent(bool *f) override { return Out(sent, f); }
    DErrorCode SetSent(bool f) override { return In(&sent, f); }
    DErrorCode IsKeptNew(bool *f) override { return Out(keptNew, f); }
    DErrorCode SetKeptNew(bool f) override { return In(&keptNew, f); }
    DErrorCode IsModified(bool *f) override { return Out(false, f); }
    DErrorCode ClearModified() override { return kNoError; }
    DErrorCode GetID(char *buffer, uint32_t size) override {
        if (buffer == nullptr || size <= id.size()) return generalErrBufferTooSmall;
        std::memcpy(buffer, id.c_str(), id.size() + 1);
        return kNoError;
    }
    DErrorCode SetID(const char *text) override {
        id = text != nullptr ? text : "";
        return kNoError;
    }
    DErrorCode MatchID(const char *text, bool *equal) override {
        *equal = text != nullptr && id == text;
        return kNoError;
    }

protected:
    static DErrorCode Out(bool value, bool *out) {
        *out = value;
        return kNoError;
    }
    static DErrorCode In(bool *field, bool value) {
        *field = value;
        return kNoError;
    }
};

class ContactFake : public FakeItemBase<IOutlookContact> {
public:
    std::map<uint32_t, std::string> strings;
    std::map<uint32_t, struct tm> dates;
    std::map<uint32_t, std::vector<std::string>> lists;
    bool bodyChanged = false;
    // The setter of this field id fails with failResult.
    uint32_t failField = 0xFFFFFFFF;
    DErrorCode failResult = generalErrUnknownError;
    // Every field id set, in order.
    std::vector<uint32_t> setOrder;

    DErrorCode SetDateField(uint32_t which, const struct tm *time) override {
        if (which > kContactBirthday) return kNoError;
        if (which == failField) return failResult;
        setOrder.push_back(which);
        dates[which] = *time;
        return kNoError;
    }
    DErrorCode SetListField(uint32_t field, const StringListNode *list) override {
        if (field != kContactCategories && field != kContactChildren) return kNoError;
        if (field == failField) return failResult;
        setOrder.push_back(field);
        lists[field] = ListOf(list);
        return kNoError;
    }
    DErrorCode SetStringField(uint32_t field, const VString &text) override {
        if (field < kContactFirstString || field > kContactLastString) return kNoError;
        if (field == failField) return failResult;
        setOrder.push_back(field);
        strings[field] = Utf8Of(text);
        return kNoError;
    }
    DErrorCode GetDateField(uint32_t which, struct tm *time) override {
        *time = dates.count(which) != 0 ? dates[which] : tm{};
        return kNoError;
    }
    DErrorCode GetListField(uint32_t field, StringListNode *list) override {
        if (lists.count(field) != 0) FillList(lists[field], list);
        return kNoError;
    }
    DErrorCode GetStringField(uint32_t field, VString *text) override {
        AssignWide(strings.count(field) != 0 ? strings[field] : std::string(), text);
        return kNoError;
    }
    DErrorCode IsBodyChanged(bool *flag) override { return Out(bodyChanged, flag); }
    DErrorCode Delete() override { return kNoError; }
};

#endif
