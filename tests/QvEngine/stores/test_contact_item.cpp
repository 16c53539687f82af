// The contact item over the device's contacts: every field through commit
// and reload (as the raw record and the object model hold it), dates and
// "no date", lists, e-mail cleaning, the body checksum while a change is
// on its way to the server, the cleared body, long server ids, deletion.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "DWinMobContactManager.h"
#include "DWinMobOutlookContactItem.h"
#include "PimStoreFixture.h"

namespace {

// The raw property of every string field but the body, as other programs
// of the device read the contacts database.
const struct {
    uint32_t field;
    WORD prop;
} kRawFields[] = {
    {1000, 0x4002}, {1001, 0x4004}, {1003, 0x4007}, {1004, 0x4046}, {1005, 0x4049}, {1006, 0x4048},
    {1007, 0x4047}, {1008, 0x4045}, {1009, 0x3A24}, {1010, 0x3A08}, {1011, 0x3A1E}, {1012, 0x3A16},
    {1013, 0x3A18}, {1014, 0x4083}, {1015, 0x4093}, {1016, 0x40A3}, {1017, 0x4013}, {1018, 0x3A06},
    {1019, 0x3A2F}, {1020, 0x4041}, {1021, 0x4044}, {1022, 0x4043}, {1023, 0x4042}, {1024, 0x4040},
    {1025, 0x3A25}, {1026, 0x3A09}, {1027, 0x3A17}, {1028, 0x3A11}, {1029, 0x4024}, {1030, 0x3A1C},
    {1031, 0x3A19}, {1032, 0x404B}, {1033, 0x404E}, {1034, 0x404D}, {1035, 0x404C}, {1036, 0x404A},
    {1037, 0x4009}, {1038, 0x3A1D}, {1039, 0x400A}, {1040, 0x3A05}, {1041, 0x4023}, {1042, 0x4008},
    {1043, 0x4012}, {1044, 0x4011}, {1045, 0x4010},
};

constexpr CEPROPID Raw(WORD id) { return (CEPROPID(id) << 16) | CEVT_LPWSTR; }

VString Text(const std::u16string &s) {
    VString v;
    EXPECT_EQ(v.AssignWide(s.c_str(), uint32_t(s.size()), kVStringUTF16LE), kNoError);
    return v;
}
std::u16string Wide(const VString &v) {
    VString copy;
    EXPECT_EQ(copy.Assign(v), kNoError);
    if (copy.GetLength() > 0 && copy.GetEncoding() != kVStringUTF16LE) {
        EXPECT_EQ(copy.ConvertTo(kVStringUTF16LE), kNoError);
    }
    return std::u16string(copy.GetWideText(), copy.GetLength() / 2);
}
std::u16string Value(uint32_t field) {
    const std::u16string n = u"0123456789";
    std::u16string digits;
    for (uint32_t v = field; v > 0; v /= 10) digits.insert(digits.begin(), n[v % 10]);
    return field >= 1014 && field <= 1016 ? u"a" + digits + u"@example.org" : u"F" + digits;
}
std::vector<std::u16string> Strings(const StringListNode *list) {
    std::vector<std::u16string> out;
    for (; list != nullptr && list->value != nullptr; list = list->next) out.push_back(Wide(*list->value));
    return out;
}

class ContactItemTest : public PimStoreFixture {
protected:
    using Item = std::unique_ptr<DWinMobOutlookContactItem>;

    void SetUp() override {
        PimStoreFixture::SetUp();
        ASSERT_EQ(recorder.Open(kShadowContacts), kNoError);
        DOutlookManager *made = nullptr;
        ASSERT_EQ(AllocateContactManager(&made, &context, &client), kNoError);
        manager.reset(made);
        ASSERT_EQ(manager->Open(), kNoError);
        ASSERT_EQ(vplat::PimCreateApplication(app.Out()), S_OK);
        ASSERT_EQ(app->Logon(nullptr), S_OK);
    }
    void TearDown() override {
        app->Logoff();
        manager->Close();
        manager.reset();
        PimStoreFixture::TearDown();
    }
    Item New() {
        IOutlookItem *item = nullptr;
        EXPECT_EQ(manager->CreateNewItem(kOutlookItemContact, &item, nullptr), kNoError);
        return Item(static_cast<DWinMobOutlookContactItem *>(item));
    }
    Item Find(const char *serverID) {
        IOutlookItem *item = nullptr;
        EXPECT_EQ(manager->FindItemByID(serverID, &item, waiter.GetSignal()), kNoError);
        return Item(static_cast<DWinMobOutlookContactItem *>(item));
    }
    // A contact the server sent, with these fields, committed.
    Item ServerContact(const char *serverID, std::vector<std::pair<uint32_t, std::u16string>> fields) {
        Item item = New();
        for (auto &f : fields) EXPECT_EQ(item->SetStringField(f.first, Text(f.second)), kNoError);
        EXPECT_EQ(item->SetID(serverID), kNoError);
        EXPECT_EQ(item->CommitNewItem(nullptr), kNoError);
        return item;
    }
    void ModelContact(LONG oid, PimRef<IContact> *contact) {
        PimRef<IPimItem> item;
        ASSERT_EQ(app->GetItemFromOid(CEOID(oid), item.Out()), S_OK);
        ASSERT_EQ(item->QueryContact(contact->Out()), S_OK);
    }
    std::u16string Field(DWinMobOutlookContactItem *item, uint32_t field) {
        VString v;
        EXPECT_EQ(item->GetStringField(field, &v), kNoError);
        return Wide(v);
    }

    std::unique_ptr<DOutlookManager> manager;
    PimRef<IPOutlookApp> app;
};

TEST_F(ContactItemTest, EveryStringFieldRoundTripsThroughTheRecordAndTheModel) {
    Item item = New();
    for (uint32_t field = 1000; field <= 1045; ++field)
        ASSERT_EQ(item->SetStringField(field, Text(Value(field))), kNoError);
    ASSERT_EQ(item->SetID("7:1"), kNoError);
    ASSERT_EQ(item->CommitNewItem(waiter.GetSignal()), kNoError);
    EXPECT_EQ(Heard(), 1);
    EXPECT_EQ(waiter.code, kNoError);

    const RawTexts raw = RawRead(RawOpen(u"Contacts Database"), CEOID(item->GetObjectID()));
    for (const auto &f : kRawFields) {
        SCOPED_TRACE(f.field);
        ASSERT_EQ(raw.count(Raw(f.prop)), 1u);
        EXPECT_EQ(raw.at(Raw(f.prop)), Value(f.field));
    }
    EXPECT_EQ(raw.at(Raw(0x8103)), u"7:1");
    PimRef<IContact> model;
    ModelContact(item->GetObjectID(), &model);
    std::u16string text;
    EXPECT_EQ(model->get_Body(&text), S_OK);
    EXPECT_EQ(text, Value(1002));
    EXPECT_EQ(model->get_FirstName(&text), S_OK);
    EXPECT_EQ(text, Value(1018));
    EXPECT_EQ(model->get_FileAs(&text), S_OK);
    EXPECT_EQ(text, Value(1017));

    Item again = Find("7:1");
    ASSERT_NE(again, nullptr);
    for (uint32_t field = 1000; field <= 1045; ++field) EXPECT_EQ(Field(again.get(), field), Value(field)) << field;
    char id[8] = {};
    EXPECT_EQ(again->GetID(id, sizeof id), kNoError);
    EXPECT_STREQ(id, "7:1");
}

TEST_F(ContactItemTest, AFieldClearedByTheServerLosesItsProperty) {
    Item first = ServerContact("7:2", {{1018, u"Ann"}, {1029, u"Beth"}, {1028, u"Lee"}});
    Item item = Find("7:2");
    ASSERT_NE(item, nullptr);
    ASSERT_EQ(item->SetStringField(1018, VString()), kNoError);
    ASSERT_EQ(item->SetStringField(1029, VString()), kNoError);
    ASSERT_EQ(item->Commit(), kNoError);
    const RawTexts raw = RawRead(RawOpen(u"Contacts Database"), CEOID(item->GetObjectID()));
    EXPECT_EQ(raw.count(Raw(0x3A06)), 0u);
    EXPECT_EQ(raw.count(Raw(0x4024)), 0u);
    EXPECT_EQ(raw.at(Raw(0x3A11)), u"Lee");
    Item again = Find("7:2");
    EXPECT_EQ(Field(again.get(), 1018), u"");
    EXPECT_EQ(Field(again.get(), 1028), u"Lee");
}

TEST_F(ContactItemTest, DatesRoundTripAndNoDateReadsAsTheEmptyRecord) {
    struct tm birthday = {};
    birthday.tm_year = 80;
    birthday.tm_mon = 4;
    birthday.tm_mday = 17;
    const struct tm none = {};
    Item item = New();
    ASSERT_EQ(item->SetDateField(kContactBirthday, &birthday), kNoError);
    ASSERT_EQ(item->SetDateField(kContactAnniversary, &none), kNoError);
    ASSERT_EQ(item->SetID("7:3"), kNoError);
    ASSERT_EQ(item->CommitNewItem(nullptr), kNoError);

    PimRef<IContact> model;
    ModelContact(item->GetObjectID(), &model);
    DATE date = 0;
    EXPECT_EQ(model->get_Anniversary(&date), S_OK);
    EXPECT_EQ(date, PIM_DATE_NONE);
    Item again = Find("7:3");
    const struct {
        uint32_t which;
        int year, month, day;  // all 0: no date
    } rows[] = {{kContactBirthday, 80, 4, 17}, {kContactAnniversary, 0, 0, 0}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.which);
        struct tm read;
        std::memset(&read, 0x5A, sizeof read);
        ASSERT_EQ(again->GetDateField(row.which, &read), kNoError);
        EXPECT_EQ(read.tm_year, row.year);
        EXPECT_EQ(read.tm_mon, row.month);
        EXPECT_EQ(read.tm_mday, row.day);
        EXPECT_EQ(read.tm_hour + read.tm_min + read.tm_sec, 0);
    }
    // Cleared again: the model loses the date too.
    ASSERT_EQ(again->SetDateField(kContactBirthday, &none), kNoError);
    ASSERT_EQ(again->Commit(), kNoError);
    ModelContact(item->GetObjectID(), &model);
    EXPECT_EQ(model->get_Birthday(&date), S_OK);
    EXPECT_EQ(date, PIM_DATE_NONE);
}

TEST_F(ContactItemTest, ListsAreJoinedOnTheDeviceAndSplitAgain) {
    VString work = Text(u"Work"), golf = Text(u"Golf"), tom = Text(u"Tom"), eve = Text(u"Eve");
    StringListNode second = {&golf, nullptr}, categories = {&work, &second};
    StringListNode child2 = {&eve, nullptr}, children = {&tom, &child2};
    Item item = New();
    ASSERT_EQ(item->SetListField(kContactCategories, &categories), kNoError);
    ASSERT_EQ(item->SetListField(kContactChildren, &children), kNoError);
    ASSERT_EQ(item->SetListField(1012, &children), kNoError);  // not a list: ignored
    ASSERT_EQ(item->SetID("7:4"), kNoError);
    ASSERT_EQ(item->CommitNewItem(nullptr), kNoError);

    PimRef<IContact> model;
    ModelContact(item->GetObjectID(), &model);
    std::u16string text;
    EXPECT_EQ(model->get_Categories(&text), S_OK);
    EXPECT_EQ(text, u"Work, Golf");
    EXPECT_EQ(RawRead(RawOpen(u"Contacts Database"), CEOID(item->GetObjectID())).at(Raw(0x4006)), u"Tom, Eve");

    Item again = Find("7:4");
    const struct {
        uint32_t id;
        std::vector<std::u16string> strings;
    } rows[] = {{kContactCategories, {u"Work", u"Golf"}}, {kContactChildren, {u"Tom", u"Eve"}}, {1012, {}}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.id);
        StringListNode list = {nullptr, nullptr};
        ASSERT_EQ(again->GetListField(row.id, &list), kNoError);
        EXPECT_EQ(Strings(&list), row.strings);
        FreeStringList(&list);
    }
    // An emptied list leaves nothing.
    const StringListNode empty = {nullptr, nullptr};
    ASSERT_EQ(again->SetListField(kContactChildren, &empty), kNoError);
    ASSERT_EQ(again->Commit(), kNoError);
    EXPECT_EQ(RawRead(RawOpen(u"Contacts Database"), CEOID(item->GetObjectID())).count(Raw(0x4006)), 0u);
}

TEST_F(ContactItemTest, EmailFieldsKeepTheAddress) {
    const std::u16string longText(2000, u'x');
    const struct {
        std::u16string in, out;
    } rows[] = {
        {u"\"Ann Lee\" <ann@example.org>", u"ann@example.org"},
        {u"\"Ann Lee\" <ann@example", u"Ann Lee"},
        {u"\"Ann Lee <ann@example.org>", u"\"Ann Lee <ann@example.org>"},
        {u"\"Ann Lee\"", u"\"Ann Lee\""},
        {u"\"Ann Lee\" ann@example.org", u"\"Ann Lee\" ann@example.org"},
        {u"ann@example.org", u"ann@example.org"},
        {longText, std::u16string(1023, u'x')},
    };
    Item item = New();
    for (const auto &row : rows) {
        SCOPED_TRACE(std::string(row.in.begin(), row.in.begin() + std::min<size_t>(row.in.size(), 40)));
        for (uint32_t field : {1014u, 1015u, 1016u}) {
            ASSERT_EQ(item->SetStringField(field, Text(row.in)), kNoError);
            EXPECT_EQ(Field(item.get(), field), row.out);
        }
        // Other fields are kept as given.
        ASSERT_EQ(item->SetStringField(1042, Text(row.in)), kNoError);
        EXPECT_EQ(Field(item.get(), 1042), row.in);
    }
}

TEST_F(ContactItemTest, ABodySentToTheServerCountsAsSynchronisedOnlyOnceTheRoundCompletes) {
    Item first = ServerContact("7:5", {{1002, u"Hello"}, {1028, u"Lee"}});
    DWinMobShadowRecord record = Record(first->GetShadowRecord()->GetObjectID());
    bool changed = true;
    // Written outside a round: the body is the synchronised one at once.
    ASSERT_EQ(record.MarkModified(), kNoError);
    EXPECT_EQ(Find("7:5")->IsBodyChanged(&changed), kNoError);
    EXPECT_FALSE(changed);

    // The person changes the body; the change goes out; meanwhile the item
    // is written again (the server's change of another field).
    PimRef<IContact> model;
    ModelContact(first->GetObjectID(), &model);
    ASSERT_EQ(model->put_Body(u"Hi there"), S_OK);
    ASSERT_EQ(model->Save(), S_OK);
    Item item = Find("7:5");
    EXPECT_EQ(item->IsBodyChanged(&changed), kNoError);
    EXPECT_TRUE(changed);
    ASSERT_EQ(item->SetSent(true), kNoError);
    ASSERT_EQ(item->SetStringField(1027, Text(u"Engineer")), kNoError);
    ASSERT_EQ(item->Commit(), kNoError);
    EXPECT_EQ(Find("7:5")->IsBodyChanged(&changed), kNoError);
    EXPECT_TRUE(changed);  // a failed round would send it again

    // The server's answer is applied: the body is synchronised.
    ASSERT_EQ(manager->StartCompleteTask(waiter.GetSignal()), kNoError);
    Heard();
    EXPECT_EQ(waiter.code, kNoError);
    ASSERT_EQ(record.MarkModified(), kNoError);
    EXPECT_EQ(Find("7:5")->IsBodyChanged(&changed), kNoError);
    EXPECT_FALSE(changed);
}

TEST_F(ContactItemTest, ABodyEmptiedOnTheDeviceClearsTheServersBody) {
    const struct {
        const char *label;
        bool userMade, changed;
        std::u16string body;
    } rows[] = {
        {"changed, body emptied", false, true, u" \r\n"},
        {"unchanged", false, false, u""},
        {"made on the device", true, true, u""},
    };
    int n = 0;
    for (const auto &row : rows) {
        SCOPED_TRACE(row.label);
        const std::string serverID = "7:6" + std::to_string(n++);
        Item first = ServerContact(serverID.c_str(), {{1002, u"Old body"}});
        DWinMobShadowRecord record = Record(first->GetShadowRecord()->GetObjectID());
        PimRef<IContact> model;
        ModelContact(first->GetObjectID(), &model);
        ASSERT_EQ(model->put_Body(u""), S_OK);
        ASSERT_EQ(model->Save(), S_OK);
        if (row.userMade) {
            ASSERT_EQ(record.SetNew(true), kNoError);
        }
        if (row.changed) {
            ASSERT_EQ(record.MarkModified(), kNoError);
        }
        Item item = Find(serverID.c_str());
        EXPECT_EQ(Field(item.get(), kContactBody), row.body);
    }
}

TEST_F(ContactItemTest, ServerIdsOfAnyLengthAreCopiedWithTheirTerminator) {
    const struct {
        size_t length;
        uint32_t size;
        DErrorCode result;
    } rows[] = {
        {127, 128, kNoError},
        {128, 128, generalErrBufferTooSmall},
        {128, 129, kNoError},
        {300, 301, kNoError},
        {300, 64, generalErrBufferTooSmall},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.length);
        std::string id(row.length, 'k');
        id[0] = '9';
        id[1] = ':';
        id[2] = char('0' + row.size % 10);
        ServerContact(id.c_str(), {{1028, u"Lee"}});
        Item item = Find(id.c_str());
        ASSERT_NE(item, nullptr);
        std::vector<char> buffer(row.size + 1, '#');
        EXPECT_EQ(item->GetID(buffer.data(), row.size), row.result);
        EXPECT_EQ(buffer[row.size], '#');  // nothing past the buffer
        EXPECT_EQ(std::string(buffer.data()), row.result == kNoError ? id : "");
    }
}

TEST_F(ContactItemTest, DeletingRemovesTheContactAndItsRecord) {
    Item first = ServerContact("7:7", {{1028, u"Lee"}});
    const LONG oid = first->GetObjectID();
    Item item = Find("7:7");
    ASSERT_EQ(manager->DeleteItem(item.get(), waiter.GetSignal()), kNoError);
    EXPECT_EQ(Heard(), 1);
    EXPECT_EQ(waiter.code, kNoError);
    EXPECT_EQ(item->GetObjectID(), kContactOidDeleted);
    EXPECT_TRUE(RawRead(RawOpen(u"Contacts Database"), CEOID(oid)).empty());
    PimRef<IPimItem> gone;
    EXPECT_EQ(app->GetItemFromOid(CEOID(oid), gone.Out()), PIM_E_NOTFOUND);
    EXPECT_EQ(Find("7:7"), nullptr);
    EXPECT_EQ(Heard(), 2);
    EXPECT_EQ(waiter.code, generalErrItemNotFound);
}

}  // namespace
