// Notices of database writes to the windows that asked for them. The
// requests live in the database file (window, requesting process and its
// start time, handle, flags, parameter), so a writer in any process finds
// them. A writer delivers after its commit while it holds the file's notice
// gate (a lock in the device's run/ folder), so notices reach each window in
// the order the writes were committed. A requester in the writer's process
// gets WM_DBNOTIFICATION with a CENOTIFICATION from the local heap; one in
// another process gets a registered message that carries the notice in
// wParam and lParam, which CeDbTranslateIncoming turns back into
// WM_DBNOTIFICATION there. A request whose post fails while its process is
// gone (or whose window in this process is gone) is dropped.
#ifndef VPLATFORM_CEDBNOTIFY_H
#define VPLATFORM_CEDBNOTIFY_H

#include <cstdint>
#include <string>
#include <vector>

#include "cedbfile.h"
#include "windbase.h"

namespace vplat {

struct CeDbRequest {
    int64_t id = 0;
    HWND hwnd = nullptr;
    int64_t pid = 0;
    int64_t started = 0;
    DWORD flags = 0;
    DWORD param = 0;
};

// Holds a file's notice gate from Acquire until destruction.
class CeDbNoticeGate {
public:
    CeDbNoticeGate() = default;
    ~CeDbNoticeGate();
    CeDbNoticeGate(const CeDbNoticeGate &) = delete;
    CeDbNoticeGate &operator=(const CeDbNoticeGate &) = delete;
    DWORD Acquire(const std::string &hostPath);

private:
    int m_fd = -1;
};

// This process's identity as requests record it.
int64_t CeDbProcessId();
int64_t CeDbProcessStarted();

// Records a request of handle for database (inside a write).
DWORD CeDbAddRequest(CeDbFile &file, CEOID database, uint64_t handle, const CENOTIFYREQUEST &request);
// Removes the requests of a handle of this process.
DWORD CeDbRemoveRequests(CeDbFile &file, uint64_t handle);
// The requests on a database (inside a transaction).
DWORD CeDbLoadRequests(CeDbFile &file, CEOID database, std::vector<CeDbRequest> *requests);
// Posts each notice to each request, in order; lists the requests that are
// gone.
void CeDbPostNotices(const CeDbNotices &notices, const CEGUID &volume, const std::vector<CeDbRequest> &requests,
                     std::vector<int64_t> *gone);
// Drops requests by id (its own write).
DWORD CeDbDropRequests(CeDbFile &file, const std::vector<int64_t> &ids);

// In a process that received a post from another process: turns the
// database notice message into WM_DBNOTIFICATION with a new CENOTIFICATION
// (freed by CeFreeNotification). False, the message untouched, for any
// other message.
PLATAPI bool CeDbTranslateIncoming(UINT *msg, WPARAM *wParam, LPARAM *lParam);

}  // namespace vplat

#endif
