// An in-memory meeting for the calendar store's fake: its fields live in a
// MeetingData hung on the store record (texts kept as UTF-8, handed out as
// UTF-16; attendees as {name, e-mail}), so that a test reads what the data
// manager wrote after the item is gone, and seeds what a device meeting
// holds. Occurrences are FakeMeetings outside the store; their Commit hands
// them to their series.
// Knobs: the body-changed answer and the result GetRecurrence gives.
#ifndef VTEST_MEETINGFAKE_H
#define VTEST_MEETINGFAKE_H

#include <utility>

#include "IOutlookMeeting.h"
#include "PimStoreFakes.h"

struct MeetingData : FakeItemData {
    struct Occurrence {
        DExceptionInfo info;
        std::shared_ptr<MeetingData> data;
    };
    std::string subject, location, body, uid, organizerName, organizerEmail;
    bool bodyChanged = false;
    std::vector<std::string> categories;
    std::vector<std::pair<std::string, std::string>> attendees;
    // A meeting on 1 January 2009, 9:00 to 10:00 UTC, until told otherwise.
    struct tm start = At(9), end = At(10);
    uint32_t reminder = 0, sensitivity = 0, busy = 0, meetingStatus = 0;
    bool reminderSet = false, allDay = false, recurring = false;
    DRecurrencePattern pattern;
    DErrorCode recurrenceResult = kNoError;
    TIME_ZONE_INFORMATION zone = {};
    std::vector<Occurrence> exceptions;

    static struct tm At(int hour) {
        struct tm t = {};
        t.tm_year = 109;
        t.tm_mday = 1;
        t.tm_hour = hour;
        return t;
    }
};

class FakeMeeting : public FakePimItemT<IOutlookMeeting> {
public:
    // The store's meeting of that record.
    FakeMeeting(std::map<std::string, PimRecord> *records, const std::string &id)
        : FakePimItemT(records, id), m_master(nullptr) {
        PimRecord &record = Rec();
        if (!std::dynamic_pointer_cast<MeetingData>(record.data)) record.data = std::make_shared<MeetingData>();
        m_data = std::static_pointer_cast<MeetingData>(record.data);
    }
    // One occurrence of the master, over its own copy of the fields.
    FakeMeeting(FakeMeeting *master, const DExceptionInfo &info, const MeetingData &fields)
        : FakePimItemT(nullptr, ""), m_data(std::make_shared<MeetingData>(fields)), m_master(master), m_info(info) {}

    MeetingData &Data() { return *m_data; }

    DErrorCode Commit() override {
        if (m_master != nullptr) return m_master->AddException(this);
        return FakePimItemT::Commit();
    }

    DErrorCode SetSubject(const VString &t) override { return Put(t, &m_data->subject); }
    DErrorCode GetSubject(VString *t) override { return Get(m_data->subject, t); }
    DErrorCode SetLocation(const VString &t) override { return Put(t, &m_data->location); }
    DErrorCode GetLocation(VString *t) override { return Get(m_data->location, t); }
    DErrorCode SetBody(const VString &t) override { return Put(t, &m_data->body); }
    DErrorCode GetBody(VString *t) override { return Get(m_data->body, t); }
    DErrorCode IsBodyChanged(bool *f) override { return Value(m_data->bodyChanged, f); }
    DErrorCode GetCategories(StringListNode *list) override {
        StringListNode *last = nullptr;
        for (const std::string &category : m_data->categories) {
            StringListNode *node = last == nullptr ? list : new StringListNode{nullptr, nullptr};
            node->value = new VString;
            Get(category, node->value);
            if (last != nullptr) last->next = node;
            last = node;
        }
        return kNoError;
    }
    DErrorCode SetCategories(const StringListNode *list) override {
        m_data->categories.clear();
        for (; list != nullptr && list->value != nullptr; list = list->next) m_data->categories.push_back(Text(*list->value));
        return kNoError;
    }
    DErrorCode AppendCategory(const VString &t) override {
        m_data->categories.push_back(Text(t));
        return kNoError;
    }
    DErrorCode GetStartTime(struct tm *t) override { return Value(m_data->start, t); }
    DErrorCode SetStartEndTime(const struct tm *start, const struct tm *end) override {
        m_data->start = *start;
        m_data->end = *end;
        return kNoError;
    }
    DErrorCode GetEndTime(struct tm *t) override { return Value(m_data->end, t); }
    DErrorCode GetReminder(uint32_t *m) override { return Value(m_data->reminder, m); }
    DErrorCode SetReminder(uint32_t m) override { return Set(m, &m_data->reminder); }
    DErrorCode GetAttendees(DListNode<DStringPair> *list) override {
        for (const auto &attendee : m_data->attendees) {
            auto *pair = new DStringPair;
            Get(attendee.first, &pair->name);
            Get(attendee.second, &pair->email);
            list->Append(pair);
        }
        return kNoError;
    }
    DErrorCode SetAttendees(const DListNode<DStringPair> *list) override {
        m_data->attendees.clear();
        for (; list != nullptr && list->item != nullptr; list = list->next)
            m_data->attendees.emplace_back(Text(list->item->name), Text(list->item->email));
        return kNoError;
    }
    DErrorCode IsReminderSet(bool *f) override { return Value(m_data->reminderSet, f); }
    DErrorCode SetReminderSet(bool f) override { return Set(f, &m_data->reminderSet); }
    DErrorCode IsAllDayEvent(bool *f) override { return Value(m_data->allDay, f); }
    DErrorCode SetAllDayEvent(bool f) override { return Set(f, &m_data->allDay); }
    DErrorCode IsRecurring(bool *f) override { return Value(m_data->recurring, f); }
    DErrorCode ClearRecurrence() override { return Set(false, &m_data->recurring); }
    DErrorCode GetRecurrence(DRecurrencePattern *p) override {
        if (m_data->recurrenceResult != kNoError) return m_data->recurrenceResult;
        return Value(m_data->pattern, p);
    }
    DErrorCode SetRecurrence(const DRecurrencePattern *p) override {
        m_data->pattern = *p;
        m_data->recurring = true;
        return kNoError;
    }
    DErrorCode GetTimeZone(TIME_ZONE_INFORMATION *z) override { return Value(m_data->zone, z); }
    DErrorCode SetTimeZone(const TIME_ZONE_INFORMATION *z) override { return Set(*z, &m_data->zone); }
    DErrorCode GetOrganizer(DStringPair *) override { return kNoError; }
    DErrorCode SetOrganizer(const DStringPair *o) override {
        m_data->organizerName = Text(o->name);
        m_data->organizerEmail = Text(o->email);
        return kNoError;
    }
    DErrorCode GetUID(VString *t) override { return Get(m_data->uid, t); }
    DErrorCode SetUID(const VString &t) override { return Put(t, &m_data->uid); }
    DErrorCode GetSensitivity(uint32_t *v) override { return Value(m_data->sensitivity, v); }
    DErrorCode SetSensitivity(uint32_t v) override { return Set(v, &m_data->sensitivity); }
    DErrorCode GetBusyStatus(uint32_t *v) override { return Value(m_data->busy, v); }
    DErrorCode SetBusyStatus(uint32_t v) override { return Set(v, &m_data->busy); }
    DErrorCode GetMeetingStatus(uint32_t *v) override { return Value(m_data->meetingStatus, v); }
    DErrorCode SetMeetingStatus(uint32_t v) override { return Set(v, &m_data->meetingStatus); }
    DErrorCode GetExceptionCount(uint32_t *count) override { return Value(uint32_t(m_data->exceptions.size()), count); }
    DErrorCode GetExceptionInfo(uint32_t index, DExceptionInfo *info) override {
        if (index >= m_data->exceptions.size()) return generalErrItemNotFound;
        return Value(m_data->exceptions[index].info, info);
    }
    DErrorCode GetException(const DExceptionInfo *info, IOutlookMeeting **exception) override {
        *exception = nullptr;
        const MeetingData::Occurrence *found = Find(*info);
        if (found == nullptr || found->data == nullptr) return generalErrItemNotFound;
        *exception = new FakeMeeting(this, found->info, *found->data);
        return kNoError;
    }
    DErrorCode FindOrAddException(const DExceptionInfo *info, IOutlookMeeting **exception) override {
        if (exception == nullptr) {
            m_data->exceptions.push_back({*info, nullptr});
            return kNoError;
        }
        *exception = new FakeMeeting(this, *info, MeetingData{});
        return kNoError;
    }
    DErrorCode AddException(IOutlookMeeting *exception) override {
        auto *occurrence = dynamic_cast<FakeMeeting *>(exception);
        if (occurrence == nullptr) return generalErrInvalidParameter;
        m_data->exceptions.push_back({occurrence->m_info, std::make_shared<MeetingData>(*occurrence->m_data)});
        return kNoError;
    }
    DErrorCode Delete() override { return kNoError; }
    DErrorCode Load(DWinMobShadowDB *, IPOutlookApp *, HANDLE, LONG) override { return generalErrNotImplemented; }

    static std::string Text(const VString &text) {
        VString copy;
        copy.Assign(text);
        copy.ConvertTo(kVStringUTF8);
        return copy.GetNarrowText() != nullptr ? std::string(copy.GetNarrowText(), copy.GetLength()) : "";
    }

private:
    // Handed out as UTF-16, as the device's store gives its texts.
    static DErrorCode Get(const std::string &value, VString *out) {
        DErrorCode err = out->AssignNarrow(value.c_str(), uint32_t(value.size()), kVStringUTF8);
        return err != kNoError || value.empty() ? err : out->ConvertTo(kVStringUTF16LE);
    }
    static DErrorCode Put(const VString &value, std::string *field) {
        *field = Text(value);
        return kNoError;
    }
    template <class T>
    static DErrorCode Value(const T &value, T *out) {
        *out = value;
        return kNoError;
    }
    template <class T>
    static DErrorCode Set(const T &value, T *field) {
        *field = value;
        return kNoError;
    }
    // The occurrence of the same day (UTC) and the same deleted flag.
    const MeetingData::Occurrence *Find(const DExceptionInfo &info) const {
        for (const MeetingData::Occurrence &entry : m_data->exceptions) {
            const struct tm &a = entry.info.originalStart, &b = info.originalStart;
            if (entry.info.deleted == info.deleted && a.tm_year == b.tm_year && a.tm_mon == b.tm_mon &&
                a.tm_mday == b.tm_mday)
                return &entry;
        }
        return nullptr;
    }

    std::shared_ptr<MeetingData> m_data;
    FakeMeeting *m_master;
    DExceptionInfo m_info;
};

// The calendar bench's items are FakeMeetings.
inline void UseFakeMeetings(FakePimBench *bench) {
    bench->makeItem = [](FakePimBench *b, const std::string &id) -> IOutlookItem * {
        return new FakeMeeting(&b->records, id);
    };
}

// The meeting data of the record (made on first need).
inline MeetingData &MeetingOf(FakePimBench &bench, const std::string &id) {
    PimRecord &record = bench.records[id];
    if (!std::dynamic_pointer_cast<MeetingData>(record.data)) record.data = std::make_shared<MeetingData>();
    return *std::static_pointer_cast<MeetingData>(record.data);
}

#endif
