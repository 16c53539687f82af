// The message store's sessions, stores, entry ids, named properties and
// caller memory.
#include <gtest/gtest.h>

#include <fstream>

#include "mapitestutil.h"

using namespace mapitest;

namespace {

TEST(MapiMemory, MoreBlocksGoWithTheirBuffer) {
    void *buffer = nullptr;
    ASSERT_EQ(S_OK, MAPIAllocateBuffer(16, &buffer));
    void *more[3] = {};
    for (auto &block : more) ASSERT_EQ(S_OK, MAPIAllocateMore(1000, buffer, &block));
    std::memset(more[2], 0xAB, 1000);
    // A linked block is never freed alone; the buffer frees all (ASan checks the rest).
    EXPECT_NE(static_cast<ULONG>(S_OK), MAPIFreeBuffer(more[0]));
    EXPECT_EQ(static_cast<ULONG>(S_OK), MAPIFreeBuffer(buffer));
    EXPECT_EQ(MAPI_E_INVALID_PARAMETER, MAPIAllocateMore(4, nullptr, &buffer));
}

class MapiLogonTest : public DeviceTest {};

TEST_F(MapiLogonTest, LogonNeedsInitialize) {
    IMAPISession *session = nullptr;
    EXPECT_EQ(MAPI_E_NOT_INITIALIZED, MAPILogonEx(0, nullptr, nullptr, 0, &session));
    // Counted: two initialisations need two uninitialisations.
    ASSERT_EQ(S_OK, MAPIInitialize(nullptr));
    ASSERT_EQ(S_OK, MAPIInitialize(nullptr));
    MAPIUninitialize();
    ASSERT_EQ(S_OK, MAPILogonEx(0, nullptr, nullptr, 0, &session));
    session->Release();
    MAPIUninitialize();
    EXPECT_EQ(MAPI_E_NOT_INITIALIZED, MAPILogonEx(0, nullptr, nullptr, 0, &session));
}

// A store file that is empty is made afresh; one that is no database is
// reported, and nothing crashes.
TEST(MapiStoreFile, DamagedFileReported) {
    const struct {
        const char *content;
        HRESULT logon;
        HRESULT provision;
    } kCases[] = {
        {"", S_OK, S_OK},
        {"this is not a database file of the device, only text that looks long enough", MAPI_E_LOGON_FAILED,
         MAPI_E_CALL_FAILED},
    };
    ASSERT_EQ(S_OK, MAPIInitialize(nullptr));
    for (const auto &c : kCases) {
        TempDevice device;
        {
            std::ofstream file(device.Root() + "/mapi.db", std::ios::binary);
            file << c.content;
        }
        IMAPISession *session = nullptr;
        EXPECT_EQ(c.logon, MAPILogonEx(0, nullptr, nullptr, 0, &session));
        EXPECT_EQ(c.provision, vplat::MailAccountProvision(u"Vantrel"));
        if (session != nullptr) session->Release();
    }
    MAPIUninitialize();
}

class MapiStoreTest : public MapiTest {};

// Provisioning twice keeps one store; another name makes another; names
// compare exactly.
TEST_F(MapiStoreTest, StoresFoundByExactName) {
    ASSERT_EQ(S_OK, vplat::MailAccountProvision(u"Vantrel"));
    ASSERT_EQ(S_OK, vplat::MailAccountProvision(u"Vantrel E-Mail"));
    IMAPITable *table = nullptr;
    ASSERT_EQ(S_OK, m_session->GetMsgStoresTable(MAPI_UNICODE, &table));
    LPSPropTagArray columns = nullptr;
    ASSERT_EQ(S_OK, table->QueryColumns(0, &columns));
    ASSERT_EQ(2u, columns->cValues);
    EXPECT_EQ(PR_DISPLAY_NAME_W, columns->aulPropTag[0]);
    EXPECT_EQ(PR_ENTRYID, columns->aulPropTag[1]);
    MAPIFreeBuffer(columns);
    ULONG count = 0;
    EXPECT_EQ(S_OK, table->GetRowCount(0, &count));
    EXPECT_EQ(2u, count);
    table->Release();
    EXPECT_EQ(nullptr, OpenStore(u"vantrel"));

    IMsgStore *other = OpenStore(u"Vantrel E-Mail");
    ASSERT_NE(nullptr, other);
    EXPECT_EQ(u"Vantrel E-Mail", Get(other, PR_DISPLAY_NAME_W).Text());
    EXPECT_EQ(MAPI_STORE, Get(other, PR_OBJECT_TYPE).Long());
    ULONG same = TRUE;
    EntryId a = Id(m_store), b = Id(other);
    EXPECT_EQ(S_OK, m_session->CompareEntryIDs(Cb(a), Lp(a), Cb(b), Lp(b), 0, &same));
    EXPECT_FALSE(same);
    other->Release();

    EXPECT_EQ(S_OK, vplat::MailAccountRemove(u"Vantrel E-Mail"));
    EXPECT_EQ(MAPI_E_NOT_FOUND, vplat::MailAccountRemove(u"Vantrel E-Mail"));
    EXPECT_EQ(nullptr, OpenStore(u"Vantrel E-Mail"));
}

// The special folders hang under the IPM subtree with their names; a store
// property nobody set comes as an error value.
TEST_F(MapiStoreTest, SpecialFoldersBoundToStoreProperties) {
    const struct {
        ULONG tag;
        const char16_t *name;
    } kSpecial[] = {
        {PR_CE_IPM_INBOX_ENTRYID, u"Inbox"},       {PR_IPM_OUTBOX_ENTRYID, u"Outbox"},
        {PR_CE_IPM_DRAFTS_ENTRYID, u"Drafts"},     {PR_IPM_SENTMAIL_ENTRYID, u"Sent Items"},
        {PR_IPM_WASTEBASKET_ENTRYID, u"Deleted Items"},
    };
    EntryId subtree = Get(m_store, PR_IPM_SUBTREE_ENTRYID).bytes;
    for (const auto &special : kSpecial) {
        SCOPED_TRACE(std::string(special.name, special.name + std::char_traits<char16_t>::length(special.name)));
        IMAPIFolder *folder = Special(special.tag);
        ASSERT_NE(nullptr, folder);
        EXPECT_EQ(special.name, Get(P(folder), PR_DISPLAY_NAME_W).Text());
        EXPECT_EQ(subtree, Get(P(folder), PR_PARENT_ENTRYID).bytes);
        EXPECT_EQ(MAPI_FOLDER, Get(P(folder), PR_OBJECT_TYPE).Long());
        EXPECT_EQ(0, Get(P(folder), PR_CONTENT_COUNT).Long());
        folder->Release();
    }

    SizedSPropTagArray(3, tags) = {3, {PR_DISPLAY_NAME_W, PROP_TAG(PT_BINARY, 0x35E5), PR_IPM_OUTBOX_ENTRYID}};
    ULONG count = 0;
    LPSPropValue values = nullptr;
    ASSERT_EQ(MAPI_W_ERRORS_RETURNED,
              m_store->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), MAPI_UNICODE, &count, &values));
    ASSERT_EQ(3u, count);
    EXPECT_EQ(PR_DISPLAY_NAME_W, values[0].ulPropTag);
    EXPECT_EQ(PROP_TAG(PT_ERROR, 0x35E5), values[1].ulPropTag);
    EXPECT_EQ(MAPI_E_NOT_FOUND, values[1].Value.err);
    EXPECT_EQ(PR_IPM_OUTBOX_ENTRYID, values[2].ulPropTag);
    MAPIFreeBuffer(values);
}

// Entry ids open what they name, through the store and the session; bad
// bytes and unknown objects are told apart.
TEST_F(MapiStoreTest, EntryIdsOpenTheirObjects) {
    IMAPIFolder *inbox = Special(PR_CE_IPM_INBOX_ENTRYID);
    EntryId id = Id(P(inbox));
    ULONG type = 0;
    LPUNKNOWN unk = nullptr;
    ASSERT_EQ(S_OK, m_session->OpenEntry(Cb(id), Lp(id), nullptr, 0, &type, &unk));
    EXPECT_EQ(static_cast<ULONG>(MAPI_FOLDER), type);
    EXPECT_EQ(u"Inbox", Get(static_cast<IMAPIProp *>(unk), PR_DISPLAY_NAME_W).Text());
    unk->Release();

    EntryId bad(id.begin(), id.end() - 1);
    EXPECT_EQ(MAPI_E_INVALID_ENTRYID, m_store->OpenEntry(Cb(bad), Lp(bad), nullptr, 0, &type, &unk));
    EntryId unknown = id;
    unknown[16] ^= 0x7F;  // another object number
    EXPECT_EQ(MAPI_E_NOT_FOUND, m_store->OpenEntry(Cb(unknown), Lp(unknown), nullptr, 0, &type, &unk));
    ULONG same = FALSE;
    EXPECT_EQ(S_OK, m_store->CompareEntryIDs(Cb(id), Lp(id), Cb(id), Lp(id), 0, &same));
    EXPECT_TRUE(same);
    EXPECT_EQ(MAPI_E_INVALID_ENTRYID, m_store->CompareEntryIDs(Cb(id), Lp(id), Cb(bad), Lp(bad), 0, &same));
    inbox->Release();
}

// Named properties: created from 0x8000 up (never 0x8104 or 0x8106), the
// same from any object and after the session is gone; unknown names
// without MAPI_CREATE come as errors in their slots.
TEST_F(MapiStoreTest, NamedPropertiesStable) {
    std::vector<std::u16string> names;
    for (int i = 0; i < 0x110; ++i) names.push_back(u"X-Name-" + std::u16string(1, char16_t(u'A' + i / 26)) +
                                                     std::u16string(1, char16_t(u'a' + i % 26)));
    GUID set = PS_MAPI;
    auto resolve = [&](IMAPIProp *object, const std::vector<std::u16string> &which, ULONG flags,
                       std::vector<ULONG> *tags) {
        std::vector<MAPINAMEID> ids(which.size());
        std::vector<LPMAPINAMEID> pointers;
        for (size_t i = 0; i < which.size(); ++i) {
            ids[i].lpguid = &set;
            ids[i].ulKind = MNID_STRING;
            ids[i].Kind.lpwstrName = const_cast<WCHAR *>(which[i].c_str());
            pointers.push_back(&ids[i]);
        }
        LPSPropTagArray out = nullptr;
        HRESULT hr = object->GetIDsFromNames(static_cast<ULONG>(which.size()), pointers.data(), flags, &out);
        tags->clear();
        if (out != nullptr) tags->assign(out->aulPropTag, out->aulPropTag + out->cValues);
        MAPIFreeBuffer(out);
        return hr;
    };
    std::vector<ULONG> first, again;
    ASSERT_EQ(MAPI_W_ERRORS_RETURNED, resolve(m_store, {u"X-QV-ServerID"}, 0, &first));
    EXPECT_EQ(PROP_TAG(PT_ERROR, 0), first[0]);

    ASSERT_EQ(S_OK, resolve(m_store, names, MAPI_CREATE, &first));
    ASSERT_EQ(names.size(), first.size());
    for (size_t i = 0; i < first.size(); ++i) {
        EXPECT_GE(PROP_ID(first[i]), 0x8000u);
        EXPECT_NE(0x8104u, PROP_ID(first[i]));
        EXPECT_NE(0x8106u, PROP_ID(first[i]));
        if (i > 0) {
            EXPECT_NE(first[i - 1], first[i]);
        }
    }
    IMAPIFolder *inbox = Special(PR_CE_IPM_INBOX_ENTRYID);
    ASSERT_EQ(S_OK, resolve(P(inbox), names, 0, &again));
    EXPECT_EQ(first, again);
    inbox->Release();

    // Reopened from nothing: another session sees the same.
    m_store->Release();
    m_session->Release();
    ASSERT_EQ(S_OK, MAPILogonEx(0, nullptr, nullptr, 0, &m_session));
    m_store = OpenStore(u"Vantrel");
    ASSERT_EQ(S_OK, resolve(m_store, names, MAPI_CREATE, &again));
    EXPECT_EQ(first, again);
    // Another store numbers its own names.
    ASSERT_EQ(S_OK, vplat::MailAccountProvision(u"Other"));
    IMsgStore *other = OpenStore(u"Other");
    ASSERT_EQ(S_OK, resolve(other, {names[5]}, MAPI_CREATE, &again));
    EXPECT_EQ(0x8000u, PROP_ID(again[0]));
    other->Release();
}

}  // namespace
