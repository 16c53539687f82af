// ITimerManager: one-shot millisecond timers whose callbacks run on the
// thread that owns the manager, between the messages of its loop. A started
// timer calls back once and is then forgotten; stopping it before that means
// it never calls back. ITimerManagerCallback is the callback object's side.
#ifndef QV_ITIMERMANAGER_H
#define QV_ITIMERMANAGER_H

#include <cstdint>

#include "DErrorCode.h"

// Stands for no timer in the callers' timer id fields.
constexpr uint32_t kNoTimerId = 0x7FFF7FFF;

class ITimerManagerCallback {
public:
    // The result is the callee's own; the timer manager does not act on it.
    virtual DErrorCode TimerCallback(uint32_t id, void *cookie) = 0;

protected:
    ~ITimerManagerCallback() = default;
};

// A plain callback function; its result is not acted on either.
typedef int (*TimerCallbackProc)(uint32_t id, void *cookie);

class ITimerManager {
public:
    // timerErrInvalidParam without a callback or out-pointer,
    // timerErrCouldNotStart when the platform gives no timer,
    // timerErrMemoryError when the timer cannot be kept.
    virtual DErrorCode StartTimer(uint32_t ms, ITimerManagerCallback *callback, void *cookie, uint32_t *outId) = 0;
    virtual DErrorCode StartTimerProc(uint32_t ms, TimerCallbackProc fn, void *cookie, uint32_t *outId) = 0;
    // An id that is not an active timer of this manager is ignored.
    virtual DErrorCode StopTimer(uint32_t id) = 0;
    // True from the start until the timer calls back or is stopped.
    virtual DErrorCode IsTimerActive(uint32_t id, bool *out) = 0;
    virtual ~ITimerManager() = default;
};

#endif
