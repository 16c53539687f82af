// Whole runs of the engine against the real ActiveSync server on loopback,
// over HTTP and HTTPS: a first run (OPTIONS, FolderSync, the Inbox's Syncs),
// and a push run whose Ping the server ends when a new mail reaches the
// account through its SMTP port. The data manager is the scripted one of
// the engine's tests; the server's answers are its own.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "DActiveSyncEngine.h"
#include "EngineTestSupport.h"
#include "ScriptedDataManager.h"
#include "devicetrust.h"
#include "SmtpDelivery.h"
#include "peertestutil.h"
#include "vplatform_test.h"
#include "winerror.h"
#include "winreg.h"

namespace {

class PeerEngine : public DActiveSyncEngine {
public:
    using DActiveSyncEngine::SetDataManager;
    uint32_t Step() const { return m_currentStep; }
};

// Hands one message to the server's SMTP port; true when it was taken.
bool DeliverMail(const std::string &smtp, const std::string &to, const std::string &subject) {
    return SmtpDeliver(smtp, to, PlainMailFromBob(to, subject, "A new mail for the push test."));
}

// Runs once over HTTP and once over HTTPS (the server's certificate in the
// test device's trust store).
class PeerEngineTest : public PeerTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        PeerTest::SetUp();
        if (HasFatalFailure()) return;
        HKEY h;
        DWORD disposition = 0;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Brellow\\Vantrel", 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &h, &disposition),
                  ERROR_SUCCESS);
        RegCloseKey(h);
        vplat::ConnMgrResetScript();
        const bool secure = GetParam();
        const PeerEndpoint &endpoint = secure ? Peer().https : Peer().http;
        if (secure) {
            ASSERT_TRUE(vplat::DeviceTrustCertificate(Peer().certificatePem));
        }
        global = std::make_unique<EngineGlobal>();
        SetTestAccount(global->prefs,
                       std::string(endpoint.host.begin(), endpoint.host.end()) + ":" + std::to_string(endpoint.port),
                       Peer().user, Peer().password, secure, false);
        // A partnership of its own for every run, so that no other test's
        // sync state answers for this one.
        global->prefs.SetQVDeviceID(RunText("VENG" + std::string(secure ? "S" : "P") +
                                           std::to_string(GetCurrentProcessId()) + std::to_string(GetTickCount())));
        global->prefs.SaveAll();
        engine = std::make_unique<PeerEngine>();
        data = new ScriptedDataManager(global.get());
        data->SetEngine(engine.get());
        engine->SetDataManager(data);
        ASSERT_EQ(engine->Initialize(global.get(), &client), kNoError);
    }
    void TearDown() override {
        engine.reset();
        global.reset();
        vplat::ConnMgrResetScript();
        PeerTest::TearDown();
    }

    // "OPTIONS" or the Cmd of each request the engine logged, in order.
    std::vector<std::string> Commands() const {
        std::vector<std::string> out;
        for (const std::string &call : data->calls)
            if (call.rfind("ProcessCommandData ", 0) == 0) out.push_back(call.substr(19));
        return out;
    }

    std::unique_ptr<EngineGlobal> global;
    std::unique_ptr<PeerEngine> engine;
    ScriptedDataManager *data = nullptr;  // the engine's
    RecordingClient client;
};

TEST_P(PeerEngineTest, AFirstRunLearnsTheProtocolAndTheFoldersAndSyncsTheInbox) {
    ASSERT_EQ(engine->StartSync(kRunFlagEMail, 0, kLockModeWait, kRunKindUser), kNoError);
    ASSERT_TRUE(PumpEngineUntil(*global, [this] { return client.RunOver(); }));

    EXPECT_TRUE(client.errors.empty()) << std::hex << (client.errors.empty() ? 0 : client.errors[0]);
    EXPECT_EQ(global->prefs.GetEASVers(), 250);
    EXPECT_EQ(global->prefs.GetPushAvailable(), 1);
    EXPECT_EQ(global->prefs.GetEngineState(), kEngineStateCompleted);
    // FolderSync (step 3) came first, then the Inbox's first Sync (step 4).
    const std::vector<std::string> commands = Commands();
    ASSERT_GE(commands.size(), 2u);
    EXPECT_EQ(commands[0], "3");
    EXPECT_EQ(commands[1], "4");
    EXPECT_EQ(data->FolderId(kFolderTypeInbox).rfind("mail%2F", 0), 0u) << data->FolderId(kFolderTypeInbox);
    EXPECT_NE(data->FolderId(kFolderTypeCalendar), "");
    EXPECT_NE(data->FolderKey(kFolderTypeInbox), "0");
    EXPECT_NE(data->FolderKey(kFolderTypeInbox), "");
}

// A push run: after its sync cycle the engine sends Ping; a mail delivered
// to the account then ends the Ping with Status 2 naming the Inbox, and the
// engine syncs the Inbox before it pings again.
TEST_P(PeerEngineTest, APingEndsWhenNewMailArrivesAndTheInboxSyncsAgain) {
    global->prefs.SetPeakPushSyncEnabled(1);
    global->prefs.SetOffPeakPushSyncEnabled(1);
    // Within the server's own limit of 30 s.
    global->prefs.SetQVHeartbeat(25);
    global->prefs.SetMinimumHeartBeat(20);
    global->prefs.SaveAll();
    auto count = [this](const std::string &call) {
        return size_t(std::count(data->calls.begin(), data->calls.end(), call));
    };
    // The index of the first Ping answer with changes, or -1.
    auto changesReported = [this]() {
        for (size_t i = 0; i < data->answers.size(); ++i)
            if (data->answers[i].rfind("<Ping", 0) == 0 &&
                data->answers[i].find("<Status>2</Status>") != std::string::npos)
                return int(i);
        return -1;
    };
    ASSERT_EQ(engine->StartSync(kRunFlagEMail | kRunFlagPush, 0, kLockModeWait, kRunKindScheduled), kNoError);
    ASSERT_TRUE(PumpEngineUntil(*global, [&] { return count("CollectCommandData 20") >= 1; }))
        << "no Ping was sent\n" << global->log.text;
    // The server holds the Ping; give the request a moment to arrive.
    const DWORD until = GetTickCount() + 1000;
    PumpEngineUntil(*global, [until] { return int32_t(GetTickCount() - until) >= 0; });
    ASSERT_TRUE(DeliverMail(Peer().smtp, Peer().user + "@example.test", "push" + std::to_string(GetTickCount())));
    // Quiet Pings may come first; the server notices new mail within seconds.
    bool reported = false;
    for (int i = 0; i < 3 && !reported; ++i) reported = PumpEngineUntil(*global, [&] { return changesReported() >= 0; });
    ASSERT_TRUE(reported) << "no Ping reported the new mail\n" << global->log.text;
    const size_t at = size_t(changesReported());
    EXPECT_NE(data->answers[at].find(data->FolderId(kFolderTypeInbox)), std::string::npos) << data->answers[at];
    ASSERT_TRUE(PumpEngineUntil(*global, [&] {
        for (size_t i = at + 1; i < data->answers.size(); ++i)
            if (data->answers[i].rfind("<Sync", 0) == 0) return true;
        return false;
    })) << "the Inbox was not synced after the Ping\n" << global->log.text;
    EXPECT_TRUE(client.errors.empty());

    // A cancel without push ends the run at once, and nothing more is sent.
    EXPECT_EQ(engine->CancelSync(TRUE), kNoError);
    EXPECT_EQ(global->prefs.GetEngineState(), kEngineStateCancelled);
    const size_t sent = data->calls.size();
    const DWORD quiet = GetTickCount() + 1000;
    PumpEngineUntil(*global, [quiet] { return int32_t(GetTickCount() - quiet) >= 0; });
    EXPECT_EQ(data->calls.size(), sent);
}

INSTANTIATE_TEST_SUITE_P(Schemes, PeerEngineTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &info) { return info.param ? "Https" : "Http"; });

}  // namespace
