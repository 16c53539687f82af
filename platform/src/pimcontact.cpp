// A contact: its fields are the record's properties, at the ids the sync
// engine also reads and writes raw. Save files a contact without a filing
// name under its names, as the device's contacts list shows it.
#include "pimitems.h"

#include "pimprops.h"

namespace vplat {
namespace {

// One contact over its record.
class PimContact : public PimObject<IContact> {
public:
    explicit PimContact(std::shared_ptr<PimStore> store) : m_core(std::move(store), PimKind::Contact) {}
    HRESULT Load(CEOID oid) { return m_core.Load(oid); }

    HRESULT get_Oid(CEOID *oid) override {
        if (oid == nullptr) return E_POINTER;
        *oid = m_core.Oid();
        return S_OK;
    }
    HRESULT get_ItemType(LONG *type) override {
        if (type == nullptr) return E_POINTER;
        *type = olContactItem;
        return S_OK;
    }
    HRESULT Save() override {
        PimRecord &record = m_core.Record();
        if (!record.Has(kContactFileAs)) {
            const std::u16string first = record.Text(kContactFirstName), last = record.Text(kContactLastName);
            std::u16string fileAs = !last.empty() && !first.empty() ? last + u", " + first : last + first;
            if (fileAs.empty()) fileAs = record.Text(kContactCompanyName);
            if (!fileAs.empty()) record.PutText(kContactFileAs, fileAs.c_str());
        }
        return m_core.Save();
    }
    HRESULT Delete() override { return m_core.Delete(); }
    HRESULT QueryAppointment(IAppointment **) override { return E_NOINTERFACE; }
    HRESULT QueryContact(IContact **contact) override {
        if (contact == nullptr) return E_POINTER;
        AddRef();
        *contact = this;
        return S_OK;
    }
    HRESULT QueryTask(ITask **) override { return E_NOINTERFACE; }

    HRESULT get_FirstName(std::u16string *text) override { return m_core.GetText(kContactFirstName, text); }
    HRESULT put_FirstName(LPCWSTR text) override { return m_core.PutText(kContactFirstName, text); }
    HRESULT get_LastName(std::u16string *text) override { return m_core.GetText(kContactLastName, text); }
    HRESULT put_LastName(LPCWSTR text) override { return m_core.PutText(kContactLastName, text); }
    HRESULT get_CompanyName(std::u16string *text) override { return m_core.GetText(kContactCompanyName, text); }
    HRESULT put_CompanyName(LPCWSTR text) override { return m_core.PutText(kContactCompanyName, text); }
    HRESULT get_FileAs(std::u16string *text) override { return m_core.GetText(kContactFileAs, text); }
    HRESULT put_FileAs(LPCWSTR text) override { return m_core.PutText(kContactFileAs, text); }
    HRESULT get_Email1Address(std::u16string *text) override { return m_core.GetText(kContactEmail1, text); }
    HRESULT put_Email1Address(LPCWSTR text) override { return m_core.PutText(kContactEmail1, text); }
    HRESULT get_MobileTelephoneNumber(std::u16string *text) override {
        return m_core.GetText(kContactMobilePhone, text);
    }
    HRESULT put_MobileTelephoneNumber(LPCWSTR text) override { return m_core.PutText(kContactMobilePhone, text); }
    HRESULT get_Body(std::u16string *text) override { return m_core.GetText(kContactBody, text); }
    HRESULT put_Body(LPCWSTR text) override { return m_core.PutText(kContactBody, text); }
    HRESULT get_Categories(std::u16string *text) override { return m_core.GetText(kContactCategories, text); }
    HRESULT put_Categories(LPCWSTR text) override { return m_core.PutText(kContactCategories, text); }
    HRESULT get_Birthday(DATE *date) override { return m_core.GetDate(kContactBirthday, date); }
    HRESULT put_Birthday(DATE date) override { return m_core.PutDate(kContactBirthday, date); }
    HRESULT get_Anniversary(DATE *date) override { return m_core.GetDate(kContactAnniversary, date); }
    HRESULT put_Anniversary(DATE date) override { return m_core.PutDate(kContactAnniversary, date); }

private:
    PimItemCore m_core;
};

}  // namespace

HRESULT PimNewContact(std::shared_ptr<PimStore> store, CEOID oid, IPimItem **item) {
    return PimMakeItem<PimContact>(std::move(store), oid, item);
}

}  // namespace vplat
