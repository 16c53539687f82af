// Sinks of the writing thread are called by MapiPublishDeliver. For a sink
// of another thread of this process, or of another process, the write's
// matching events are stored in mapi.db as a notice inside the write's own
// transaction (so sequence numbers follow the commit order of every
// process's writes), and after the commit the sink's thread is woken
// through its notice window with the notice's sequence number; its message
// loop then takes the waiting notices in sequence order.
#include "mapinotify.h"

#include <unistd.h>

#include <map>
#include <mutex>
#include <string>

#include "crossprocess.h"
#include "devicestate.h"
#include "mapinotifydb.h"
#include "winerror.h"
#include "winthread.h"
#include "winuser.h"

namespace vplat {
namespace {

// The registered message that wakes an advising thread: wParam is the
// sequence number of the notice that waits (0: see whether the thread's
// notice window is still needed).
const WCHAR kNoticeMessage[] = u"VPlatformMapiNotice";
const WCHAR kWindowClass[] = u"VPlatformMapiNotices";

// One advise of this process: its sink (AddRef'd) and the thread that
// advised, whose notice window takes the notices of other threads and
// processes.
struct LocalAdvise {
    IMAPIAdviseSink *sink = nullptr;
    DWORD threadId = 0;
    HWND window = nullptr;
};

// An advising thread's hidden window, kept while the thread has advises on
// the device it was made for.
struct ThreadWindow {
    HWND hwnd = nullptr;
    int advises = 0;
    std::string root;
};

// The process's advises and notice windows. A fork's child starts with
// none: what it inherited belongs to its parent.
struct LocalState {
    std::mutex lock;
    std::map<ULONG, LocalAdvise> advises;
    std::map<DWORD, ThreadWindow> windows;
    pid_t pid = 0;
};

LocalState &Local() {
    static LocalState *state = new LocalState;  // never destroyed: sinks may outlive static destruction
    return *state;
}

// Under the lock.
void ForgetParentLocked(LocalState &state) {
    if (state.pid == getpid()) return;
    state.advises.clear();
    state.windows.clear();
    state.pid = getpid();
}

UINT NoticeMessage() { return RegisterWindowMessageW(kNoticeMessage); }

void DrainWindow(HWND hwnd);

// Destroys the calling thread's notice window once it has no advise left.
void DestroyIfIdle(HWND hwnd) {
    LocalState &state = Local();
    {
        std::lock_guard<std::mutex> guard(state.lock);
        ForgetParentLocked(state);
        auto it = state.windows.find(GetCurrentThreadId());
        if (it == state.windows.end() || it->second.hwnd != hwnd || it->second.advises != 0) return;
        state.windows.erase(it);
    }
    DestroyWindow(hwnd);
}

LRESULT NoticeWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != 0 && msg == NoticeMessage()) {
        if (wParam == 0) {
            DestroyIfIdle(hwnd);
        } else {
            DrainWindow(hwnd);
        }
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// The calling thread's notice window for the device at root, made when
// missing; counts one more advise on it. Null when none can be made.
HWND TakeThreadWindow(const std::string &root) {
    LocalState &state = Local();
    const DWORD self = GetCurrentThreadId();
    {
        std::lock_guard<std::mutex> guard(state.lock);
        ForgetParentLocked(state);
        auto it = state.windows.find(self);
        if (it != state.windows.end() && it->second.root == root && IsWindow(it->second.hwnd)) {
            ++it->second.advises;
            return it->second.hwnd;
        }
    }
    WNDCLASSW wc = {};
    wc.lpfnWndProc = NoticeWindowProc;
    wc.lpszClassName = kWindowClass;
    RegisterClassW(&wc);  // already registered by an earlier advise: fine
    HWND hwnd = CreateWindowExW(0, kWindowClass, u"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    if (hwnd == nullptr) return nullptr;
    HWND old = nullptr;
    {
        std::lock_guard<std::mutex> guard(state.lock);
        ThreadWindow &entry = state.windows[self];
        old = entry.hwnd;  // one of another device, or left by an ended thread of the same id
        entry.hwnd = hwnd;
        entry.advises = 1;
        entry.root = root;
    }
    if (old != nullptr && old != hwnd) DestroyWindow(old);
    return hwnd;
}

// One advise fewer on the thread's window; the window goes with the last.
void ReleaseThreadWindow(DWORD threadId, HWND hwnd) {
    LocalState &state = Local();
    bool idle = false;
    {
        std::lock_guard<std::mutex> guard(state.lock);
        auto it = state.windows.find(threadId);
        if (it == state.windows.end() || it->second.hwnd != hwnd) return;
        idle = --it->second.advises <= 0;
    }
    if (!idle) return;
    // Only its own thread may destroy it: another thread asks it to.
    if (threadId == GetCurrentThreadId()) {
        DestroyIfIdle(hwnd);
    } else {
        PostMessageW(hwnd, NoticeMessage(), 0, 0);
    }
}

// The calling thread's notice window, null when it has none.
HWND OwnThreadWindow() {
    LocalState &state = Local();
    std::lock_guard<std::mutex> guard(state.lock);
    ForgetParentLocked(state);
    auto it = state.windows.find(GetCurrentThreadId());
    return it == state.windows.end() ? nullptr : it->second.hwnd;
}

// Calls the sink of connection with events, when it is still advised and
// belongs to the calling thread. The notification's ids point into events,
// valid during the call.
void Deliver(ULONG connection, const std::vector<MapiObjectEvent> &events) {
    if (events.empty()) return;
    IMAPIAdviseSink *sink = nullptr;
    {
        LocalState &state = Local();
        std::lock_guard<std::mutex> guard(state.lock);
        ForgetParentLocked(state);
        auto it = state.advises.find(connection);
        if (it == state.advises.end() || it->second.threadId != GetCurrentThreadId()) return;
        sink = it->second.sink;
        sink->AddRef();  // an Unadvise from inside OnNotify must not free it under the call
    }
    auto id = [](const std::vector<BYTE> &bytes) {
        return bytes.empty() ? nullptr : reinterpret_cast<LPENTRYID>(const_cast<BYTE *>(bytes.data()));
    };
    std::vector<NOTIFICATION> notifications(events.size());
    std::vector<std::vector<ULONG>> tagArrays(events.size());
    for (size_t i = 0; i < events.size(); ++i) {
        const MapiObjectEvent &e = events[i];
        NOTIFICATION &n = notifications[i];
        n = NOTIFICATION{};
        n.ulEventType = e.eventType;
        OBJECT_NOTIFICATION &obj = n.info.obj;
        obj.ulObjType = e.objType;
        obj.cbEntryID = static_cast<ULONG>(e.entryID.size());
        obj.lpEntryID = id(e.entryID);
        obj.cbParentID = static_cast<ULONG>(e.parentID.size());
        obj.lpParentID = id(e.parentID);
        obj.cbOldID = static_cast<ULONG>(e.oldID.size());
        obj.lpOldID = id(e.oldID);
        obj.cbOldParentID = static_cast<ULONG>(e.oldParentID.size());
        obj.lpOldParentID = id(e.oldParentID);
        if (!e.changedTags.empty()) {
            // An SPropTagArray: the count, then the tags.
            std::vector<ULONG> &tags = tagArrays[i];
            tags.push_back(static_cast<ULONG>(e.changedTags.size()));
            tags.insert(tags.end(), e.changedTags.begin(), e.changedTags.end());
            obj.lpPropTagArray = reinterpret_cast<LPSPropTagArray>(tags.data());
        }
    }
    sink->OnNotify(static_cast<ULONG>(notifications.size()), notifications.data());
    sink->Release();
}

// Hands the notices that wait for this thread's window to their sinks, one
// at a time in write order (a sink that pumps messages meanwhile gets the
// later ones in their turn).
void DrainWindow(HWND hwnd) {
    if (hwnd == nullptr) return;
    for (;;) {
        MapiPendingNotice notice;
        bool found = false;
        if (MapiNoticeTakeNext(hwnd, &notice, &found) != ERROR_SUCCESS || !found) return;
        Deliver(static_cast<ULONG>(notice.advise), notice.events);
    }
}

bool Matches(const MapiAdviseRecord &advise, const MapiObjectEvent &e) {
    if ((e.eventType & advise.mask) == 0) return false;
    if (advise.entryID.empty()) return true;
    return e.entryID == advise.entryID || e.parentID == advise.entryID || e.oldParentID == advise.entryID;
}

// Drops advises from this process's table (their thread ended), releasing
// their sinks.
void ForgetLocal(const std::vector<int64_t> &ids) {
    std::vector<IMAPIAdviseSink *> sinks;
    {
        LocalState &state = Local();
        std::lock_guard<std::mutex> guard(state.lock);
        for (int64_t id : ids) {
            auto it = state.advises.find(static_cast<ULONG>(id));
            if (it == state.advises.end()) continue;
            sinks.push_back(it->second.sink);
            state.advises.erase(it);
        }
    }
    for (IMAPIAdviseSink *sink : sinks) sink->Release();
}

}  // namespace

HRESULT MapiAdviseAdd(int64_t storeID, const BYTE *entryID, ULONG cbEntryID, ULONG mask, IMAPIAdviseSink *sink,
                      ULONG *connection) {
    if (sink == nullptr || connection == nullptr || (entryID == nullptr && cbEntryID != 0)) {
        return MAPI_E_INVALID_PARAMETER;
    }
    std::string root;
    if (!DeviceCurrentRoot(&root)) return MAPI_E_CALL_FAILED;
    HWND window = TakeThreadWindow(root);
    if (window == nullptr) return MAPI_E_NOT_ENOUGH_RESOURCES;
    MapiAdviseRecord rec;
    rec.store = storeID;
    if (cbEntryID != 0) rec.entryID.assign(entryID, entryID + cbEntryID);
    rec.mask = mask;
    rec.pid = MapiProcessId();
    rec.started = MapiProcessStarted();
    rec.window = window;
    if (MapiNoticeAddAdvise(&rec) != ERROR_SUCCESS) {
        ReleaseThreadWindow(GetCurrentThreadId(), window);
        return MAPI_E_CALL_FAILED;
    }
    sink->AddRef();
    {
        LocalState &state = Local();
        std::lock_guard<std::mutex> guard(state.lock);
        LocalAdvise &local = state.advises[static_cast<ULONG>(rec.id)];
        local.sink = sink;
        local.threadId = GetCurrentThreadId();
        local.window = window;
    }
    *connection = static_cast<ULONG>(rec.id);
    return S_OK;
}

HRESULT MapiAdviseRemove(ULONG connection) {
    LocalAdvise local;
    {
        LocalState &state = Local();
        std::lock_guard<std::mutex> guard(state.lock);
        ForgetParentLocked(state);
        auto it = state.advises.find(connection);
        if (it == state.advises.end()) return MAPI_E_NOT_FOUND;
        local = it->second;
        state.advises.erase(it);
    }
    // Its notices go with it; should that fail, they find no sink when they
    // arrive.
    MapiNoticeRemoveAdvises({static_cast<int64_t>(connection)});
    local.sink->Release();
    ReleaseThreadWindow(local.threadId, local.window);
    return S_OK;
}

void MapiPublishPrepare(SqliteDb &db, int64_t storeID, const std::vector<MapiObjectEvent> &events,
                        MapiPublication *publication) {
    *publication = MapiPublication();
    if (events.empty()) return;
    std::vector<MapiAdviseRecord> advises;
    if (MapiNoticeLoadAdvises(storeID, &advises) != ERROR_SUCCESS) return;
    const DWORD self = GetCurrentThreadId();
    const int64_t pid = MapiProcessId(), started = MapiProcessStarted();
    std::vector<MapiPendingNotice> queued;
    std::vector<const MapiAdviseRecord *> queuedFor;
    for (const MapiAdviseRecord &advise : advises) {
        std::vector<MapiObjectEvent> matching;
        for (const MapiObjectEvent &e : events) {
            if (Matches(advise, e)) matching.push_back(e);
        }
        if (matching.empty()) continue;
        if (advise.pid == pid && advise.started == started) {
            DWORD owner = 0;
            {
                LocalState &state = Local();
                std::lock_guard<std::mutex> guard(state.lock);
                ForgetParentLocked(state);
                auto it = state.advises.find(static_cast<ULONG>(advise.id));
                // Not (yet, or any more) in the table: being made or removed.
                if (it == state.advises.end()) continue;
                owner = it->second.threadId;
            }
            if (owner == self) {
                publication->here.emplace_back(static_cast<ULONG>(advise.id), std::move(matching));
                continue;
            }
        } else if (!MapiAdviseAlive(advise)) {
            publication->gone.push_back(advise.id);
            continue;
        }
        MapiPendingNotice notice;
        notice.advise = advise.id;
        notice.events = std::move(matching);
        queued.push_back(std::move(notice));
        queuedFor.push_back(&advise);
    }
    std::vector<int64_t> seqs;
    if (queued.empty() || MapiNoticeQueue(db, queued, &seqs) != ERROR_SUCCESS) return;
    for (size_t i = 0; i < seqs.size(); ++i) publication->woken.emplace_back(seqs[i], *queuedFor[i]);
}

void MapiPublishDeliver(const MapiPublication &publication) {
    std::vector<int64_t> gone = publication.gone;
    const UINT message = NoticeMessage();
    std::vector<int64_t> localGone;
    const int64_t pid = MapiProcessId(), started = MapiProcessStarted();
    for (const auto &[seq, advise] : publication.woken) {
        if (message != 0 && PostMessageW(advise.window, message, static_cast<WPARAM>(seq), 0)) continue;
        // A live process may only be unreachable for now; its window's loop
        // takes every waiting notice at the next wake.
        const bool local = advise.pid == pid && advise.started == started;
        if (local ? !IsWindow(advise.window) : (!MapiAdviseAlive(advise) || !IsWindow(advise.window))) {
            gone.push_back(advise.id);
            if (local) localGone.push_back(advise.id);
        }
    }
    ForgetLocal(localGone);
    MapiNoticeRemoveAdvises(gone);
    if (publication.here.empty()) return;
    // What other writers left for this thread comes first: the sinks see
    // the writes in order.
    DrainWindow(OwnThreadWindow());
    for (const auto &entry : publication.here) Deliver(entry.first, entry.second);
}

}  // namespace vplat
