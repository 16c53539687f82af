// Whole runs of the engine against the loopback test server, on the virtual
// clock: each test starts a run as a client does and checks the requests
// that reached the server, in order, with their headers and bodies, and
// what the client heard. Answers are canned WBXML made by the WBXML
// library's own conversion; the data manager is the scripted one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EngineRunFixture.h"

namespace {

TEST_F(EngineRunTest, AFirstRunAsksForOptionsFoldersAndEachTypeInOrder) {
    server.Script(OptionsReply());
    server.Script(ActiveSyncReply(kFolderSyncAnswer));
    server.Script(ActiveSyncReply(SyncAnswer("Email", "INBOX", "1")));
    server.Script(ActiveSyncReply(SyncAnswer("Calendar", "vevent%2Fpersonal", "1")));
    server.Script(ActiveSyncReply(SyncAnswer("Contacts", "vcard%2Fpersonal", "1")));
    server.Script(ActiveSyncReply(SyncAnswer("Tasks", "vtodo%2Fpersonal", "1")));
    server.Script(ActiveSyncReply(EstimateAnswer("INBOX", 0)));

    ASSERT_EQ(engine->StartSync(kRunFlagsAll, 0, kLockModeWait, kRunKindUser), kNoError);
    ASSERT_TRUE(RunToEnd());

    const std::vector<std::string> expected = {"OPTIONS", "FolderSync", "Sync", "Sync", "Sync", "Sync",
                                               "GetItemEstimate"};
    EXPECT_EQ(Commands(), expected);
    const std::vector<TestHttpRequest> requests = server.Requests();
    ASSERT_EQ(requests.size(), expected.size());
    // The version agreed by OPTIONS is announced from the next request on.
    for (size_t i = 1; i < requests.size(); ++i)
        EXPECT_EQ(requests[i].Header("MS-ASProtocolVersion"), "2.5") << i;
    EXPECT_TRUE(SameXml("<FolderSync xmlns=\"FolderHierarchy:\"><SyncKey>0</SyncKey></FolderSync>",
                        XmlFromWbxml(requests[1].body)));
    EXPECT_TRUE(SameXml("<Sync xmlns=\"AirSync:\"><Collections><Collection><Class>Calendar</Class><SyncKey>0</SyncKey>"
                        "<CollectionId>vevent%2Fpersonal</CollectionId></Collection></Collections></Sync>",
                        XmlFromWbxml(requests[3].body)));
    EXPECT_TRUE(client.errors.empty());
    EXPECT_EQ(global->prefs.GetEngineState(), kEngineStateCompleted);
    EXPECT_EQ(global->prefs.GetEASVers(), 250);
    EXPECT_EQ(data->FolderKey(kFolderTypeTasks), "1");
}

}  // namespace
