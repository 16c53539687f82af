// What the mail interop tests share: a device with the product key and its
// mail account in place, the test account on the real server's HTTP endpoint
// under a device id of its own, and a real engine with its own data manager
// whose e-mail runs are pumped to their end. PeerMailTest is the fixture; the
// free helpers serve tests that keep their engines to themselves (a child
// process, an engine per retry).
#ifndef VTEST_INTEROP_PEERMAILFIXTURE_H
#define VTEST_INTEROP_PEERMAILFIXTURE_H

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "DActiveSyncEngine.h"
#include "DEASFolderInfoStore.h"
#include "EngineTestSupport.h"
#include "ICorvanePreferences.h"
#include "peertestutil.h"
#include "vplatform_mail.h"
#include "vplatform_test.h"
#include "winerror.h"
#include "winreg.h"
#include "winthread.h"
#include "wintime.h"

#ifdef VANTREL_EDITION_SMARTPHONE
inline const char16_t *const kMailStore = u"Vantrel E-Mail";
#else
inline const char16_t *const kMailStore = u"Vantrel";
#endif

// The product key as setup leaves it, no connection manager script, and the
// device's mail account provisioned.
inline void PreparePeerMailDevice() {
    HKEY h;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Brellow\\Vantrel", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &h, &disposition),
              ERROR_SUCCESS);
    RegCloseKey(h);
    vplat::ConnMgrResetScript();
    ASSERT_EQ(vplat::MailAccountProvision(kMailStore), S_OK);
}

// A device id no other run has used: the prefix, this process and the time.
// The server keeps sync state by device id, so no other test's state answers
// for the run that uses it.
inline VString OwnDeviceID(const std::string &prefix) {
    return RunText(prefix + std::to_string(GetCurrentProcessId()) + std::to_string(GetTickCount()));
}

// The test account on the server's HTTP endpoint, under a device id of its
// own, every mail however old; saved, so that each engine of the device (a
// child process's too) reads it from the registry.
inline void SetPeerMailAccount(ICorvanePreferences &prefs, const PeerSettings &peer, const std::string &idPrefix) {
    const PeerEndpoint &endpoint = peer.http;
    SetTestAccount(prefs, std::string(endpoint.host.begin(), endpoint.host.end()) + ":" + std::to_string(endpoint.port),
                   peer.user, peer.password, false, false);
    prefs.SetQVDeviceID(OwnDeviceID(idPrefix));
    prefs.SetSyncEMailDateRange(0);
    prefs.SaveAll();
}

// The account's server: the real one (port 0), or another loopback port
// (a man in the middle, or nobody listening).
inline void PointPeerAccountAt(ICorvanePreferences &prefs, const PeerSettings &peer, unsigned short port) {
    const PeerEndpoint &endpoint = peer.http;
    const std::string host(endpoint.host.begin(), endpoint.host.end());
    prefs.SetServer(RunText(host + ":" + std::to_string(port != 0 ? port : endpoint.port)));
    prefs.SaveAll();
}

// Starts a person's e-mail run with the options and pumps the engine's
// thread until the run ends; the caller judges the client's errors.
inline void PumpEMailRun(DActiveSyncEngine &engine, EngineGlobal &global, RecordingClient &client,
                         uint32_t options = 0) {
    ASSERT_EQ(engine.StartSync(kRunFlagEMail, options, kLockModeWait, kRunKindUser), kNoError);
    ASSERT_TRUE(PumpEngineUntil(global, [&client] { return client.RunOver(); })) << global.log.text;
}

// The server's folder tree as the device learnt it: Alpha below Projects.
inline void ExpectAlphaBelowProjects(DEASFolderInfoStore &folders) {
    DEASFolderInfoRecord *alpha = nullptr, *projects = nullptr;
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
}

// A device prepared for the account, its global info, and an engine made in
// SetUp (and again for every RunEMail).
class PeerMailTest : public PeerTest {
protected:
    // idPrefix starts the device id, which tells the test's runs apart in the server's log.
    explicit PeerMailTest(std::string idPrefix) : m_idPrefix(std::move(idPrefix)) {}

    void SetUp() override {
        PeerTest::SetUp();
        if (HasFatalFailure()) return;
        PreparePeerMailDevice();
        if (HasFatalFailure()) return;
        global = std::make_unique<EngineGlobal>();
        SetPeerMailAccount(global->prefs, Peer(), m_idPrefix);
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

    // One whole e-mail run of a new engine with the options; no error.
    void RunEMail(uint32_t options = 0) {
        MakeEngine();
        if (HasFatalFailure()) return;
        PumpEMailRun(*engine, *global, client, options);
        if (HasFatalFailure()) return;
        EXPECT_TRUE(client.errors.empty()) << std::hex << (client.errors.empty() ? 0 : client.errors[0]) << "\n"
                                           << global->log.text;
    }

    std::unique_ptr<EngineGlobal> global;
    std::unique_ptr<DActiveSyncEngine> engine;
    RecordingClient client;

private:
    std::string m_idPrefix;
};

#endif
