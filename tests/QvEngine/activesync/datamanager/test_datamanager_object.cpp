// The data manager as an object: the commands it does not know, and a
// response that is not WBXML.
#include "DataManagerFixture.h"

TEST_F(DataManagerTest, UnknownCommandsAreRefusedAndLogged) {
    EXPECT_EQ(data->CollectCommandData(2), activeSyncErrUnexpectedStep);
    EXPECT_NE(Log().find("DActiveSyncDataManager::CollectCommandData() - unexpected ActiveSync command : "),
              std::string::npos);
    TypedAnswer answer(global.get(), WbxmlFromXml("<FolderSync xmlns=\"FolderHierarchy:\"/>"));
    DClientResponse *record = nullptr;
    EXPECT_EQ(data->ProcessCommandData(21, &answer, answer.Body(), &record), activeSyncErrUnexpectedStep);
    EXPECT_EQ(record, nullptr);
}

TEST_F(DataManagerTest, AnAnswerThatIsNotWbxmlIsAFailedConnection) {
    TypedAnswer html(global.get(), "<html>proxy login</html>", "text/html");
    DClientResponse *record = nullptr;
    EXPECT_EQ(data->ProcessCommandData(9, &html, html.Body(), &record), httpErrServerConnectFailed);
    // The type is compared whole and case-sensitively.
    TypedAnswer upper(global.get(), WbxmlFromXml("<FolderSync xmlns=\"FolderHierarchy:\"/>"),
                      "APPLICATION/VND.MS-SYNC.WBXML");
    EXPECT_EQ(data->ProcessCommandData(9, &upper, upper.Body(), &record), httpErrServerConnectFailed);
    EXPECT_EQ(data->ProcessCommandData(9, &upper, nullptr, &record), httpErrServerConnectFailed);
    EXPECT_TRUE(client.records.empty());
}
