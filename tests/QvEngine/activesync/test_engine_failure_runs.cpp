// Whole runs of the engine that go wrong, against the loopback test server
// on the virtual clock: a cancel while a Sync is out, a remote wipe ordered
// by the server and cut short by a restart, a server that fails a Sync, and
// a second engine over the same global info that makes a Ping yield. Each
// test starts its runs as a client does and checks the requests that
// reached the server, what each client heard, in order, and the
// preferences the runs left.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "DActiveSyncEngine.h"
#include "DHTTPTransaction.h"
#include "EngineDeviceTest.h"
#include "EngineTestSupport.h"
#include "ScriptedDataManager.h"
#include "QvEngine/foundation/prefstestutil.h"
#include "support/ActiveSyncWire.h"
#include "support/TestHttpServer.h"
#include "vplatform_test.h"
#include "wintime.h"

namespace {

class FailureRunEngine : public DActiveSyncEngine {
public:
    using DActiveSyncEngine::SetDataManager;
};

// The scripted data manager with two behaviours of the real one that these
// runs need: an answer whose content type is not WBXML is refused unread
// (as a failed server connection), and the remote wipe moves the wipe state
// on: to done, or, with holdWipe, to a phase in progress that never ends
// (the device is switched off in the middle of it).
class FailureDataManager : public ScriptedDataManager {
public:
    bool holdWipe = false;

    explicit FailureDataManager(EngineGlobal *global) : ScriptedDataManager(global), m_prefs(&global->prefs) {}

    DErrorCode ProcessCommandData(uint32_t step, DHTTPTransaction *transaction, VFile *body,
                                  DClientResponse **record) override {
        VString type;
        if (transaction != nullptr) transaction->GetContentType(&type);
        type.ConvertTo(kVStringWindows1252);
        if (type.GetNarrowText() == nullptr || std::string(type.GetNarrowText()) != kActiveSyncContentType) {
            calls.push_back("refused " + std::to_string(step));
            *record = nullptr;
            return httpErrServerConnectFailed;
        }
        return ScriptedDataManager::ProcessCommandData(step, transaction, body, record);
    }
    DErrorCode StartRemoteWipe(uint32_t step, DActiveTaskSignal *signal) override {
        calls.push_back("wipe from state " + std::to_string(m_prefs->GetRemoteWipeState()));
        if (holdWipe) {
            calls.push_back("StartRemoteWipe held");
            return m_prefs->SetRemoteWipeState(3);
        }
        m_prefs->SetRemoteWipeState(7);
        return ScriptedDataManager::StartRemoteWipe(step, signal);
    }

private:
    ICorvanePreferences *m_prefs;
};

// A client that also keeps one line per call, in the order they came:
// "error 0x...", "status <text>" (major and minor texts), "record <type>",
// and "over" for the null record that ends a run.
class OrderedClient : public RecordingClient {
public:
    std::vector<std::string> events;

    DErrorCode ActiveSync_ReportError(DErrorCode code, VString *detail) override {
        char line[32];
        snprintf(line, sizeof line, "error 0x%08X", unsigned(code));
        events.push_back(line);
        return RecordingClient::ActiveSync_ReportError(code, detail);
    }
    DErrorCode ActiveSync_ReceivedResponse(DClientResponse *r) override {
        events.push_back(r == nullptr ? "over" : "record " + std::to_string(r->GetType()));
        return RecordingClient::ActiveSync_ReceivedResponse(r);
    }
    DErrorCode ActiveSync_ReportStatus(DStatusData *s) override {
        const size_t texts = statusTexts.size();
        const DErrorCode err = RecordingClient::ActiveSync_ReportStatus(s);
        if (statusTexts.size() > texts) events.push_back("status " + statusTexts.back());
        return err;
    }
    // Where the first line equal to the given one stands (events.size() when none).
    size_t At(const std::string &line) const {
        return size_t(std::find(events.begin(), events.end(), line) - events.begin());
    }
    size_t Count(const std::string &line) const { return size_t(std::count(events.begin(), events.end(), line)); }
};

// The engine state as another process reads it from the registry.
WORD StoredEngineState() {
    DWinMobCorvanePreferences stored;
    EXPECT_EQ(stored.Load(TRUE), kNoError);
    return stored.GetEngineState();
}

const char kFolderSyncAnswer[] =
    "<FolderSync xmlns=\"FolderHierarchy:\"><Status>1</Status><SyncKey>1</SyncKey><Changes><Count>4</Count>"
    "<Add><ServerId>INBOX</ServerId><ParentId>0</ParentId><DisplayName>Inbox</DisplayName><Type>2</Type></Add>"
    "<Add><ServerId>vevent%2Fpersonal</ServerId><ParentId>0</ParentId><DisplayName>Calendar</DisplayName>"
    "<Type>8</Type></Add>"
    "<Add><ServerId>vcard%2Fpersonal</ServerId><ParentId>0</ParentId><DisplayName>Contacts</DisplayName>"
    "<Type>9</Type></Add>"
    "<Add><ServerId>vtodo%2Fpersonal</ServerId><ParentId>0</ParentId><DisplayName>Tasks</DisplayName>"
    "<Type>7</Type></Add>"
    "</Changes></FolderSync>";

const char kNoFolderChanges[] =
    "<FolderSync xmlns=\"FolderHierarchy:\"><Status>1</Status><SyncKey>2</SyncKey><Changes><Count>0</Count>"
    "</Changes></FolderSync>";

std::string SyncAnswer(const char *cls, const char *folder, const char *key) {
    return std::string("<Sync xmlns=\"AirSync:\"><Collections><Collection><Class>") + cls + "</Class><SyncKey>" + key +
           "</SyncKey><CollectionId>" + folder + "</CollectionId><Status>1</Status></Collection></Collections></Sync>";
}

std::string EstimateAnswer(int estimate) {
    return "<GetItemEstimate xmlns=\"GetItemEstimate:\"><Response><Status>1</Status><Collection><Class>Email</Class>"
           "<CollectionId>INBOX</CollectionId><Estimate>" +
           std::to_string(estimate) + "</Estimate></Collection></Response></GetItemEstimate>";
}

// The policy answer: a temporary key and, with wipe, the order to wipe.
std::string PolicyAnswer(const char *key, bool wipe) {
    return std::string("<Provision xmlns=\"Provision:\"><Status>1</Status>") + (wipe ? "<RemoteWipe/>" : "") +
           "<Policies><Policy><PolicyType>MS-WAP-Provisioning-XML</PolicyType><Status>1</Status><PolicyKey>" + key +
           "</PolicyKey></Policy></Policies></Provision>";
}

// One client's engine over the fixture's global info. The client is
// declared first: the engine, which ends its run on destruction, goes first.
struct Account {
    OrderedClient client;
    std::unique_ptr<FailureRunEngine> engine;
    FailureDataManager *data = nullptr;  // the engine's
};

class EngineFailureRunTest : public EngineDeviceTest {
protected:
    void SetUp() override {
        EngineDeviceTest::SetUp();
        global = std::make_unique<EngineGlobal>();
        SetTestAccount(global->prefs, "127.0.0.1:" + std::to_string(server.Port()), "alice", "secret1");
    }
    void TearDown() override {
        accounts.clear();
        global.reset();
        EngineDeviceTest::TearDown();
    }

    Account &Add(uint32_t tag = kClientTagApplication) {
        accounts.push_back(std::make_unique<Account>());
        Account &a = *accounts.back();
        a.client.tag = tag;
        a.engine = std::make_unique<FailureRunEngine>();
        a.data = new FailureDataManager(global.get());
        a.data->SetEngine(a.engine.get());
        a.engine->SetDataManager(a.data);
        EXPECT_EQ(a.engine->Initialize(global.get(), &a.client), kNoError);
        return a;
    }
    // The device is switched off and on: every engine and the global info
    // go, and a new global info reads the device's registry and files.
    void Restart() {
        accounts.clear();
        global.reset();
        global = std::make_unique<EngineGlobal>();
    }
    std::string PolicyKey() {
        VString key;
        global->prefs.GetEASPolicyKey(&key);
        key.ConvertTo(kVStringWindows1252);
        return key.GetNarrowText() != nullptr ? key.GetNarrowText() : "";
    }
    void EnablePush() {
        global->prefs.SetPeakPushSyncEnabled(1);
        global->prefs.SetOffPeakPushSyncEnabled(1);
        global->prefs.SaveAll();
    }

    bool PumpUntil(const std::function<bool()> &done) { return PumpEngineUntil(*global, done); }
    bool RunToEnd(const Account &a) {
        return PumpUntil([&a] { return a.client.RunOver(); });
    }
    bool PumpUntilRequests(size_t n) {
        return PumpUntil([this, n] { return server.Requests().size() >= n; });
    }
    // Runs the engine's thread for a while of real time, so that anything
    // still on its way (a late answer, a worker's end) would show.
    void PumpFor(int ms) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        PumpUntil([until] { return std::chrono::steady_clock::now() >= until; });
    }
    // Moves the virtual clock on second by second, running the engine's
    // thread after each.
    void Advance(uint32_t seconds) {
        for (uint32_t i = 0; i < seconds; ++i) {
            vplat::ClockAdvance(1000);
            PumpFor(2);
        }
    }
    // "OPTIONS" or the Cmd value of each request from the first'th on.
    std::vector<std::string> Commands(size_t first = 0) const { return RequestCommands(server.Requests(), first); }
    void ScriptFirstRunUpToMail() {
        server.Script(OptionsReply());
        server.Script(ActiveSyncReply(kFolderSyncAnswer));
    }

    TestHttpServer server;
    std::unique_ptr<EngineGlobal> global;
    std::vector<std::unique_ptr<Account>> accounts;
};

// The user cancels while the server sits on a Sync: the run ends at once and
// is marked cancelled, nothing more goes out, no late answer or time-out
// reaches the client, and the next run starts from where the store stands.
TEST_F(EngineFailureRunTest, ACancelWhileASyncIsOutEndsTheRunAndTheNextRunCompletes) {
    Account &a = Add();
    ScriptFirstRunUpToMail();
    TestHttpReply silent;
    silent.silent = true;
    server.Script(silent);

    ASSERT_EQ(a.engine->StartSync(kRunFlagEMail, 0, kLockModeWait, kRunKindUser), kNoError);
    ASSERT_TRUE(PumpUntilRequests(3));
    PumpFor(50);
    ASSERT_EQ(Commands(), (std::vector<std::string>{"OPTIONS", "FolderSync", "Sync"}));
    ASSERT_FALSE(a.client.RunOver());

    ASSERT_EQ(a.engine->CancelSync(FALSE), kNoError);
    EXPECT_EQ(global->prefs.GetEngineState(), kEngineStateCancelled);
    EXPECT_EQ(StoredEngineState(), kEngineStateCancelled);  // saved
    EXPECT_EQ(global->prefs.GetSyncLockOwner(), 0u);
    // Past the transfer's time-out: nothing of the cancelled Sync comes back.
    PumpFor(100);
    Advance(130);
    EXPECT_EQ(server.Requests().size(), 3u);
    EXPECT_TRUE(a.client.errors.empty());
    EXPECT_EQ(a.client.Count("over"), 0u);

    server.Script(ActiveSyncReply(kNoFolderChanges));
    server.Script(ActiveSyncReply(SyncAnswer("Email", "INBOX", "1")));
    server.Script(ActiveSyncReply(EstimateAnswer(0)));
    ASSERT_EQ(a.engine->StartSync(kRunFlagEMail, 0, kLockModeWait, kRunKindUser), kNoError);
    ASSERT_TRUE(RunToEnd(a));
    EXPECT_EQ(Commands(3), (std::vector<std::string>{"FolderSync", "Sync", "GetItemEstimate"}));
    // The folder list of the cancelled run stands: its key goes out.
    EXPECT_TRUE(SameXml("<FolderSync xmlns=\"FolderHierarchy:\"><SyncKey>1</SyncKey></FolderSync>",
                        XmlFromWbxml(server.Requests()[3].body)));
    EXPECT_TRUE(a.client.errors.empty());
    EXPECT_EQ(global->prefs.GetEngineState(), kEngineStateCompleted);
    EXPECT_EQ(a.data->FolderKey(kFolderTypeInbox), "1");
}

// The server orders a wipe in the policy answer of a Provision it demanded.
// The order is in the registry before the acknowledgement reaches the
// server; the device goes off in the middle of the wipe; after the restart
// the next run wipes (without a request) instead of syncing, and the client
// hears of the completed wipe once.
TEST_F(EngineFailureRunTest, ARemoteWipeCutShortByARestartIsResumedByTheNextRun) {
    Account &a = Add();
    a.data->holdWipe = true;
    ScriptFirstRunUpToMail();
    server.Script(Status449());  // the mail Sync: provision first
    server.Script(ActiveSyncReply(PolicyAnswer("3942919513", true)));
    TestHttpReply confirmed = ActiveSyncReply(PolicyAnswer("1307199584", false));
    confirmed.delayMs = 200;
    server.Script(confirmed);

    ASSERT_EQ(a.engine->StartSync(kRunFlagsAll & ~kRunFlagPush, 0, kLockModeWait, kRunKindUser), kNoError);
    ASSERT_TRUE(PumpUntilRequests(5));
    EXPECT_NE(DWinMobCorvanePreferences().GetRemoteWipeState(), 0);  // before the answer to the acknowledgement
    ASSERT_TRUE(PumpUntil([&a] {
        return std::find(a.data->calls.begin(), a.data->calls.end(), "StartRemoteWipe held") != a.data->calls.end();
    }));
    PumpFor(50);

    const std::vector<TestHttpRequest> requests = server.Requests();
    ASSERT_EQ(Commands(), (std::vector<std::string>{"OPTIONS", "FolderSync", "Sync", "Provision", "Provision"}));
    EXPECT_EQ(requests[4].Header("X-MS-PolicyKey"), "3942919513");
    EXPECT_TRUE(SameXml("<Provision xmlns=\"Provision:\"><Policies><Policy><PolicyType>MS-WAP-Provisioning-XML"
                        "</PolicyType><PolicyKey>3942919513</PolicyKey><Status>1</Status></Policy></Policies>"
                        "</Provision>",
                        XmlFromWbxml(requests[4].body)));
    // The acknowledgement was built knowing of the order.
    const auto ordered = std::find(a.data->calls.begin(), a.data->calls.end(), "SetWipeOrdered 1");
    const auto acknowledged = std::find(a.data->calls.begin(), a.data->calls.end(),
                                        "CollectCommandData " + std::to_string(EActiveSyncStep_AcknowledgeProvisionCmd));
    EXPECT_TRUE(ordered < acknowledged && acknowledged != a.data->calls.end());
    EXPECT_EQ(global->prefs.GetEngineState(), kEngineStateWiping);
    EXPECT_EQ(global->resets, std::vector<uint32_t>{0});
    EXPECT_EQ(PolicyKey(), "1307199584");  // the final key, not acknowledged again
    EXPECT_EQ(a.client.Count("record 30"), 0u);

    Restart();
    Account &b = Add();
    EXPECT_EQ(global->prefs.GetRemoteWipeState(), 3);
    // A scheduled run that would give way to a user's is a wipe that nothing holds off.
    ASSERT_EQ(b.engine->StartSync(kRunFlagEMail, 0, kLockModeYieldUnlessUser, kRunKindScheduled), kNoError);
    ASSERT_TRUE(RunToEnd(b));
    PumpFor(50);

    EXPECT_EQ(server.Requests().size(), 5u);
    const std::vector<std::string> &calls = b.data->calls;
    EXPECT_NE(std::find(calls.begin(), calls.end(), "StartRemoteWipe " + std::to_string(EActiveSyncStep_RemoteWipe)),
              calls.end());
    EXPECT_TRUE(std::none_of(calls.begin(), calls.end(),
                             [](const std::string &c) { return c.rfind("CollectCommandData", 0) == 0; }));
    // The wipe goes on from the phase it had reached.
    EXPECT_NE(std::find(calls.begin(), calls.end(), "wipe from state 3"), calls.end());
    EXPECT_EQ(b.client.Count("record 30"), 1u);
    EXPECT_EQ(b.client.Count("over"), 1u);
    EXPECT_LT(b.client.At("record 30"), b.client.At("over"));
    EXPECT_TRUE(b.client.errors.empty());
    EXPECT_EQ(global->prefs.GetRemoteWipeState(), 0);
    EXPECT_EQ(DWinMobCorvanePreferences().GetRemoteWipeState(), 0);
}

// A server that fails the first mail Sync, each way: the client hears the
// code once, after the failed-run status text and before the run's end;
// the run is marked failed and nothing more goes out.
struct ServerFault {
    const char *name;
    TestHttpReply reply;
    DErrorCode code;
    uint32_t text;       // the resource text logged for the code
    const char *logged;  // the error line's code and name
};

void PrintTo(const ServerFault &fault, std::ostream *out) { *out << fault.name; }

class EngineServerFaultTest : public EngineFailureRunTest, public ::testing::WithParamInterface<ServerFault> {};

TestHttpReply Reply(int status, const std::string &contentType, const std::string &body) {
    TestHttpReply r;
    r.status = status;
    r.reason = status == 200 ? "OK" : "Internal Server Error";
    if (!contentType.empty()) r.headers.push_back({"Content-Type", contentType});
    r.body = body;
    return r;
}

const ServerFault kServerFaults[] = {
    {"Status500", Reply(500, "text/html", "<html>error</html>"), activeSyncErrTransactionFailed, 54,
     "ERROR: 0x07370D02 (activeSyncErrTransactionFailed)"},
    {"EmptyBody", Reply(200, kActiveSyncContentType, ""), activeSyncErrMissingHTTPResponse, 54,
     "ERROR: 0x07370D06 (activeSyncErrMissingHTTPResponse)"},
    {"NotWbxml", Reply(200, "text/html", "<html>Outlook Web Access</html>"), httpErrServerConnectFailed, 47,
     "ERROR: 0x07370C06 (httpErrServerConnectFailed)"},
};

TEST_P(EngineServerFaultTest, AFailedSyncIsReportedOnceAndEndsTheRun) {
    Account &a = Add();
    ScriptFirstRunUpToMail();
    server.Script(GetParam().reply);
    server.Script(ActiveSyncReply(SyncAnswer("Email", "INBOX", "1")));  // must stay unasked

    ASSERT_EQ(a.engine->StartSync(kRunFlagEMail, 0, kLockModeWait, kRunKindUser), kNoError);
    ASSERT_TRUE(RunToEnd(a));
    PumpFor(50);

    EXPECT_EQ(Commands(), (std::vector<std::string>{"OPTIONS", "FolderSync", "Sync"}));
    EXPECT_EQ(a.client.errors, std::vector<DErrorCode>{GetParam().code});
    char error[32];
    snprintf(error, sizeof error, "error 0x%08X", unsigned(GetParam().code));
    const size_t failed = a.client.At("status [text 40]");
    EXPECT_LT(failed, a.client.At(error));
    EXPECT_LT(a.client.At(error), a.client.At("over"));
    EXPECT_EQ(a.client.Count("over"), 1u);
    EXPECT_EQ(a.client.events.back(), "over");
    EXPECT_EQ(global->prefs.GetEngineState(), kEngineStateFailed);
    EXPECT_EQ(StoredEngineState(), kEngineStateFailed);
    EXPECT_EQ(global->prefs.GetSyncLockOwner(), 0u);
    // The log: the code's text, the error line, then text 57 (the time follows).
    const std::string &log = global->log.text;
    const size_t line = log.find(GetParam().logged);
    ASSERT_NE(line, std::string::npos) << log;
    EXPECT_NE(log.rfind("[text " + std::to_string(GetParam().text) + "]", line), std::string::npos) << log;
    EXPECT_NE(log.find("[text 57]", line), std::string::npos) << log;
}

INSTANTIATE_TEST_SUITE_P(Faults, EngineServerFaultTest, ::testing::ValuesIn(kServerFaults),
                         [](const ::testing::TestParamInfo<ServerFault> &info) { return info.param.name; });

// A busy server (503) on a push run: the run fails, and the push run is
// tried again only after five minutes, not after the usual half minute.
TEST_F(EngineFailureRunTest, ABusyServerPutsThePushRetryFiveMinutesOff) {
    EnablePush();
    Account &a = Add();
    ScriptFirstRunUpToMail();
    server.Script(Reply(503, "text/html", "busy"));

    ASSERT_EQ(a.engine->StartSync(kRunFlagEMail | kRunFlagPush, 0, kLockModeWait, kRunKindUser), kNoError);
    ASSERT_TRUE(RunToEnd(a));
    EXPECT_EQ(a.client.errors, std::vector<DErrorCode>{activeSyncErrTransactionFailed});
    EXPECT_EQ(global->prefs.GetEngineState(), kEngineStateFailed);

    vplat::ClockAdvance(299000);
    PumpFor(100);
    EXPECT_EQ(server.Requests().size(), 3u);
    server.Script(ActiveSyncReply(kNoFolderChanges));
    vplat::ClockAdvance(1000);
    ASSERT_TRUE(PumpUntilRequests(4));
    EXPECT_EQ(Commands(3).front(), "FolderSync");  // the push run starts again
    ASSERT_EQ(a.engine->CancelSync(TRUE), kNoError);
}

// Two engines over one global info: while the application's push run waits
// in its Ping, the transport's run asks it to yield. The Ping run ends at its
// next yield poll (2 s), and the transport's run goes to the server at its
// next lock wait and completes.
TEST_F(EngineFailureRunTest, ARunThatAsksAPingToYieldGoesToTheServerOnceThePingEnded) {
    EnablePush();
    Account &app = Add(kClientTagApplication);
    Account &transport = Add(kClientTagTransport);
    ScriptFirstRunUpToMail();
    server.Script(ActiveSyncReply(SyncAnswer("Email", "INBOX", "1")));
    server.Script(ActiveSyncReply(SyncAnswer("Calendar", "vevent%2Fpersonal", "1")));
    server.Script(ActiveSyncReply(SyncAnswer("Contacts", "vcard%2Fpersonal", "1")));
    server.Script(ActiveSyncReply(SyncAnswer("Tasks", "vtodo%2Fpersonal", "1")));
    server.Script(ActiveSyncReply(EstimateAnswer(0)));
    TestHttpReply silent;
    silent.silent = true;
    server.Script(silent);  // the Ping

    ASSERT_EQ(app.engine->StartSync(kRunFlagsAll, 0, kLockModeWait, kRunKindScheduled), kNoError);
    ASSERT_TRUE(PumpUntil([this] {
        const std::vector<std::string> commands = Commands();
        return !commands.empty() && commands.back() == "Ping";
    }));
    PumpFor(50);
    const size_t before = server.Requests().size();
    ASSERT_EQ(global->prefs.GetEngineState(), kEngineStatePinging);
    ASSERT_EQ(global->prefs.GetSyncLockOwner(), kClientTagApplication);

    server.Script(ActiveSyncReply(kNoFolderChanges));
    server.Script(ActiveSyncReply(EstimateAnswer(0)));
    ASSERT_EQ(transport.engine->StartSync(kRunFlagEMail, 0, kLockModeAskToYield, kRunKindUser), kNoError);
    EXPECT_EQ(global->prefs.GetYieldRequest(), 1);
    Advance(2);
    EXPECT_EQ(app.client.Count("over"), 1u);
    EXPECT_TRUE(app.client.errors.empty());
    EXPECT_EQ(server.Requests().size(), before);  // the transport still waits

    Advance(7);
    EXPECT_EQ(server.Requests().size(), before);
    Advance(1);  // its lock wait, ten seconds after it began
    ASSERT_TRUE(RunToEnd(transport));
    EXPECT_EQ(Commands(before), (std::vector<std::string>{"FolderSync", "GetItemEstimate"}));
    EXPECT_TRUE(transport.client.errors.empty());
    EXPECT_EQ(global->prefs.GetEngineState(), kEngineStateCompleted);
    EXPECT_EQ(global->prefs.GetSyncLockOwner(), 0u);
    ASSERT_EQ(app.engine->CancelSync(TRUE), kNoError);
}

}  // namespace
