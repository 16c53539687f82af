// How the data manager applies a large e-mail Sync answer: N Adds (headers
// and a 4 KB body each) handed to ProcessCommandData as the server's WBXML
// response file, parsed, dispatched and created one by one in the
// provisioned message store's Inbox through the task manager's steps until
// the chain ends. Beside it, the parse alone of the same file in the same
// run. Each size runs in its own process with a device of its own, so its
// peak resident memory is its own; the answer is built by another process
// before, so that its building does not count towards that peak.
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "ActiveSyncLanguage.h"
#include "BenchDevice.h"
#include "DASDP_SyncResponse.h"
#include "DActiveSyncDataManager.h"
#include "DActiveTaskPump.h"
#include "DHTTPTransaction.h"
#include "DWinMobMessageManager.h"
#include "DWinMobOutlookMessageCollection.h"
#include "IActiveSyncDataManagerClient.h"
#include "TempVFile.h"
#include "WbxmlAdapter.h"
#include "WbxmlStream.h"
#include "WbxmlTree.h"
#include "device.h"
#include "vplatform_mail.h"

namespace {

const char *const kInboxID = "inbox";
const char *const kAnswerFile = "answer.wbxml";
constexpr int kParseRuns = 3;

// AirSync (page 0) and Email (page 2) tags.
const char *const kSync = "0x05_0x00";
const char *const kAdd = "0x07_0x00";
const char *const kSyncKey = "0x0B_0x00";
const char *const kServerId = "0x0D_0x00";
const char *const kStatus = "0x0E_0x00";
const char *const kCollection = "0x0F_0x00";
const char *const kClass = "0x10_0x00";
const char *const kCollectionId = "0x12_0x00";
const char *const kCommands = "0x16_0x00";
const char *const kCollections = "0x1C_0x00";
const char *const kApplicationData = "0x1D_0x00";
const char *const kBody = "0x0C_0x02";
const char *const kDateReceived = "0x0F_0x02";
const char *const kImportance = "0x12_0x02";
const char *const kSubject = "0x14_0x02";
const char *const kRead = "0x15_0x02";
const char *const kTo = "0x16_0x02";
const char *const kFrom = "0x18_0x02";

// ---------------------------------------------------------------- the answer

std::string Body(int i) {
    std::string body = "Message " + std::to_string(i) + "\r\n";
    while (body.size() < 4096) body += "The quick brown fox jumps over the lazy dog. ";
    body.resize(4096);
    return body;
}

bool AppendText(WBXMLTreeNode *parent, WBXMLTreeNode **previous, const char *name, const std::string &text) {
    WBXMLTreeNode *node = nullptr;
    if (CreateTextElementNode(&node, name, text.c_str()) != kNoError) return false;
    if (AppendChildNode(parent, *previous, node) != kNoError) {
        WbxmlDestroyNode(node);
        return false;
    }
    *previous = node;
    return true;
}

bool AppendElement(WBXMLTreeNode *parent, WBXMLTreeNode **previous, const char *name, WBXMLTreeNode **node) {
    if (AppendElementNode(parent, *previous, name, node) != kNoError) return false;
    *previous = *node;
    return true;
}

bool AppendMail(WBXMLTreeNode *commands, WBXMLTreeNode **previousAdd, int i) {
    WBXMLTreeNode *add = nullptr, *previous = nullptr, *data = nullptr, *field = nullptr;
    char date[32];
    std::snprintf(date, sizeof date, "2009-%02d-%02dT%02d:%02d:%02d.000Z", 1 + i % 12, 1 + i % 28, i % 24, i % 60,
                  (i * 7) % 60);
    return AppendElement(commands, previousAdd, kAdd, &add) &&
           AppendText(add, &previous, kServerId, "5:" + std::to_string(i + 1)) &&
           AppendElement(add, &previous, kApplicationData, &data) &&
           AppendText(data, &field, kTo, "\"Bob Lee\" <bob@example.com>, Carol <carol@example.com>") &&
           AppendText(data, &field, kFrom, "Alice Smith <alice@example.com>") &&
           AppendText(data, &field, kSubject, "Subject " + std::to_string(i + 1)) &&
           AppendText(data, &field, kDateReceived, date) &&
           AppendText(data, &field, kImportance, std::to_string(i % 3)) &&
           AppendText(data, &field, kRead, std::to_string(i % 2)) && AppendText(data, &field, kBody, Body(i));
}

// The Sync answer as the server sends it, written to hostPath. False on any failure.
bool WriteAnswer(int count, const std::string &hostPath) {
    WBXMLTree *tree = nullptr;
    if (CreateWbxmlTree(&tree) != kNoError) return false;
    WBXMLTreeNode *sync = nullptr;
    bool built = CreateElementNode(&sync, kSync) == kNoError && WbxmlAddNode(tree, nullptr, sync);
    if (!built) WbxmlDestroyNode(sync);
    WBXMLTreeNode *previous = nullptr, *collections = nullptr, *collection = nullptr, *commands = nullptr;
    built = built && AppendElement(sync, &previous, kCollections, &collections);
    previous = nullptr;
    built = built && AppendElement(collections, &previous, kCollection, &collection);
    previous = nullptr;
    built = built && AppendText(collection, &previous, kClass, "Email") &&
            AppendText(collection, &previous, kSyncKey, "K2") &&
            AppendText(collection, &previous, kCollectionId, kInboxID) &&
            AppendText(collection, &previous, kStatus, "1") &&
            AppendElement(collection, &previous, kCommands, &commands);
    WBXMLTreeNode *previousAdd = nullptr;
    for (int i = 0; built && i < count; ++i) built = AppendMail(commands, &previousAdd, i);
    unsigned char *bytes = nullptr;
    unsigned length = 0;
    built = built && WbxmlEncodeTree(tree, &bytes, &length) == kWbxmlOk;
    WbxmlDestroyTree(tree);
    FILE *out = built ? std::fopen(hostPath.c_str(), "wb") : nullptr;
    if (out != nullptr) {
        built = std::fwrite(bytes, 1, length, out) == length;
        built = std::fclose(out) == 0 && built;
    } else {
        built = false;
    }
    WbxmlFreeBytes(bytes);
    return built;
}

// ------------------------------------------------------- the engine's world

// Keeps what the Sync record said.
class SyncClient : public IActiveSyncDataManagerClient {
public:
    DErrorCode ActiveSyncDataManager_ReportError(DErrorCode code, VString *) override {
        error = code;
        return kNoError;
    }
    DErrorCode ActiveSyncDataManager_RecievedResponse(DClientResponse *response) override {
        if (auto *sync = dynamic_cast<DASDP_SyncResponse *>(response)) {
            status = sync->GetStatus();
            added = sync->GetAddedCount();
        }
        return kNoError;
    }
    DErrorCode ActiveSyncDataManager_ReportStatus(DStatusData *) override { return kNoError; }

    DErrorCode error = kNoError;
    uint32_t status = 0, added = 0;
};

// The transfer's result: status 200, a WBXML content type, the answer's bytes in its response file.
class ReceivedAnswer : public DHTTPTransaction {
public:
    explicit ReceivedAnswer(IGlobalData *global) : DHTTPTransaction(global, nullptr) {
        m_status = 200;
        m_contentType.AssignCStr(kWbxmlContentType, kVStringWindows1252);
    }
    // Copies the host file into a fresh temporary response file, a piece at a time.
    bool Load(const std::string &hostPath) {
        VFile *file = nullptr;
        if (EnsureTempVFile(&file) != kNoError || file == nullptr) return false;
        bool open = false;
        file->IsOpen(&open);
        if (SetResponseData(file) != kNoError) return false;
        if (!open && file->Open(kVFileReadWrite) != kNoError) return false;
        FILE *in = std::fopen(hostPath.c_str(), "rb");
        bool ok = in != nullptr;
        char buffer[65536];
        for (size_t got = 0; ok && (got = std::fread(buffer, 1, sizeof buffer, in)) > 0;) {
            uint32_t written = 0;
            ok = file->Write(uint32_t(got), buffer, &written) == kNoError && written == got;
        }
        if (in != nullptr) std::fclose(in);
        return file->Close() == kNoError && ok;
    }
    VFile *Body() const {
        VFile *file = nullptr;
        GetResponseData(&file);
        return file;
    }
};

// The product key as setup leaves it, the account's mail switched on, the
// mail account provisioned, and the Inbox bound to the store and current as
// FolderSync and the run's folder walk leave it.
bool PrepareDevice(BenchGlobal *global, SilentManagerClient *managerClient) {
    if (!CreateProductKey()) return false;
    global->prefs.SetUserSyncEMail(1);
    if (global->prefs.SaveAll() != kNoError) return false;
    if (global->folders.Open(kDBReadWrite, true) != kNoError) return false;
    if (vplat::MailAccountProvision(kMailStoreName) != S_OK) return false;
    DEASFolderInfoRecord *folder = nullptr;
    if (global->folders.AddFolder(&folder, kFolderTypeInbox, kInboxID, kInboxID, "K1", nullptr, 0, kQvUnknown,
                                  kFolderFlagSync) != kNoError ||
        folder == nullptr || folder->SetParentServerID(&global->folders, "0") != kNoError)
        return false;
    DWinMobMessageManager *binder = nullptr;
    bool ok = AllocateMessageManager(&binder, global, managerClient) == kNoError && binder->Open(nullptr) == kNoError &&
              binder->AddMailFolder(kInboxID, nullptr) == kNoError;
    delete binder;
    return ok && global->folders.NextSyncFolder(false) == kNoError;
}

uint32_t InboxCount(BenchGlobal *global, SilentManagerClient *managerClient) {
    DWinMobMessageManager *reader = nullptr;
    DWinMobOutlookMessageCollection *inbox = nullptr;
    uint32_t count = 0;
    if (AllocateMessageManager(&reader, global, managerClient) == kNoError && reader->Open(nullptr) == kNoError &&
        reader->GetMailFolderCollection(kInboxID, &inbox) == kNoError)
        inbox->GetCount(&count);
    delete reader;
    return count;
}

struct Figures {
    double applySeconds = 0, parseSeconds = 0;
    uint32_t stored = 0;
    char failure[160] = {};
};

void Fail(Figures *f, const std::string &why) { std::snprintf(f->failure, sizeof f->failure, "%s", why.c_str()); }

// The measured run, in the child. *f->failure stays empty on success.
void Measure(int count, const std::string &answerPath, Figures *f) {
    BenchGlobal global;
    SilentManagerClient managerClient;
    if (!PrepareDevice(&global, &managerClient)) return Fail(f, "the device could not be prepared");
    SyncClient client;
    DActiveSyncDataManager data(&client, &global);
    ReceivedAnswer answer(&global);
    if (!answer.Load(answerPath)) return Fail(f, "the answer could not be stored as a response file");

    // The whole apply: ProcessCommandData starts the chain; the owner's pump
    // runs its steps until the data manager is idle and no longer active.
    auto start = Clock::now();
    DClientResponse *record = nullptr;
    const DErrorCode err = data.ProcessCommandData(kCmdEMailSync, &answer, answer.Body(), &record);
    bool ended = err != activeSyncErrWaitForCallback;
    const auto limit = Clock::now() + std::chrono::minutes(10);
    while (!ended && Clock::now() < limit) {
        DActiveTaskPump pump(&global.driver);
        pump.Run();
        ended = data.GetState() == kDMIdle && !data.IsActive();
        if (!ended) std::this_thread::yield();
    }
    f->applySeconds = Seconds(start);
    delete record;
    if (err != activeSyncErrWaitForCallback) return Fail(f, "ProcessCommandData returned " + std::to_string(err));
    if (!ended) return Fail(f, "the chain never ended");
    if (client.error != kNoError) return Fail(f, "the data manager reported error " + std::to_string(client.error));
    if (client.status != 1 || client.added != uint32_t(count))
        return Fail(f, "the Sync record says status " + std::to_string(client.status) + ", " +
                           std::to_string(client.added) + " added");
    f->stored = InboxCount(&global, &managerClient);
    if (f->stored != uint32_t(count))
        return Fail(f, "the Inbox holds " + std::to_string(f->stored) + " messages, not " + std::to_string(count));

    // The parse alone of the same response file, the mean of a few runs.
    start = Clock::now();
    for (int run = 0; run < kParseRuns; ++run) {
        WBXMLTree *tree = nullptr;
        if (wbxml_tree_from_wbxml_file(answer.Body(), kActiveSyncLanguageId, &tree) != kWbxmlOk || tree == nullptr)
            return Fail(f, "the parse alone failed");
        WbxmlDestroyTree(tree);
    }
    f->parseSeconds = Seconds(start) / kParseRuns;
}

// Runs fn in a child process; its peak memory comes back with it.
template <typename Fn>
bool InChild(Fn fn, Figures *out, long *peakKB) {
    int pipes[2];
    if (pipe(pipes) != 0) return false;
    pid_t child = fork();
    if (child == 0) {
        close(pipes[0]);
        Figures f;
        fn(&f);
        ssize_t written = write(pipes[1], &f, sizeof f);
        _exit(written == ssize_t(sizeof f) ? 0 : 1);
    }
    close(pipes[1]);
    ssize_t got = child > 0 ? read(pipes[0], out, sizeof *out) : -1;
    close(pipes[0]);
    int status = 0;
    struct rusage usage = {};
    if (child < 0 || wait4(child, &status, 0, &usage) != child) return false;
    if (peakKB != nullptr) *peakKB = usage.ru_maxrss;
    return got == ssize_t(sizeof *out) && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// One size: the answer built by one child, measured by another, on a device of their own.
bool RunSize(int count, Figures *f, long *peakKB) {
    char folder[] = "/tmp/vantrel-syncbench-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        Fail(f, "no temporary folder");
        return false;
    }
    const std::string answerPath = std::string(folder) + "/" + kAnswerFile;
    const std::string device = std::string(folder) + "/device";
    bool ok = InChild(
        [&](Figures *built) {
            setenv(VANTREL_DEVICE_ENV, device.c_str(), 1);
            if (!WriteAnswer(count, answerPath)) Fail(built, "the answer could not be built");
        },
        f, nullptr);
    ok = ok && f->failure[0] == 0;
    ok = ok && InChild(
                   [&](Figures *measured) {
                       setenv(VANTREL_DEVICE_ENV, device.c_str(), 1);
                       if (!DeviceOpen(device.c_str())) return Fail(measured, "the device could not be opened");
                       Measure(count, answerPath, measured);
                   },
                   f, peakKB);
    ok = ok && f->failure[0] == 0;
    const std::string clean = std::string("rm -rf '") + folder + "'";
    if (std::system(clean.c_str()) != 0) ok = false;
    return ok;
}

}  // namespace

int main() {
    std::printf("%8s %16s %18s %18s %10s\n", "messages", "apply us/msg", "parse-only us/msg", "ratio apply/parse",
                "peak KB");
    for (int count : {1000, 5000}) {
        Figures f;
        long peakKB = 0;
        if (!RunSize(count, &f, &peakKB)) {
            std::fprintf(stderr, "run of %d messages failed: %s\n", count, f.failure[0] ? f.failure : "child failed");
            return 1;
        }
        const double apply = 1e6 * f.applySeconds / count, parse = 1e6 * f.parseSeconds / count;
        std::printf("%8d %16.1f %18.2f %18.1f %10ld\n", count, apply, parse, apply / parse, peakKB);
        std::fflush(stdout);
    }
    return 0;
}
