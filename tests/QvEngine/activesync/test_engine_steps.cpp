// The run's step machine: the next step after each finished one (a table of
// run flags, options, folder state and marks), the order of a first run, a
// repeated step while the server has more, the local-change stages, the
// Ping's alive record, a search that may not run, and unknown steps and
// stages.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "DASDP_GetItemEstimateResponse.h"
#include "DASDP_PlainResponses.h"
#include "DASDP_SyncResponse.h"
#include "DASDS_DataResponse.h"
#include "DActiveSyncEngine.h"
#include "DHTTPSession.h"
#include "DHTTPTransaction.h"
#include "EngineTestSupport.h"
#include "FolderStoreWrite.h"
#include "QvEngine/foundation/prefstestutil.h"
#include "TestDataManager.h"
#include "wintime.h"

namespace {

// A session that never touches the network: it records each submitted
// request's path and says it is connected.
class RecordingSession : public DHTTPSession {
public:
    explicit RecordingSession(IGlobalData *global) : DHTTPSession(global) {}
    std::vector<std::string> sent;
    DErrorCode OpenConnection() override { return kNoError; }
    DErrorCode SubmitTransaction(DHTTPTransaction *trx) override {
        sent.push_back(trx->GetPath());
        return kNoError;
    }
};

class StepsEngine : public DActiveSyncEngine {
public:
    using DActiveSyncEngine::DetermineNextStep;
    using DActiveSyncEngine::FinishPerformNextActiveSyncStep;
    using DActiveSyncEngine::ProcessDataProcessorResponse;
    using DActiveSyncEngine::SetDataManager;
    using DActiveSyncEngine::SetHTTPSession;

    uint32_t &Step() { return m_currentStep; }
    uint32_t &SavedStep() { return m_savedStep; }
    uint32_t &Stage() { return m_taskStage; }
    uint32_t &RunFlags() { return m_runFlags; }
    uint32_t &Options() { return m_options; }
    uint8_t &Initial() { return m_initial; }
    uint8_t &FolderSyncNeeded() { return m_folderSyncNeeded; }
    uint8_t &FirstPush() { return m_firstPush; }
    uint8_t &FirstCycle() { return m_firstCycle; }
    uint8_t &WipeOrdered() { return m_wipeOrdered; }
    uint8_t &MovedMail() { return m_movedMailPending; }
    uint8_t &MoreAvailable() { return m_moreAvailable; }
    uint16_t &LocalFlags() { return m_localChangeFlags; }
    uint8_t &ServerCalendar() { return m_serverCalendarChanged; }
    uint8_t &LocalContacts() { return m_localContactsChanged; }
    uint8_t &ServerTasks() { return m_serverTasksChanged; }
    uint8_t LocalCalendar() const { return m_localCalendarChanged; }
    uint16_t &CalendarFailures() { return m_calendarFailures; }
    uint16_t &ContactsFailures() { return m_contactsFailures; }
    uint16_t &CalendarLoops() { return m_calendarLoops; }
    void ConnectionUp() { m_connectionUp = m_connectionReady = 1; }
    // Starts the three lock timers as a run holding the lock has them.
    void StartLockTimers() {
        StartTimer(180000, &m_lockRefreshTimer);
        StartTimer(2000, &m_yieldPollTimer);
        StartTimer(10000, &m_lockWaitTimer);
    }
    bool LockTimersStopped() const {
        return m_lockRefreshTimer == kNoTimerId && m_yieldPollTimer == kNoTimerId && m_lockWaitTimer == kNoTimerId;
    }
};

const char kInbox[] = "inbox";
const char kWork[] = "work";
const char kCalendar[] = "cal";
const char kContacts[] = "card";
const char kTasks[] = "todo";

constexpr uint32_t kFlagSync = 0x01;
constexpr uint32_t kFlagCreate = 0x02;

class EngineStepsTest : public PrefsDeviceTest {
public:  // the case tables reach the fixture
    void SetUp() override {
        PrefsDeviceTest::SetUp();
        vplat::ClockUseVirtual(1000, 1700000000000);
        global = std::make_unique<EngineGlobal>();
        SetTestAccount(global->prefs, "mail.example.com", "alice", "secret1");
        ICorvanePreferences &prefs = global->prefs;
        prefs.SetEASVers(250);
        prefs.SetPeakPushSyncEnabled(0);
        prefs.SetOffPeakPushSyncEnabled(0);
        ASSERT_EQ(DBOpenReadWrite(&global->folders), kNoError);
        engine = std::make_unique<StepsEngine>();
        session = new RecordingSession(global.get());
        engine->SetHTTPSession(session);
        data = new TestDataManager;
        engine->SetDataManager(data);
        ASSERT_EQ(engine->Initialize(global.get(), &client), kNoError);
        engine->ConnectionUp();
    }
    void TearDown() override {
        engine.reset();
        global.reset();
        vplat::ClockUseReal();
        PrefsDeviceTest::TearDown();
    }

    // The folders of an account synced before: every key set.
    void SyncedAccount(const char *key = "1") {
        AddFolder(kFolderTypeInbox, kInbox, key);
        AddFolder(kFolderTypeUserMail, kWork, key);
        AddFolder(kFolderTypeCalendar, kCalendar, key);
        AddFolder(kFolderTypeContacts, kContacts, key);
        AddFolder(kFolderTypeTasks, kTasks, key);
        ASSERT_EQ(global->folders.SetFolderSyncKey("7"), kNoError);
    }
    void AddFolder(uint32_t type, const char *id, const char *key, uint32_t flags = kFlagSync) {
        DEASFolderInfoRecord *folder = nullptr;
        const bool mail = type == kFolderTypeUserMail || type == kFolderTypeInbox;
        ASSERT_EQ(global->folders.AddFolder(&folder, type, id, id, key, mail ? "dev" : nullptr, mail ? 3 : 0,
                                            kQvUnknown, flags),
                  kNoError);
    }
    DEASFolderInfoRecord *Folder(const char *id) {
        DEASFolderInfoRecord *folder = nullptr;
        EXPECT_EQ(global->folders.FindFolderByServerID(id, &folder), kNoError);
        return folder;
    }
    void SetKey(const char *id, const char *key) { Folder(id)->SetString(kFolderFieldSyncKey, key); }
    void SetFlag(const char *id, uint32_t flag, bool on) { Folder(id)->SetFlag(flag, on); }
    // The step DetermineNextStep gives after `finished` (0xFFFF on error).
    uint32_t Next(uint32_t finished) {
        engine->Step() = finished;
        const DErrorCode err = engine->DetermineNextStep();
        return err == kNoError ? engine->Step() : 0xFFFF;
    }

    std::unique_ptr<EngineGlobal> global;
    std::unique_ptr<StepsEngine> engine;
    RecordingSession *session = nullptr;  // the engine's
    TestDataManager *data = nullptr;      // the engine's
    RecordingClient client;
};

using Fixture = EngineStepsTest;

struct NextCase {
    const char *name;
    uint32_t finished;
    std::function<void(Fixture &)> setup;
    uint32_t expected;
};

TEST_F(EngineStepsTest, NextStepFollowsEachRule) {
    auto synced = [](Fixture &f) { f.SyncedAccount(); };
    auto noTypes = [](Fixture &f) {
        f.SyncedAccount();
        f.global->prefs.SetUserSyncEMailOverride(0);
        f.global->prefs.SetUserSyncCalendarOverride(0);
        f.global->prefs.SetUserSyncContactsOverride(0);
        f.global->prefs.SetUserSyncTasksOverride(0);
    };
    const std::vector<NextCase> cases = {
        {"no type and not send-only ends at once", 1, noTypes, 0},
        {"empty store starts with Options", 1, nullptr, 2},
        {"a type needing its first Sync goes to FolderSync 0", 1,
         [](Fixture &f) {
             f.SyncedAccount();
             f.data->answer = 1;  // NeedsFirstSync
         },
         3},
        {"Options then FolderSync", 2, synced, 9},
        {"a folder waiting for creation comes before FolderSync", 2,
         [](Fixture &f) {
             f.SyncedAccount();
             f.AddFolder(kFolderTypeUserMail, "0", "0", kFlagCreate);
         },
         26},
        {"search on protocol 2.0 ends after Options", 2,
         [](Fixture &f) {
             f.engine->RunFlags() = kRunFlagSearch;
             f.global->prefs.SetEASVers(200);
         },
         0},
        {"search on protocol 2.5 searches", 2, [](Fixture &f) { f.engine->RunFlags() = kRunFlagSearch; }, 25},
        {"search ends after its answer", 25, [](Fixture &f) { f.engine->RunFlags() = kRunFlagSearch; }, 0},
        {"FolderSync of a first run: first Sync of a mail folder without key", 9,
         [](Fixture &f) {
             f.SyncedAccount();
             f.SetKey(kWork, "0");
             f.engine->Initial() = 1;
         },
         4},
        {"FolderSync on the first cycle asks for estimates", 9, synced, 10},
        {"FolderSync of a push cycle skips estimates; nothing to do ends", 9,
         [](Fixture &f) {
             f.SyncedAccount();
             f.engine->FirstPush() = 0;
         },
         0},
        {"server mail changes: that folder's Sync", 10,
         [](Fixture &f) {
             f.SyncedAccount();
             f.SetFlag(kWork, kMailFlagServerChanges, true);
         },
         14},
        {"meeting responses come first", 10,
         [](Fixture &f) {
             f.SyncedAccount();
             f.SetFlag(kInbox, kMailFlagLocalChanges, true);
             f.SetFlag(kInbox, kMailFlagMeetingResponses, true);
         },
         13},
        {"an attachment waits", 14,
         [](Fixture &f) {
             f.SyncedAccount();
             f.SetFlag(kInbox, kMailFlagAttachment, true);
         },
         16},
        {"outgoing mail", 10,
         [](Fixture &f) {
             f.SyncedAccount();
             f.data->answer = 1;  // CheckPendingItems
         },
         11},
        {"moved mail goes before the mail rule", 10,
         [](Fixture &f) {
             f.SyncedAccount();
             f.engine->MovedMail() = 1;
             f.data->answer = 1;  // HasMovedMailToSend
         },
         27},
        {"calendar changed on the server", 10,
         [](Fixture &f) {
             f.SyncedAccount();
             f.engine->ServerCalendar() = 1;
         },
         17},
        {"contacts changed locally after calendar", 17,
         [](Fixture &f) {
             f.SyncedAccount();
             f.engine->LocalContacts() = 1;
         },
         18},
        {"tasks changed on the server after contacts", 18,
         [](Fixture &f) {
             f.SyncedAccount();
             f.engine->ServerTasks() = 1;
         },
         19},
        {"nothing left after tasks ends the run", 19, synced, 0},
        {"first calendar Sync after the mail folders", 4,
         [](Fixture &f) {
             f.SyncedAccount();
             f.SetKey(kCalendar, "0");
             f.engine->Initial() = 1;
         },
         5},
        {"a type already keyed is passed over in a first run", 4,
         [](Fixture &f) {
             f.SyncedAccount();
             f.SetKey(kTasks, "0");
             f.engine->Initial() = 1;
         },
         7},
        {"first Syncs end in estimates", 7,
         [](Fixture &f) {
             f.SyncedAccount();
             f.engine->Initial() = 1;
         },
         10},
        {"Provision is acknowledged", 22, nullptr, 23},
        {"the acknowledgement resumes the saved step", 23, [](Fixture &f) { f.engine->SavedStep() = 18; }, 18},
        {"a wipe order goes to the wipe", 23,
         [](Fixture &f) {
             f.engine->SavedStep() = 18;
             f.engine->WipeOrdered() = 1;
         },
         24},
        {"a send-only run sends while mail waits", 11,
         [](Fixture &f) {
             f.engine->RunFlags() = kRunFlagSendOnly;
             f.data->answer = 1;
         },
         11},
        {"a send-only run ends when no mail waits", 11, [](Fixture &f) { f.engine->RunFlags() = kRunFlagSendOnly; },
         0},
        {"an unknown step", 99, nullptr, 0xFFFF},
    };
    for (const NextCase &c : cases) {
        TearDown();
        SetUp();
        if (c.setup) c.setup(*this);
        EXPECT_EQ(Next(c.finished), c.expected) << c.name;
    }
}

// The first run on an empty store, each server answer played by the test:
// OPTIONS, FolderSync with key 0, the first Sync of each mail folder
// without a key, then calendar, contacts and tasks, then GetItemEstimate,
// then the regular Syncs of what changed, then the end.
TEST_F(EngineStepsTest, FirstRunGoesInProtocolOrder) {
    std::vector<uint32_t> steps;
    engine->Step() = EActiveSyncStep_Start;
    for (int i = 0; i < 20 && engine->Step() != EActiveSyncStep_None; ++i) {
        ASSERT_EQ(engine->DetermineNextStep(), kNoError) << "after step " << engine->Step();
        const uint32_t step = engine->Step();
        steps.push_back(step);
        DEASFolderInfoRecord *current = nullptr;
        switch (step) {
        case EActiveSyncStep_FirstFolderSyncCmd:
            SyncedAccount("0");
            break;
        case EActiveSyncStep_FirstEMailSyncCmd:
            ASSERT_EQ(global->folders.GetCurrentFolder(&current), kNoError);
            current->SetString(kFolderFieldSyncKey, "1");
            break;
        case EActiveSyncStep_FirstCalendarSyncCmd:
            SetKey(kCalendar, "1");
            break;
        case EActiveSyncStep_FirstContactsSyncCmd:
            SetKey(kContacts, "1");
            break;
        case EActiveSyncStep_FirstTasksSyncCmd:
            SetKey(kTasks, "1");
            break;
        case EActiveSyncStep_GetItemEstimateCmd:
            SetFlag(kInbox, kMailFlagServerChanges, true);
            engine->ServerCalendar() = 1;
            break;
        default:
            break;
        }
    }
    const std::vector<uint32_t> expected = {2, 3, 4, 4, 5, 6, 7, 10, 14, 17, 0};
    EXPECT_EQ(steps, expected);
}

TEST_F(EngineStepsTest, MoreAvailableRepeatsTheStepThenMovesOn) {
    SyncedAccount();
    engine->Step() = EActiveSyncStep_FirstCalendarSyncCmd;
    engine->CalendarFailures() = 4;
    engine->CalendarLoops() = 3;
    engine->ServerTasks() = 1;

    DASDP_CalendarSyncResponse more;
    more.SetMoreAvailable(1);
    more.SetResetLoopCounter(1);
    ASSERT_EQ(engine->ActiveSyncDataManager_RecievedResponse(&more), kNoError);
    // The calendar goes on with its regular Sync; the errors and loops are over.
    EXPECT_EQ(engine->Step(), uint32_t(EActiveSyncStep_CalendarSyncCmd));
    EXPECT_EQ(engine->CalendarFailures(), 0);
    EXPECT_EQ(engine->CalendarLoops(), 0);
    EXPECT_TRUE(global->log.Has("!!continuing synchronization!!"));
    ASSERT_FALSE(data->calls.empty());
    EXPECT_EQ(data->calls.back(), "CollectCommandData 17");
    EXPECT_TRUE(client.errors.empty());

    DASDP_CalendarSyncResponse last;
    ASSERT_EQ(engine->ActiveSyncDataManager_RecievedResponse(&last), kNoError);
    EXPECT_EQ(engine->Step(), uint32_t(EActiveSyncStep_TasksSyncCmd));
    EXPECT_EQ(data->calls.back(), "CollectCommandData 19");
    // The client saw both answers.
    EXPECT_EQ(std::count(client.responses.begin(), client.responses.end(), int(kResponseTypeCalendarSync)), 2);
}

struct RefusedCase {
    const char *name;
    uint32_t type;      // the Sync record's type
    uint32_t status;    // its status
    uint32_t nextStep;  // the step prepared next (0: none)
    DErrorCode reported;
};

// A Sync the server refuses: an unknown key starts that collection again
// with key 0, a changed hierarchy starts FolderSync again with key 0, a lost
// device state starts again after Options, anything else fails the run.
TEST_F(EngineStepsTest, ARefusedSyncRecoversOrFails) {
    const std::vector<RefusedCase> cases = {
        {"mail key unknown", kResponseTypeEmailSync, 3, EActiveSyncStep_FirstEMailSyncCmd, kNoError},
        {"calendar key unknown", kResponseTypeCalendarSync, 3, EActiveSyncStep_FirstCalendarSyncCmd, kNoError},
        {"hierarchy changed", kResponseTypeTasksSync, 12, EActiveSyncStep_FirstFolderSyncCmd, kNoError},
        {"device state lost", kResponseTypeContactsSync, 8, EActiveSyncStep_FolderSyncCmd, kNoError},
        {"other status", kResponseTypeEmailSync, 4, 0, ASDataManagerErrBadStatus},
        {"hierarchy key unknown", kResponseTypeFolderSync, 9, EActiveSyncStep_FirstFolderSyncCmd, kNoError},
        {"hierarchy refused", kResponseTypeFolderSync, 6, 0, ASDataManagerErrBadStatus},
    };
    for (const RefusedCase &c : cases) {
        TearDown();
        SetUp();
        client.errors.clear();  // the client outlives the cases
        SyncedAccount();
        ASSERT_EQ(global->folders.NextSyncFolder(false), kNoError);  // the inbox is in hand
        engine->Step() = c.type == kResponseTypeEmailSync    ? EActiveSyncStep_EMailSyncCmd
                         : c.type == kResponseTypeFolderSync ? EActiveSyncStep_FolderSyncCmd
                                                             : EActiveSyncStep_CalendarSyncCmd;
        std::unique_ptr<DClientResponse> record;
        if (c.type == kResponseTypeFolderSync) {
            auto *folders = new DASDP_FolderSyncResponse;
            folders->SetStatus(c.status);
            record.reset(folders);
        } else {
            DASDP_SyncResponse *sync = nullptr;
            if (c.type == kResponseTypeEmailSync) sync = new DASDP_EmailSyncResponse;
            else if (c.type == kResponseTypeCalendarSync) sync = new DASDP_CalendarSyncResponse;
            else if (c.type == kResponseTypeContactsSync) sync = new DASDP_ContactsSyncResponse;
            else sync = new DASDP_TasksSyncResponse;
            sync->SetStatus(c.status);
            record.reset(sync);
        }
        ASSERT_EQ(engine->ActiveSyncDataManager_RecievedResponse(record.get()), kNoError) << c.name;
        if (c.reported != kNoError) {
            EXPECT_TRUE(client.Got(c.reported)) << c.name;
            continue;
        }
        EXPECT_TRUE(client.errors.empty()) << c.name;
        EXPECT_EQ(data->calls.back(), "CollectCommandData " + std::to_string(c.nextStep)) << c.name;
        const char *key = nullptr;
        global->folders.GetFolderSyncKey(&key);
        EXPECT_STREQ(key, c.status == 12 || c.status == 9 ? "0" : "7") << c.name;
        if (c.status == 3) {
            const char *id = c.type == kResponseTypeEmailSync ? kInbox : kCalendar;
            EXPECT_STREQ(Folder(id)->GetString(kFolderFieldSyncKey), "0") << c.name;
        }
    }
}

TEST_F(EngineStepsTest, EstimatesSetTheServerMarksAndOtherRecordsAreRefused) {
    DASDP_GetItemEstimateResponse estimate;
    estimate.SetCalendarChanges(2);
    estimate.SetTasksChanges(1);
    ASSERT_EQ(engine->ProcessDataProcessorResponse(&estimate), kNoError);
    EXPECT_EQ(engine->ServerCalendar(), 1);
    EXPECT_EQ(engine->ServerTasks(), 1);

    DClientResponse odd(kResponseTypePing);
    EXPECT_EQ(engine->ProcessDataProcessorResponse(&odd), activeSyncErrDataManagerUnexpectedResponse);
    EXPECT_TRUE(global->log.Has("Unexpected Response Type"));
}

// A Ping's body arrives from the data manager; once it is sent the client
// hears the alive record (kind 7) and the engine waits with EngineState 5.
TEST_F(EngineStepsTest, APingSentTellsTheClientItIsAlive) {
    SyncedAccount();
    global->prefs.SetQVHeartbeat(540);
    engine->Step() = EActiveSyncStep_PingCmd;
    ASSERT_EQ(engine->FinishPerformNextActiveSyncStep(), kNoError);
    EXPECT_TRUE(session->sent.empty()) << "the body comes first";

    DASDS_DataResponse body;
    ASSERT_EQ(engine->ActiveSyncDataManager_RecievedResponse(&body), kNoError);
    ASSERT_EQ(session->sent.size(), 1u);
    EXPECT_NE(session->sent[0].find("Cmd=Ping"), std::string::npos);
    EXPECT_EQ(std::count(client.statuses.begin(), client.statuses.end(), kStatusTypeAlive), 1);
    EXPECT_EQ(global->prefs.GetEngineState(), kEngineStatePinging);
    EXPECT_EQ(engine->FirstPush(), 0);
    EXPECT_TRUE(client.errors.empty());
}

// Nothing to send for a send step skips it: the next rule decides.
TEST_F(EngineStepsTest, NothingToSendSkipsTheStep) {
    SyncedAccount();
    engine->Step() = EActiveSyncStep_EMailSendCmd;
    data->collectResult = generalErrIndexOutOfRange;
    engine->ServerCalendar() = 1;
    data->onCollect = [this](uint32_t step) {
        if (step != EActiveSyncStep_EMailSendCmd) data->collectResult = kNoError;
    };
    engine->Stage() = kStagePerformStep;
    ASSERT_EQ(engine->RunTask(), kNoError);
    EXPECT_EQ(engine->Step(), uint32_t(EActiveSyncStep_CalendarSyncCmd));
    EXPECT_EQ(data->calls.back(), "CollectCommandData 17");
    EXPECT_TRUE(client.errors.empty());
}

struct LocalCase {
    const char *name;
    uint16_t flags;       // local change flags given by push
    uint8_t firstPush;
    std::vector<std::string> calls;
    uint8_t calendarMark;
};

// Start rule (3) on a synced account: the stores' change checks run stage
// by stage, mail folder by mail folder, then FolderSync is prepared. Flags
// given by push stand for the probes of the types they cover.
TEST_F(EngineStepsTest, LocalChangeStagesRunInOrderThenFolderSync) {
    const std::vector<std::string> probes = {
        "NeedsFirstSync",         "ProbeCalendarChanges",     "ProbeContactsChanges",     "ProbeTasksChanges",
        "ProbeEMailChanges",      "ProbeEMailChanges",        "ProbeAttachmentDownloads", "ProbeAttachmentDownloads",
        "ProbeMeetingResponses",  "ProbeMeetingResponses",    "ProbeMovedMail",           "CollectCommandData 9"};
    const std::vector<std::string> pushed = {
        "NeedsFirstSync",        "ProbeEMailChanges",     "ProbeEMailChanges", "ProbeAttachmentDownloads",
        "ProbeAttachmentDownloads", "ProbeMeetingResponses", "ProbeMeetingResponses", "ProbeMovedMail",
        "CollectCommandData 9"};
    const std::vector<LocalCase> cases = {
        {"first push: every store is asked", 0, 1, probes, 0},
        {"push flags stand for the probes", kLocalChangeCalendar | kLocalChangeEMail, 0, pushed, 1},
    };
    for (const LocalCase &c : cases) {
        TearDown();
        SetUp();
        SyncedAccount();
        engine->LocalFlags() = c.flags;
        engine->FirstPush() = c.firstPush;
        engine->Step() = EActiveSyncStep_Start;
        EXPECT_EQ(engine->DetermineNextStep(), activeSyncErrWaitForCallback) << c.name;
        ASSERT_TRUE(PumpEngineUntil(*global, [&] { return engine->Step() == EActiveSyncStep_FolderSyncCmd; }))
            << c.name;
        EXPECT_EQ(data->calls, c.calls) << c.name;
        EXPECT_EQ(engine->LocalCalendar(), c.calendarMark) << c.name;
        EXPECT_TRUE(client.errors.empty()) << c.name;
    }
}

// Step 0 ends the run: the stores clean up, the client hears the end, and
// no lock timer of the run keeps firing afterwards.
TEST_F(EngineStepsTest, TheLastStepEndsTheRunAndItsTimers) {
    SyncedAccount();
    engine->StartLockTimers();
    engine->Step() = EActiveSyncStep_None;
    ASSERT_EQ(engine->FinishPerformNextActiveSyncStep(), kNoError);
    ASSERT_TRUE(PumpEngineUntil(*global, [&] { return client.RunOver(); }));
    EXPECT_EQ(data->calls.back(), "EndOfRunCleanup");
    EXPECT_TRUE(engine->LockTimersStopped());
    EXPECT_EQ(engine->Stage(), uint32_t(kStageIdle));
    EXPECT_TRUE(session->sent.empty());
    EXPECT_TRUE(client.errors.empty());
}

TEST_F(EngineStepsTest, SearchBeforeTheFirstSyncFailsAndSendsNothing) {
    engine->RunFlags() = kRunFlagSearch;
    engine->Stage() = kStageSearchCheck;
    ASSERT_EQ(engine->RunTask(), kNoError);
    EXPECT_TRUE(client.Got(activeSyncErrSearchFirstTimeSync));
    EXPECT_TRUE(session->sent.empty());
}

TEST_F(EngineStepsTest, UnknownStepsAndStagesAreLoggedAndReported) {
    engine->Step() = 99;
    EXPECT_EQ(engine->FinishPerformNextActiveSyncStep(), activeSyncErrUnexpectedStep);
    EXPECT_TRUE(global->log.Has("FinishPerformNextActiveSyncStep() - Unknown ActiveSync Step : "));

    engine->Stage() = 99;
    ASSERT_EQ(engine->RunTask(), kNoError);
    EXPECT_TRUE(global->log.Has("DActiveSyncEngine::RunTask() -  Unknown run task stage: "));
    EXPECT_TRUE(client.Got(activeSyncErrUnexpectedStep));
    EXPECT_TRUE(session->sent.empty());
}

}  // namespace
