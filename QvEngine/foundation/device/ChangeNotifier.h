// The broadcast that tells the scheduler the engine itself is writing to
// the Outlook databases: the registered message "brwNotifierChangeMessage"
// to every top-level window, wParam 0 before the writes and 0xFFFFFFFF
// after them (lParam 0). The scheduler ignores database notifications in
// between.
#ifndef QV_CHANGENOTIFIER_H
#define QV_CHANGENOTIFIER_H

#include "DErrorCode.h"
#include "wintypes.h"

// Registers the message and keeps its number for the process; 0 or the
// platform's last error.
DErrorCode RegisterChangeNotifierMessage();
// Post the message (registering it first when that has not been done);
// 0 or the platform's last error.
DErrorCode BroadcastChangeNotifierBegin();
DErrorCode BroadcastChangeNotifierEnd();

#endif
