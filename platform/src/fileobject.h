// An open file of the device behind a HANDLE: one host descriptor (its own
// open file description, which carries the file position and the share
// locks) and the access the handle was opened with. Calls on one handle
// are serialised; Close releases the descriptor and with it the locks.
#ifndef VPLATFORM_FILEOBJECT_H
#define VPLATFORM_FILEOBJECT_H

#include <unistd.h>

#include <mutex>

#include "handles.h"

namespace vplat {

class FileObject : public KernelObject {
public:
    FileObject(int fd, bool canRead, bool canWrite) : m_fd(fd), m_canRead(canRead), m_canWrite(canWrite) {}
    ~FileObject() override { Close(); }

    void Close() override {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_fd >= 0) close(m_fd);
        m_fd = -1;
    }

    // Hold Lock() while using Fd(); Fd() is -1 once the handle is closed.
    std::mutex &Lock() { return m_lock; }
    int Fd() const { return m_fd; }
    bool CanRead() const { return m_canRead; }
    bool CanWrite() const { return m_canWrite; }

private:
    std::mutex m_lock;
    int m_fd;
    const bool m_canRead;
    const bool m_canWrite;
};

}  // namespace vplat

#endif
