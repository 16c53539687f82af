#include "ShadowLock.h"

#include <string>

#include "winerror.h"
#include "winthread.h"

namespace {

// Every hold is one or a few property writes: ten seconds means the holder is stuck.
constexpr DWORD kLockWaitMs = 10000;

}  // namespace

DErrorCode OpenShadowLock(const WCHAR *dbName, HANDLE *lock) {
    const std::u16string name = std::u16string(dbName) + u".lock";
    *lock = CreateMutexW(nullptr, FALSE, name.c_str());
    return *lock == nullptr ? static_cast<DErrorCode>(GetLastError()) : kNoError;
}

DShadowLockHold::DShadowLockHold(HANDLE lock) : m_lock(lock), m_err(kNoError) {
    if (m_lock == nullptr) {
        m_err = generalErrItemNotFound;  // a closed database takes no write
        return;
    }
    if (WaitForSingleObject(m_lock, kLockWaitMs) != WAIT_OBJECT_0) {
        m_err = generalErrItemNotFound;  // the write did not land
        m_lock = nullptr;
    }
}

DShadowLockHold::~DShadowLockHold() {
    if (m_lock != nullptr) ReleaseMutex(m_lock);
}
