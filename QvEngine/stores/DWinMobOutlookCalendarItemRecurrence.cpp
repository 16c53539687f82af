// DWinMobOutlookCalendarItem: the recurrence pattern, held in the device's
// form, exchanged with the engine's DRecurrencePattern, read from and
// written to the object model.
#include "DWinMobOutlookCalendarItem.h"
#include "DWinMobOutlookCalendarPim.h"

namespace {

// Pattern ends from this year on are past the calendar's last day: the
// pattern is then endless.
constexpr WORD kFirstYearPastCalendar = 2040;

// Device type -> engine type; false for a type the engine does not know.
bool EngineType(LONG device, uint32_t *engine) {
    switch (device) {
        case olRecursDaily: *engine = kRepeatDaily; return true;
        case olRecursWeekly: *engine = kRepeatWeekly; return true;
        case olRecursMonthly: *engine = kRepeatMonthlyByDate; return true;
        case olRecursMonthNth: *engine = kRepeatMonthlyByDays; return true;
        case olRecursYearly: *engine = kRepeatYearlyByDate; return true;
        case olRecursYearNth: *engine = kRepeatYearlyByDays; return true;
        default: return false;
    }
}

// Engine type -> device type: every working day is the weekly pattern on
// Monday to Friday; an unknown type is daily.
LONG DeviceType(uint32_t engine, uint16_t dayOfWeekMask) {
    switch (engine) {
        case kRepeatDaily: return dayOfWeekMask == kRecurWorkingDays ? olRecursWeekly : olRecursDaily;
        case kRepeatWeekly: return olRecursWeekly;
        case kRepeatMonthlyByDate: return olRecursMonthly;
        case kRepeatMonthlyByDays: return olRecursMonthNth;
        case kRepeatYearlyByDate: return olRecursYearly;
        case kRepeatYearlyByDays: return olRecursYearNth;
        default: return olRecursDaily;
    }
}

bool IsNoDate(const struct tm &time) { return time.tm_mday == 0 || time.tm_year == -1900; }

}  // namespace

DErrorCode DWinMobOutlookCalendarItem::GetRecurrence(DRecurrencePattern *pattern) {
    if (pattern == nullptr) return generalErrInvalidParameter;
    // Nothing to read from an item that holds no pattern.
    if (!m_pattern) return generalErrItemNotFound;
    const DDeviceRecurrence &held = *m_pattern;
    DRecurrencePattern out;
    if (!EngineType(held.type, &out.type)) return generalErrItemNotFound;
    out.interval = uint16_t(held.interval);
    out.noEnd = held.noEnd;
    if (held.patternEnd != PIM_DATE_NONE) {
        DErrorCode err = DateToTm(held.patternEnd, &out.until);
        if (err != kNoError) return err;
    }
    out.dayOfWeekMask = uint16_t(held.dayOfWeekMask);
    out.dayOfMonth = uint16_t(held.dayOfMonth);
    out.monthOfYear = uint16_t(held.monthOfYear);
    out.weekOfMonth = uint16_t(held.instance);
    out.occurrences = uint32_t(held.occurrences);
    *pattern = out;
    return kNoError;
}

DErrorCode DWinMobOutlookCalendarItem::SetRecurrence(const DRecurrencePattern *pattern) {
    if (pattern == nullptr) return generalErrInvalidParameter;
    DDeviceRecurrence held;
    held.type = DeviceType(pattern->type, pattern->dayOfWeekMask);
    held.interval = pattern->interval;
    held.noEnd = pattern->noEnd;
    if (!IsNoDate(pattern->until)) {
        DErrorCode err = TmToDate(pattern->until, &held.patternEnd);
        if (err != kNoError) return err;
    }
    held.dayOfWeekMask = pattern->dayOfWeekMask;
    held.dayOfMonth = pattern->dayOfMonth;
    held.monthOfYear = pattern->monthOfYear;
    held.instance = pattern->weekOfMonth;
    held.occurrences = LONG(pattern->occurrences);
    m_pattern = held;
    m_recurring = true;
    return kNoError;
}

DErrorCode DWinMobOutlookCalendarItem::ReadRecurrence(IAppointment *appointment) {
    VARIANT_BOOL recurring = VARIANT_FALSE;
    HRESULT hr = appointment->get_IsRecurring(&recurring);
    if (FAILED(hr)) return DErrorCode(hr);
    m_recurring = recurring != VARIANT_FALSE;
    if (!*m_recurring) return kNoError;

    PimRef<IRecurrencePattern> pattern;
    hr = appointment->GetRecurrencePattern(pattern.Out());
    if (FAILED(hr)) return DErrorCode(hr);
    DDeviceRecurrence held;
    VARIANT_BOOL noEnd = VARIANT_FALSE;
    hr = pattern->get_RecurrenceType(&held.type);
    if (SUCCEEDED(hr) && FAILED(pattern->get_Interval(&held.interval))) held.interval = 1;
    if (SUCCEEDED(hr)) hr = pattern->get_Occurrences(&held.occurrences);
    if (SUCCEEDED(hr)) hr = pattern->get_NoEndDate(&noEnd);
    held.noEnd = noEnd != VARIANT_FALSE;
    DATE end = PIM_DATE_NONE;
    if (SUCCEEDED(hr) && held.occurrences == 0 && !held.noEnd) hr = pattern->get_PatternEndDate(&end);
    if (SUCCEEDED(hr)) hr = pattern->get_DayOfWeekMask(&held.dayOfWeekMask);
    if (SUCCEEDED(hr)) hr = pattern->get_DayOfMonth(&held.dayOfMonth);
    if (SUCCEEDED(hr)) hr = pattern->get_Instance(&held.instance);
    if (SUCCEEDED(hr)) hr = pattern->get_MonthOfYear(&held.monthOfYear);
    if (FAILED(hr)) return DErrorCode(hr);

    // The device keeps the last day; the series ends with the occurrence
    // on that day, at the series' local start time.
    if (end != PIM_DATE_NONE) {
        DATE start = PIM_DATE_NONE;
        DErrorCode err = m_fields.start ? UtcToLocal(*m_fields.start, &start) : kNoError;
        if (err == kNoError && start != PIM_DATE_NONE) end = PimDayStart(end) + PimTimeOfDay(start);
        if (err == kNoError) err = LocalToUtc(end, &held.patternEnd);
        if (err != kNoError) return err;
    }
    m_pattern = held;
    return kNoError;
}

DErrorCode DWinMobOutlookCalendarItem::WritePattern(IAppointment *appointment, const TIME_ZONE_INFORMATION *zone) {
    if (!m_recurring.value_or(false)) {
        const HRESULT hr = appointment->ClearRecurrencePattern();
        return SUCCEEDED(hr) ? kNoError : DErrorCode(hr);
    }
    if (!m_pattern) return kNoError;
    DDeviceRecurrence &held = *m_pattern;
    PimRef<IRecurrencePattern> pattern;
    HRESULT hr = appointment->GetRecurrencePattern(pattern.Out());
    // The type first: it starts the pattern's fields afresh.
    if (SUCCEEDED(hr)) hr = pattern->put_RecurrenceType(held.type);
    if (SUCCEEDED(hr) && held.type != olRecursYearly && held.type != olRecursYearNth)
        hr = pattern->put_Interval(held.interval);
    if (SUCCEEDED(hr)) hr = pattern->put_NoEndDate(held.noEnd ? VARIANT_TRUE : VARIANT_FALSE);
    if (FAILED(hr)) return DErrorCode(hr);

    if (held.occurrences >= 1) {
        hr = pattern->put_Occurrences(held.occurrences);
    } else if (held.patternEnd != PIM_DATE_NONE) {
        DATE end = PIM_DATE_NONE;
        SYSTEMTIME day = {};
        DErrorCode err = UtcToLocal(held.patternEnd, &end, zone);
        if (err == kNoError && FAILED(m_app->VariantTimeToSystemTime(end, &day))) err = generalErrInvalidParameter;
        if (err != kNoError) return err;
        if (day.wYear < kFirstYearPastCalendar) {
            hr = pattern->put_PatternEndDate(end);
        } else {
            // Past the calendar's end: the series has none.
            held.patternEnd = PIM_DATE_NONE;
            held.noEnd = true;
            hr = pattern->put_NoEndDate(VARIANT_TRUE);
        }
    } else {
        hr = pattern->put_NoEndDate(VARIANT_TRUE);
    }

    const LONG type = held.type;
    if (SUCCEEDED(hr) && held.dayOfWeekMask != 0 &&
        (type == olRecursWeekly || type == olRecursMonthNth || type == olRecursYearNth))
        hr = pattern->put_DayOfWeekMask(held.dayOfWeekMask);
    if (SUCCEEDED(hr) && (type == olRecursMonthly || type == olRecursYearly))
        hr = pattern->put_DayOfMonth(held.dayOfMonth);
    if (SUCCEEDED(hr) && (type == olRecursMonthNth || type == olRecursYearNth))
        hr = pattern->put_Instance(held.instance);
    if (SUCCEEDED(hr) && (type == olRecursYearly || type == olRecursYearNth))
        hr = pattern->put_MonthOfYear(held.monthOfYear);
    return SUCCEEDED(hr) ? kNoError : DErrorCode(hr);
}
