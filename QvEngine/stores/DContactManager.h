// DContactManager: the contacts store's manager base. It names the kind and adds
// nothing: opening and closing the store and its collection operations are
// left to the platform class; the per-item and moved-item operations answer
// generalErrNotImplemented, and the end-of-cycle, clean-up and empty-store
// operations signal success at once, unless the platform class does more.
#ifndef QV_DCONTACTMANAGER_H
#define QV_DCONTACTMANAGER_H

#include "DOutlookManager.h"

class DContactManager : public DOutlookManager {
public:
    DContactManager() = default;
    ~DContactManager() override = default;
};

#endif
