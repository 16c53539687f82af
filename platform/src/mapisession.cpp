// MAPI's entry points: the per-process initialisation count, logging on,
// and the session that lists the device's message stores and opens them.
#include <mutex>

#include "mapistoreobjects.h"
#include "mapitable.h"

// The interface identifiers the store answers to.
const IID IID_IStream = {0x56504C01, 0x4D41, 0x5049, {0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}};
const IID IID_IMessage = {0x56504C01, 0x4D41, 0x5049, {0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02}};
const IID IID_IMAPIFolder = {0x56504C01, 0x4D41, 0x5049, {0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03}};

namespace vplat {
namespace {

std::mutex g_initLock;
int g_initCount = 0;

// A logged-on session: stateless over the file, so any number may be open.
class MapiSession : public IMAPISession {
public:
    HRESULT QueryInterface(REFIID, void **ppvObject) override {
        if (ppvObject != nullptr) *ppvObject = nullptr;
        return MAPI_E_INTERFACE_NOT_SUPPORTED;
    }
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override {
        ULONG refs = --m_refs;
        if (refs == 0) delete this;
        return refs;
    }

    HRESULT GetMsgStoresTable(ULONG, LPMAPITABLE *lppTable) override {
        if (lppTable == nullptr) return MAPI_E_INVALID_PARAMETER;
        std::vector<int64_t> ids;
        HRESULT hr = MapiRead([&](SqliteDb &db) -> HRESULT {
            SqliteStatement query(db, "SELECT id FROM objects WHERE kind = 1 ORDER BY id");
            bool row = false;
            DWORD err;
            while ((err = query.Step(&row)) == ERROR_SUCCESS && row) ids.push_back(query.Int(0));
            return MapiResult(err);
        });
        if (FAILED(hr)) return hr;
        return MapiObjectTable(std::move(ids), {PR_DISPLAY_NAME_W, PR_ENTRYID}, lppTable);
    }

    HRESULT OpenMsgStore(ULONG_PTR, ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID, ULONG, LPMDB *lppMDB) override {
        if (lppMDB == nullptr) return MAPI_E_INVALID_PARAMETER;
        *lppMDB = nullptr;
        int64_t store = 0, object = 0;
        HRESULT hr = MapiParseEntryId(cbEntryID, reinterpret_cast<const BYTE *>(lpEntryID), &store, &object);
        if (FAILED(hr)) return hr;
        if (store != object) return MAPI_E_NOT_FOUND;
        MapiObjectRow row;
        hr = MapiRead([&](SqliteDb &db) { return MapiLoadObject(db, store, &row); });
        if (FAILED(hr)) return hr;
        if (row.kind != kMapiKindStore) return MAPI_E_NOT_FOUND;
        // What a stopped process left half-made goes before anyone reads it.
        hr = MapiWrite(store, [](SqliteDb &db, std::vector<MapiObjectEvent> *) { return MapiDropAbandoned(db); });
        if (FAILED(hr)) return hr;
        *lppMDB = new MapiStore(store);
        return S_OK;
    }

    HRESULT OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID, ULONG, ULONG *lpulObjType,
                      LPUNKNOWN *lppUnk) override {
        if (lppUnk == nullptr) return MAPI_E_INVALID_PARAMETER;
        *lppUnk = nullptr;
        int64_t store = 0, object = 0;
        HRESULT hr = MapiParseEntryId(cbEntryID, reinterpret_cast<const BYTE *>(lpEntryID), &store, &object);
        if (FAILED(hr)) return hr;
        return MapiOpenEntry(store, cbEntryID, lpEntryID, lpulObjType, lppUnk);
    }

    HRESULT CompareEntryIDs(ULONG cbEntryID1, LPENTRYID lpEntryID1, ULONG cbEntryID2, LPENTRYID lpEntryID2, ULONG,
                            ULONG *lpulResult) override {
        return MapiCompareEntryIds(cbEntryID1, lpEntryID1, cbEntryID2, lpEntryID2, lpulResult);
    }

    // The entry id names the store (or the object) to watch.
    HRESULT Advise(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulEventMask, LPMAPIADVISESINK lpAdviseSink,
                   ULONG *lpulConnection) override {
        if (lpEntryID == nullptr || lpAdviseSink == nullptr || lpulConnection == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        int64_t store = 0, object = 0;
        HRESULT hr = MapiParseEntryId(cbEntryID, reinterpret_cast<const BYTE *>(lpEntryID), &store, &object);
        if (FAILED(hr)) return hr;
        if (object == store) return MapiAdviseAdd(store, nullptr, 0, ulEventMask, lpAdviseSink, lpulConnection);
        return MapiAdviseAdd(store, reinterpret_cast<const BYTE *>(lpEntryID), cbEntryID, ulEventMask, lpAdviseSink,
                             lpulConnection);
    }

    HRESULT Unadvise(ULONG ulConnection) override { return MapiAdviseRemove(ulConnection); }

    HRESULT Logoff(ULONG_PTR, ULONG, ULONG) override { return S_OK; }

private:
    virtual ~MapiSession() = default;
    std::atomic<ULONG> m_refs{1};
};

}  // namespace
}  // namespace vplat

HRESULT MAPIInitialize(LPVOID) {
    std::lock_guard<std::mutex> lock(vplat::g_initLock);
    ++vplat::g_initCount;
    return S_OK;
}

void MAPIUninitialize() {
    std::lock_guard<std::mutex> lock(vplat::g_initLock);
    if (vplat::g_initCount > 0) --vplat::g_initCount;
}

HRESULT MAPILogonEx(ULONG_PTR, LPTSTR, LPTSTR, FLAGS, LPMAPISESSION *lppSession) {
    if (lppSession == nullptr) return MAPI_E_INVALID_PARAMETER;
    *lppSession = nullptr;
    {
        std::lock_guard<std::mutex> lock(vplat::g_initLock);
        if (vplat::g_initCount == 0) return MAPI_E_NOT_INITIALIZED;
    }
    // The device's store file must open (and be made) before a session counts.
    vplat::SqliteDb *db = nullptr;
    if (FAILED(vplat::MapiDbForThread(&db))) return MAPI_E_LOGON_FAILED;
    *lppSession = new vplat::MapiSession();
    return S_OK;
}
