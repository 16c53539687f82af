// A whole initial e-mail sync of N messages over loopback: the engine with
// its own data manager, e-mail only and push off, against a small HTTP
// server of the bench's own that serves answers made before the run:
// OPTIONS, the folder hierarchy (the Inbox), the Inbox's first Sync, the
// estimate, then the mail in windows with MoreAvailable until all N are
// sent. Each message carries headers and a 4 KB body; one in ten lists a
// 100 KB attachment that stays on the server.
//
// The server is a child process of its own, and so is the client, with a
// device of its own; the client's rusage (wait4) is then the client's alone:
// its CPU time and its peak resident memory. The answers are built in the
// server's process, so their size never shows in the client's figures.
//
// Per size: the wall and client CPU time from StartSync to the run's end
// (the null record), CPU per message and as a share of the wall time, the
// client's peak resident memory (wait4; "run peak" as it stood when the run
// ended, before the bench counts the Inbox), the most SQLite held at once,
// and the client process's whole CPU time. Any size can be given as an
// argument; by default 1,000 and 10,000.
//
// With --peer the same messages come from the real test server instead
// (scripts/peer.sh up, then eval "$(scripts/peer.sh env)"): they are put in
// carol's Inbox over IMAP before the run and taken off again after it, and
// the wall time is then that of a sync with a real server behind loopback.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ActiveSyncEngineConstants.h"
#include "BenchDevice.h"
#include "PeerMailbox.h"
#include "DActiveSyncEngine.h"
#include "DActiveTaskPump.h"
#include "DClientResponse.h"
#include "DWinMobMessageManager.h"
#include "DWinMobOutlookMessageCollection.h"
#include "IActiveSyncClient.h"
#include "WbxmlAdapter.h"
#include "WbxmlTree.h"
#include "device.h"
#include "vplatform_mail.h"
#include "winuser.h"
#include "wintime.h"

namespace {

const char *const kContentType = "application/vnd.ms-sync.wbxml";
const char *const kProtocolVersions = "2.5,12.0,12.1,14.0,14.1";
const char *const kProtocolCommands =
    "Sync,SendMail,SmartForward,SmartReply,GetAttachment,GetHierarchy,CreateCollection,DeleteCollection,"
    "MoveCollection,FolderSync,FolderCreate,FolderDelete,FolderUpdate,MoveItems,GetItemEstimate,MeetingResponse,"
    "Search,Settings,Ping,ItemOperations,ResolveRecipients,ValidateCert";
const char *const kInboxID = "INBOX";
constexpr unsigned kWindowSize = 50;
constexpr int kAttachmentEvery = 10;
constexpr unsigned kAttachmentBytes = 100 * 1024;
// A run that has not ended by then is stuck: its client is killed.
constexpr int kRunLimitSeconds = 900;

// ------------------------------------------------------------- the answers

// An element as the answer holds it: its tag's name in the engine's
// language, its text, its children.
struct El {
    const char *tag;
    std::string text;
    std::vector<El> kids;
};

El Text(const char *tag, std::string text) { return El{tag, std::move(text), {}}; }
El Parent(const char *tag, std::vector<El> kids) { return El{tag, std::string(), std::move(kids)}; }

bool Build(WBXMLTree *tree, WBXMLTreeNode *parent, const El &el) {
    WBXMLTreeNode *node = nullptr;
    if ((el.text.empty() ? CreateElementNode(&node, el.tag) : CreateTextElementNode(&node, el.tag, el.text.c_str())) !=
        kNoError)
        return false;
    if (!WbxmlAddNode(tree, parent, node)) {
        WbxmlDestroyNode(node);
        return false;
    }
    for (const El &kid : el.kids)
        if (!Build(tree, node, kid)) return false;
    return true;
}

// The document as WBXML, the server's form; "" on failure.
std::string Encode(const El &root) {
    WBXMLTree *tree = nullptr;
    if (CreateWbxmlTree(&tree) != kNoError) return std::string();
    std::string out;
    unsigned char *bytes = nullptr;
    unsigned length = 0;
    if (Build(tree, nullptr, root) && WbxmlEncodeTree(tree, &bytes, &length) == kWbxmlOk)
        out.assign(reinterpret_cast<char *>(bytes), length);
    WbxmlFreeBytes(bytes);
    WbxmlDestroyTree(tree);
    return out;
}

// FolderHierarchy (page 7): the Inbox only.
El FolderSyncAnswer() {
    return Parent("0x16_0x07",
                  {Text("0x0C_0x07", "1"), Text("0x12_0x07", "F1"),
                   Parent("0x0E_0x07", {Text("0x17_0x07", "1"),
                                        Parent("0x0F_0x07", {Text("0x08_0x07", kInboxID), Text("0x09_0x07", "0"),
                                                             Text("0x07_0x07", "Inbox"), Text("0x0A_0x07", "2")})})});
}

// GetItemEstimate (page 6).
El EstimateAnswer(int count) {
    return Parent("0x05_0x06",
                  {Parent("0x0D_0x06", {Text("0x0E_0x06", "1"),
                                        Parent("0x08_0x06", {Text("0x09_0x06", "Email"), Text("0x0A_0x06", kInboxID),
                                                             Text("0x0C_0x06", std::to_string(count))})})});
}

std::string Body(int i) {
    std::string body = "Message " + std::to_string(i) + "\r\n";
    while (body.size() < 4096) body += "The quick brown fox jumps over the lazy dog. ";
    body.resize(4096);
    return body;
}

// One server message (AirSync page 0, Email page 2).
El MailAdd(int i) {
    char date[32];
    std::snprintf(date, sizeof date, "2009-%02d-%02dT%02d:%02d:%02d.000Z", 1 + i % 12, 1 + i % 28, i % 24, i % 60,
                  (i * 7) % 60);
    const std::string serverId = "5:" + std::to_string(i + 1);
    El data = Parent("0x1D_0x00", {Text("0x16_0x02", "\"Bob Lee\" <bob@example.com>, Carol <carol@example.com>"),
                                   Text("0x18_0x02", "Alice Smith <alice@example.com>"),
                                   Text("0x14_0x02", "Subject " + std::to_string(i + 1)), Text("0x0F_0x02", date),
                                   Text("0x12_0x02", std::to_string(i % 3)), Text("0x15_0x02", "0")});
    if (i % kAttachmentEvery == 0)
        data.kids.push_back(
            Parent("0x06_0x02", {Parent("0x05_0x02", {Text("0x07_0x02", serverId + ":1"),
                                                      Text("0x08_0x02", std::to_string(kAttachmentBytes)),
                                                      Text("0x10_0x02", "report-" + std::to_string(i + 1) + ".pdf"),
                                                      Text("0x0A_0x02", "1")})}));
    data.kids.push_back(Text("0x0C_0x02", Body(i)));
    return Parent("0x07_0x00", {Text("0x0D_0x00", serverId), std::move(data)});
}

// The Inbox's Sync answer with the new key, messages [first, end), and
// MoreAvailable when more wait.
El SyncAnswer(const std::string &key, int first, int end, bool more) {
    El collection = Parent("0x0F_0x00", {Text("0x10_0x00", "Email"), Text("0x0B_0x00", key),
                                         Text("0x12_0x00", kInboxID), Text("0x0E_0x00", "1")});
    if (more) collection.kids.push_back(Parent("0x14_0x00", {}));
    if (end > first) {
        El commands = Parent("0x16_0x00", {});
        for (int i = first; i < end; ++i) commands.kids.push_back(MailAdd(i));
        collection.kids.push_back(std::move(commands));
    }
    return Parent("0x05_0x00", {Parent("0x1C_0x00", {std::move(collection)})});
}

std::string HttpAnswer(const std::string &body, bool wbxml = true) {
    std::string text = "HTTP/1.1 200 OK\r\n";
    if (wbxml) text += std::string("Content-Type: ") + kContentType + "\r\n";
    return text + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// Every answer of the run, whole HTTP responses, made before it.
struct Answers {
    std::string options, folders, estimateAll, estimateNone, firstSync, emptySync;
    std::vector<std::string> windows;  // windows[w]: the answer to key w + 1
    int messages = 0;

    bool Make(int count) {
        messages = count;
        options = "HTTP/1.1 200 OK\r\nAllow: OPTIONS,POST\r\nMS-Server-ActiveSync: 14.1\r\nMS-ASProtocolVersions: " +
                  std::string(kProtocolVersions) + "\r\nMS-ASProtocolCommands: " + kProtocolCommands +
                  "\r\nPublic: OPTIONS,POST\r\nCache-Control: private\r\nContent-Length: 0\r\n\r\n";
        const std::string bodies[] = {Encode(FolderSyncAnswer()), Encode(EstimateAnswer(count)),
                                      Encode(EstimateAnswer(0)), Encode(SyncAnswer("1", 0, 0, false))};
        for (const std::string &b : bodies)
            if (b.empty()) return false;
        folders = HttpAnswer(bodies[0]);
        estimateAll = HttpAnswer(bodies[1]);
        estimateNone = HttpAnswer(bodies[2]);
        firstSync = HttpAnswer(bodies[3]);
        const int windowCount = (count + int(kWindowSize) - 1) / int(kWindowSize);
        for (int w = 0; w < windowCount; ++w) {
            const int first = w * int(kWindowSize), end = std::min(count, first + int(kWindowSize));
            const std::string body = Encode(SyncAnswer(std::to_string(w + 2), first, end, end < count));
            if (body.empty()) return false;
            windows.push_back(HttpAnswer(body));
        }
        // Asked again with the last key: nothing new.
        const std::string empty = Encode(SyncAnswer(std::to_string(windowCount + 1), 0, 0, false));
        if (empty.empty()) return false;
        emptySync = HttpAnswer(empty);
        return true;
    }
};

// ---------------------------------------------------------------- the server

// The AirSync SyncKey (page 0, token 0x0B) of a WBXML request; "" when none.
// Reads the token stream just far enough: page switches, tags, inline
// strings and opaque data.
std::string RequestSyncKey(const std::string &bytes) {
    size_t i = 0;
    auto multiByte = [&](uint32_t *value) {
        *value = 0;
        for (int n = 0; n < 5 && i < bytes.size(); ++n) {
            const unsigned char b = static_cast<unsigned char>(bytes[i++]);
            *value = (*value << 7) | (b & 0x7F);
            if ((b & 0x80) == 0) return true;
        }
        return false;
    };
    uint32_t value = 0;
    if (bytes.empty()) return std::string();
    ++i;  // version
    if (!multiByte(&value)) return std::string();  // public id
    if (value == 0 && !multiByte(&value)) return std::string();
    if (!multiByte(&value)) return std::string();  // charset
    if (!multiByte(&value)) return std::string();  // string table
    i += value;
    unsigned page = 0;
    bool keyNext = false;
    while (i < bytes.size()) {
        const unsigned char token = static_cast<unsigned char>(bytes[i++]);
        if (token == 0x00) {  // SWITCH_PAGE
            if (i < bytes.size()) page = static_cast<unsigned char>(bytes[i++]);
        } else if (token == 0x01) {  // END
            keyNext = false;
        } else if (token == 0x03) {  // STR_I
            const size_t end = bytes.find('\0', i);
            if (end == std::string::npos) return std::string();
            if (keyNext) return bytes.substr(i, end - i);
            i = end + 1;
        } else if (token == 0xC3) {  // OPAQUE
            if (!multiByte(&value)) return std::string();
            i += value;
        } else {
            keyNext = page == 0 && (token & 0x3F) == 0x0B && (token & 0x40) != 0;
        }
    }
    return std::string();
}

// What the server saw, handed back to the bench at its end.
struct ServerReport {
    int options = 0, folderSyncs = 0, estimates = 0, syncs = 0, others = 0;
    int windowsSent = 0;
    char unexpected[120] = {};
};

class Server {
public:
    explicit Server(const Answers *answers) : m_answers(answers) {}

    bool Listen(unsigned short *port) {
        m_listen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (m_listen < 0 || bind(m_listen, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
            listen(m_listen, 16) != 0 || getsockname(m_listen, reinterpret_cast<sockaddr *>(&addr), &len) != 0)
            return false;
        *port = ntohs(addr.sin_port);
        return true;
    }

    // Serves until stopFd turns readable (or hangs up).
    void Run(int stopFd) {
        std::vector<std::thread> workers;
        for (;;) {
            pollfd fds[2] = {{m_listen, POLLIN, 0}, {stopFd, POLLIN, 0}};
            if (poll(fds, 2, -1) < 0) break;
            if (fds[1].revents != 0) break;
            const int fd = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            workers.emplace_back(&Server::Serve, this, fd, stopFd);
        }
        for (auto &t : workers) t.join();
    }

    ServerReport Report() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_report;
    }

private:
    // Waits for the client's bytes; false at the stop or the client's end.
    static bool ReadMore(int fd, int stopFd, std::string *pending) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
        if (poll(fds, 2, -1) <= 0 || fds[1].revents != 0) return false;
        char buffer[16384];
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return false;
        pending->append(buffer, size_t(n));
        return true;
    }

    static std::string Header(const std::string &head, const char *name) {
        std::string lower = head;
        for (char &c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
        const std::string key = std::string("\r\n") + name + ":";
        const size_t at = lower.find(key);
        if (at == std::string::npos) return std::string();
        size_t begin = at + key.size();
        const size_t end = head.find("\r\n", begin);
        while (begin < end && head[begin] == ' ') ++begin;
        return head.substr(begin, end - begin);
    }

    // Reads one request: its first line, headers and body (plain or chunked).
    static bool ReadRequest(int fd, int stopFd, std::string *pending, std::string *line, std::string *head,
                            std::string *body) {
        size_t end;
        while ((end = pending->find("\r\n\r\n")) == std::string::npos)
            if (!ReadMore(fd, stopFd, pending)) return false;
        *head = pending->substr(0, end + 2);
        pending->erase(0, end + 4);
        *line = head->substr(0, head->find("\r\n"));
        body->clear();
        if (Header(*head, "transfer-encoding") == "chunked") {
            for (;;) {
                size_t lineEnd;
                while ((lineEnd = pending->find("\r\n")) == std::string::npos)
                    if (!ReadMore(fd, stopFd, pending)) return false;
                const size_t size = std::strtoul(pending->substr(0, lineEnd).c_str(), nullptr, 16);
                pending->erase(0, lineEnd + 2);
                while (pending->size() < size + 2)
                    if (!ReadMore(fd, stopFd, pending)) return false;
                body->append(*pending, 0, size);
                pending->erase(0, size + 2);
                if (size == 0) return true;  // no trailers are sent
            }
        }
        const size_t length = std::strtoul(Header(*head, "content-length").c_str(), nullptr, 10);
        while (pending->size() < length)
            if (!ReadMore(fd, stopFd, pending)) return false;
        body->assign(*pending, 0, length);
        pending->erase(0, length);
        return true;
    }

    static std::string Command(const std::string &line) {
        const size_t at = line.find("Cmd=");
        if (at == std::string::npos) return std::string();
        const size_t end = line.find_first_of("& ", at);
        return line.substr(at + 4, end == std::string::npos ? std::string::npos : end - at - 4);
    }

    void Unexpected(const std::string &what) {
        if (m_report.unexpected[0] == 0) std::snprintf(m_report.unexpected, sizeof m_report.unexpected, "%s", what.c_str());
    }

    // The answer to one request; null for one the run never asks.
    const std::string *Answer(const std::string &line, const std::string &body) {
        std::lock_guard<std::mutex> guard(m_lock);
        if (line.compare(0, 8, "OPTIONS ") == 0) {
            ++m_report.options;
            return &m_answers->options;
        }
        const std::string command = Command(line);
        if (command == "FolderSync") {
            ++m_report.folderSyncs;
            return &m_answers->folders;
        }
        if (command == "GetItemEstimate") {
            ++m_report.estimates;
            return m_report.windowsSent == 0 ? &m_answers->estimateAll : &m_answers->estimateNone;
        }
        if (command == "Sync") {
            ++m_report.syncs;
            const std::string key = RequestSyncKey(body);
            if (key == "0") return &m_answers->firstSync;
            const long n = std::strtol(key.c_str(), nullptr, 10);
            if (n < 1) {
                Unexpected("a Sync with key \"" + key + "\"");
                return nullptr;
            }
            if (size_t(n - 1) < m_answers->windows.size()) {
                m_report.windowsSent = std::max(m_report.windowsSent, int(n));
                return &m_answers->windows[size_t(n - 1)];
            }
            return &m_answers->emptySync;
        }
        ++m_report.others;
        Unexpected("a request the run never asks: " + line);
        return nullptr;
    }

    void Serve(int fd, int stopFd) {
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::string pending, line, head, body;
        while (ReadRequest(fd, stopFd, &pending, &line, &head, &body)) {
            const std::string *answer = Answer(line, body);
            static const std::string refused = "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n";
            const std::string &text = answer != nullptr ? *answer : refused;
            for (size_t sent = 0; sent < text.size();) {
                const ssize_t n = send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) break;
                sent += size_t(n);
            }
            if (Header(head, "connection") == "close") break;
        }
        close(fd);
    }

    const Answers *m_answers;
    int m_listen = -1;
    std::mutex m_lock;
    ServerReport m_report;
};

// ---------------------------------------------------------------- the client

// Hears the run's end (the null record) and the first error.
class BenchClient : public IActiveSyncClient {
public:
    DErrorCode ActiveSync_ReportError(DErrorCode code, VString *) override {
        if (error == kNoError) error = code;
        return kNoError;
    }
    DErrorCode ActiveSync_ReceivedResponse(DClientResponse *r) override {
        if (r == nullptr) over = true;
        return kNoError;
    }
    DErrorCode ActiveSync_ReportStatus(DStatusData *) override { return kNoError; }
    uint32_t ActiveSync_GetClientID() override { return kClientTagApplication; }
    BOOL ActiveSync_PreSyncCheck() override { return TRUE; }

    DErrorCode error = kNoError;
    bool over = false;
};

VString Narrow(const std::string &text) {
    VString s;
    s.AssignCStr(text.c_str(), kVStringWindows1252);
    return s;
}

// Where the client syncs from: the server's "host:port", the account, and a
// device id (the real server keeps sync state by device id).
struct Target {
    std::string server;
    std::string user = "alice", password = "secret1";
    std::string deviceId = "VANTRELBENCH0001";
};

// The product key as setup leaves it, the mail account provisioned, and
// the account: the target, e-mail only, push off, no date filter.
bool PrepareDevice(BenchGlobal *global, const Target &target) {
    if (!CreateProductKey()) return false;
    if (vplat::MailAccountProvision(kMailStoreName) != S_OK) return false;
    DWinMobCorvanePreferences &prefs = global->prefs;
    prefs.SetServer(Narrow(target.server));
    prefs.SetUseSSL(0);
    prefs.SetUser(Narrow(target.user));
    prefs.SetPassword(Narrow(target.password));
    prefs.SetQVDeviceID(Narrow(target.deviceId));
    prefs.SetQVDeviceType(Narrow("PocketPC"));
    prefs.SetUserSyncEMail(1);
    prefs.SetUserSyncCalendar(0);
    prefs.SetUserSyncContacts(0);
    prefs.SetUserSyncTasks(0);
    prefs.SetPeakPushSyncEnabled(0);
    prefs.SetOffPeakPushSyncEnabled(0);
    prefs.SetSyncEMailDateRange(0);
    prefs.SetWindowSize(kWindowSize);
    return prefs.SaveAll() == kNoError;
}

uint32_t InboxCount(BenchGlobal *global) {
    SilentManagerClient quiet;
    DWinMobMessageManager *reader = nullptr;
    DWinMobOutlookMessageCollection *inbox = nullptr;
    uint32_t count = 0;
    if (AllocateMessageManager(&reader, global, &quiet) == kNoError && reader->Open(nullptr) == kNoError &&
        reader->GetInboxCollection(&inbox) == kNoError && inbox != nullptr)
        inbox->GetCount(&count);
    delete reader;
    return count;
}

double CpuSeconds(const rusage &u) {
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// What the client process hands back.
struct ClientFigures {
    double wallSeconds = 0;  // StartSync to the run's end
    double cpuSeconds = 0;   // the client's CPU time over the same span
    uint32_t stored = 0;
    long runPeakKB = 0;     // peak resident memory when the run ended, before the check of the Inbox
    long sqlitePeakKB = 0;  // the most SQLite held at once (its caches among it)
    char failure[160] = {};
};

void Fail(ClientFigures *f, const std::string &why) { std::snprintf(f->failure, sizeof f->failure, "%s", why.c_str()); }

// The measured run, in the client's process: afterwards the Inbox must hold
// exactly the expected count.
void RunClient(uint32_t expected, const Target &target, ClientFigures *f) {
    vplat::ClockUseReal();
    BenchGlobal global;
    if (!PrepareDevice(&global, target)) return Fail(f, "the device could not be prepared");
    BenchClient client;
    {
        DActiveSyncEngine engine;
        if (engine.Initialize(&global, &client) != kNoError) return Fail(f, "the engine could not be initialised");

        rusage before = {}, after = {};
        getrusage(RUSAGE_SELF, &before);
        const auto start = Clock::now();
        const DErrorCode err = engine.StartSync(kRunFlagEMail, 0, kLockModeWait, kRunKindUser);
        if (err != kNoError) return Fail(f, "StartSync returned " + std::to_string(err));
        // The engine's thread as the product runs it: the pump, then a wait
        // for the next message, timer or call posted to this thread.
        for (;;) {
            DActiveTaskPump pump(&global.driver);
            pump.Run();
            if (client.over) break;
            WaitMessage();
        }
        f->wallSeconds = Seconds(start);
        getrusage(RUSAGE_SELF, &after);
        f->cpuSeconds = CpuSeconds(after) - CpuSeconds(before);
        f->runPeakKB = after.ru_maxrss;
    }
    sqlite3_int64 current = 0, highest = 0;
    if (sqlite3_status64(SQLITE_STATUS_MEMORY_USED, &current, &highest, 0) == SQLITE_OK)
        f->sqlitePeakKB = long(highest / 1024);
    if (client.error != kNoError) return Fail(f, "the engine reported error " + std::to_string(client.error));
    f->stored = InboxCount(&global);
    if (f->stored != expected)
        return Fail(f, "the Inbox holds " + std::to_string(f->stored) + " messages, not " + std::to_string(expected));
}

// ------------------------------------------------------------------ the run

struct SizeFigures {
    ClientFigures client;
    ServerReport server;
    double processCpuSeconds = 0;  // the client process's whole life (wait4)
    long peakKB = 0;
};

bool ReadAll(int fd, void *data, size_t size) {
    char *p = static_cast<char *>(data);
    while (size > 0) {
        const ssize_t n = read(fd, p, size);
        if (n <= 0) return false;
        p += n;
        size -= size_t(n);
    }
    return true;
}

// The client in a child process on a device of its own, in a temporary
// folder removed afterwards: its figures, and its rusage from wait4.
bool RunClientProcess(uint32_t expected, const Target &target, SizeFigures *out, std::string *why) {
    char folder[] = "/tmp/vantrel-initialsync-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        *why = "no temporary folder";
        return false;
    }
    const std::string device = std::string(folder) + "/device";
    int figures[2] = {-1, -1};
    pid_t client = -1;
    if (pipe(figures) == 0) client = fork();
    if (client == 0) {
        close(figures[0]);
        ClientFigures f;
        setenv(VANTREL_DEVICE_ENV, device.c_str(), 1);
        if (!DeviceOpen(device.c_str()))
            Fail(&f, "the device could not be opened");
        else
            RunClient(expected, target, &f);
        _exit(write(figures[1], &f, sizeof f) == ssize_t(sizeof f) ? 0 : 1);
    }
    if (figures[1] >= 0) close(figures[1]);
    bool ok = client > 0;
    if (!ok) *why = "the client could not start";
    if (ok) {
        // The client's figures, or its end; a stuck run is killed.
        pollfd fds = {figures[0], POLLIN, 0};
        if (poll(&fds, 1, kRunLimitSeconds * 1000) <= 0) {
            kill(client, SIGKILL);
            *why = "the run did not end in time";
            ok = false;
        }
        ok = ReadAll(figures[0], &out->client, sizeof out->client) && ok;
        int status = 0;
        rusage usage = {};
        if (wait4(client, &status, 0, &usage) != client || !WIFEXITED(status) || WEXITSTATUS(status) != 0) ok = false;
        out->peakKB = usage.ru_maxrss;
        out->processCpuSeconds = CpuSeconds(usage);
        if (!ok && why->empty()) *why = "the client failed";
    }
    if (figures[0] >= 0) close(figures[0]);
    if (ok && out->client.failure[0] != 0) {
        *why = out->client.failure;
        ok = false;
    }
    const std::string clean = std::string("rm -rf '") + folder + "'";
    if (std::system(clean.c_str()) != 0) ok = false;
    return ok;
}

// One size from prepared answers: the server in one child, the client in another.
bool RunSize(int count, SizeFigures *out, std::string *why) {
    // The server: builds every answer, listens, says its port, serves until
    // the stop pipe closes, then hands back its report.
    int ready[2], stop[2];
    if (pipe(ready) != 0 || pipe(stop) != 0) {
        *why = "no pipes";
        return false;
    }
    const pid_t server = fork();
    if (server == 0) {
        close(ready[0]);
        close(stop[1]);
        Answers answers;
        Server s(&answers);
        unsigned short port = 0;
        if (!answers.Make(count) || !s.Listen(&port)) port = 0;
        if (write(ready[1], &port, sizeof port) != ssize_t(sizeof port) || port == 0) _exit(1);
        s.Run(stop[0]);
        const ServerReport report = s.Report();
        _exit(write(ready[1], &report, sizeof report) == ssize_t(sizeof report) ? 0 : 1);
    }
    close(ready[1]);
    close(stop[0]);
    unsigned short port = 0;
    bool ok = server > 0 && ReadAll(ready[0], &port, sizeof port) && port != 0;
    if (!ok) *why = "the server did not start";
    if (ok) {
        Target target;
        target.server = "127.0.0.1:" + std::to_string(port);
        ok = RunClientProcess(uint32_t(count), target, out, why);
    }
    close(stop[1]);
    if (server > 0) {
        if (!ReadAll(ready[0], &out->server, sizeof out->server)) {
            if (ok) *why = "the server gave no report";
            ok = false;
        }
        int status = 0;
        waitpid(server, &status, 0);
    }
    close(ready[0]);
    if (ok && out->server.unexpected[0] != 0) {
        *why = std::string("the server saw ") + out->server.unexpected;
        ok = false;
    }
    return ok;
}

// ------------------------------------------------------ the real test server

// The real server on loopback as scripts/peer.sh exports it: its HTTP
// endpoint, its IMAP store, and the user whose Inbox the run fills (carol,
// whom the interop tests leave alone).
struct PeerTarget {
    std::string server, imap, user, password;
};

bool LoadPeer(PeerTarget *peer, std::string *why) {
    const char *url = std::getenv("VANTREL_PEER_URL");
    const char *imap = std::getenv("VANTREL_PEER_IMAP");
    const char *users = std::getenv("VANTREL_PEER_USERS");
    if (url == nullptr || imap == nullptr || users == nullptr) {
        *why = "the test server is not set (scripts/peer.sh up; eval \"$(scripts/peer.sh env)\")";
        return false;
    }
    const std::string prefix = "http://";
    std::string server = url;
    if (server.compare(0, prefix.size(), prefix) != 0) {
        *why = "VANTREL_PEER_URL is not an http:// address";
        return false;
    }
    server = server.substr(prefix.size());
    if (!server.empty() && server.back() == '/') server.pop_back();
    const std::string list = users, key = "carol:";
    const size_t at = list.find(key);
    if (at == std::string::npos) {
        *why = "VANTREL_PEER_USERS names no carol";
        return false;
    }
    const size_t end = list.find(' ', at);
    peer->password = list.substr(at + key.size(), end == std::string::npos ? std::string::npos : end - at - key.size());
    peer->user = "carol";
    peer->server = server;
    peer->imap = imap;
    return true;
}

// One benchmark message as the server stores it: headers, a 4 KB body in
// lines of 64, and on one in ten a 100 KB attachment.
std::string PeerMessage(int i) {
    const std::string boundary = "=_vantrel_bench_" + std::to_string(i);
    const bool attached = i % kAttachmentEvery == 0;
    std::string m = "From: Alice Smith <alice@example.test>\r\nTo: Carol <carol@example.test>\r\n"
                    "Subject: Subject " + std::to_string(i + 1) + "\r\nDate: Thu, 1 Jan 2009 10:00:00 +0000\r\n"
                    "Message-ID: <bench-" + std::to_string(i + 1) + "@example.test>\r\n" +
                    PeerMailbox::kMark + ": 1\r\nMIME-Version: 1.0\r\n";
    const std::string text = "Content-Type: text/plain; charset=us-ascii\r\n\r\n";
    if (attached)
        m += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n--" + boundary + "\r\n";
    m += text;
    const std::string body = Body(i);
    for (size_t at = 0; at < body.size(); at += 64) m += body.substr(at, 64) + "\r\n";
    if (attached) {
        m += "--" + boundary + "\r\nContent-Type: application/pdf; name=\"report-" + std::to_string(i + 1) +
             ".pdf\"\r\nContent-Disposition: attachment; filename=\"report-" + std::to_string(i + 1) +
             ".pdf\"\r\nContent-Transfer-Encoding: base64\r\n\r\n";
        // 100 KB of bytes in base64, lines of 76.
        const std::string line = std::string(76, 'Q');
        for (unsigned done = 0; done < kAttachmentBytes; done += 57) m += line + "\r\n";
        m += "--" + boundary + "--\r\n";
    }
    return m;
}

// One size from the real server: carol's Inbox gets the messages over IMAP,
// a device never seen syncs it, and the messages go again afterwards.
bool RunPeerSize(const PeerTarget &peer, int count, SizeFigures *out, std::string *why) {
    PeerMailbox box(peer.imap, peer.user, peer.password);
    bool ok = box.RemoveMarked();
    const long before = ok ? box.Count() : -1;
    if (before < 0) {
        *why = "the server's Inbox could not be read over IMAP";
        return false;
    }
    for (int i = 0; i < count && ok; ++i) ok = box.Append(PeerMessage(i));
    if (!ok) *why = "the messages could not be put on the server";
    if (ok) {
        Target target;
        target.server = peer.server;
        target.user = peer.user;
        target.password = peer.password;
        target.deviceId = "VBENCH" + std::to_string(getpid()) + std::to_string(time(nullptr));
        ok = RunClientProcess(uint32_t(before + count), target, out, why);
    }
    if (!box.RemoveMarked() && ok) {
        *why = "the messages could not be taken off the server";
        ok = false;
    }
    return ok;
}

}  // namespace

int main(int argc, char **argv) {
    std::vector<int> counts;
    bool fromPeer = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--peer") == 0) {
            fromPeer = true;
            continue;
        }
        const int n = std::atoi(argv[i]);
        if (n <= 0) {
            std::fprintf(stderr, "usage: %s [--peer] [messages ...]\n", argv[0]);
            return 2;
        }
        counts.push_back(n);
    }
    if (counts.empty()) counts = {1000, 10000};
    PeerTarget peer;
    std::string why;
    if (fromPeer && !LoadPeer(&peer, &why)) {
        std::fprintf(stderr, "%s\n", why.c_str());
        return 1;
    }
    std::printf("Initial e-mail sync over loopback %s: window %u, 4 KB bodies, a 100 KB attachment on one in %d\n",
                fromPeer ? "from the real test server" : "from prepared answers", kWindowSize, kAttachmentEvery);
    std::printf("%8s %8s %12s %14s %10s %9s %11s %14s %13s %s\n", "messages", "wall s", "client CPU s",
                "CPU ms/message", "CPU % wall", "peak KB", "run peak KB", "SQLite peak KB", "process CPU s",
                "Sync/Estimate requests");
    std::fflush(stdout);
    std::vector<long> peaks;
    std::vector<double> shares;
    for (int count : counts) {
        SizeFigures f;
        why.clear();
        if (!(fromPeer ? RunPeerSize(peer, count, &f, &why) : RunSize(count, &f, &why))) {
            std::fprintf(stderr, "run of %d messages failed: %s\n", count, why.c_str());
            return 1;
        }
        const double share = 100.0 * f.client.cpuSeconds / f.client.wallSeconds;
        const std::string requests =
            fromPeer ? "-" : std::to_string(f.server.syncs) + "/" + std::to_string(f.server.estimates);
        std::printf("%8d %8.2f %12.2f %14.3f %10.1f %9ld %11ld %14ld %13.2f %s\n", count, f.client.wallSeconds,
                    f.client.cpuSeconds, 1e3 * f.client.cpuSeconds / count, share, f.peakKB, f.client.runPeakKB,
                    f.client.sqlitePeakKB, f.processCpuSeconds, requests.c_str());
        std::fflush(stdout);
        peaks.push_back(f.peakKB);
        shares.push_back(share);
    }
    bool cpuMet = true, memoryMet = true;
    for (double share : shares) cpuMet = cpuMet && share < 20.0;
    for (long peak : peaks) memoryMet = memoryMet && peak < 30 * 1024;
    std::printf("goal: client CPU under 20%% of the wall time: %s\n", cpuMet ? "met" : "NOT met");
    std::printf("goal: peak memory under 30 MB at every size: %s; from the first size to the last it grew by %ld KB\n",
                memoryMet ? "met" : "NOT met", peaks.back() - peaks.front());
    return 0;
}
