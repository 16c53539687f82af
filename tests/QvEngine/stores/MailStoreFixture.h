// MailStoreFixture: a fresh device as setup leaves it (the product key
// made), whose e-mail account is provisioned (the platform's store with its
// special folders), an engine context around a
// folder-info store, a message manager over it, and the e-mail shadow
// database opened on its own, as another component of the device would.
// Helpers put folders into the folder-info store, messages into store
// folders and records into the shadow database.
#ifndef VTEST_MAILSTOREFIXTURE_H
#define VTEST_MAILSTOREFIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DEASFolderInfoStore.h"
#include "DWinMobCorvanePreferences.h"
#include "DWinMobMessageManager.h"
#include "DWinMobShadowDB.h"
#include "MailStoreCalls.h"
#include "QvEngine/foundation/FakeGlobalData.h"
#include "QvEngine/foundation/prefstestutil.h"
#include "ShadowRecordIO.h"
#include "VFile.h"
#include "mapi.h"
#include "storefakes.h"
#include "support/TestDevice.h"
#include "vplatform_mail.h"
#include "winfile.h"

#ifdef VANTREL_EDITION_SMARTPHONE
inline const char16_t *const kMailStoreName = u"Vantrel E-Mail";
#else
inline const char16_t *const kMailStoreName = u"Vantrel";
#endif

// The engine context the manager needs: logger, tasks, folder-info store, preferences.
class MailStoreContext : public FakeGlobalData {
public:
    MailStoreContext(ILogProvider *log, DActiveTaskManager *tasks, DEASFolderInfoStore *folders,
                     IPrefsData *prefs)
        : FakeGlobalData(log, tasks), m_folders(folders), m_prefs(prefs) {}
    DEASFolderInfoStore *GetFolderInfoStore() override { return m_folders; }
    IPrefsData *GetPreferences() override { return m_prefs; }

private:
    DEASFolderInfoStore *m_folders;
    IPrefsData *m_prefs;
};

class MailStoreFixture : public PrefsDeviceTest {
protected:
    MailStoreFixture() : tasks(nullptr), folders(&folderFile), context(&log, &tasks, &folders, &prefs) {}

    void SetUp() override {
        PrefsDeviceTest::SetUp();
#ifdef VANTREL_EDITION_SMARTPHONE
        ASSERT_TRUE(CreateDirectoryW(u"\\Storage", nullptr));
#endif
        ASSERT_EQ(folderFile.SetFileName(u"\\FolderInfo.brw"), kNoError);
        ASSERT_EQ(folders.Open(kDBReadWrite, true), kNoError);
        ASSERT_EQ(shadow.Open(kShadowEmail), kNoError);
        if (provision) {
            ASSERT_EQ(vplat::MailAccountProvision(kMailStoreName), S_OK);
        }
        DWinMobMessageManager *made = nullptr;
        ASSERT_EQ(AllocateMessageManager(&made, &context, &client), kNoError);
        manager = made;
    }

    void TearDown() override {
        delete manager;
        manager = nullptr;
        shadow.Close();
        folders.Close();
        PrefsDeviceTest::TearDown();
    }

    // Opens the manager's store; the tests then reach the store through it.
    void OpenManager() {
        ASSERT_EQ(manager->Open(&requester.signal), kNoError);
        ASSERT_NE(manager->GetMsgStore(), nullptr);
    }

    IMsgStore *Store() { return manager->GetMsgStore(); }

    // A special folder's entry id, from the store's own property.
    std::vector<BYTE> StoreEntryID(ULONG tag) {
        std::vector<BYTE> id;
        EXPECT_EQ(MailGetBinary(Store(), tag, &id), S_OK);
        return id;
    }

    // A folder in the folder-info store (parent "0": the root).
    DEASFolderInfoRecord *AddFolder(uint32_t type, const char *serverID, const char *parentID = "0",
                                    const char *name = nullptr) {
        DEASFolderInfoRecord *folder = nullptr;
        EXPECT_EQ(folders.AddFolder(&folder, type, serverID, name != nullptr ? name : serverID, nullptr, nullptr, 0,
                                    kQvUnknown, 0),
                  kNoError);
        if (folder != nullptr) {
            EXPECT_EQ(folder->SetParentServerID(&folders, parentID), kNoError);
        }
        return folder;
    }
    DEASFolderInfoRecord *Folder(const char *serverID) {
        DEASFolderInfoRecord *folder = nullptr;
        EXPECT_EQ(folders.FindFolderByServerID(serverID, &folder), kNoError);
        return folder;
    }
    std::vector<BYTE> EntryIDOf(const char *serverID) {
        DEASFolderInfoRecord *folder = Folder(serverID);
        if (folder == nullptr || folder->GetData() == nullptr) return {};
        return std::vector<BYTE>(folder->GetData(), folder->GetData() + folder->GetDataSize());
    }

    // The five special folders, bound to the store.
    void BindSpecialFolders() {
        const struct {
            uint32_t type;
            const char *id;
        } special[] = {{kFolderTypeInbox, "inbox"},
                       {kFolderTypeDrafts, "drafts"},
                       {kFolderTypeDeletedItems, "trash"},
                       {kFolderTypeSentItems, "sent"},
                       {kFolderTypeOutbox, "outbox"}};
        for (const auto &s : special) {
            AddFolder(s.type, s.id);
            ASSERT_EQ(manager->AddMailFolder(s.id, nullptr), kNoError) << s.id;
        }
    }

    IMAPIFolder *OpenFolder(const std::vector<BYTE> &id) {
        IMAPIFolder *folder = nullptr;
        EXPECT_EQ(MailOpenFolder(Store(), id, &folder), S_OK);
        return folder;
    }
    bool FolderExists(const std::vector<BYTE> &id) {
        IMAPIFolder *folder = nullptr;
        if (id.empty() || MailOpenFolder(Store(), id, &folder) != S_OK) return false;
        folder->Release();
        return true;
    }
    std::u16string FolderName(const std::vector<BYTE> &id) {
        IMAPIFolder *folder = OpenFolder(id);
        std::u16string name;
        if (folder != nullptr) {
            EXPECT_EQ(MailGetString(folder, PR_DISPLAY_NAME_W, &name), S_OK);
            folder->Release();
        }
        return name;
    }
    std::vector<BYTE> ParentOf(const std::vector<BYTE> &id) {
        IMAPIFolder *folder = OpenFolder(id);
        std::vector<BYTE> parent;
        if (folder != nullptr) {
            EXPECT_EQ(MailGetBinary(folder, PR_PARENT_ENTRYID, &parent), S_OK);
            folder->Release();
        }
        return parent;
    }

    // A saved message in the folder; its entry id.
    std::vector<BYTE> AddMessage(const std::vector<BYTE> &folderID, const char16_t *subject) {
        std::vector<BYTE> id;
        IMAPIFolder *folder = OpenFolder(folderID);
        if (folder == nullptr) return id;
        IMessage *message = nullptr;
        EXPECT_EQ(folder->CreateMessage(nullptr, 0, &message), S_OK);
        if (message != nullptr) {
            SPropValue props[2] = {};
            props[0].ulPropTag = PR_SUBJECT_W;
            props[0].Value.lpszW = const_cast<WCHAR *>(subject);
            SYSTEMTIME now;
            GetSystemTime(&now);
            props[1].ulPropTag = PR_LAST_MODIFICATION_TIME;
            SystemTimeToFileTime(&now, &props[1].Value.ft);
            EXPECT_EQ(message->SetProps(2, props, nullptr), S_OK);
            EXPECT_EQ(message->SaveChanges(0), S_OK);
            EXPECT_EQ(MailGetBinary(message, PR_ENTRYID, &id), S_OK);
            message->Release();
        }
        folder->Release();
        return id;
    }
    uint32_t MessageCount(const std::vector<BYTE> &folderID) {
        IMAPIFolder *folder = OpenFolder(folderID);
        IMAPITable *table = nullptr;
        ULONG count = 0;
        if (folder != nullptr && folder->GetContentsTable(0, &table) == S_OK) {
            table->GetRowCount(0, &count);
            table->Release();
        }
        if (folder != nullptr) folder->Release();
        return count;
    }

    // A shadow record of a message in the folder, in change state 1 when changed.
    CEOID AddRecord(const std::vector<BYTE> &folderID, const char16_t *serverID, uint32_t flags,
                    bool changed = true, const std::vector<BYTE> &messageID = {}) {
        DWinMobShadowRecord record;
        EXPECT_EQ(shadow.NewRecord(&record), kNoError);
        EXPECT_EQ(record.SetServerID(serverID), kNoError);
        if (!messageID.empty()) {
            EXPECT_EQ(record.SetLocalID(messageID.data(), uint32_t(messageID.size())), kNoError);
        }
        EXPECT_EQ(shadow.WriteRecord(&record), kNoError);
        EXPECT_EQ(record.SetFolderID(folderID.data(), uint32_t(folderID.size())), kNoError);
        EXPECT_EQ(ShadowWriteUInt(shadow.GetHandle(), record.GetObjectID(), kShadowPropFlags, flags), kNoError);
        if (changed) {
            EXPECT_EQ(record.MarkModified(), kNoError);
        }
        return record.GetObjectID();
    }
    bool RecordExists(CEOID oid) {
        DWinMobShadowRecord record;
        return shadow.GetRecordByOID(oid, &record) == kNoError;
    }
    uint32_t RecordCount() {
        uint32_t count = 0;
        EXPECT_EQ(shadow.GetRecordCount(&count), kNoError);
        return count;
    }

    // Set false before SetUp to start without the account's store.
    bool provision = true;

    MemoryLog log;
    DActiveTaskManager tasks;
    VFile folderFile;
    DEASFolderInfoStore folders;
    DWinMobCorvanePreferences prefs;
    MailStoreContext context;
    RecordingClient client;
    // A completion record nobody waits on (the stores complete at once).
    struct Requester : DActiveTask {
        Requester() : DActiveTask(kActiveTaskDefaultPriority), signal(this) {}
        DErrorCode RunTask() override { return kNoError; }
        void CancelTask() override {}
        DActiveTaskSignal signal;
    } requester;
    DWinMobShadowDB shadow;
    DWinMobMessageManager *manager = nullptr;
};

#endif
