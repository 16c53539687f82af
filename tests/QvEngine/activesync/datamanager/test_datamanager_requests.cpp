// The request bodies built at once (FolderSync, FolderCreate, AirNotify,
// GetItemEstimate, Ping, Provision, Search): each reaches the engine inside
// the call as a type-16 WBXML record, read back here by the WBXML library's
// own conversion and compared with the tree a server expects.
#include "DataManagerFixture.h"
#include "RequestMailSupport.h"

namespace {

class RequestTest : public DataManagerTest {
protected:
    void SetUp() override {
        DataManagerTest::SetUp();
        client.onRecord = [this](DClientResponse *response) { bodies.push_back(RequestXml(response)); };
    }
    // Builds the step's body; the one record it handed over, as XML.
    std::string Build(uint32_t step) {
        const size_t before = client.records.size();
        EXPECT_EQ(data->CollectCommandData(step), kNoError) << "step " << step;
        if (client.records.size() != before + 1) {
            ADD_FAILURE() << "no record for step " << step;
            return {};
        }
        const HandedRecord &record = client.records.back();
        EXPECT_EQ(record.type, kResponseTypeData);
        EXPECT_EQ(record.contentType, kWbxmlContentType);
        return bodies.back();
    }
    void TurnOnly(bool mail, bool calendar, bool contacts, bool tasks) {
        Prefs().SetUserSyncEMail(mail);
        Prefs().SetUserSyncCalendar(calendar);
        Prefs().SetUserSyncContacts(contacts);
        Prefs().SetUserSyncTasks(tasks);
    }
    // A user mail folder that the sync-folder walk visits (it has a store folder).
    void AddWalkedMailFolder(const char *serverID, const char *key = "0") {
        DEASFolderInfoRecord *folder = AddFolder(kFolderTypeUserMail, serverID, key, kFolderFlagSync);
        ASSERT_NE(folder, nullptr);
        ASSERT_EQ(folder->SetData("id", 2), kNoError);
    }
    std::vector<std::string> bodies;
    bool Asked(UINT id) const {
        for (UINT asked : global->strings.asked)
            if (asked == id) return true;
        return false;
    }
};

TEST_F(RequestTest, FolderSyncSendsTheStoredKey) {
    EXPECT_TRUE(SameXml("<FolderSync xmlns=\"FolderHierarchy:\"><SyncKey>0</SyncKey></FolderSync>", Build(3)));
    ASSERT_EQ(global->folders.SetFolderSyncKey("fk-7"), kNoError);
    EXPECT_TRUE(SameXml("<FolderSync xmlns=\"FolderHierarchy:\"><SyncKey>fk-7</SyncKey></FolderSync>", Build(9)));
    EXPECT_NE(Log().find("Current global state: fk-7"), std::string::npos);
}

TEST_F(RequestTest, FolderCreateNamesTheFlaggedFolderAndItsParent) {
    ASSERT_EQ(global->folders.SetFolderSyncKey("fk-2"), kNoError);
    AddFolder(kFolderTypeUserMail, "parent-1");
    AddFolder(kFolderTypeUserMail, "Projects", "0", kFolderFlagWalk, "parent-1");
    bool found = false;
    ASSERT_EQ(global->folders.NextFlaggedFolder(&found), kNoError);
    ASSERT_TRUE(found);
    EXPECT_TRUE(SameXml("<FolderCreate xmlns=\"FolderHierarchy:\"><SyncKey>fk-2</SyncKey><ParentId>parent-1</ParentId>"
                        "<DisplayName>Projects</DisplayName><Type>12</Type></FolderCreate>",
                        Build(26)));
    // No folder waiting for creation: nothing is sent.
    global->folders.NextFlaggedFolder(&found);
    EXPECT_NE(data->CollectCommandData(26), kNoError);
    EXPECT_EQ(client.records.size(), 1u);
}

TEST_F(RequestTest, AirNotifyAsksForTheDeviceInfo) {
    EXPECT_TRUE(SameXml("<Notify xmlns=\"AirNotify:\"><DeviceInfo/></Notify>", Build(8)));
}

TEST_F(RequestTest, GetItemEstimateListsTheTypesInOrderWithTheirFilters) {
    TurnOnly(true, true, true, true);
    Prefs().SetSyncCalDateRange(4);
    Prefs().SetSyncEMailDateRange(2);
    Prefs().SetSyncTasksDateRange(1);
    // Mail first in the store, to show the order is by type, not by record.
    AddFolder(kFolderTypeUserMail, "u-off", "k-off");
    AddWalkedMailFolder("u-on", "k-u");
    AddFolder(kFolderTypeInbox, "inbox", "k-i");
    AddFolder(kFolderTypeTasks, "tasks", "k-t");
    AddFolder(kFolderTypeContacts, "contacts", "k-n");
    AddFolder(kFolderTypeCalendar, "calendar", "k-c");
    const char *collection =
        "<Collection><Class>%s</Class><CollectionId>%s</CollectionId>"
        "<FilterType xmlns=\"AirSync:\">%s</FilterType><SyncKey xmlns=\"AirSync:\">%s</SyncKey></Collection>";
    auto one = [&](const char *cls, const char *id, const char *filter, const char *key) {
        char buffer[512];
        std::snprintf(buffer, sizeof buffer, collection, cls, id, filter, key);
        return std::string(buffer);
    };
    // Contacts carry the in-memory date-range code, 0 unless set.
    EXPECT_TRUE(SameXml("<GetItemEstimate xmlns=\"GetItemEstimate:\"><Collections>" +
                            one("Calendar", "calendar", "4", "k-c") + one("Contacts", "contacts", "0", "k-n") +
                            one("Tasks", "tasks", "1", "k-t") + one("Email", "inbox", "2", "k-i") +
                            one("Email", "u-on", "2", "k-u") + "</Collections></GetItemEstimate>",
                        Build(10)));
    // A type off, or without its folder, has no collection.
    TurnOnly(true, false, true, false);
    Prefs().SetSyncContactsDateRange(3);
    EXPECT_TRUE(SameXml("<GetItemEstimate xmlns=\"GetItemEstimate:\"><Collections>" +
                            one("Contacts", "contacts", "3", "k-n") + one("Email", "inbox", "2", "k-i") +
                            one("Email", "u-on", "2", "k-u") + "</Collections></GetItemEstimate>",
                        Build(10)));
}

TEST_F(RequestTest, PingWatchesThePimFoldersThenTheInboxThenTheWalkedMailFolders) {
    TurnOnly(true, true, false, true);
    Prefs().SetQVHeartbeat(540);
    AddWalkedMailFolder("u-1");
    AddFolder(kFolderTypeInbox, "inbox");
    AddFolder(kFolderTypeTasks, "tasks");
    AddFolder(kFolderTypeContacts, "contacts");
    AddFolder(kFolderTypeCalendar, "calendar");
    auto folder = [](const char *id, const char *cls) {
        return std::string("<Folder><Id>") + id + "</Id><Class>" + cls + "</Class></Folder>";
    };
    EXPECT_TRUE(SameXml("<Ping xmlns=\"Ping:\"><HeartbeatInterval>540</HeartbeatInterval><Folders>" +
                            folder("calendar", "Calendar") + folder("tasks", "Tasks") + folder("inbox", "Email") +
                            folder("u-1", "Email") + "</Folders></Ping>",
                        Build(20)));
    EXPECT_NE(Log().find("Ping CALENDAR Folder ID : calendar"), std::string::npos);
    EXPECT_NE(Log().find("Ping EMAIL Folder ID : u-1"), std::string::npos);
    EXPECT_FALSE(Asked(149));
    // The walk leaves no folder current for the engine.
    DEASFolderInfoRecord *current = nullptr;
    EXPECT_NE(global->folders.GetCurrentFolder(&current), kNoError);

    // Only e-mail: the inbox comes first.
    TurnOnly(true, false, false, false);
    EXPECT_TRUE(SameXml("<Ping xmlns=\"Ping:\"><HeartbeatInterval>540</HeartbeatInterval><Folders>" +
                            folder("inbox", "Email") + folder("u-1", "Email") + "</Folders></Ping>",
                        Build(20)));
}

TEST_F(RequestTest, PingCarriesNoMoreFoldersThanTheServerAllows) {
    TurnOnly(true, true, false, false);
    Prefs().SetQVHeartbeat(300);
    Prefs().SetMaxServerPushFolders(2);
    AddFolder(kFolderTypeCalendar, "calendar");
    AddFolder(kFolderTypeInbox, "inbox");
    AddWalkedMailFolder("u-1");
    AddWalkedMailFolder("u-2");
    EXPECT_TRUE(SameXml("<Ping xmlns=\"Ping:\"><HeartbeatInterval>300</HeartbeatInterval><Folders>"
                        "<Folder><Id>calendar</Id><Class>Calendar</Class></Folder>"
                        "<Folder><Id>inbox</Id><Class>Email</Class></Folder></Folders></Ping>",
                        Build(20)));
    EXPECT_TRUE(Asked(149));
    EXPECT_TRUE(Asked(150));
    EXPECT_TRUE(Asked(152));
}

TEST_F(RequestTest, PingWithoutAnyFolderToWatchIsRefused) {
    struct Case {
        const char *name;
        std::function<void()> arrange;
    } cases[] = {
        {"no folders", [] {}},
        {"limit 0", [this] {
             AddFolder(kFolderTypeInbox, "inbox");
             Prefs().SetMaxServerPushFolders(0);
         }},
        {"types off", [this] {
             Prefs().SetMaxServerPushFolders(10);
             TurnOnly(false, false, false, false);
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        c.arrange();
        EXPECT_EQ(data->CollectCommandData(20), ASDataManagerErrNoPushTypeSpecified);
        EXPECT_NE(Log().find("DActiveSyncEngine::BuildPingFoldersNode(): No pCurrFolderNode "), std::string::npos);
    }
    EXPECT_TRUE(client.records.empty());
}

TEST_F(RequestTest, ProvisionAsksForThePolicyThenAcknowledgesItsKey) {
    const char *ask =
        "<Provision xmlns=\"Provision:\"><Policies><Policy><PolicyType>MS-WAP-Provisioning-XML</PolicyType>"
        "</Policy></Policies></Provision>";
    EXPECT_TRUE(SameXml(ask, Build(22)));
    // An acknowledgement without a key to name is refused.
    VString none;
    none.AssignCStr("", kVStringWindows1252);
    ASSERT_EQ(Prefs().SetEASPolicyKey(none), kNoError);
    EXPECT_EQ(data->CollectCommandData(23), generalErrInvalidParameter);

    VString key;
    key.AssignCStr("3942919513", kVStringWindows1252);
    ASSERT_EQ(Prefs().SetEASPolicyKey(key), kNoError);
    const std::string ack =
        "<Provision xmlns=\"Provision:\"><Policies><Policy><PolicyType>MS-WAP-Provisioning-XML</PolicyType>"
        "<PolicyKey>3942919513</PolicyKey><Status>1</Status></Policy></Policies>";
    EXPECT_TRUE(SameXml(ack + "</Provision>", Build(23)));
    // A wipe the server ordered is acknowledged once, after the policies.
    data->SetWipeOrdered(1);
    EXPECT_TRUE(SameXml(ack + "<RemoteWipe><Status>1</Status></RemoteWipe></Provision>", Build(23)));
    EXPECT_TRUE(SameXml(ack + "</Provision>", Build(23)));
    // The policy request never carries the wipe.
    data->SetWipeOrdered(1);
    EXPECT_TRUE(SameXml(ask, Build(22)));
}

TEST_F(RequestTest, SearchSendsStoreQueryAndRangeAndRefusesEmptyOnes) {
    VString store, query, empty;
    store.AssignCStr("GAL", kVStringWindows1252);
    query.AssignCStr("M\xFCller & Co", kVStringWindows1252);
    empty.AssignCStr("", kVStringWindows1252);
    ASSERT_EQ(data->SetSearchParameters(store, query, 0, 99), kNoError);
    EXPECT_TRUE(SameXml("<Search xmlns=\"Search:\"><Store><Name>GAL</Name><Query>M\xC3\xBCller &amp; Co</Query>"
                        "<Options><Range>0-99</Range></Options></Store></Search>",
                        Build(25)));
    ASSERT_EQ(data->SetSearchParameters(store, empty, 0, 99), kNoError);
    EXPECT_EQ(data->CollectCommandData(25), DErrorCode(1));
    ASSERT_EQ(data->SetSearchParameters(empty, query, 0, 99), kNoError);
    EXPECT_EQ(data->CollectCommandData(25), DErrorCode(1));
    EXPECT_EQ(client.records.size(), 1u);
}

}  // namespace
