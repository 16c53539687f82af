// The sockets behind messages between processes. Each process that owns
// windows has a listening thread: it reads frames off every connection in
// order and queues them on the owner threads (a post straight into the
// queue, a send as a sent message whose answer goes back on the same
// connection). A sender keeps one connection per receiving process for its
// posts, so that they arrive in order, and opens one per send, so that the
// answer comes to the thread that waits for it.
//
// A fork's child gets none of this: the descriptors it inherited are closed
// there, so that a parent that dies is seen dead by everyone it talked to.
#include "crossprocess.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "devicestate.h"
#include "sendmessage.h"
#include "window.h"
#include "winerror.h"

namespace vplat {
namespace {

// One message on the wire; both ends are builds of this library.
struct Frame {
    uint32_t kind;
    uint32_t msg;
    uint64_t id;  // a send's number, echoed by its answer
    uint64_t hwnd;
    uint64_t wParam;
    int64_t lParam;  // the answer, in a reply
};
static_assert(sizeof(Frame) == 40, "a frame has no padding");
enum : uint32_t { kPost = 1, kSend = 2, kReply = 3 };

constexpr int kWriteBoundMs = 2000;  // a stopped receiver cannot hold a sender longer
constexpr int kBroadcastSendBoundMs = 5000;  // one hung window cannot stall a broadcast for good

// Everything this process keeps for messages between processes; one per
// process (a fork's child makes its own).
struct State {
    std::mutex lock;  // guards the members up to fds
    std::string root;  // the device this process's number belongs to
    uint32_t number = 0;  // 0: none taken on root yet
    uint64_t startTime = 0;
    bool listening = false;
    int stopFd = -1;  // ends the listening thread
    // Registered message ids belong to a device: each translator is kept with
    // the device it was set on and applies only to posts to that device.
    std::map<UINT, std::pair<std::string, IncomingPostTranslator>> translators;
    std::set<int> fds;  // every descriptor of this file's, closed in a fork's child

    std::mutex postLock;  // one post at a time, so that they keep their order
    std::map<std::pair<std::string, uint32_t>, int> postConnections;  // guarded by postLock

    std::mutex publishLock;  // directory writes in the order of the snapshots
};

State *g_state = new State;  // outlives static destructors
// Held by a listening thread whenever it is not waiting in poll: a fork
// waits for it, so that the child never inherits a lock (the allocator's
// among them) that the listener held at that instant. Taken before
// g_state->lock wherever both are held.
std::mutex *g_listenerBusy = new std::mutex;
State *g_parentState = nullptr;  // a fork's child: the parent's, kept reachable, never used

int Track(int fd) {
    if (fd < 0) return fd;
    std::lock_guard<std::mutex> guard(g_state->lock);
    g_state->fds.insert(fd);
    return fd;
}

void CloseTracked(int fd) {
    if (fd < 0) return;
    std::lock_guard<std::mutex> guard(g_state->lock);
    g_state->fds.erase(fd);
    close(fd);  // under the lock: a fork's child never sees the number reused
}

void BeforeFork() {
    g_listenerBusy->lock();
    g_state->lock.lock();
}
void AfterForkParent() {
    g_state->lock.unlock();
    g_listenerBusy->unlock();
}
void AfterForkChild() {
    g_listenerBusy->unlock();  // the child has no listener
    State *old = g_state;
    for (int fd : old->fds) close(fd);
    State *fresh = new State;
    fresh->translators = old->translators;
    g_parentState = old;
    g_state = fresh;  // the old state is left behind: its locks may be held by threads that are not here
}

[[maybe_unused]] const int g_forkHandlers = pthread_atfork(BeforeFork, AfterForkParent, AfterForkChild);

void SetTimeouts(int fd) {
    timeval tv = {kWriteBoundMs / 1000, (kWriteBoundMs % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

bool WriteFrame(int fd, const Frame &frame) {
    const char *bytes = reinterpret_cast<const char *>(&frame);
    size_t done = 0;
    while (done < sizeof frame) {
        ssize_t n = send(fd, bytes + done, sizeof frame - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

// A connection accepted by the listening thread. Answers to sends are
// written by owner threads; the descriptor closes when the last holder lets go.
struct Connection {
    explicit Connection(int f) : fd(f) {}
    ~Connection() { CloseTracked(fd); }
    int fd;
    std::mutex writeLock;
    std::string in;
};

void Answer(const std::shared_ptr<Connection> &conn, uint64_t id, LRESULT result) {
    Frame reply = {kReply, 0, id, 0, 0, int64_t(result)};
    std::lock_guard<std::mutex> guard(conn->writeLock);
    WriteFrame(conn->fd, reply);  // a sender that gave up has closed its end: nothing to do
}

void Deliver(const std::shared_ptr<Connection> &conn, const Frame &frame) {
    HWND hwnd = reinterpret_cast<HWND>(uintptr_t(frame.hwnd));
    if (frame.kind == kPost) {
        UINT msg = frame.msg;
        WPARAM wParam = WPARAM(frame.wParam);
        LPARAM lParam = LPARAM(frame.lParam);
        IncomingPostTranslator translate = nullptr;
        {
            std::lock_guard<std::mutex> guard(g_state->lock);
            auto it = g_state->translators.find(msg);
            if (it != g_state->translators.end() && it->second.first == g_state->root) translate = it->second.second;
        }
        if (translate != nullptr && !translate(&msg, &wParam, &lParam)) return;
        if (hwnd == HWND_BROADCAST) {
            for (HWND h : WindowsTopLevel()) WindowPost(h, msg, wParam, lParam);
        } else {
            WindowPost(hwnd, msg, wParam, lParam);  // a window gone meanwhile drops it, as at home
        }
        return;
    }
    std::shared_ptr<ThreadQueue> queue = WindowQueue(hwnd);
    auto sent = std::make_shared<SentMessage>();
    sent->hwnd = hwnd;
    sent->message = frame.msg;
    sent->wParam = WPARAM(frame.wParam);
    sent->lParam = LPARAM(frame.lParam);
    uint64_t id = frame.id;
    sent->reply = [conn, id](LRESULT result) { Answer(conn, id, result); };
    if (queue == nullptr || !queue->EnqueueSent(sent)) Answer(conn, id, 0);
}

// Reads what came on conn; false when it ended or broke the protocol.
bool Receive(const std::shared_ptr<Connection> &conn) {
    char buf[4096];
    ssize_t n;
    do {
        n = recv(conn->fd, buf, sizeof buf, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK;
    if (n == 0) return false;
    conn->in.append(buf, size_t(n));
    size_t at = 0;
    while (conn->in.size() - at >= sizeof(Frame)) {
        Frame frame;
        memcpy(&frame, conn->in.data() + at, sizeof frame);
        at += sizeof frame;
        if (frame.kind != kPost && frame.kind != kSend) return false;
        Deliver(conn, frame);
    }
    conn->in.erase(0, at);
    return true;
}

// The listening thread: until stopFd is written.
void Listen(int listenFd, int stopFd, std::shared_ptr<std::promise<void>> started) {
    std::unique_lock<std::mutex> busy(*g_listenerBusy);
    started->set_value();
    started.reset();
    std::map<int, std::shared_ptr<Connection>> conns;
    for (;;) {
        std::vector<pollfd> fds = {{stopFd, POLLIN, 0}, {listenFd, POLLIN, 0}};
        for (auto &entry : conns) fds.push_back({entry.first, POLLIN, 0});
        busy.unlock();
        const int ready = poll(fds.data(), nfds_t(fds.size()), -1);
        busy.lock();
        if (ready < 0) {
            if (errno != EINTR) usleep(10000);
            continue;
        }
        if (fds[0].revents != 0) break;
        for (size_t i = 2; i < fds.size(); ++i) {
            if (fds[i].revents == 0) continue;
            auto it = conns.find(fds[i].fd);
            if (!Receive(it->second)) conns.erase(it);
        }
        if (fds[1].revents != 0) {
            int fd = Track(accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC));
            if (fd >= 0) {
                SetTimeouts(fd);
                conns[fd] = std::make_shared<Connection>(fd);
            } else if (errno == EMFILE || errno == ENFILE) {
                usleep(10000);  // out of descriptors: let the others drain
            }
        }
    }
    conns.clear();
    CloseTracked(listenFd);
    CloseTracked(stopFd);
}

// Under the lock: this process stops listening on its old device.
void RetireLocked(State &s) {
    if (s.stopFd >= 0) {
        uint64_t one = 1;
        ssize_t rc = write(s.stopFd, &one, sizeof one);
        (void)rc;
        DropDirectoryEntry(s.root, s.number);
    }
    s.stopFd = -1;
    s.number = 0;
    s.listening = false;
}

// Under the lock: takes a number on s.root and starts listening.
void StartLocked(State &s) {
    uint32_t number = 0;
    if (AllocateProcessNumber(s.root, &number) != ERROR_SUCCESS) {
        s.number = kUnlistedProcessBase | (uint32_t(getpid()) & (kUnlistedProcessBase - 1));
        return;
    }
    s.number = number;
    ProcessStartTime(getpid(), &s.startTime);
    int listenFd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int stopFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (listenFd < 0 || stopFd < 0 || BindDirectorySocket(s.root, number, listenFd) != 0 || listen(listenFd, 64) < 0) {
        if (listenFd >= 0) close(listenFd);
        if (stopFd >= 0) close(stopFd);
        return;  // the number stays: handles stay unique, only other processes cannot reach us
    }
    s.fds.insert(listenFd);
    s.fds.insert(stopFd);
    s.stopFd = stopFd;
    s.listening = true;
    // Returns once the thread runs: a fork never meets it half-started.
    auto started = std::make_shared<std::promise<void>>();
    std::future<void> running = started->get_future();
    std::thread(Listen, listenFd, stopFd, started).detach();
    running.wait();
}

// The open device's root and this process's number on it (0 while it has
// none and create is false). Windows made while no device is open stay
// this process's own: nothing opens a device for them.
bool Identity(bool create, std::string *root, uint32_t *number) {
    std::string current;
    bool open = DeviceRootIfOpen(&current);
    State &s = *g_state;
    std::lock_guard<std::mutex> guard(s.lock);
    if (!open) {
        if (!s.root.empty()) RetireLocked(s);
        s.root.clear();
        return false;
    }
    if (s.root != current) {
        RetireLocked(s);
        s.root = current;
    }
    if (create && s.number == 0) StartLocked(s);
    *root = s.root;
    *number = s.number;
    return true;
}

int Connect(const std::string &root, uint32_t number) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    SetTimeouts(fd);  // also bounds the connect
    int err = ConnectDirectorySocket(root, number, fd);
    if (err == 0) return Track(fd);
    close(fd);
    if (err == ECONNREFUSED || err == ENOENT) DropDirectoryEntry(root, number);  // nobody listens: dead
    return -1;
}

// Whether a kept post connection still reaches its process: the receiver
// never writes on it, so anything readable is its end.
bool StillOpen(int fd) {
    char c;
    ssize_t n = recv(fd, &c, 1, MSG_DONTWAIT | MSG_PEEK);
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
}

bool PostToProcess(const std::string &root, uint32_t number, const Frame &frame) {
    State &s = *g_state;
    std::lock_guard<std::mutex> guard(s.postLock);
    auto key = std::make_pair(root, number);
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto it = s.postConnections.find(key);
        bool kept = it != s.postConnections.end();
        int fd = kept ? it->second : Connect(root, number);
        if (fd < 0) break;
        if ((!kept || StillOpen(fd)) && WriteFrame(fd, frame)) {
            s.postConnections[key] = fd;
            return true;
        }
        if (kept) s.postConnections.erase(it);
        CloseTracked(fd);
        if (!kept) break;  // a fresh connection failed: the process is gone
    }
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return false;
}

Frame MakeFrame(uint32_t kind, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return Frame{kind, msg, 0, uint64_t(reinterpret_cast<uintptr_t>(hwnd)), uint64_t(wParam), int64_t(lParam)};
}

}  // namespace

uint32_t OwnProcessNumber() {
    std::string root;
    uint32_t number = 0;
    if (!Identity(true, &root, &number) || number == 0)
        return kUnlistedProcessBase | (uint32_t(getpid()) & (kUnlistedProcessBase - 1));
    return number;
}

bool IsForeignHandle(HWND hwnd) {
    if (hwnd == nullptr || hwnd == HWND_BROADCAST) return false;
    uint32_t target = HandleProcessNumber(hwnd);
    if (target == 0 || target >= kUnlistedProcessBase) return false;
    std::string root;
    uint32_t own = 0;
    return Identity(false, &root, &own) && target != own;
}

bool ForeignPost(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    std::string root;
    uint32_t own = 0;
    if (!Identity(false, &root, &own)) return false;
    return PostToProcess(root, HandleProcessNumber(hwnd), MakeFrame(kPost, hwnd, msg, wParam, lParam));
}

bool ForeignSend(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, int timeoutMs, LRESULT *result) {
    *result = 0;
    std::string root;
    uint32_t own = 0;
    if (!Identity(false, &root, &own)) return false;
    int fd = Connect(root, HandleProcessNumber(hwnd));
    if (fd < 0 || !WriteFrame(fd, MakeFrame(kSend, hwnd, msg, wParam, lParam))) {
        CloseTracked(fd);
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    // Waits for the answer, handling what is sent to this thread's own
    // windows meanwhile: a receiver that sends back is served.
    std::shared_ptr<ThreadQueue> queue = CurrentQueue();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    Frame reply;
    size_t got = 0;
    DWORD err = ERROR_SUCCESS;
    for (;;) {
        queue->ClearWake();
        HandleSentMessages(*queue);
        ssize_t n = recv(fd, reinterpret_cast<char *>(&reply) + got, sizeof reply - got, MSG_DONTWAIT);
        if (n > 0) {
            got += size_t(n);
            if (got == sizeof reply) break;
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            err = ERROR_INVALID_WINDOW_HANDLE;  // the receiver died before it answered
            break;
        }
        int waitMs = -1;
        if (timeoutMs >= 0) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                              std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                err = ERROR_TIMEOUT;
                break;
            }
            waitMs = int(left.count()) + 1;
        }
        queue->WaitForWakeOr(fd, waitMs);
    }
    CloseTracked(fd);
    if (err == ERROR_SUCCESS && reply.kind != kReply) err = ERROR_INVALID_WINDOW_HANDLE;
    if (err != ERROR_SUCCESS) {
        SetLastError(err);
        return false;
    }
    *result = LRESULT(reply.lParam);
    return true;
}

void ForeignBroadcastPost(UINT msg, WPARAM wParam, LPARAM lParam) {
    std::string root;
    uint32_t own = 0;
    if (!Identity(false, &root, &own)) return;
    for (const DirectoryEntry &e : ReadDirectory(root, own))
        PostToProcess(root, e.number, MakeFrame(kPost, HWND_BROADCAST, msg, wParam, lParam));
}

void ForeignBroadcastSend(UINT msg, WPARAM wParam, LPARAM lParam) {
    for (const DirectoryEntry &e : ForeignProcesses()) {
        for (const DirectoryWindow &w : e.windows) {
            LRESULT ignored;
            if (w.parent == nullptr) ForeignSend(w.hwnd, msg, wParam, lParam, kBroadcastSendBoundMs, &ignored);
        }
    }
}

std::vector<DirectoryEntry> ForeignProcesses() {
    std::string root;
    uint32_t own = 0;
    if (!Identity(false, &root, &own)) return {};
    return ReadDirectory(root, own);
}

bool ForeignWindow(HWND hwnd, DirectoryWindow *window, DWORD *pid) {
    std::string root;
    uint32_t own = 0;
    if (!IsForeignHandle(hwnd) || !Identity(false, &root, &own)) return false;
    DirectoryEntry entry;
    if (!ReadDirectoryEntry(root, HandleProcessNumber(hwnd), &entry)) return false;
    for (DirectoryWindow &w : entry.windows) {
        if (w.hwnd != hwnd) continue;
        *window = std::move(w);
        *pid = entry.pid;
        return true;
    }
    return false;
}

void PublishWindows() {
    State &s = *g_state;
    std::lock_guard<std::mutex> publishing(s.publishLock);
    std::string root;
    uint32_t number = 0;
    if (!Identity(false, &root, &number) || number == 0) return;
    DirectoryEntry entry;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        if (!s.listening) return;  // nobody could reach the windows listed
        entry.startTime = s.startTime;
    }
    entry.number = number;
    entry.pid = DWORD(getpid());
    entry.windows = WindowsListed(number);
    WriteDirectoryEntry(root, entry);  // a failure leaves the old list: contact still finds the truth
}

PLATAPI void SetIncomingPostTranslator(UINT msg, IncomingPostTranslator fn) {
    std::string root;
    if (fn != nullptr && !DeviceCurrentRoot(&root)) return;
    std::lock_guard<std::mutex> guard(g_state->lock);
    if (fn != nullptr) {
        g_state->translators[msg] = {root, fn};
    } else {
        g_state->translators.erase(msg);
    }
}

}  // namespace vplat
