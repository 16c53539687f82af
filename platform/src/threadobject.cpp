// Threads the device's programs start. Each runs on a detached host
// thread; its handle's object outlives both the thread and the handle as
// long as either needs it. The end is signalled from a thread-specific
// data destructor: the host runs those after every thread_local destructor,
// so by then the thread's message queue, windows and timers are gone.
#include <pthread.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "waitable.h"
#include "winerror.h"
#include "winthread.h"

namespace vplat {
namespace {

class ThreadObject : public WaitableObject {
public:
    // The new thread reports its id before CreateThread returns.
    void SetId(DWORD id) {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_id = id;
        }
        m_idKnown.notify_all();
    }
    DWORD WaitForId() {
        std::unique_lock<std::mutex> guard(m_lock);
        m_idKnown.wait(guard, [this] { return m_id != 0; });
        return m_id;
    }
    void SetExitCode(DWORD code) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_exitCode = code;
    }
    void MarkEnded() {
        Update([this] { m_ended = true; });
    }
    DWORD ExitCode() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_ended ? m_exitCode : STILL_ACTIVE;
    }
    int Priority() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_priority;
    }
    void SetPriority(int priority) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_priority = priority;
    }

protected:
    bool IsSignalledLocked() const override { return m_ended; }

private:
    std::condition_variable m_idKnown;
    DWORD m_id = 0;
    DWORD m_exitCode = 0;
    bool m_ended = false;
    int m_priority = THREAD_PRIORITY_NORMAL;
};

struct StartBlock {
    std::shared_ptr<ThreadObject> object;
    LPTHREAD_START_ROUTINE start;
    LPVOID parameter;
};

// Holds the running thread's object; its destructor marks the end.
pthread_key_t g_endKey;
pthread_once_t g_endKeyOnce = PTHREAD_ONCE_INIT;

void OnThreadEnd(void *value) {
    auto *object = static_cast<std::shared_ptr<ThreadObject> *>(value);
    (*object)->MarkEnded();
    delete object;
}

void MakeEndKey() {
    if (pthread_key_create(&g_endKey, OnThreadEnd) != 0) abort();  // cannot signal ends without it
}

void *ThreadMain(void *arg) {
    std::unique_ptr<StartBlock> block(static_cast<StartBlock *>(arg));
    pthread_setspecific(g_endKey, new std::shared_ptr<ThreadObject>(block->object));
    block->object->SetId(GetCurrentThreadId());
    block->object->SetExitCode(block->start(block->parameter));
    return nullptr;
}

std::shared_ptr<ThreadObject> ThreadOf(HANDLE handle) {
    auto thread = HandleGet<ThreadObject>(handle);
    if (thread == nullptr) SetLastError(ERROR_INVALID_HANDLE);
    return thread;
}

}  // namespace
}  // namespace vplat

extern "C" PLATAPI HANDLE CreateThread(LPSECURITY_ATTRIBUTES, DWORD, LPTHREAD_START_ROUTINE lpStartAddress,
                                       LPVOID lpParameter, DWORD dwCreationFlags, LPDWORD lpThreadId) {
    using namespace vplat;
    if (lpStartAddress == nullptr || dwCreationFlags != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    pthread_once(&g_endKeyOnce, MakeEndKey);
    auto object = std::make_shared<ThreadObject>();
    auto *block = new StartBlock{object, lpStartAddress, lpParameter};

    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    int rc = pthread_create(&thread, &attr, ThreadMain, block);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        delete block;
        SetLastError(rc == EAGAIN ? ERROR_NOT_ENOUGH_MEMORY : ERROR_GEN_FAILURE);
        return nullptr;
    }
    DWORD id = object->WaitForId();
    if (lpThreadId != nullptr) *lpThreadId = id;
    return HandleInsert(object);
}

extern "C" PLATAPI BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
    auto thread = vplat::ThreadOf(hThread);
    if (thread == nullptr) return FALSE;
    if (lpExitCode == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *lpExitCode = thread->ExitCode();
    return TRUE;
}

extern "C" PLATAPI BOOL TerminateThread(HANDLE hThread, DWORD) {
    if (vplat::ThreadOf(hThread) == nullptr) return FALSE;
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}

extern "C" PLATAPI int GetThreadPriority(HANDLE hThread) {
    auto thread = vplat::ThreadOf(hThread);
    return thread == nullptr ? THREAD_PRIORITY_ERROR_RETURN : thread->Priority();
}

extern "C" PLATAPI BOOL SetThreadPriority(HANDLE hThread, int nPriority) {
    auto thread = vplat::ThreadOf(hThread);
    if (thread == nullptr) return FALSE;
    if (nPriority < THREAD_PRIORITY_TIME_CRITICAL || nPriority > THREAD_PRIORITY_IDLE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    thread->SetPriority(nPriority);
    return TRUE;
}
