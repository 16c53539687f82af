// The fixture of the engine's whole-run traces: an account on the loopback
// test server, the engine with the scripted data manager, a recording
// client, the virtual clock; and the canned answers the traces share
// (a folder hierarchy, a Sync, an estimate), each made WBXML by the WBXML
// library's own conversion when scripted.
#ifndef VTEST_ENGINERUNFIXTURE_H
#define VTEST_ENGINERUNFIXTURE_H

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "DActiveSyncEngine.h"
#include "EngineDeviceTest.h"
#include "EngineTestSupport.h"
#include "FolderStoreWrite.h"
#include "QvEngine/foundation/prefstestutil.h"
#include "ScriptedDataManager.h"
#include "support/ActiveSyncWire.h"
#include "support/TestDevice.h"
#include "support/TestHttpServer.h"
#include "vplatform_test.h"
#include "winreg.h"
#include "wintime.h"

class RunEngine : public DActiveSyncEngine {
public:
    using DActiveSyncEngine::SetDataManager;
    uint32_t Step() const { return m_currentStep; }
    uint32_t TaskStage() const { return m_taskStage; }
};

// The hierarchy of the test server's account: Inbox, Sent, calendar,
// contacts and tasks (the last three with escaped ids, as servers send them).
inline const char kFolderSyncAnswer[] =
    "<FolderSync xmlns=\"FolderHierarchy:\"><Status>1</Status><SyncKey>1</SyncKey><Changes><Count>5</Count>"
    "<Add><ServerId>INBOX</ServerId><ParentId>0</ParentId><DisplayName>Inbox</DisplayName><Type>2</Type></Add>"
    "<Add><ServerId>Sent</ServerId><ParentId>0</ParentId><DisplayName>Sent</DisplayName><Type>5</Type></Add>"
    "<Add><ServerId>vevent%2Fpersonal</ServerId><ParentId>0</ParentId><DisplayName>Calendar</DisplayName>"
    "<Type>8</Type></Add>"
    "<Add><ServerId>vcard%2Fpersonal</ServerId><ParentId>0</ParentId><DisplayName>Contacts</DisplayName>"
    "<Type>9</Type></Add>"
    "<Add><ServerId>vtodo%2Fpersonal</ServerId><ParentId>0</ParentId><DisplayName>Tasks</DisplayName>"
    "<Type>7</Type></Add>"
    "</Changes></FolderSync>";

inline std::string SyncAnswer(const char *cls, const char *folder, const char *key, bool more = false) {
    return std::string("<Sync xmlns=\"AirSync:\"><Collections><Collection><Class>") + cls + "</Class><SyncKey>" + key +
           "</SyncKey><CollectionId>" + folder + "</CollectionId><Status>1</Status>" +
           (more ? "<MoreAvailable/>" : "") + "</Collection></Collections></Sync>";
}

inline std::string EstimateAnswer(const char *folder, int estimate) {
    return std::string("<GetItemEstimate xmlns=\"GetItemEstimate:\"><Response><Status>1</Status><Collection>"
                       "<Class>Email</Class><CollectionId>") +
           folder + "</CollectionId><Estimate>" + std::to_string(estimate) +
           "</Estimate></Collection></Response></GetItemEstimate>";
}

class EngineRunTest : public EngineDeviceTest {
protected:
    void SetUp() override {
        EngineDeviceTest::SetUp();
        global = std::make_unique<EngineGlobal>();
        SetTestAccount(global->prefs, "127.0.0.1:" + std::to_string(server.Port()), "alice", "secret1");
        engine = std::make_unique<RunEngine>();
        data = new ScriptedDataManager(global.get());
        data->SetEngine(engine.get());
        engine->SetDataManager(data);
        ASSERT_EQ(engine->Initialize(global.get(), &client), kNoError);
    }
    void TearDown() override {
        engine.reset();
        global.reset();
        EngineDeviceTest::TearDown();
    }

    bool RunToEnd() {
        return PumpEngineUntil(*global, [this] { return client.RunOver(); });
    }
    // "OPTIONS" or the Cmd value of each request from the first'th on, in order.
    std::vector<std::string> Commands(size_t first = 0) const { return RequestCommands(server.Requests(), first); }
    // The folder-info store as a first run against the test server leaves
    // it: the hierarchy of kFolderSyncAnswer, every folder and the
    // hierarchy with sync key "1".
    void SeedFolders() {
        ASSERT_EQ(DBOpenReadWrite(&global->folders), kNoError);
        const struct {
            uint32_t type;
            const char *id, *name;
        } folders[] = {{kFolderTypeInbox, "INBOX", "Inbox"},
                       {kFolderTypeSentItems, "Sent", "Sent"},
                       {kFolderTypeCalendar, "vevent%2Fpersonal", "Calendar"},
                       {kFolderTypeContacts, "vcard%2Fpersonal", "Contacts"},
                       {kFolderTypeTasks, "vtodo%2Fpersonal", "Tasks"}};
        for (const auto &f : folders) {
            DEASFolderInfoRecord *folder = nullptr;
            ASSERT_EQ(global->folders.AddFolder(&folder, f.type, f.id, f.name, "1", nullptr, 0, 0, 0), kNoError);
        }
        ASSERT_EQ(global->folders.SetFolderSyncKey("1"), kNoError);
        ASSERT_EQ(global->folders.Save(), kNoError);
    }

    TestHttpServer server;
    std::unique_ptr<EngineGlobal> global;
    std::unique_ptr<RunEngine> engine;
    ScriptedDataManager *data = nullptr;  // the engine's
    RecordingClient client;
};

#endif
