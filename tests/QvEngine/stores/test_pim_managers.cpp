// The calendar and contacts stores over the device's object model: what
// they count and find through their shadow records, how they empty their
// folders, the change scan after a person's action, the completion and
// purge jobs, and an open that cannot reach the kind's database.
#include <gtest/gtest.h>

#include <forward_list>
#include <ostream>
#include <memory>
#include <string>
#include <vector>

#include "DWinMobCalendarManager.h"
#include "DWinMobContactManager.h"
#include "DWinMobOutlookContactItem.h"
#include "PimStoreFixture.h"

namespace {

struct StoreKind {
    const char *name;
    DErrorCode (*allocate)(DOutlookManager **, IGlobalData *, IOutlookManagerClient *);
    uint32_t shadowType;
    uint32_t itemKind;
    int folder;
    // A person adds an item to the kind's folder; its object id.
    CEOID (*userCreate)(int n);
};

CEOID UserAppointment(int n) {
    vplat::PimUserAppointment fields;
    fields.subject = u"Meeting " + std::u16string(1, char16_t(u'0' + n));
    fields.start = {2026, 3, 0, 10, 9, 0, 0, 0};
    fields.end = {2026, 3, 0, 10, 10, 0, 0, 0};
    CEOID oid = 0;
    EXPECT_EQ(vplat::PimUserCreateAppointment(fields, &oid), S_OK);
    return oid;
}

CEOID UserContact(int n) {
    vplat::PimUserContact fields;
    fields.firstName = u"Ann";
    fields.lastName = u"Lee " + std::u16string(1, char16_t(u'0' + n));
    CEOID oid = 0;
    EXPECT_EQ(vplat::PimUserCreateContact(fields, &oid), S_OK);
    return oid;
}

void PrintTo(const StoreKind &kind, std::ostream *os) { *os << kind.name; }

const StoreKind kKinds[] = {
    {"Calendar", AllocateCalendarManager, kShadowCalendar, kOutlookItemAppointment, olFolderCalendar, UserAppointment},
    {"Contacts", AllocateContactManager, kShadowContacts, kOutlookItemContact, olFolderContacts, UserContact},
};

// How many items the kind's folder holds, as the object model sees it.
int FolderCount(int folder) {
    PimRef<IPOutlookApp> app;
    PimRef<IFolder> f;
    PimRef<IPOutlookItemCollection> items;
    int count = -1;
    EXPECT_EQ(vplat::PimCreateApplication(app.Out()), S_OK);
    EXPECT_EQ(app->Logon(nullptr), S_OK);
    EXPECT_EQ(app->GetDefaultFolder(folder, f.Out()), S_OK);
    EXPECT_EQ(f->get_Items(items.Out()), S_OK);
    EXPECT_EQ(items->get_Count(&count), S_OK);
    app->Logoff();
    return count;
}

class PimManagerTest : public PimStoreFixture, public ::testing::WithParamInterface<StoreKind> {
protected:
    void SetUp() override {
        PimStoreFixture::SetUp();
        ASSERT_EQ(recorder.Open(GetParam().shadowType), kNoError);
        DOutlookManager *made = nullptr;
        ASSERT_EQ(GetParam().allocate(&made, &context, &client), kNoError);
        manager.reset(made);
        ASSERT_EQ(manager->Open(), kNoError);
    }
    void TearDown() override {
        if (manager != nullptr) manager->Close();
        manager.reset();
        PimStoreFixture::TearDown();
    }
    uint32_t Count() {
        uint32_t count = 99;
        EXPECT_EQ(manager->GetCount(&count), kNoError);
        return count;
    }

    std::unique_ptr<DOutlookManager> manager;
};

TEST_P(PimManagerTest, CountsShadowRecordsAndDeletingExistingItemsEmptiesTheFolder) {
    const CEOID known = GetParam().userCreate(1);
    GetParam().userCreate(2);
    // Items of the folder without a shadow record are not the store's.
    EXPECT_EQ(Count(), 0u);
    EXPECT_EQ(FolderCount(GetParam().folder), 2);
    RecordUserItem(known);
    EXPECT_EQ(Count(), 1u);

    ASSERT_EQ(manager->DeleteExistingItems(waiter.GetSignal()), kNoError);
    EXPECT_EQ(Heard(), 1);
    EXPECT_EQ(waiter.code, kNoError);
    EXPECT_EQ(Count(), 0u);
    EXPECT_EQ(FolderCount(GetParam().folder), 0);
    ASSERT_EQ(client.reports.size(), 1u);
    EXPECT_EQ(client.reports[0], "1/1 left 0");
    // Reaching the end of the folder is no failure.
    EXPECT_FALSE(log.Has("ERROR")) << log.text;
}

TEST_P(PimManagerTest, AnUnknownServerIdIsNotFoundAndOnlyTheKindsItemsAreMade) {
    IOutlookItem *item = reinterpret_cast<IOutlookItem *>(1);
    EXPECT_EQ(manager->FindItemByID("5:17", &item, waiter.GetSignal()), kNoError);
    EXPECT_EQ(item, nullptr);
    EXPECT_EQ(Heard(), 1);
    EXPECT_EQ(waiter.code, generalErrItemNotFound);

    for (uint32_t kind : {kOutlookItemEmail, kOutlookItemContact, kOutlookItemTask, kOutlookItemAppointment}) {
        SCOPED_TRACE(kind);
        const DErrorCode expected = kind == GetParam().itemKind ? kNoError : generalErrInvalidParameter;
        const int before = waiter.completions;
        EXPECT_EQ(manager->CreateNewItem(kind, &item, waiter.GetSignal()), expected);
        EXPECT_EQ(Heard(), before + 1);
        EXPECT_EQ(waiter.code, expected);
        EXPECT_EQ(item != nullptr, expected == kNoError);
        delete item;
        item = nullptr;
    }
    // A new item never committed leaves no record behind.
    EXPECT_EQ(Count(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Stores, PimManagerTest, ::testing::ValuesIn(kKinds),
                         [](const ::testing::TestParamInfo<StoreKind> &info) { return std::string(info.param.name); });

// The calendar opened again after the device moved to another zone says
// so once; the contacts take no notice.
TEST_P(PimManagerTest, AnOpenAfterTheDevicesZoneChangedSaysSoOnce) {
    const bool calendar = GetParam().itemKind == kOutlookItemAppointment;
    auto reopen = [this] {
        manager->Close();
        return manager->Open();
    };
    EXPECT_EQ(reopen(), kNoError);
    TIME_ZONE_INFORMATION zone = {};
    zone.Bias = 300;  // five hours west of UTC, no daylight time
    ASSERT_TRUE(SetTimeZoneInformation(&zone));
    EXPECT_EQ(reopen(), calendar ? ASDataManagerErrTimeZoneChanged : kNoError);
    EXPECT_EQ(reopen(), kNoError);
    // Only the rules count, not the names.
    zone.StandardName[0] = u'X';
    ASSERT_TRUE(SetTimeZoneInformation(&zone));
    EXPECT_EQ(reopen(), kNoError);
}

// A store whose kind's database cannot be opened (its name is wrong).
template <class TManager>
class MisnamedStore : public TManager {
public:
    DErrorCode Open() override {
        this->m_pimLog = this->m_log;
        const DPimStoreKind &kind = this->Kind();
        return DErrorCode(this->Initialize(kind.folder, u"No Such Database", kind.shadowType));
    }
};

class PimManagerOpenTest : public PimStoreFixture {};

TEST_F(PimManagerOpenTest, ADatabaseThatCannotBeOpenedFailsTheOpenAndIsLogged) {
    MisnamedStore<DWinMobCalendarManager> calendar;
    MisnamedStore<DWinMobContactManager> contacts;
    const struct {
        DOutlookManager *manager;
        const char *line;
    } cases[] = {
        {&calendar, "ERROR - Calendar Manager  hr = 0x80070002  phase = CEDB - Open"},
        {&contacts, "ERROR - Contacts Manager  hr = 0x80070002  phase = CEDB - Open"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        ASSERT_EQ(c.manager->InitForSync(&context, &client), kNoError);
        EXPECT_EQ(c.manager->Open(), DErrorCode(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)));
        EXPECT_TRUE(log.Has(c.line)) << log.text;
        // A lookup is a failure, never "not found" (which would add the
        // server's item a second time).
        const int before = waiter.completions;
        IOutlookItem *item = nullptr;
        EXPECT_NE(c.manager->FindItemByID("5:17", &item, waiter.GetSignal()), kNoError);
        EXPECT_EQ(item, nullptr);
        EXPECT_EQ(Heard(), before);
        c.manager->Close();
    }
}

class ContactStoreTest : public PimStoreFixture {
protected:
    void SetUp() override {
        PimStoreFixture::SetUp();
        ASSERT_EQ(recorder.Open(kShadowContacts), kNoError);
        DOutlookManager *made = nullptr;
        ASSERT_EQ(AllocateContactManager(&made, &context, &client), kNoError);
        manager.reset(static_cast<DWinMobContactManager *>(made));
        ASSERT_EQ(manager->Open(), kNoError);
    }
    void TearDown() override {
        if (manager != nullptr) manager->Close();
        manager.reset();
        PimStoreFixture::TearDown();
    }
    // A contact the server sent (known by its server id), in the store.
    CEOID ServerContact(const char *serverID) {
        IOutlookItem *item = nullptr;
        EXPECT_EQ(manager->CreateNewItem(kOutlookItemContact, &item, nullptr), kNoError);
        auto *contact = static_cast<DWinMobOutlookContactItem *>(item);
        VString name;
        EXPECT_EQ(name.AssignCStr(serverID, kVStringUTF8), kNoError);
        EXPECT_EQ(contact->SetStringField(kContactLastName, name), kNoError);
        EXPECT_EQ(contact->SetID(serverID), kNoError);
        EXPECT_EQ(contact->CommitNewItem(nullptr), kNoError);
        const CEOID recordOid = contact->GetShadowRecord()->GetObjectID();
        delete item;
        return recordOid;
    }
    bool Known(const char *serverID) {
        IOutlookItem *item = nullptr;
        const int before = waiter.completions;
        EXPECT_EQ(manager->FindItemByID(serverID, &item, waiter.GetSignal()), kNoError);
        EXPECT_EQ(Heard(), before + 1);
        delete item;
        return waiter.code == kNoError;
    }

    std::unique_ptr<DWinMobContactManager> manager;
};

TEST_F(ContactStoreTest, APersonsChangesAreScannedAndTheCompletedOnesSettle) {
    // Four contacts a person made; the recorder marked each.
    const struct {
        const char *label;
        bool sent, keepNew, changedAgain;
        uint32_t state;  // after completion
        bool isNew, stillSent;
    } rows[] = {
        {"sent", true, false, false, kShadowUnchanged, false, false},
        {"sent, changed again meanwhile", true, false, true, kShadowChanged, false, false},
        {"sent, kept new", true, true, false, kShadowUnchanged, true, false},
        {"not in the request", false, false, false, kShadowPickedUp, true, false},
    };
    std::vector<CEOID> records;
    for (int i = 0; i < 4; ++i) records.push_back(RecordUserItem(UserContact(i)));

    bool changed = false;
    ASSERT_EQ(manager->HasChangedItems(&changed, waiter.GetSignal()), kNoError);
    EXPECT_TRUE(changed);
    EXPECT_EQ(Heard(), 1);
    EXPECT_EQ(waiter.code, kNoError);
    DListNode<IOutlookItem> list;
    ASSERT_EQ(manager->GetChangedItems(&list, waiter.GetSignal()), kNoError);
    EXPECT_EQ(Heard(), 2);
    EXPECT_EQ(waiter.code, kNoError);
    ASSERT_EQ(list.Count(), 4u);
    int i = 0;
    for (DListNode<IOutlookItem> *node = &list; node != nullptr; node = node->next, ++i) {
        SCOPED_TRACE(rows[i].label);
        auto *contact = dynamic_cast<IOutlookContact *>(node->item);
        ASSERT_NE(contact, nullptr);
        VString last;
        ASSERT_EQ(contact->GetStringField(kContactLastName, &last), kNoError);
        EXPECT_EQ(std::u16string(last.GetWideText()), u"Lee " + std::u16string(1, char16_t(u'0' + i)));
        bool isNew = false;
        EXPECT_EQ(contact->IsNew(&isNew), kNoError);
        EXPECT_TRUE(isNew);
        if (rows[i].sent) {
            EXPECT_EQ(contact->SetSent(true), kNoError);
        }
        if (rows[i].keepNew) {
            EXPECT_EQ(contact->SetKeptNew(true), kNoError);
        }
        if (rows[i].changedAgain) {
            EXPECT_EQ(Record(records[i]).MarkModified(), kNoError);
        }
    }
    list.Free();

    ASSERT_EQ(manager->StartCompleteTask(waiter.GetSignal()), kNoError);
    EXPECT_EQ(Heard(), 3);
    EXPECT_EQ(waiter.code, kNoError);
    for (size_t r = 0; r < records.size(); ++r) {
        SCOPED_TRACE(rows[r].label);
        DWinMobShadowRecord record = Record(records[r]);
        uint32_t state = 99;
        bool isNew = false, sent = true;
        EXPECT_EQ(record.GetChangeState(&state), kNoError);
        EXPECT_EQ(record.IsNew(&isNew), kNoError);
        EXPECT_EQ(record.IsSent(&sent), kNoError);
        EXPECT_EQ(state, rows[r].state);
        EXPECT_EQ(isNew, rows[r].isNew);
        EXPECT_EQ(sent, rows[r].stillSent);
    }
}

TEST_F(ContactStoreTest, ThePurgeRemovesOnlyTheSentContactsDeletedOnTheDevice) {
    const struct {
        const char *serverID;
        bool deletedOnDevice, sent, stays;
    } rows[] = {
        {"1:1", true, true, false},
        {"1:2", true, false, true},
        {"1:3", false, true, true},
    };
    for (const auto &row : rows) {
        DWinMobShadowRecord record = Record(ServerContact(row.serverID));
        if (row.deletedOnDevice) {
            uint32_t pimOid = 0;
            ASSERT_EQ(record.GetOutlookObjectID(&pimOid), kNoError);
            ASSERT_EQ(vplat::PimUserDeleteContact(CEOID(pimOid)), S_OK);
            // The recorder's marks for an item the person deleted.
            ASSERT_EQ(record.SetDeleted(true), kNoError);
            ASSERT_EQ(record.MarkModified(), kNoError);
        }
        if (row.sent) {
            ASSERT_EQ(record.SetSent(true), kNoError);
        }
    }
    ASSERT_EQ(manager->StartPurgeTask(waiter.GetSignal()), kNoError);
    EXPECT_EQ(Heard(), 1);
    EXPECT_EQ(waiter.code, kNoError);
    for (const auto &row : rows) {
        SCOPED_TRACE(row.serverID);
        EXPECT_EQ(Known(row.serverID), row.stays);
    }
    uint32_t count = 0;
    EXPECT_EQ(manager->GetCount(&count), kNoError);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(FolderCount(olFolderContacts), 1);
}

TEST_F(ContactStoreTest, TheFieldListLastsWhileTheStoreIsOpen) {
    ASSERT_NE(manager->GetFieldList(), nullptr);
    std::vector<uint32_t> ids(manager->GetFieldList()->begin(), manager->GetFieldList()->end());
    std::vector<uint32_t> expected;
    for (uint32_t id = 1000; id <= 1045; ++id) expected.push_back(id);
    for (uint32_t id : {0u, 1u, 100u, 101u}) expected.push_back(id);
    EXPECT_EQ(ids, expected);
    EXPECT_EQ(manager->Close(), kNoError);
    EXPECT_EQ(manager->GetFieldList(), nullptr);
}

}  // namespace
