// Small helpers shared by the calendar item's source files: the day
// arithmetic on model dates. Not part of any interface.
#ifndef QV_DWINMOBOUTLOOKCALENDARPIM_H
#define QV_DWINMOBOUTLOOKCALENDARPIM_H

#include <cmath>

#include "vplatform_pim.h"

constexpr double kPimMinute = 1.0 / (24.0 * 60.0);

// The day of a model date at 00:00 (model dates of the calendar all lie
// after 1899-12-30, where the day is the whole part).
inline DATE PimDayStart(DATE date) { return std::floor(date); }
// The time of day of a model date, as a fraction of a day.
inline DATE PimTimeOfDay(DATE date) { return date - std::floor(date); }
// Whether two model dates lie on one day.
inline bool PimSameDay(DATE a, DATE b) { return std::floor(a) == std::floor(b); }

#endif
