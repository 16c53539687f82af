// What a person does in the device's calendar and contacts: each action is
// one logon of the object model, the item's own calls and a logoff, so it
// raises exactly what the device's own programs raise.
#include <functional>

#include "pimobject.h"

namespace vplat {
namespace {

// Runs work with a logged-on application.
HRESULT WithApp(PimEdition edition, const std::function<HRESULT(IPOutlookApp *)> &work) {
    IPOutlookApp *raw = nullptr;
    HRESULT hr = PimCreateApplication(&raw, edition);
    if (FAILED(hr)) return hr;
    PimRef<IPOutlookApp> app(raw);
    hr = app->Logon(nullptr);
    if (FAILED(hr)) return hr;
    hr = work(app.Get());
    app->Logoff();
    return hr;
}

HRESULT Dates(IPOutlookApp *app, const SYSTEMTIME &start, const SYSTEMTIME &end, DATE *from, DATE *to) {
    HRESULT hr = app->SystemTimeToVariantTime(&start, from);
    return FAILED(hr) ? hr : app->SystemTimeToVariantTime(&end, to);
}

HRESULT Fill(IPOutlookApp *app, IAppointment *item, const PimUserAppointment &f) {
    DATE start = 0, end = 0;
    HRESULT hr = Dates(app, f.start, f.end, &start, &end);
    if (SUCCEEDED(hr)) hr = item->put_Subject(f.subject.c_str());
    if (SUCCEEDED(hr)) hr = item->put_Location(f.location.c_str());
    if (SUCCEEDED(hr)) hr = item->put_Body(f.body.c_str());
    if (SUCCEEDED(hr)) hr = item->put_Start(start);
    if (SUCCEEDED(hr)) hr = item->put_End(end);
    if (SUCCEEDED(hr)) hr = item->put_AllDayEvent(f.allDay ? VARIANT_TRUE : VARIANT_FALSE);
    return FAILED(hr) ? hr : item->Save();
}

HRESULT Fill(IContact *item, const PimUserContact &f) {
    HRESULT hr = item->put_FirstName(f.firstName.c_str());
    if (SUCCEEDED(hr)) hr = item->put_LastName(f.lastName.c_str());
    if (SUCCEEDED(hr)) hr = item->put_CompanyName(f.companyName.c_str());
    if (SUCCEEDED(hr)) hr = item->put_Email1Address(f.email.c_str());
    if (SUCCEEDED(hr)) hr = item->put_MobileTelephoneNumber(f.mobilePhone.c_str());
    if (SUCCEEDED(hr)) hr = item->put_Body(f.body.c_str());
    return FAILED(hr) ? hr : item->Save();
}

// The item with that id as an appointment (or a contact); PIM_E_NOTFOUND
// for an item of another kind.
template <class T>
HRESULT Open(IPOutlookApp *app, CEOID oid, HRESULT (IPimItem::*query)(T **), PimRef<T> *out) {
    IPimItem *raw = nullptr;
    HRESULT hr = app->GetItemFromOid(oid, &raw);
    if (FAILED(hr)) return hr;
    PimRef<IPimItem> item(raw);
    T *typed = nullptr;
    hr = (item.Get()->*query)(&typed);
    if (FAILED(hr)) return PIM_E_NOTFOUND;
    *out = PimRef<T>(typed);
    return S_OK;
}

template <class T>
HRESULT Create(IPOutlookApp *app, int type, HRESULT (IPimItem::*query)(T **), PimRef<T> *out) {
    IPimItem *raw = nullptr;
    HRESULT hr = app->CreateItem(type, &raw);
    if (FAILED(hr)) return hr;
    PimRef<IPimItem> item(raw);
    T *typed = nullptr;
    hr = (item.Get()->*query)(&typed);
    if (SUCCEEDED(hr)) *out = PimRef<T>(typed);
    return hr;
}

}  // namespace

PLATAPI HRESULT PimUserCreateAppointment(const PimUserAppointment &fields, CEOID *oid, PimEdition edition) {
    if (oid == nullptr) return E_POINTER;
    return WithApp(edition, [&](IPOutlookApp *app) {
        PimRef<IAppointment> item;
        HRESULT hr = Create(app, olAppointmentItem, &IPimItem::QueryAppointment, &item);
        if (SUCCEEDED(hr)) hr = Fill(app, item.Get(), fields);
        return FAILED(hr) ? hr : item->get_Oid(oid);
    });
}

PLATAPI HRESULT PimUserChangeAppointment(CEOID oid, const PimUserAppointment &fields, PimEdition edition) {
    return WithApp(edition, [&](IPOutlookApp *app) {
        PimRef<IAppointment> item;
        HRESULT hr = Open(app, oid, &IPimItem::QueryAppointment, &item);
        return FAILED(hr) ? hr : Fill(app, item.Get(), fields);
    });
}

PLATAPI HRESULT PimUserDeleteAppointment(CEOID oid, PimEdition edition) {
    return WithApp(edition, [&](IPOutlookApp *app) {
        PimRef<IAppointment> item;
        HRESULT hr = Open(app, oid, &IPimItem::QueryAppointment, &item);
        return FAILED(hr) ? hr : item->Delete();
    });
}

PLATAPI HRESULT PimUserCreateContact(const PimUserContact &fields, CEOID *oid, PimEdition edition) {
    if (oid == nullptr) return E_POINTER;
    return WithApp(edition, [&](IPOutlookApp *app) {
        PimRef<IContact> item;
        HRESULT hr = Create(app, olContactItem, &IPimItem::QueryContact, &item);
        if (SUCCEEDED(hr)) hr = Fill(item.Get(), fields);
        return FAILED(hr) ? hr : item->get_Oid(oid);
    });
}

PLATAPI HRESULT PimUserChangeContact(CEOID oid, const PimUserContact &fields, PimEdition edition) {
    return WithApp(edition, [&](IPOutlookApp *app) {
        PimRef<IContact> item;
        HRESULT hr = Open(app, oid, &IPimItem::QueryContact, &item);
        return FAILED(hr) ? hr : Fill(item.Get(), fields);
    });
}

PLATAPI HRESULT PimUserDeleteContact(CEOID oid, PimEdition edition) {
    return WithApp(edition, [&](IPOutlookApp *app) {
        PimRef<IContact> item;
        HRESULT hr = Open(app, oid, &IPimItem::QueryContact, &item);
        return FAILED(hr) ? hr : item->Delete();
    });
}

}  // namespace vplat
