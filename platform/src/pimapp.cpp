// The application object, its default folders and their item collections.
// A logon opens a store (the databases of the application's edition); a
// logoff closes it, which every folder and item made from it then sees.
#include <memory>

#include "pimitems.h"

namespace vplat {
namespace {

HRESULT NewItem(const std::shared_ptr<PimStore> &store, PimKind kind, CEOID oid, IPimItem **item) {
    switch (kind) {
        case PimKind::Appointment: return PimNewAppointment(store, oid, item);
        case PimKind::Contact: return PimNewContact(store, oid, item);
        default: return PimNewTask(store, oid, item);
    }
}

// A folder's items: each call reads the database afresh.
class PimItems : public PimObject<IPOutlookItemCollection> {
public:
    PimItems(std::shared_ptr<PimStore> store, PimKind kind) : m_store(std::move(store)), m_kind(kind) {}

    HRESULT get_Count(int *count) override {
        if (count == nullptr) return E_POINTER;
        if (!m_store->IsOpen()) return PIM_E_NOTLOGGEDON;
        DWORD records = 0;
        DWORD err = m_store->Count(m_kind, &records);
        if (err != ERROR_SUCCESS) return PimResult(err);
        *count = int(records);
        return S_OK;
    }
    HRESULT Item(int index, IPimItem **item) override {
        if (item == nullptr) return E_POINTER;
        CEOID oid = 0;
        HRESULT hr = At(index, &oid);
        return FAILED(hr) ? hr : NewItem(m_store, m_kind, oid, item);
    }
    HRESULT Add(IPimItem **item) override {
        if (!m_store->IsOpen()) return PIM_E_NOTLOGGEDON;
        return NewItem(m_store, m_kind, 0, item);
    }
    HRESULT Remove(int index) override {
        CEOID oid = 0;
        HRESULT hr = At(index, &oid);
        return FAILED(hr) ? hr : PimResult(m_store->Delete(m_kind, oid));
    }

private:
    HRESULT At(int index, CEOID *oid) {
        if (!m_store->IsOpen()) return PIM_E_NOTLOGGEDON;
        if (index < 1) return PIM_E_NOTFOUND;
        return PimResult(m_store->OidAt(m_kind, DWORD(index - 1), oid));
    }

    std::shared_ptr<PimStore> m_store;
    PimKind m_kind;
};

// A default folder: its kind's items.
class PimFolder : public PimObject<IFolder> {
public:
    PimFolder(std::shared_ptr<PimStore> store, PimKind kind) : m_store(std::move(store)), m_kind(kind) {}

    HRESULT get_Items(IPOutlookItemCollection **items) override {
        if (items == nullptr) return E_POINTER;
        if (!m_store->IsOpen()) return PIM_E_NOTLOGGEDON;
        *items = new PimItems(m_store, m_kind);
        return S_OK;
    }
    HRESULT get_DefaultItemType(int *type) override {
        if (type == nullptr) return E_POINTER;
        *type = m_kind == PimKind::Appointment ? olAppointmentItem
                                               : (m_kind == PimKind::Contact ? olContactItem : olTaskItem);
        return S_OK;
    }

private:
    std::shared_ptr<PimStore> m_store;
    PimKind m_kind;
};

// The application: holds the store of its logon, if any.
class PimApplication : public PimObject<IPOutlookApp> {
public:
    explicit PimApplication(PimEdition edition) : m_edition(edition) {}
    ~PimApplication() override { Logoff(); }

    HRESULT Logon(HWND) override {
        if (m_store != nullptr) return S_OK;
        auto store = std::make_shared<PimStore>(m_edition);
        DWORD err = store->Open();
        if (err != ERROR_SUCCESS) return PimResult(err);
        m_store = std::move(store);
        return S_OK;
    }
    HRESULT Logoff() override {
        if (m_store != nullptr) m_store->Close();
        m_store.reset();
        return S_OK;
    }
    HRESULT GetDefaultFolder(int folder, IFolder **result) override {
        if (result == nullptr) return E_POINTER;
        if (m_store == nullptr) return PIM_E_NOTLOGGEDON;
        switch (folder) {
            case olFolderCalendar: *result = new PimFolder(m_store, PimKind::Appointment); return S_OK;
            case olFolderContacts: *result = new PimFolder(m_store, PimKind::Contact); return S_OK;
            case olFolderTasks: *result = new PimFolder(m_store, PimKind::Task); return S_OK;
            default: return E_INVALIDARG;
        }
    }
    HRESULT CreateItem(int itemType, IPimItem **item) override {
        if (item == nullptr) return E_POINTER;
        if (m_store == nullptr) return PIM_E_NOTLOGGEDON;
        switch (itemType) {
            case olAppointmentItem: return NewItem(m_store, PimKind::Appointment, 0, item);
            case olContactItem: return NewItem(m_store, PimKind::Contact, 0, item);
            case olTaskItem: return NewItem(m_store, PimKind::Task, 0, item);
            default: return E_INVALIDARG;
        }
    }
    HRESULT GetItemFromOid(CEOID oid, IPimItem **item) override {
        if (item == nullptr) return E_POINTER;
        if (m_store == nullptr) return PIM_E_NOTLOGGEDON;
        PimKind kind;
        DWORD err = m_store->KindOf(oid, &kind);
        return err != ERROR_SUCCESS ? PimResult(err) : NewItem(m_store, kind, oid, item);
    }
    HRESULT SystemTimeToVariantTime(const SYSTEMTIME *time, DATE *date) override {
        if (time == nullptr || date == nullptr) return E_POINTER;
        int64_t seconds;
        return PimSystemTimeToSeconds(*time, &seconds) && PimSecondsToDate(seconds, date) ? S_OK : E_INVALIDARG;
    }
    HRESULT VariantTimeToSystemTime(DATE date, SYSTEMTIME *time) override {
        if (time == nullptr) return E_POINTER;
        int64_t seconds;
        return PimDateToSeconds(date, &seconds) && PimSecondsToSystemTime(seconds, time) ? S_OK : E_INVALIDARG;
    }

private:
    PimEdition m_edition;
    std::shared_ptr<PimStore> m_store;
};

}  // namespace

PLATAPI HRESULT PimCreateApplication(IPOutlookApp **app, PimEdition edition) {
    if (app == nullptr) return E_POINTER;
    *app = new PimApplication(edition);
    return S_OK;
}

}  // namespace vplat
