// DWinMobOutlookCalendarItem: the item's times between UTC and the device's
// local time, and between date-time records and model dates.
//
// A conversion applies the zone's rule at the instant converted; the
// device's zone and its daylight state are read, never switched, so no
// other program sees the device change its clock for a conversion. The
// model's "no date" passes unchanged both ways.
#include "DWinMobOutlookCalendarItem.h"

namespace {

DErrorCode ToSystemTime(IPOutlookApp *app, DATE date, SYSTEMTIME *time) {
    if (app == nullptr) return generalErrNotInitialized;
    const HRESULT hr = app->VariantTimeToSystemTime(date, time);
    return SUCCEEDED(hr) ? kNoError : DErrorCode(hr);
}

DErrorCode ToDate(IPOutlookApp *app, const SYSTEMTIME &time, DATE *date) {
    if (app == nullptr) return generalErrNotInitialized;
    const HRESULT hr = app->SystemTimeToVariantTime(&time, date);
    return SUCCEEDED(hr) ? kNoError : DErrorCode(hr);
}

}  // namespace

DErrorCode DWinMobOutlookCalendarItem::UtcToLocal(DATE utc, DATE *local, const TIME_ZONE_INFORMATION *zone) const {
    if (utc == PIM_DATE_NONE) {
        *local = utc;
        return kNoError;
    }
    TIME_ZONE_INFORMATION device;
    if (zone == nullptr) {
        GetTimeZoneInformation(&device);
        zone = &device;
    }
    SYSTEMTIME from = {}, to = {};
    DErrorCode err = ToSystemTime(m_app, utc, &from);
    if (err == kNoError && !vplat::UtcToZoneLocal(*zone, from, &to)) err = generalErrInvalidParameter;
    if (err == kNoError) err = ToDate(m_app, to, local);
    return err;
}

DErrorCode DWinMobOutlookCalendarItem::LocalToUtc(DATE local, DATE *utc) const {
    if (local == PIM_DATE_NONE) {
        *utc = local;
        return kNoError;
    }
    TIME_ZONE_INFORMATION device;
    GetTimeZoneInformation(&device);
    SYSTEMTIME from = {}, to = {};
    DErrorCode err = ToSystemTime(m_app, local, &from);
    if (err == kNoError && !vplat::ZoneLocalToUtc(device, from, &to)) err = generalErrInvalidParameter;
    if (err == kNoError) err = ToDate(m_app, to, utc);
    return err;
}

DErrorCode DWinMobOutlookCalendarItem::TmToDate(const struct tm &time, DATE *date) const {
    if (time.tm_year + 1900 < 1 || time.tm_year + 1900 > 0xFFFF || time.tm_mon < 0 || time.tm_mon > 11 ||
        time.tm_mday < 1 || time.tm_hour < 0 || time.tm_min < 0 || time.tm_sec < 0) {
        return generalErrInvalidParameter;
    }
    SYSTEMTIME st = {};
    st.wYear = WORD(time.tm_year + 1900);
    st.wMonth = WORD(time.tm_mon + 1);
    st.wDay = WORD(time.tm_mday);
    st.wHour = WORD(time.tm_hour);
    st.wMinute = WORD(time.tm_min);
    st.wSecond = WORD(time.tm_sec);
    return ToDate(m_app, st, date);
}

DErrorCode DWinMobOutlookCalendarItem::DateToTm(DATE date, struct tm *time) const {
    SYSTEMTIME st = {};
    DErrorCode err = ToSystemTime(m_app, date, &st);
    if (err != kNoError) return err;
    *time = {};
    time->tm_year = int(st.wYear) - 1900;
    time->tm_mon = int(st.wMonth) - 1;
    time->tm_mday = st.wDay;
    time->tm_hour = st.wHour;
    time->tm_min = st.wMinute;
    time->tm_sec = st.wSecond;
    time->tm_wday = st.wDayOfWeek;
    return kNoError;
}
