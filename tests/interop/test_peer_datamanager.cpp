// The engine with its own data manager against the real ActiveSync server on
// loopback: a fresh device learns alice's folder hierarchy and the Inbox's
// message headers, checked against what the server's mail store holds; a
// second run with nothing new syncs the Inbox once and changes nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "DActiveSyncEngine.h"
#include "DWinMobMessageManager.h"
#include "DeviceInbox.h"
#include "EngineTestSupport.h"
#include "IOutlookMessage.h"
#include "ImapProbe.h"
#include "peertestutil.h"
#include "vplatform_mail.h"
#include "vplatform_test.h"
#include "winreg.h"

namespace {

#ifdef VANTREL_EDITION_SMARTPHONE
const char16_t *const kMailStore = u"Vantrel E-Mail";
#else
const char16_t *const kMailStore = u"Vantrel";
#endif

class PeerDataManagerTest : public PeerTest {
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
        ASSERT_EQ(vplat::MailAccountProvision(kMailStore), S_OK);
        global = std::make_unique<EngineGlobal>();
        const PeerEndpoint &endpoint = Peer().http;
        SetTestAccount(global->prefs,
                       std::string(endpoint.host.begin(), endpoint.host.end()) + ":" + std::to_string(endpoint.port),
                       Peer().user, Peer().password, false, false);
        global->prefs.SetQVDeviceID(
            RunText("VDM" + std::to_string(GetCurrentProcessId()) + std::to_string(GetTickCount())));
        // Every mail, however old.
        global->prefs.SetSyncEMailDateRange(0);
        global->prefs.SaveAll();
        MakeEngine();
    }
    void TearDown() override {
        engine.reset();
        global.reset();
        vplat::ConnMgrResetScript();
        PeerTest::TearDown();
    }

    void MakeEngine() {
        engine.reset();
        client = RecordingClient();
        engine = std::make_unique<DActiveSyncEngine>();
        ASSERT_EQ(engine->Initialize(global.get(), &client), kNoError);
    }

    void RunEMail() {
        ASSERT_EQ(engine->StartSync(kRunFlagEMail, 0, kLockModeWait, kRunKindUser), kNoError);
        ASSERT_TRUE(PumpEngineUntil(*global, [this] { return client.RunOver(); })) << global->log.text;
        EXPECT_TRUE(client.errors.empty()) << std::hex << (client.errors.empty() ? 0 : client.errors[0]) << "\n"
                                           << global->log.text;
    }

    size_t CountInLog(const std::string &piece, size_t from = 0) const {
        size_t count = 0;
        for (size_t at = global->log.text.find(piece, from); at != std::string::npos;
             at = global->log.text.find(piece, at + 1))
            ++count;
        return count;
    }

    std::unique_ptr<EngineGlobal> global;
    std::unique_ptr<DActiveSyncEngine> engine;
    RecordingClient client;
};

TEST_F(PeerDataManagerTest, AFreshDeviceLearnsTheFoldersAndTheInboxHeadersAndASecondRunChangesNothing) {
    RunEMail();
    if (HasFatalFailure()) return;

    // The hierarchy: the Inbox and the calendar by type, Alpha below Projects.
    DEASFolderInfoStore &folders = global->folders;
    DEASFolderInfoRecord *inbox = nullptr, *calendar = nullptr, *alpha = nullptr, *projects = nullptr;
    ASSERT_EQ(folders.FindFirstFolderOfType(kFolderTypeInbox, &inbox), kNoError);
    EXPECT_EQ(std::string(inbox->GetString(kFolderFieldServerID)).rfind("mail%2F", 0), 0u);
    EXPECT_NE(std::string(inbox->GetString(kFolderFieldSyncKey)), "0");
    EXPECT_EQ(folders.FindFirstFolderOfType(kFolderTypeCalendar, &calendar), kNoError);
    uint32_t count = 0;
    folders.GetRecordCount(&count);
    for (uint32_t i = 0; i < count; ++i) {
        DEASFolderInfoRecord *folder = nullptr;
        if (folders.GetFolderAt(i, &folder) != kNoError) continue;
        const std::string name = folder->GetDisplayName();
        if (name == "Alpha") alpha = folder;
        if (name == "Projects") projects = folder;
    }
    ASSERT_NE(alpha, nullptr);
    ASSERT_NE(projects, nullptr);
    const char *alphaParent = nullptr;
    ASSERT_EQ(alpha->GetParentServerID(&folders, &alphaParent), kNoError);
    EXPECT_STREQ(alphaParent, projects->GetString(kFolderFieldServerID));

    // Every Inbox mail of the server, with its subject.
    const std::vector<std::string> subjects = DeviceInboxSubjects(global.get());
    const int onServer = ImapMessageCount(Peer(), "INBOX");
    ASSERT_GT(onServer, 0);
    EXPECT_EQ(int(subjects.size()), onServer);
    const std::set<std::string> held(subjects.begin(), subjects.end());
    EXPECT_TRUE(held.count("Test message 01")) << subjects.size();
    EXPECT_TRUE(held.count("Large message (24 KB body)"));

    // A second run with nothing new: one Sync of the Inbox, no change.
    const size_t from = global->log.text.size();
    MakeEngine();
    RunEMail();
    EXPECT_EQ(CountInLog("DActiveSyncDataManager::CollectCommandData() - ActiveSync command : 14", from), 1u)
        << global->log.text.substr(from);
    EXPECT_EQ(CountInLog("DActiveSyncDataManager::CollectCommandData() - ActiveSync command : 4", from), 0u);
    EXPECT_EQ(DeviceInboxSubjects(global.get()), subjects);
}

}  // namespace
