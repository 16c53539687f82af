// An appointment's attendees: the list lives in the appointment (one shared
// entry per attendee), and every change re-puts the list into the
// appointment's record for its next Save.
#include <utility>

#include "pimappointment.h"

namespace vplat {
namespace {

// One attendee entry of the master's list.
class PimRecipientObject : public PimObject<IRecipient> {
public:
    PimRecipientObject(PimAppointment *master, std::shared_ptr<PimRecipient> entry)
        : m_master(PimHold(master)), m_entry(std::move(entry)) {}

    HRESULT get_Name(std::u16string *name) override {
        if (name == nullptr) return E_POINTER;
        *name = m_entry->name;
        return S_OK;
    }
    HRESULT get_Address(std::u16string *address) override {
        if (address == nullptr) return E_POINTER;
        *address = m_entry->address;
        return S_OK;
    }
    HRESULT put_Address(LPCWSTR address) override {
        m_entry->address = address != nullptr ? address : u"";
        m_master->RecipientsChanged();
        return S_OK;
    }

private:
    PimRef<PimAppointment> m_master;
    std::shared_ptr<PimRecipient> m_entry;
};

// The master's attendee list.
class PimRecipientsObject : public PimObject<IRecipients> {
public:
    explicit PimRecipientsObject(PimAppointment *master) : m_master(PimHold(master)) {}

    HRESULT get_Count(int *count) override {
        if (count == nullptr) return E_POINTER;
        *count = int(m_master->RecipientList().size());
        return S_OK;
    }
    HRESULT Item(int index, IRecipient **recipient) override {
        if (recipient == nullptr) return E_POINTER;
        auto &list = m_master->RecipientList();
        if (index < 1 || size_t(index) > list.size()) return PIM_E_NOTFOUND;
        *recipient = new PimRecipientObject(m_master.Get(), list[size_t(index) - 1]);
        return S_OK;
    }
    HRESULT Add(LPCWSTR name, IRecipient **recipient) override {
        if (name == nullptr || name[0] == 0) return E_INVALIDARG;
        auto entry = std::make_shared<PimRecipient>();
        entry->name = name;
        m_master->RecipientList().push_back(entry);
        m_master->RecipientsChanged();
        if (recipient != nullptr) *recipient = new PimRecipientObject(m_master.Get(), entry);
        return S_OK;
    }
    HRESULT Remove(int index) override {
        auto &list = m_master->RecipientList();
        if (index < 1 || size_t(index) > list.size()) return PIM_E_NOTFOUND;
        list.erase(list.begin() + (index - 1));
        m_master->RecipientsChanged();
        return S_OK;
    }

private:
    PimRef<PimAppointment> m_master;
};

}  // namespace

HRESULT PimNewRecipients(PimAppointment *master, IRecipients **recipients) {
    if (recipients == nullptr) return E_POINTER;
    *recipients = new PimRecipientsObject(master);
    return S_OK;
}

}  // namespace vplat
