// The engine's own task: one stage of a run per step.
#include "DActiveSyncEngine.h"

DErrorCode DActiveSyncEngine::RunTask() { return generalErrNotImplemented; }
