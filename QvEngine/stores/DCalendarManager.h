// DCalendarManager: the calendar store's manager base. It names the kind and adds
// nothing: opening and closing the store and its collection operations are
// left to the platform class; the per-item and moved-item operations answer
// generalErrNotImplemented, and the end-of-cycle, clean-up and empty-store
// operations signal success at once, unless the platform class does more.
#ifndef QV_DCALENDARMANAGER_H
#define QV_DCALENDARMANAGER_H

#include "DOutlookManager.h"

class DCalendarManager : public DOutlookManager {
public:
    DCalendarManager() = default;
    ~DCalendarManager() override = default;
};

#endif
