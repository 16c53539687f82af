// An appointment's recurrence pattern and its exception list as objects:
// the pattern reads and puts the appointment's recurrence properties (its
// Save writes them); the exceptions are read from the store when asked for.
#include "pimappointment.h"

namespace vplat {
namespace {

HRESULT DayToDate(int64_t day, DATE *date) {
    if (date == nullptr) return E_POINTER;
    return PimSecondsToDate(day * kPimSecondsPerDay, date) ? S_OK : E_INVALIDARG;
}

// The master's recurrence properties, read and put in its record.
class PimPatternObject : public PimObject<IRecurrencePattern> {
public:
    explicit PimPatternObject(PimAppointment *master) : m_master(PimHold(master)) {}

    HRESULT get_RecurrenceType(LONG *type) override { return Get(m_master->Pattern().type, type); }
    HRESULT put_RecurrenceType(LONG type) override {
        PimPattern probe;
        probe.type = type;
        probe.dayOfWeekMask = probe.dayOfMonth = probe.monthOfYear = probe.instance = 1;
        if (!PimPatternValid(probe)) return E_INVALIDARG;
        PimPattern filled;
        PimPatternFillFrom(PimDayOf(m_master->StartSeconds()), &filled);
        Record().PutNum(kRecurType, type);
        Record().PutNum(kRecurInterval, 1);
        Record().PutNum(kRecurDayOfWeekMask, filled.dayOfWeekMask);
        Record().PutNum(kRecurDayOfMonth, filled.dayOfMonth);
        Record().PutNum(kRecurMonthOfYear, filled.monthOfYear);
        Record().PutNum(kRecurInstance, filled.instance);
        return S_OK;
    }
    HRESULT get_Interval(LONG *interval) override { return Get(m_master->Pattern().interval, interval); }
    HRESULT put_Interval(LONG interval) override { return PutIn(kRecurInterval, interval, 1, 999); }
    HRESULT get_DayOfWeekMask(LONG *mask) override { return Get(m_master->Pattern().dayOfWeekMask, mask); }
    HRESULT put_DayOfWeekMask(LONG mask) override { return PutIn(kRecurDayOfWeekMask, mask, 1, 0x7F); }
    HRESULT get_DayOfMonth(LONG *day) override { return Get(m_master->Pattern().dayOfMonth, day); }
    HRESULT put_DayOfMonth(LONG day) override { return PutIn(kRecurDayOfMonth, day, 1, 31); }
    HRESULT get_MonthOfYear(LONG *month) override { return Get(m_master->Pattern().monthOfYear, month); }
    HRESULT put_MonthOfYear(LONG month) override { return PutIn(kRecurMonthOfYear, month, 1, 12); }
    HRESULT get_Instance(LONG *instance) override { return Get(m_master->Pattern().instance, instance); }
    HRESULT put_Instance(LONG instance) override { return PutIn(kRecurInstance, instance, 1, 5); }

    HRESULT get_Occurrences(LONG *count) override {
        const PimPattern p = m_master->Pattern();
        return Get(p.occurrences > 0 ? p.occurrences : 0, count);
    }
    HRESULT put_Occurrences(LONG count) override {
        if (count < 1) return E_INVALIDARG;
        Record().PutNum(kRecurOccurrences, count);
        Record().Remove(kRecurEndDate);
        return S_OK;
    }
    HRESULT get_PatternStartDate(DATE *date) override { return DayToDate(PimDayOf(m_master->StartSeconds()), date); }
    HRESULT get_PatternEndDate(DATE *date) override {
        if (date == nullptr) return E_POINTER;
        const PimPattern p = m_master->Pattern();
        const int64_t startDay = PimDayOf(m_master->StartSeconds());
        if (p.occurrences > 0) {
            int64_t last = startDay;
            PimLastOccurrence(p, startDay, &last);
            return DayToDate(last, date);
        }
        if (p.hasEndDate) return DayToDate(p.endDay, date);
        *date = PIM_DATE_NONE;
        return S_OK;
    }
    HRESULT put_PatternEndDate(DATE date) override {
        int64_t seconds;
        if (!PimDateToSeconds(date, &seconds)) return E_INVALIDARG;
        Record().Remove(kRecurOccurrences);
        // The calendar ends with 2039: a later end is no end.
        if (PimDayOf(seconds) > PimLastCalendarDay()) {
            Record().Remove(kRecurEndDate);
            return S_OK;
        }
        return PimPutSeconds(Record(), kRecurEndDate, PimDayOf(seconds) * kPimSecondsPerDay);
    }
    HRESULT get_NoEndDate(VARIANT_BOOL *noEnd) override {
        if (noEnd == nullptr) return E_POINTER;
        const PimPattern p = m_master->Pattern();
        *noEnd = p.occurrences <= 0 && !p.hasEndDate ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    // False alone changes nothing: the pattern ends once an end is given.
    HRESULT put_NoEndDate(VARIANT_BOOL noEnd) override {
        if (noEnd != VARIANT_FALSE) {
            Record().Remove(kRecurOccurrences);
            Record().Remove(kRecurEndDate);
        }
        return S_OK;
    }

    HRESULT get_Exceptions(IExceptions **exceptions) override {
        std::vector<PimException> list;
        m_master->StoredExceptions(&list);
        return PimNewExceptions(m_master.Get(), std::move(list), exceptions);
    }

    HRESULT GetOccurrence(DATE date, IAppointment **occurrence) override {
        if (occurrence == nullptr) return E_POINTER;
        int64_t seconds;
        if (!PimDateToSeconds(date, &seconds)) return E_INVALIDARG;
        const int64_t day = PimDayOf(seconds);
        if (!m_master->Recurs() ||
            !PimIsOccurrence(m_master->Pattern(), PimDayOf(m_master->StartSeconds()), day)) {
            return PIM_E_NOTFOUND;
        }
        std::vector<PimException> list;
        m_master->StoredExceptions(&list);
        PimException entry;
        entry.originalDay = day;
        for (const PimException &e : list) {
            if (e.originalDay == day) entry = e;
        }
        if (entry.deleted) return PIM_E_NOTFOUND;
        return PimNewOccurrence(m_master.Get(), entry, occurrence);
    }

private:
    PimRecord &Record() { return m_master->Core().Record(); }
    static HRESULT Get(LONG value, LONG *out) {
        if (out == nullptr) return E_POINTER;
        *out = value;
        return S_OK;
    }
    HRESULT PutIn(CEPROPID id, LONG value, LONG low, LONG high) {
        if (value < low || value > high) return E_INVALIDARG;
        Record().PutNum(id, value);
        return S_OK;
    }

    PimRef<PimAppointment> m_master;
};

// One exception as it was read.
class PimExceptionObject : public PimObject<IException> {
public:
    PimExceptionObject(PimAppointment *master, PimException entry) : m_master(PimHold(master)), m_entry(std::move(entry)) {}

    HRESULT get_OriginalDate(DATE *date) override { return DayToDate(m_entry.originalDay, date); }
    HRESULT get_Deleted(VARIANT_BOOL *deleted) override {
        if (deleted == nullptr) return E_POINTER;
        *deleted = m_entry.deleted ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT get_AppointmentItem(IAppointment **appointment) override {
        if (appointment == nullptr) return E_POINTER;
        if (m_entry.deleted) return PIM_E_NOTFOUND;
        return PimNewOccurrence(m_master.Get(), m_entry, appointment);
    }

private:
    PimRef<PimAppointment> m_master;
    PimException m_entry;
};

// The exceptions as they were read, in day order.
class PimExceptionsObject : public PimObject<IExceptions> {
public:
    PimExceptionsObject(PimAppointment *master, std::vector<PimException> list)
        : m_master(PimHold(master)), m_list(std::move(list)) {}

    HRESULT get_Count(int *count) override {
        if (count == nullptr) return E_POINTER;
        *count = int(m_list.size());
        return S_OK;
    }
    HRESULT Item(int index, IException **exception) override {
        if (exception == nullptr) return E_POINTER;
        if (index < 1 || size_t(index) > m_list.size()) return PIM_E_NOTFOUND;
        *exception = new PimExceptionObject(m_master.Get(), m_list[size_t(index) - 1]);
        return S_OK;
    }

private:
    PimRef<PimAppointment> m_master;
    std::vector<PimException> m_list;
};

}  // namespace

HRESULT PimNewPattern(PimAppointment *master, IRecurrencePattern **pattern) {
    if (pattern == nullptr) return E_POINTER;
    *pattern = new PimPatternObject(master);
    return S_OK;
}

HRESULT PimNewExceptions(PimAppointment *master, std::vector<PimException> list, IExceptions **exceptions) {
    if (exceptions == nullptr) return E_POINTER;
    *exceptions = new PimExceptionsObject(master, std::move(list));
    return S_OK;
}

}  // namespace vplat
