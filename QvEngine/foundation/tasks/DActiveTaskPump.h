// DActiveTaskPump: the owner's loop that runs an engine's tasks when its
// driver's message arrives. Each pass handles every message waiting in the
// thread's queue, runs the owner's idle processing, then runs one turn while
// the driver says work is posted; it ends when nothing is posted. A quit
// message met on the way is posted again and ends the pump at once, so the
// loops outside see it too. Step errors are not acted on: the pump goes on
// while work is posted.
//
// The pump re-enters the message loop: handlers, timers and work carried
// from other threads run between turns, and may run a nested pump. The
// driver must outlive every run; an owner that releases its engine from a
// handler does so after the pump has ended.
#ifndef QV_DACTIVETASKPUMP_H
#define QV_DACTIVETASKPUMP_H

#include <functional>

#include "DErrorCode.h"

class DWinMobActiveTaskManagerDriver;

class DActiveTaskPump {
public:
    // Idle processing: called with counts 0, 1, 2 ... while it answers true
    // (more to do).
    typedef std::function<bool(long count)> IdleHandler;

    explicit DActiveTaskPump(DWinMobActiveTaskManagerDriver *driver, IdleHandler idle = IdleHandler());

    // Runs until no work is posted; *outQuit (optional) tells whether a quit
    // message ended it. generalErrNULLPointer without a driver.
    DErrorCode Run(bool *outQuit = nullptr);

private:
    DWinMobActiveTaskManagerDriver *m_driver;
    IdleHandler m_idle;
};

#endif
