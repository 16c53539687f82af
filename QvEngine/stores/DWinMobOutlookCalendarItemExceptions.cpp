// DWinMobOutlookCalendarItem: the exception list (changed and cancelled
// occurrences of a series): the data manager's view of it, and reading it
// from and writing it to the object model.
//
// Each exception is named by its original start in local time: the day the
// pattern put the occurrence on, at the series' local start time. The day
// alone selects the occurrence.
#include <new>

#include "DWinMobOutlookCalendarException.h"
#include "DWinMobOutlookCalendarPim.h"

DErrorCode DWinMobOutlookCalendarItem::SeriesLocalTimeOfDay(DATE *timeOfDay, const TIME_ZONE_INFORMATION *zone) const {
    *timeOfDay = 0.0;
    DATE start = PIM_DATE_NONE;
    DErrorCode err = m_fields.start ? UtcToLocal(*m_fields.start, &start, zone) : kNoError;
    if (err == kNoError && start != PIM_DATE_NONE) *timeOfDay = PimTimeOfDay(start);
    return err;
}

bool DWinMobOutlookCalendarItem::FindException(DATE localDay, bool deleted, size_t *index) const {
    for (size_t i = 0; i < m_exceptions.size(); ++i) {
        const DWinMobOutlookCalendarException &exception = *m_exceptions[i];
        if (exception.IsDeletedOccurrence() == deleted && PimSameDay(exception.GetOriginalStart(), localDay)) {
            *index = i;
            return true;
        }
    }
    return false;
}

DErrorCode DWinMobOutlookCalendarItem::GetExceptionCount(uint32_t *count) {
    if (count == nullptr) return generalErrInvalidParameter;
    *count = uint32_t(m_exceptions.size());
    return kNoError;
}

DErrorCode DWinMobOutlookCalendarItem::GetExceptionInfo(uint32_t index, DExceptionInfo *info) {
    if (info == nullptr) return generalErrInvalidParameter;
    if (index >= m_exceptions.size()) return generalErrItemNotFound;
    const DWinMobOutlookCalendarException &exception = *m_exceptions[index];
    DATE utc = PIM_DATE_NONE;
    DErrorCode err = LocalToUtc(exception.GetOriginalStart(), &utc);
    DExceptionInfo out;
    if (err == kNoError) err = DateToTm(utc, &out.originalStart);
    if (err != kNoError) return err;
    out.deleted = exception.IsDeletedOccurrence();
    *info = out;
    return kNoError;
}

DErrorCode DWinMobOutlookCalendarItem::GetException(const DExceptionInfo *info, IOutlookMeeting **exception) {
    if (info == nullptr || exception == nullptr) return generalErrInvalidParameter;
    *exception = nullptr;
    DATE utc = PIM_DATE_NONE, local = PIM_DATE_NONE;
    DErrorCode err = TmToDate(info->originalStart, &utc);
    if (err == kNoError) err = UtcToLocal(utc, &local);
    if (err != kNoError) return err;
    size_t index = 0;
    if (!FindException(local, info->deleted, &index)) return generalErrItemNotFound;
    auto *copy = new (std::nothrow) DWinMobOutlookCalendarException(m_log);
    if (copy == nullptr) return generalErrMemoryError;
    err = copy->CopyFrom(*m_exceptions[index]);
    if (err != kNoError) {
        delete copy;
        return err;
    }
    *exception = copy;
    return kNoError;
}

DErrorCode DWinMobOutlookCalendarItem::FindOrAddException(const DExceptionInfo *info, IOutlookMeeting **exception) {
    if (info == nullptr) return generalErrInvalidParameter;
    if (exception != nullptr) *exception = nullptr;
    // The day as the commit will put the series on the device.
    TIME_ZONE_INFORMATION zoneHeld;
    const TIME_ZONE_INFORMATION *zone = WriteZone(&zoneHeld);
    DATE utc = PIM_DATE_NONE, local = PIM_DATE_NONE, timeOfDay = 0.0;
    DErrorCode err = TmToDate(info->originalStart, &utc);
    if (err == kNoError) err = UtcToLocal(utc, &local, zone);
    if (err == kNoError) err = SeriesLocalTimeOfDay(&timeOfDay, zone);
    if (err != kNoError) return err;
    std::unique_ptr<DWinMobOutlookCalendarException> made(new (std::nothrow) DWinMobOutlookCalendarException(m_log));
    if (made == nullptr) return generalErrMemoryError;
    err = made->InitException(m_app, this, PimDayStart(local) + timeOfDay, info->deleted);
    if (err != kNoError) return err;
    if (exception != nullptr) {
        *exception = made.release();
        return kNoError;
    }
    try {
        m_exceptions.push_back(std::move(made));
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    return kNoError;
}

DErrorCode DWinMobOutlookCalendarItem::AddException(IOutlookMeeting *exception) {
    auto *given = dynamic_cast<DWinMobOutlookCalendarException *>(exception);
    if (given == nullptr) return generalErrInvalidParameter;
    std::unique_ptr<DWinMobOutlookCalendarException> copy(new (std::nothrow) DWinMobOutlookCalendarException(m_log));
    if (copy == nullptr) return generalErrMemoryError;
    DErrorCode err = copy->CopyFrom(*given);
    if (err != kNoError) return err;
    // What is handed in is a change to make, whatever it was copied from.
    copy->SetStored(false);
    try {
        m_exceptions.push_back(std::move(copy));
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    return kNoError;
}

DErrorCode DWinMobOutlookCalendarItem::ReadExceptions(IAppointment *appointment) {
    m_exceptions.clear();
    DATE timeOfDay = 0.0;
    DErrorCode err = SeriesLocalTimeOfDay(&timeOfDay, nullptr);
    if (err != kNoError) return err;
    PimRef<IRecurrencePattern> pattern;
    PimRef<IExceptions> list;
    int count = 0;
    HRESULT hr = appointment->GetRecurrencePattern(pattern.Out());
    if (SUCCEEDED(hr)) hr = pattern->get_Exceptions(list.Out());
    if (SUCCEEDED(hr)) hr = list->get_Count(&count);
    for (int index = 1; SUCCEEDED(hr) && err == kNoError && index <= count; ++index) {
        PimRef<IException> entry;
        VARIANT_BOOL deleted = VARIANT_FALSE;
        DATE day = 0.0;
        hr = list->Item(index, entry.Out());
        if (SUCCEEDED(hr)) hr = entry->get_Deleted(&deleted);
        if (SUCCEEDED(hr)) hr = entry->get_OriginalDate(&day);
        if (FAILED(hr)) break;
        std::unique_ptr<DWinMobOutlookCalendarException> made(new (std::nothrow)
                                                                  DWinMobOutlookCalendarException(m_log));
        if (made == nullptr) return generalErrMemoryError;
        err = made->InitException(m_app, this, PimDayStart(day) + timeOfDay, deleted != VARIANT_FALSE);
        if (err == kNoError && deleted == VARIANT_FALSE) {
            PimRef<IAppointment> occurrence;
            hr = entry->get_AppointmentItem(occurrence.Out());
            if (SUCCEEDED(hr)) err = made->ReadFields(occurrence.Get(), &made->m_fields);
        }
        // Already on the device as it stands: the commit leaves it there.
        made->SetStored(true);
        if (SUCCEEDED(hr) && err == kNoError) m_exceptions.push_back(std::move(made));
    }
    return FAILED(hr) ? DErrorCode(hr) : err;
}

void DWinMobOutlookCalendarItem::WriteExceptions(IAppointment *appointment, const TIME_ZONE_INFORMATION *zone) {
    PimRef<IRecurrencePattern> pattern;
    HRESULT hr = appointment->GetRecurrencePattern(pattern.Out());
    if (FAILED(hr)) {
        LogCode("DWinMobOutlookCalendarItem::WriteExceptions() - ERROR: no pattern ", DErrorCode(hr));
        return;
    }
    for (const auto &exception : m_exceptions) {
        if (exception->IsStored()) continue;
        // One occurrence that cannot take its change does not stop the series.
        const DErrorCode err = WriteException(pattern.Get(), *exception, zone);
        if (err != kNoError) LogCode("DWinMobOutlookCalendarItem::WriteExceptions() - exception skipped: ", err);
    }
}

DErrorCode DWinMobOutlookCalendarItem::WriteException(IRecurrencePattern *pattern,
                                                      const DWinMobOutlookCalendarException &exception,
                                                      const TIME_ZONE_INFORMATION *zone) {
    const DATE day = PimDayStart(exception.GetOriginalStart());
    // The occurrence: the one an existing exception of that day made, else the pattern's own.
    PimRef<IExceptions> list;
    PimRef<IAppointment> occurrence;
    int count = 0;
    bool found = false;
    HRESULT hr = pattern->get_Exceptions(list.Out());
    if (SUCCEEDED(hr)) hr = list->get_Count(&count);
    for (int index = 1; SUCCEEDED(hr) && !found && index <= count; ++index) {
        PimRef<IException> entry;
        DATE original = 0.0;
        VARIANT_BOOL deleted = VARIANT_FALSE;
        hr = list->Item(index, entry.Out());
        if (SUCCEEDED(hr)) hr = entry->get_OriginalDate(&original);
        if (SUCCEEDED(hr) && PimSameDay(original, day)) {
            found = true;
            hr = entry->get_Deleted(&deleted);
            // Cancelled already: nothing more to cancel.
            if (SUCCEEDED(hr) && deleted != VARIANT_FALSE && exception.IsDeletedOccurrence()) return kNoError;
            if (SUCCEEDED(hr)) hr = entry->get_AppointmentItem(occurrence.Out());
        }
    }
    if (SUCCEEDED(hr) && !found) hr = pattern->GetOccurrence(day, occurrence.Out());
    if (FAILED(hr)) return DErrorCode(hr);

    if (exception.IsDeletedOccurrence()) {
        hr = occurrence->Delete();
        return SUCCEEDED(hr) ? kNoError : DErrorCode(hr);
    }
    // Under an all-day series an occurrence without a flag of its own counts as all day for its times.
    const bool allDay = exception.m_fields.allDay ? *exception.m_fields.allDay : m_fields.allDay.value_or(false);
    DErrorCode err = PutFields(occurrence.Get(), exception.m_fields, allDay, zone);
    if (err == kNoError) {
        hr = occurrence->Save();
        if (FAILED(hr)) err = DErrorCode(hr);
    }
    return err;
}
