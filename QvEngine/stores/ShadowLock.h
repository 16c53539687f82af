// The lock of one shadow database, shared by every process of the device
// that opens it (the engine, the scheduler's recorders, the messaging
// application): a named mutex. Each read-modify-write of a record's state
// or flags and each new record's sequence number is taken under it, so
// that a change one process makes between another's read and write is
// never lost.
#ifndef QV_SHADOWLOCK_H
#define QV_SHADOWLOCK_H

#include "DErrorCode.h"
#include "wintypes.h"

// Opens (or creates) the lock of the named database; null with the
// platform's error on failure.
DErrorCode OpenShadowLock(const WCHAR *dbName, HANDLE *lock);

// Holds the lock for a scope. Error() is not 0 when it could not be taken
// within the bound (a holder that never lets go is an error, not a hang).
class DShadowLockHold {
public:
    explicit DShadowLockHold(HANDLE lock);
    ~DShadowLockHold();
    DShadowLockHold(const DShadowLockHold &) = delete;
    DShadowLockHold &operator=(const DShadowLockHold &) = delete;
    DErrorCode Error() const { return m_err; }

private:
    HANDLE m_lock;
    DErrorCode m_err;
};

#endif
