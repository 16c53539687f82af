// Helpers for the message store's notification tests: a sink that records
// what it is told (as plain values, since the notification's memory lasts
// only for the call), and a fixture with one provisioned account's store
// and its special folders.
#ifndef VTEST_PLATFORM_MAPINOTIFYUTIL_H
#define VTEST_PLATFORM_MAPINOTIFYUTIL_H

#include <functional>
#include <string>
#include <vector>

#include "mapi.h"
#include "support/TestDevice.h"
#include "vplatform_mail.h"

using Bytes = std::vector<BYTE>;

// One notification as a sink saw it.
struct SeenEvent {
    ULONG type = 0;
    ULONG objType = 0;
    Bytes entry, parent, oldID, oldParent;
    std::vector<ULONG> tags;
};

inline Bytes CopyId(ULONG cb, LPENTRYID id) {
    return id == nullptr ? Bytes() : Bytes(reinterpret_cast<BYTE *>(id), reinterpret_cast<BYTE *>(id) + cb);
}

// Counts its references (it lives on the test's stack) and keeps one entry
// per OnNotify call; onNotify runs inside each call when set.
class RecordingSink : public IMAPIAdviseSink {
public:
    HRESULT QueryInterface(REFIID, void **) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    ULONG OnNotify(ULONG count, LPNOTIFICATION notifications) override {
        std::vector<SeenEvent> call;
        for (ULONG i = 0; i < count; ++i) {
            const OBJECT_NOTIFICATION &obj = notifications[i].info.obj;
            SeenEvent e;
            e.type = notifications[i].ulEventType;
            e.objType = obj.ulObjType;
            e.entry = CopyId(obj.cbEntryID, obj.lpEntryID);
            e.parent = CopyId(obj.cbParentID, obj.lpParentID);
            e.oldID = CopyId(obj.cbOldID, obj.lpOldID);
            e.oldParent = CopyId(obj.cbOldParentID, obj.lpOldParentID);
            if (obj.lpPropTagArray != nullptr) {
                e.tags.assign(obj.lpPropTagArray->aulPropTag,
                              obj.lpPropTagArray->aulPropTag + obj.lpPropTagArray->cValues);
            }
            call.push_back(e);
        }
        calls.push_back(call);
        if (onNotify) onNotify();
        return 0;
    }
    // Every event of every call, in order.
    std::vector<SeenEvent> Events() const {
        std::vector<SeenEvent> all;
        for (const auto &call : calls) all.insert(all.end(), call.begin(), call.end());
        return all;
    }

    ULONG refs = 1;
    std::vector<std::vector<SeenEvent>> calls;
    std::function<void()> onNotify;
};

// A device with the account "Vantrel" provisioned, its store open.
class MapiNotifyTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_EQ(S_OK, MAPIInitialize(nullptr));
        ASSERT_EQ(S_OK, vplat::MailAccountProvision(u"Vantrel"));
        ASSERT_EQ(S_OK, OpenStore(u"Vantrel"));
        inbox = StoreId(PR_CE_IPM_INBOX_ENTRYID);
        outbox = StoreId(PR_IPM_OUTBOX_ENTRYID);
        drafts = StoreId(PR_CE_IPM_DRAFTS_ENTRYID);
        deleted = StoreId(PR_IPM_WASTEBASKET_ENTRYID);
        ASSERT_FALSE(inbox.empty() || outbox.empty() || drafts.empty() || deleted.empty());
    }
    void TearDown() override {
        if (store != nullptr) store->Release();
        if (session != nullptr) {
            session->Logoff(0, 0, 0);
            session->Release();
        }
        MAPIUninitialize();
        DeviceTest::TearDown();
    }

    HRESULT OpenStore(const std::u16string &name) {
        HRESULT hr = MAPILogonEx(0, nullptr, nullptr, 0, &session);
        if (FAILED(hr)) return hr;
        IMAPITable *table = nullptr;
        hr = session->GetMsgStoresTable(0, &table);
        if (FAILED(hr)) return hr;
        SizedSPropTagArray(2, columns) = {2, {PR_DISPLAY_NAME_W, PR_ENTRYID}};
        table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0);
        hr = MAPI_E_NOT_FOUND;
        for (;;) {
            LPSRowSet rows = nullptr;
            if (FAILED(table->QueryRows(1, 0, &rows)) || rows == nullptr || rows->cRows == 0) {
                FreeProws(rows);
                break;
            }
            const SRow &row = rows->aRow[0];
            if (row.lpProps[0].ulPropTag == PR_DISPLAY_NAME_W && name == row.lpProps[0].Value.lpszW) {
                hr = session->OpenMsgStore(0, row.lpProps[1].Value.bin.cb,
                                           reinterpret_cast<LPENTRYID>(row.lpProps[1].Value.bin.lpb), nullptr,
                                           MAPI_BEST_ACCESS, &store);
                FreeProws(rows);
                break;
            }
            FreeProws(rows);
        }
        table->Release();
        return hr;
    }

    static Bytes BinaryProp(IMAPIProp *object, ULONG tag) {
        SizedSPropTagArray(1, tags) = {1, {tag}};
        ULONG count = 0;
        LPSPropValue props = nullptr;
        Bytes value;
        if (SUCCEEDED(object->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, &props)) && count == 1 &&
            props[0].ulPropTag == tag) {
            value.assign(props[0].Value.bin.lpb, props[0].Value.bin.lpb + props[0].Value.bin.cb);
        }
        MAPIFreeBuffer(props);
        return value;
    }
    Bytes StoreId(ULONG tag) { return BinaryProp(store, tag); }

    template <class T>
    T *Open(const Bytes &id) {
        ULONG type = 0;
        IUnknown *object = nullptr;
        if (FAILED(store->OpenEntry(ULONG(id.size()), reinterpret_cast<LPENTRYID>(const_cast<BYTE *>(id.data())),
                                    nullptr, MAPI_MODIFY, &type, &object))) {
            return nullptr;
        }
        return static_cast<T *>(object);
    }

    // A saved message with a subject in folder; its entry id.
    Bytes MakeMessage(const Bytes &folderID, const char16_t *subject = u"Hello") {
        IMAPIFolder *folder = Open<IMAPIFolder>(folderID);
        if (folder == nullptr) return Bytes();
        IMessage *message = nullptr;
        Bytes id;
        if (SUCCEEDED(folder->CreateMessage(nullptr, 0, &message))) {
            SPropValue v = {};
            v.ulPropTag = PR_SUBJECT_W;
            v.Value.lpszW = const_cast<char16_t *>(subject);
            message->SetProps(1, &v, nullptr);
            if (SUCCEEDED(message->SaveChanges(0))) id = BinaryProp(message, PR_ENTRYID);
            message->Release();
        }
        folder->Release();
        return id;
    }

    HRESULT SetFlags(const Bytes &messageID, ULONG flags) {
        IMessage *message = Open<IMessage>(messageID);
        if (message == nullptr) return MAPI_E_NOT_FOUND;
        SPropValue v = {};
        v.ulPropTag = PR_MESSAGE_FLAGS;
        v.Value.ul = flags;
        HRESULT hr = message->SetProps(1, &v, nullptr);
        if (SUCCEEDED(hr)) hr = message->SaveChanges(0);
        message->Release();
        return hr;
    }

    HRESULT Move(const Bytes &messageID, const Bytes &from, const Bytes &to) {
        IMAPIFolder *source = Open<IMAPIFolder>(from), *destination = Open<IMAPIFolder>(to);
        HRESULT hr = MAPI_E_NOT_FOUND;
        if (source != nullptr && destination != nullptr) {
            SBinary bin = {ULONG(messageID.size()), const_cast<BYTE *>(messageID.data())};
            ENTRYLIST list = {1, &bin};
            hr = source->CopyMessages(&list, nullptr, destination, 0, nullptr, MESSAGE_MOVE);
        }
        if (source != nullptr) source->Release();
        if (destination != nullptr) destination->Release();
        return hr;
    }

    HRESULT Delete(const Bytes &messageID, const Bytes &from) {
        IMAPIFolder *folder = Open<IMAPIFolder>(from);
        if (folder == nullptr) return MAPI_E_NOT_FOUND;
        SBinary bin = {ULONG(messageID.size()), const_cast<BYTE *>(messageID.data())};
        ENTRYLIST list = {1, &bin};
        HRESULT hr = folder->DeleteMessages(&list, 0, nullptr, 0);
        folder->Release();
        return hr;
    }

    HRESULT Advise(const Bytes &entry, ULONG mask, IMAPIAdviseSink *sink, ULONG *connection) {
        return store->Advise(ULONG(entry.size()),
                             entry.empty() ? nullptr : reinterpret_cast<LPENTRYID>(const_cast<BYTE *>(entry.data())),
                             mask, sink, connection);
    }

    IMAPISession *session = nullptr;
    IMsgStore *store = nullptr;
    Bytes inbox, outbox, drafts, deleted;
};

// The object events the mail advise watches.
const ULONG kObjectEvents = fnevObjectCreated | fnevObjectDeleted | fnevObjectModified | fnevObjectMoved;

#endif
