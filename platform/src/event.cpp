// Events: a flag threads wait for, reset by hand or by the wait it releases.
#include "waitable.h"
#include "winerror.h"
#include "winthread.h"

namespace vplat {
namespace {

class EventObject : public WaitableObject {
public:
    EventObject(bool manualReset, bool set) : m_manualReset(manualReset), m_set(set) {}
    void Set() {
        Update([this] { m_set = true; });
    }
    void Reset() {
        Update([this] { m_set = false; });
    }

protected:
    bool IsSignalledLocked() const override { return m_set; }
    void OnAcquiredLocked() override {
        if (!m_manualReset) m_set = false;
    }

private:
    const bool m_manualReset;
    bool m_set;
};

std::shared_ptr<EventObject> EventOf(HANDLE handle) {
    auto event = HandleGet<EventObject>(handle);
    if (event == nullptr) SetLastError(ERROR_INVALID_HANDLE);
    return event;
}

}  // namespace
}  // namespace vplat

extern "C" PLATAPI HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState,
                                       LPCWSTR lpName) {
    if (lpName != nullptr) {  // events shared by name are not offered
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    return vplat::HandleInsert(std::make_shared<vplat::EventObject>(bManualReset != FALSE, bInitialState != FALSE));
}

extern "C" PLATAPI BOOL SetEvent(HANDLE hEvent) {
    auto event = vplat::EventOf(hEvent);
    if (event == nullptr) return FALSE;
    event->Set();
    return TRUE;
}

extern "C" PLATAPI BOOL ResetEvent(HANDLE hEvent) {
    auto event = vplat::EventOf(hEvent);
    if (event == nullptr) return FALSE;
    event->Reset();
    return TRUE;
}
