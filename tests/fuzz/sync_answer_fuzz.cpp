// Fuzz target: a whole server answer through the data manager's response dispatch into a device with stores.
// The first input byte picks the command (a Sync of e-mail, calendar, contacts or tasks, FolderSync, Provision,
// Ping, Search, MoveItems, GetItemEstimate, MeetingResponse, FolderCreate); the rest is the WBXML body, handed over
// as the engine hands an answer over. A chain the answer starts is pumped to its end; a chain that does not end is
// a fault, as is a crash, a sanitizer report or a leak.
//
// A fresh device per input would be far too slow, so one device serves kInputsPerDevice inputs and is then thrown
// away with everything in it. Within a device each input gets a fresh data manager, an empty log, and a
// folder-info store set back to the same folders and sync keys; the message store's Inbox and the calendar,
// contacts and tasks stores (the device's own) keep what earlier inputs put there, which lets answers meet items
// that exist. The state an input sees therefore depends on the inputs before it in the same device: a crash
// input that does not repeat alone is rerun together with the inputs before it.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <system_error>

#include "DActiveSyncDataManager.h"
#include "DActiveTaskPump.h"
#include "DHTTPTransaction.h"
#include "DWinMobMessageManager.h"
#include "EngineTestSupport.h"
#include "IActiveSyncDataManagerClient.h"
#include "TempVFile.h"
#include "device.h"
#include "vplatform_mail.h"
#include "winreg.h"

namespace {

// The commands an input can pick, by its first byte.
// New commands go at the end, so that the seeds' first bytes keep their picks.
const uint32_t kCommands[] = {kCmdEMailSync,       kCmdCalendarSync,    kCmdContactsSync, kCmdTasksSync,
                              kCmdFolderSync,      kCmdProvision,       kCmdPing,         kCmdSearch,
                              kCmdMoveItems,       kCmdGetItemEstimate, kCmdMeetingResponse, kCmdFolderCreate};
constexpr unsigned kInputsPerDevice = 200;
// Pump passes a chain may take; one pass runs every task turn that is posted, so a chain that still runs after
// this many waits for something that never comes.
constexpr unsigned kMaxPumpPasses = 2000;

// The Pocket PC edition's mail store.
const char16_t *const kMailStore = u"Vantrel";

// Takes whatever the stores and the data manager report and keeps nothing.
class QuietClient : public IActiveSyncDataManagerClient, public IOutlookManagerClient {
public:
    DErrorCode ActiveSyncDataManager_ReportError(DErrorCode, VString *) override { return kNoError; }
    DErrorCode ActiveSyncDataManager_RecievedResponse(DClientResponse *) override { return kNoError; }
    DErrorCode ActiveSyncDataManager_ReportStatus(DStatusData *) override { return kNoError; }
    void OutlookManager_ReportStatus(DStatusData *, uint32_t) override {}
};

// Stands in for the engine waiting on a chain: notes when its signal fires.
class ChainCaller : public DActiveTask {
public:
    explicit ChainCaller(DActiveTaskManager *tasks) : DActiveTask(kActiveTaskDefaultPriority) {
        tasks->AddTask(this);
        Activate();
    }
    DErrorCode RunTask() override {
        done = true;
        return kNoError;
    }
    void CancelTask() override {}
    bool done = false;
};

// A finished transaction whose WBXML answer holds the bytes.
class FuzzAnswer : public DHTTPTransaction {
public:
    FuzzAnswer(IGlobalData *global, const uint8_t *data, size_t size) : DHTTPTransaction(global, nullptr) {
        m_status = 200;
        m_contentType.AssignCStr(kWbxmlContentType, kVStringWindows1252);
        VFile *file = nullptr;
        if (EnsureTempVFile(&file) != kNoError) return;
        uint32_t written = 0;
        if (size > 0) file->Write(uint32_t(size), data, &written);
        file->Close();
        SetResponseData(file);
    }
    VFile *Body() {
        VFile *file = nullptr;
        GetResponseData(&file);
        return file;
    }
};

// One temporary device with a provisioned mail account, the engine's global info, and the Inbox bound to the
// message store.
class FuzzDevice {
public:
    bool Open() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vantrel-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) return false;
        m_root = pattern;
        if (!DeviceOpen(m_root.c_str())) return false;
        HKEY key;
        DWORD disposition = 0;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Brellow\\Vantrel", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, &disposition) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        global = std::make_unique<EngineGlobal>();
        SetTestAccount(global->prefs, "127.0.0.1:1", "alice", "secret1", false, true);
        if (global->folders.Open(kDBReadWrite, true) != kNoError) return false;
        if (vplat::MailAccountProvision(kMailStore) != S_OK) return false;
        return ResetFolders() && BindInbox();
    }

    void Close() {
        global.reset();
        if (m_root.empty()) return;
        DeviceClose();
        std::error_code ec;
        std::filesystem::remove_all(m_root, ec);
        m_root.clear();
    }

    // The folders every input starts from: the Inbox (current), calendar, contacts and tasks, each with a key.
    bool ResetFolders() {
        DEASFolderInfoStore &folders = global->folders;
        if (folders.RemoveAllFolders() != kNoError || folders.SetFolderSyncKey("F1") != kNoError) return false;
        const struct {
            uint32_t type;
            const char *id, *key;
        } kFolders[] = {{kFolderTypeInbox, "inbox", "K1"},
                        {kFolderTypeCalendar, "cal", "C1"},
                        {kFolderTypeContacts, "con", "N1"},
                        {kFolderTypeTasks, "tsk", "T1"}};
        for (const auto &f : kFolders) {
            DEASFolderInfoRecord *folder = nullptr;
            if (folders.AddFolder(&folder, f.type, f.id, f.id, f.key, nullptr, 0, kQvUnknown, kFolderFlagSync) !=
                    kNoError ||
                folder->SetParentServerID(&folders, "0") != kNoError)
                return false;
        }
        folders.ClearCurrentFolder();
        return folders.NextSyncFolder(false) == kNoError;
    }

    // Binds the Inbox to the message store as FolderSync does (a FolderSync answer may have removed it).
    bool BindInbox() {
        DWinMobMessageManager *binder = nullptr;
        bool bound = AllocateMessageManager(&binder, global.get(), &client) == kNoError &&
                     binder->Open(nullptr) == kNoError;
        if (bound) binder->AddMailFolder("inbox", nullptr);
        delete binder;
        return bound;
    }

    // Runs the engine's thread until done holds; false when it never does.
    bool PumpUntil(const std::function<bool()> &done) {
        for (unsigned pass = 0; pass < kMaxPumpPasses; ++pass) {
            DActiveTaskPump pump(&global->driver);
            pump.Run();
            if (done()) return true;
        }
        return false;
    }

    // What the engine does before a run's answers: the stores opened, then the Inbox made the current folder.
    bool Prepare(DActiveSyncDataManager &data) {
        ChainCaller caller(global->GetTaskManager());
        if (data.PrepareForSync(caller.GetSignal()) != kNoError || !PumpUntil([&] { return caller.done; }))
            return false;
        global->folders.ClearCurrentFolder();
        return global->folders.NextSyncFolder(false) == kNoError;
    }

    std::unique_ptr<EngineGlobal> global;
    QuietClient client;

private:
    std::string m_root;
};

FuzzDevice *g_device = nullptr;
unsigned g_inputs = 0;

void Fail(const char *what) {
    std::fprintf(stderr, "sync_answer_fuzz: %s\n", what);
    std::abort();
}

void FreshDevice() {
    if (g_device != nullptr) {
        g_device->Close();
        delete g_device;
    }
    g_device = new FuzzDevice;
    if (!g_device->Open()) Fail("the device could not be set up");
}

void CloseDevice() {
    if (g_device != nullptr) g_device->Close();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    FreshDevice();
    // The last device's folder goes when the run ends.
    std::atexit(CloseDevice);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1 || size > (1u << 20)) return 0;
    if (g_inputs++ % kInputsPerDevice == kInputsPerDevice - 1) FreshDevice();
    FuzzDevice &device = *g_device;
    device.global->log.text.clear();
    if (!device.ResetFolders()) Fail("the folders could not be set back");
    if (!device.BindInbox()) Fail("the Inbox could not be bound");

    const uint32_t step = kCommands[data[0] % (sizeof kCommands / sizeof kCommands[0])];
    DActiveSyncDataManager manager(&device.client, device.global.get());
    FuzzAnswer answer(device.global.get(), data + 1, size - 1);
    if (!device.Prepare(manager)) Fail("the stores could not be readied");
    DClientResponse *record = nullptr;
    const DErrorCode err = manager.ProcessCommandData(step, &answer, answer.Body(), &record);
    delete record;
    if (err == activeSyncErrWaitForCallback &&
        !device.PumpUntil([&] { return manager.GetState() == kDMIdle && !manager.IsActive(); }))
        Fail("the data manager's chain never ended");
    return 0;
}
