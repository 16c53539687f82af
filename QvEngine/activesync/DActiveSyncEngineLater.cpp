// The data manager comes with its own piece; until then an engine can only
// be initialised with one put in beforehand.
#include "IActiveSyncDataManager.h"

DErrorCode CreateActiveSyncDataManager(IActiveSyncDataManagerClient *, IGlobalData *, IActiveSyncDataManager **out) {
    if (out != nullptr) *out = nullptr;
    return generalErrNotImplemented;
}
