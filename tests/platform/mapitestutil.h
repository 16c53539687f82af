// Helpers of the message store tests: a fresh device with one provisioned
// account, a session on it, and short forms of the calls the tests repeat.
#ifndef VTEST_MAPITESTUTIL_H
#define VTEST_MAPITESTUTIL_H

#include <cstring>
#include <string>
#include <vector>

#include "mapi.h"
#include "support/TestDevice.h"
#include "vplatform_mail.h"

namespace mapitest {

typedef std::vector<BYTE> EntryId;

inline LPENTRYID Lp(const EntryId &id) { return reinterpret_cast<LPENTRYID>(const_cast<BYTE *>(id.data())); }
inline ULONG Cb(const EntryId &id) { return static_cast<ULONG>(id.size()); }

// One property read back: found false when the store reported it missing.
struct Prop {
    bool found = false;
    SPropValue value{};  // pointers in it are gone: use bytes
    std::vector<BYTE> bytes;  // binary and string values, copied
    std::u16string Text() const { return std::u16string(reinterpret_cast<const char16_t *>(bytes.data()), bytes.size() / 2); }
    LONG Long() const { return value.Value.l; }
};

inline Prop Get(IMAPIProp *object, ULONG tag) {
    SizedSPropTagArray(1, tags) = {1, {tag}};
    ULONG count = 0;
    LPSPropValue values = nullptr;
    Prop prop;
    HRESULT hr = object->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), MAPI_UNICODE, &count, &values);
    if (FAILED(hr) || count != 1) {
        ADD_FAILURE() << "GetProps failed: " << std::hex << hr;
        MAPIFreeBuffer(values);
        return prop;
    }
    prop.found = values[0].ulPropTag == tag;
    prop.value = values[0];
    if (prop.found && PROP_TYPE(tag) == PT_BINARY) {
        prop.bytes.assign(values[0].Value.bin.lpb, values[0].Value.bin.lpb + values[0].Value.bin.cb);
    } else if (prop.found && PROP_TYPE(tag) == PT_STRING8) {
        prop.bytes.assign(values[0].Value.lpszA, values[0].Value.lpszA + std::strlen(values[0].Value.lpszA));
    } else if (prop.found && PROP_TYPE(tag) == PT_UNICODE) {
        std::u16string text(values[0].Value.lpszW);
        const BYTE *p = reinterpret_cast<const BYTE *>(text.data());
        prop.bytes.assign(p, p + text.size() * 2);
    }
    MAPIFreeBuffer(values);
    return prop;
}

inline EntryId Id(IMAPIProp *object) { return Get(object, PR_ENTRYID).bytes; }

inline SPropValue Long(ULONG tag, LONG value) {
    SPropValue prop{};
    prop.ulPropTag = tag;
    prop.Value.l = value;
    return prop;
}

inline SPropValue Text(ULONG tag, const char16_t *value) {
    SPropValue prop{};
    prop.ulPropTag = tag;
    prop.Value.lpszW = const_cast<WCHAR *>(value);
    return prop;
}

inline HRESULT Set(IMAPIProp *object, std::vector<SPropValue> values) {
    LPSPropProblemArray problems = nullptr;
    HRESULT hr = object->SetProps(static_cast<ULONG>(values.size()), values.data(), &problems);
    if (problems != nullptr) ADD_FAILURE() << "SetProps reported " << problems->cProblem << " problems";
    MAPIFreeBuffer(problems);
    return hr;
}

// Every row of a table with the given columns, from the top.
inline std::vector<std::vector<SPropValue>> Rows(IMAPITable *table, std::vector<ULONG> columns,
                                                 std::vector<LPSRowSet> *keep) {
    std::vector<ULONG> buffer(columns.size() + 1);
    buffer[0] = static_cast<ULONG>(columns.size());
    std::copy(columns.begin(), columns.end(), buffer.begin() + 1);
    EXPECT_EQ(S_OK, table->SetColumns(reinterpret_cast<LPSPropTagArray>(buffer.data()), 0));
    EXPECT_EQ(S_OK, table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr));
    std::vector<std::vector<SPropValue>> rows;
    for (;;) {
        LPSRowSet set = nullptr;
        if (table->QueryRows(10, 0, &set) != S_OK || set == nullptr) break;
        keep->push_back(set);
        if (set->cRows == 0) break;
        for (ULONG i = 0; i < set->cRows; ++i)
            rows.emplace_back(set->aRow[i].lpProps, set->aRow[i].lpProps + set->aRow[i].cValues);
    }
    return rows;
}

// A device with the account "Vantrel" provisioned and a session on it.
class MapiTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_EQ(S_OK, vplat::MailAccountProvision(u"Vantrel"));
        ASSERT_EQ(S_OK, MAPIInitialize(nullptr));
        ASSERT_EQ(S_OK, MAPILogonEx(0, nullptr, nullptr, 0, &m_session));
        m_store = OpenStore(u"Vantrel");
        ASSERT_NE(nullptr, m_store);
    }
    void TearDown() override {
        for (auto *set : m_rows) FreeProws(set);
        if (m_store != nullptr) m_store->Release();
        if (m_session != nullptr) {
            m_session->Logoff(0, 0, 0);
            m_session->Release();
        }
        MAPIUninitialize();
        DeviceTest::TearDown();
    }

    // The store with this display name, through the stores table.
    IMsgStore *OpenStore(const char16_t *name) {
        IMAPITable *table = nullptr;
        if (m_session->GetMsgStoresTable(MAPI_UNICODE, &table) != S_OK) return nullptr;
        IMsgStore *store = nullptr;
        for (const auto &row : Rows(table, {PR_DISPLAY_NAME_W, PR_ENTRYID}, &m_rows)) {
            if (row[0].ulPropTag != PR_DISPLAY_NAME_W || std::u16string(row[0].Value.lpszW) != name) continue;
            EXPECT_EQ(S_OK, m_session->OpenMsgStore(0, row[1].Value.bin.cb, reinterpret_cast<LPENTRYID>(row[1].Value.bin.lpb),
                                                   nullptr, MDB_NO_DIALOG, &store));
        }
        table->Release();
        return store;
    }

    IMAPIFolder *OpenFolder(const EntryId &id) {
        ULONG type = 0;
        LPUNKNOWN unk = nullptr;
        EXPECT_EQ(S_OK, m_store->OpenEntry(Cb(id), Lp(id), nullptr, MAPI_MODIFY, &type, &unk));
        EXPECT_EQ(static_cast<ULONG>(MAPI_FOLDER), type);
        return static_cast<IMAPIFolder *>(static_cast<IMAPIContainer *>(static_cast<IMAPIProp *>(unk)));
    }

    IMessage *OpenMessage(const EntryId &id) {
        ULONG type = 0;
        LPUNKNOWN unk = nullptr;
        EXPECT_EQ(S_OK, m_store->OpenEntry(Cb(id), Lp(id), nullptr, MAPI_MODIFY, &type, &unk));
        EXPECT_EQ(static_cast<ULONG>(MAPI_MESSAGE), type);
        return static_cast<IMessage *>(static_cast<IMAPIProp *>(unk));
    }

    // A special folder by its store property.
    IMAPIFolder *Special(ULONG tag) { return OpenFolder(Get(m_store, tag).bytes); }

    std::vector<std::vector<SPropValue>> TableRows(IMAPITable *table, std::vector<ULONG> columns) {
        return Rows(table, std::move(columns), &m_rows);
    }

    // Entry ids of a folder's messages (or subfolders), in table order.
    std::vector<EntryId> Contents(IMAPIFolder *folder, bool subfolders = false) {
        IMAPITable *table = nullptr;
        HRESULT hr = subfolders ? folder->GetHierarchyTable(0, &table) : folder->GetContentsTable(0, &table);
        std::vector<EntryId> ids;
        if (hr != S_OK) return ids;
        for (const auto &row : TableRows(table, {PR_ENTRYID}))
            ids.emplace_back(row[0].Value.bin.lpb, row[0].Value.bin.lpb + row[0].Value.bin.cb);
        table->Release();
        return ids;
    }

    IMAPISession *m_session = nullptr;
    IMsgStore *m_store = nullptr;
    std::vector<LPSRowSet> m_rows;
};

// An upcast that keeps IMAPIProp calls unambiguous.
inline IMAPIProp *P(IMAPIFolder *folder) { return folder; }
inline IMAPIProp *P(IMessage *message) { return message; }

}  // namespace mapitest

#endif
