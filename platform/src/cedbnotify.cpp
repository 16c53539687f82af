#include "cedbnotify.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>

#include "cedbvolume.h"
#include "crossprocess.h"
#include "devicestate.h"
#include "hosterror.h"
#include "sharelock.h"
#include "windowdirectory.h"
#include "winmem.h"

namespace vplat {
namespace {

// The registered message that carries a notice to another process.
const WCHAR kNoticeMessage[] = u"VPlatformCeDbNotice";
// Gate slots: files whose paths share a slot share a gate, which only
// orders their notices more than needed.
const uint64_t kGateSlots = 65536;

uint64_t PathSlot(const std::string &path) { return DeviceHash(path.data(), path.size()) % kGateSlots; }

// The start time of a process (clock ticks after boot), 0 when it is gone
// (or dead and not yet reaped).
int64_t StartTimeOf(int64_t pid) {
    uint64_t started = 0;
    return ProcessStartTime(static_cast<pid_t>(pid), &started) ? static_cast<int64_t>(started) : 0;
}

bool Alive(const CeDbRequest &request) {
    return request.started != 0 && StartTimeOf(request.pid) == request.started;
}

// Notice in two integers: wParam the database's object id, the type's
// offset from WM_USER and the volume number; lParam the object id and the
// request's parameter.
WPARAM PackWParam(CEOID database, UINT type, const CEGUID &volume) {
    return static_cast<WPARAM>(database) | (static_cast<WPARAM>((type - WM_USER) & 0xFF) << 32) |
           (static_cast<WPARAM>(CeDbVolumeNumber(volume) & 0xFFFFFF) << 40);
}

LPARAM PackLParam(CEOID oid, DWORD param) {
    return static_cast<LPARAM>((static_cast<uint64_t>(oid) << 32) | param);
}

PCENOTIFICATION NewNotification(UINT type, CEOID oid, CEOID database, const CEGUID &volume, DWORD param) {
    auto *notice = static_cast<PCENOTIFICATION>(LocalAlloc(LPTR, sizeof(CENOTIFICATION)));
    if (notice == nullptr) return nullptr;
    notice->dwSize = sizeof(CENOTIFICATION);
    notice->dwParam = param;
    notice->uType = type;
    notice->guid = volume;
    notice->oid = oid;
    // A deleted database is nobody's child.
    notice->oidParent = type == DB_CEOID_DATABASE_DELETED ? 0 : database;
    return notice;
}

// Posts one notice to one request; false when the post failed.
bool PostOne(const CeDbNotice &notice, CEOID database, const CEGUID &volume, const CeDbRequest &request, bool local) {
    if ((request.flags & CEDB_EXNOTIFICATION) == 0) {
        return PostMessageW(request.hwnd, notice.type, notice.oid, database) != FALSE;
    }
    if (!local) {
        UINT message = RegisterWindowMessageW(kNoticeMessage);
        return message != 0 && PostMessageW(request.hwnd, message, PackWParam(database, notice.type, volume),
                                            PackLParam(notice.oid, request.param)) != FALSE;
    }
    PCENOTIFICATION n = NewNotification(notice.type, notice.oid, database, volume, request.param);
    if (n == nullptr) return true;  // lost for want of memory; the window is not to blame
    if (PostMessageW(request.hwnd, WM_DBNOTIFICATION, 0, reinterpret_cast<LPARAM>(n))) return true;
    LocalFree(n);
    return false;
}

}  // namespace

CeDbNoticeGate::~CeDbNoticeGate() {
    if (m_fd >= 0) close(m_fd);  // releases the lock
}

DWORD CeDbNoticeGate::Acquire(const std::string &hostPath) {
    std::string root;
    if (!DeviceCurrentRoot(&root)) return GetLastError();
    std::string gatePath = root + "/run/cedb.gate";
    m_fd = open(gatePath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0) return Win32FromErrno(errno);
    if (LockFileByte(m_fd, F_OFD_SETLKW, F_WRLCK, static_cast<off_t>(PathSlot(hostPath))) != 0) {
        DWORD err = Win32FromErrno(errno);
        close(m_fd);
        m_fd = -1;
        return err;
    }
    return ERROR_SUCCESS;
}

int64_t CeDbProcessId() { return getpid(); }

int64_t CeDbProcessStarted() {
    // Read again after a fork: the child is another process.
    static thread_local int64_t pid = 0, started = 0;
    if (pid != getpid()) {
        pid = getpid();
        started = StartTimeOf(pid);
    }
    return started;
}

DWORD CeDbAddRequest(CeDbFile &file, CEOID database, uint64_t handle, const CENOTIFYREQUEST &request) {
    // Writers in other processes post the notice message: this process
    // turns it back into WM_DBNOTIFICATION as it arrives.
    SetIncomingPostTranslator(RegisterWindowMessageW(kNoticeMessage), CeDbTranslateIncoming);
    SqliteStatement insert(file.Db(),
                           "INSERT INTO requests(db, hwnd, pid, started, handle, flags, param) "
                           "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    insert.BindInt(1, database);
    insert.BindInt(2, static_cast<int64_t>(reinterpret_cast<uintptr_t>(request.hwnd)));
    insert.BindInt(3, CeDbProcessId());
    insert.BindInt(4, CeDbProcessStarted());
    insert.BindInt(5, static_cast<int64_t>(handle));
    insert.BindInt(6, request.dwFlags);
    insert.BindInt(7, request.dwParam);
    return insert.Run();
}

DWORD CeDbRemoveRequests(CeDbFile &file, uint64_t handle) {
    SqliteStatement remove(file.Db(), "DELETE FROM requests WHERE pid = ?1 AND started = ?2 AND handle = ?3");
    remove.BindInt(1, CeDbProcessId());
    remove.BindInt(2, CeDbProcessStarted());
    remove.BindInt(3, static_cast<int64_t>(handle));
    return remove.Run();
}

DWORD CeDbLoadRequests(CeDbFile &file, CEOID database, std::vector<CeDbRequest> *requests) {
    SqliteStatement query(file.Db(),
                          "SELECT id, hwnd, pid, started, flags, param FROM requests WHERE db = ?1 ORDER BY id");
    query.BindInt(1, database);
    for (;;) {
        bool row;
        DWORD err = query.Step(&row);
        if (err != ERROR_SUCCESS || !row) return err;
        CeDbRequest request;
        request.id = query.Int(0);
        request.hwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(query.Int(1)));
        request.pid = query.Int(2);
        request.started = query.Int(3);
        request.flags = static_cast<DWORD>(query.Int(4));
        request.param = static_cast<DWORD>(query.Int(5));
        requests->push_back(request);
    }
}

void CeDbPostNotices(const CeDbNotices &notices, const CEGUID &volume, const std::vector<CeDbRequest> &requests,
                     std::vector<int64_t> *gone) {
    std::set<int64_t> dropped;
    for (const CeDbNotice &notice : notices.notices) {
        for (const CeDbRequest &request : requests) {
            if (dropped.count(request.id) != 0) continue;
            bool local = request.pid == CeDbProcessId() && request.started == CeDbProcessStarted();
            if (PostOne(notice, notices.database, volume, request, local)) continue;
            // A live process may only be unreachable for now; its requests
            // go when its handle is closed.
            if (local || !Alive(request)) {
                dropped.insert(request.id);
                gone->push_back(request.id);
            }
        }
    }
}

DWORD CeDbDropRequests(CeDbFile &file, const std::vector<int64_t> &ids) {
    return file.Write(CeDbVolumeGuid(0), [&](CeDbNotices *) {
        for (int64_t id : ids) {
            SqliteStatement remove(file.Db(), "DELETE FROM requests WHERE id = ?1");
            remove.BindInt(1, id);
            DWORD err = remove.Run();
            if (err != ERROR_SUCCESS) return err;
        }
        return DWORD(ERROR_SUCCESS);
    });
}

PLATAPI bool CeDbTranslateIncoming(UINT *msg, WPARAM *wParam, LPARAM *lParam) {
    if (msg == nullptr || wParam == nullptr || lParam == nullptr) return false;
    UINT message = RegisterWindowMessageW(kNoticeMessage);
    if (message == 0 || *msg != message) return false;
    uint64_t w = *wParam, l = static_cast<uint64_t>(*lParam);
    UINT type = WM_USER + static_cast<UINT>((w >> 32) & 0xFF);
    CEOID database = static_cast<CEOID>(w & 0xFFFFFFFF);
    CEGUID volume = CeDbVolumeGuid(static_cast<DWORD>(w >> 40));
    PCENOTIFICATION notice =
        NewNotification(type, static_cast<CEOID>(l >> 32), database, volume, static_cast<DWORD>(l & 0xFFFFFFFF));
    if (notice == nullptr) return false;
    *msg = WM_DBNOTIFICATION;
    *wParam = 0;
    *lParam = reinterpret_cast<LPARAM>(notice);
    return true;
}

}  // namespace vplat

extern "C" PLATAPI BOOL CeFreeNotification(PCENOTIFYREQUEST, PCENOTIFICATION pNotify) {
    if (pNotify == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    LocalFree(pNotify);
    return TRUE;
}
