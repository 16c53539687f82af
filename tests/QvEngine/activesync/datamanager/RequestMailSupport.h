// Mail in place for the data manager's request tests: the provisioned
// store's folders bound to folder-info records (as FolderSync leaves them),
// real messages in a store folder, and the e-mail shadow records that say
// what changed on the device, written as the device's mail watcher would.
#ifndef VTEST_REQUESTMAILSUPPORT_H
#define VTEST_REQUESTMAILSUPPORT_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DASDS_DataResponse.h"
#include "DEASFolderInfoStore.h"
#include "DWinMobMessageManager.h"
#include "DWinMobOutlookMessage.h"
#include "DWinMobShadowDB.h"
#include "MailStoreCalls.h"
#include "ShadowProps.h"
#include "ShadowRecordIO.h"
#include "mapi.h"
#include "DataManagerFixture.h"
#include "support/ActiveSyncWire.h"

// A request record's body as XML.
inline std::string RequestXml(DClientResponse *response) {
    auto *data = dynamic_cast<DASDS_DataResponse *>(response);
    const std::string bytes = RecordingDataClient::ReadAll(data != nullptr ? data->GetBody() : nullptr);
    return bytes.empty() ? std::string() : XmlFromWbxml(bytes);
}

// Binds each folder-info folder of those server ids to a store folder
// through a message manager of the test's own, then lets it go. The
// folders must be in the folder-info store already.
inline void BindMailFolders(IGlobalData *global, IOutlookManagerClient *client,
                            const std::vector<const char *> &serverIDs) {
    DWinMobMessageManager *manager = nullptr;
    ASSERT_EQ(AllocateMessageManager(&manager, global, client), kNoError);
    ASSERT_EQ(manager->Open(nullptr), kNoError);
    for (const char *id : serverIDs) EXPECT_EQ(manager->AddMailFolder(id, nullptr), kNoError) << id;
    delete manager;
}

// The store folder's entry id that the folder-info folder keeps.
inline std::vector<BYTE> MailFolderEntryID(DEASFolderInfoStore *folders, const char *serverID) {
    DEASFolderInfoRecord *folder = nullptr;
    if (folders->FindFolderByServerID(serverID, &folder) != kNoError || folder->GetData() == nullptr) return {};
    return std::vector<BYTE>(folder->GetData(), folder->GetData() + folder->GetDataSize());
}

// A saved message in the store folder (read or unread); its entry id.
inline std::vector<BYTE> PutMessage(IMsgStore *store, const std::vector<BYTE> &folderID, bool read,
                                    ULONG msgStatus = 0) {
    std::vector<BYTE> id;
    IMAPIFolder *folder = nullptr;
    EXPECT_EQ(MailOpenFolder(store, folderID, &folder), S_OK);
    if (folder == nullptr) return id;
    IMessage *message = nullptr;
    EXPECT_EQ(folder->CreateMessage(nullptr, 0, &message), S_OK);
    if (message != nullptr) {
        SPropValue props[3] = {};
        props[0].ulPropTag = PR_SUBJECT_W;
        props[0].Value.lpszW = const_cast<WCHAR *>(u"test");
        props[1].ulPropTag = PR_MESSAGE_FLAGS;
        props[1].Value.ul = read ? MSGFLAG_READ : 0;
        props[2].ulPropTag = PR_MSG_STATUS;
        props[2].Value.ul = msgStatus;
        EXPECT_EQ(message->SetProps(3, props, nullptr), S_OK);
        EXPECT_EQ(message->SaveChanges(0), S_OK);
        EXPECT_EQ(MailGetBinary(message, PR_ENTRYID, &id), S_OK);
        message->Release();
    }
    folder->Release();
    return id;
}

// A shadow record of the message in the folder with the flags, changed
// since the last scan; its object id.
inline CEOID PutShadowRecord(DWinMobShadowDB *shadow, const std::vector<BYTE> &folderID, const char16_t *serverID,
                             uint32_t flags, const std::vector<BYTE> &messageID) {
    DWinMobShadowRecord record;
    EXPECT_EQ(shadow->NewRecord(&record), kNoError);
    if (serverID != nullptr) {
        EXPECT_EQ(record.SetServerID(serverID), kNoError);
    }
    EXPECT_EQ(record.SetLocalID(messageID.data(), uint32_t(messageID.size())), kNoError);
    EXPECT_EQ(shadow->WriteRecord(&record), kNoError);
    EXPECT_EQ(record.SetFolderID(folderID.data(), uint32_t(folderID.size())), kNoError);
    EXPECT_EQ(ShadowWriteUInt(shadow->GetHandle(), record.GetObjectID(), kShadowPropFlags, flags), kNoError);
    EXPECT_EQ(record.MarkModified(), kNoError);
    return record.GetObjectID();
}

// Gives the folder's message over that record its server id, as a server
// Add leaves it (the id lives in the message itself).
inline void NameMessage(DWinMobOutlookMessageCollection *folder, CEOID oid, const char *serverID) {
    uint32_t count = 0;
    ASSERT_EQ(folder->GetCount(&count), kNoError);
    for (uint32_t i = 0; i < count; ++i) {
        IOutlookItem *item = nullptr;
        ASSERT_EQ(folder->GetItem(i, &item), kNoError);
        auto *message = dynamic_cast<DWinMobOutlookMessage *>(item);
        if (message != nullptr && message->GetShadowRecord() != nullptr &&
            message->GetShadowRecord()->GetObjectID() == oid) {
            EXPECT_EQ(message->SetID(serverID), kNoError);
            EXPECT_EQ(message->Commit(), kNoError);
        }
        delete item;
    }
}

// The record's flags (0 when it is gone).
inline uint32_t ShadowFlags(DWinMobShadowDB *shadow, CEOID oid) {
    uint32_t flags = 0;
    ShadowReadUInt(shadow->GetHandle(), oid, kShadowPropFlags, &flags);
    return flags;
}

// Two mail folders bound to the provisioned store (the Inbox "inbox" and a
// user folder "u1" that syncs), the engine's walk on the Inbox, the shadow
// database opened beside the data manager, and each record's body kept as XML.
class MailFoldersTest : public DataManagerTest {
protected:
    void SetUp() override {
        DataManagerTest::SetUp();
        client.onRecord = [this](DClientResponse *response) { OnRecord(response); };
        AddFolder(kFolderTypeInbox, "inbox", "k-i");
        AddFolder(kFolderTypeUserMail, "u1", "k-u", kFolderFlagSync);
        ASSERT_EQ(AllocateMessageManager(&manager, global.get(), data.get()), kNoError);
        ASSERT_EQ(manager->Open(nullptr), kNoError);
        ASSERT_EQ(manager->AddMailFolder("inbox", nullptr), kNoError);
        ASSERT_EQ(manager->AddMailFolder("u1", nullptr), kNoError);
        ASSERT_EQ(shadow.Open(kShadowEmail), kNoError);
        inboxID = MailFolderEntryID(&global->folders, "inbox");
        ASSERT_FALSE(inboxID.empty());
        // The engine's walk is on the inbox.
        ASSERT_EQ(global->folders.NextSyncFolder(false), kNoError);
    }
    void TearDown() override {
        shadow.Close();
        delete manager;
        DataManagerTest::TearDown();
    }
    virtual void OnRecord(DClientResponse *response) {
        bodies.push_back(RequestXml(response));
        if (auto *meeting = dynamic_cast<DASDS_GetMeetingResponseDataResponse *>(response))
            meetingNone.push_back(meeting->GetNone());
    }

    // A message in the inbox with its server id and shadow flags.
    CEOID PutMail(const char16_t *serverID, uint32_t flags, bool read = false) {
        const ULONG status = (flags & kShadowFlagRemainderRequested) != 0 ? kMsgStatusRemainderRequested : 0;
        const CEOID oid = PutShadowRecord(&shadow, inboxID, serverID, flags,
                                          PutMessage(manager->GetMsgStore(), inboxID, read, status));
        if (serverID != nullptr) {
            DWinMobOutlookMessageCollection *inbox = nullptr;
            EXPECT_EQ(manager->GetMailFolderCollection("inbox", &inbox), kNoError);
            const std::u16string wide(serverID);
            if (inbox != nullptr) NameMessage(inbox, oid, std::string(wide.begin(), wide.end()).c_str());
        }
        return oid;
    }
    // Builds the step's body through the chain; the record's XML.
    std::string Build(uint32_t step, uint32_t type) {
        const size_t before = client.records.size();
        EXPECT_EQ(data->CollectCommandData(step), kNoError) << "step " << step;
        // Until the chain hands its record over (or fails).
        PumpEngineUntil(*global, [&] { return client.records.size() > before || !client.errors.empty(); });
        if (client.records.size() != before + 1) {
            ADD_FAILURE() << "no record for step " << step;
            return {};
        }
        EXPECT_EQ(client.records.back().type, type);
        return bodies.back();
    }

    DWinMobMessageManager *manager = nullptr;
    DWinMobShadowDB shadow;
    std::vector<BYTE> inboxID;
    std::vector<std::string> bodies;
    std::vector<int> meetingNone;
};

#endif
