// The contact item's reading, writing and deleting: the object model for
// the body, categories, dates and names, the raw record for the rest, and
// the shadow record beside them.
#include <cstring>
#include <new>
#include <vector>

#include "ChangeNotifier.h"
#include "Checksum.h"
#include "DWinMobOutlookContactItem.h"
#include "winmem.h"

namespace {

// The string fields the raw write carries, in its order (the body and the
// three names the object model writes are not among them).
constexpr uint32_t kRawWriteOrder[] = {
    1040, 1010, 1026, 1027, 1013, 1031, 1030, 1038, 1011, 1009, 1025, 1019, 1000, 1001,
    1003, 1042, 1037, 1039, 1045, 1044, 1043, 1017, 1041, 1029, 1024, 1020, 1023, 1022,
    1021, 1008, 1004, 1007, 1006, 1005, 1036, 1032, 1035, 1034, 1033, 1014, 1015, 1016,
};

// Brackets the engine's own writes for the scheduler, also on failure.
class DChangeBracket {
public:
    DChangeBracket() { BroadcastChangeNotifierBegin(); }
    ~DChangeBracket() { BroadcastChangeNotifierEnd(); }
    DChangeBracket(const DChangeBracket &) = delete;
    DChangeBracket &operator=(const DChangeBracket &) = delete;
};

template <class T>
void ReleaseRef(T *object) {
    if (object != nullptr) object->Release();
}

}  // namespace

DErrorCode DWinMobOutlookContactItem::GetContact(IContact **contact) const {
    *contact = nullptr;
    if (m_app == nullptr) return generalErrNotInitialized;
    IPimItem *item = nullptr;
    HRESULT hr = m_app->GetItemFromOid(CEOID(m_oid), &item);
    if (SUCCEEDED(hr)) hr = item->QueryContact(contact);
    ReleaseRef(item);
    return DErrorCode(FAILED(hr) ? hr : S_OK);
}

DErrorCode DWinMobOutlookContactItem::Read() {
    IContact *contact = nullptr;
    DErrorCode err = GetContact(&contact);
    if (err == DErrorCode(PIM_E_NOTFOUND)) {
        // Gone from the device: the record still knows its server id.
        const WCHAR *serverID = m_record->GetServerID();
        if (serverID != nullptr) m_serverID = std::u16string(serverID);
        return kNoError;
    }
    if (err != kNoError) return err;
    std::u16string body, categories;
    DATE birthday = PIM_DATE_NONE, anniversary = PIM_DATE_NONE;
    HRESULT hr = contact->get_Body(&body);
    if (SUCCEEDED(hr)) hr = contact->get_Categories(&categories);
    if (SUCCEEDED(hr)) hr = contact->get_Birthday(&birthday);
    if (SUCCEEDED(hr)) hr = contact->get_Anniversary(&anniversary);
    contact->Release();
    if (FAILED(hr)) return DErrorCode(hr);
    StringSlot(kContactBody) = std::move(body);
    m_categories = std::move(categories);
    m_birthday = birthday;
    m_anniversary = anniversary;
    return ReadRaw();
}

DErrorCode DWinMobOutlookContactItem::ReadRaw() {
    if (CeSeekDatabaseEx(m_database, CEDB_SEEK_CEOID, CEOID(m_oid), 0, nullptr) != CEOID(m_oid))
        return generalErrUnknownError;
    LPBYTE buffer = nullptr;
    DWORD size = 0;
    WORD count = 0;
    if (CeReadRecordPropsEx(m_database, CEDB_ALLOWREALLOC, &count, nullptr, &buffer, &size, nullptr) != CEOID(m_oid)) {
        if (buffer != nullptr) LocalFree(buffer);
        return generalErrUnknownError;
    }
    DErrorCode err = kNoError;
    const CEPROPVAL *props = reinterpret_cast<const CEPROPVAL *>(buffer);
    try {
        for (WORD i = 0; i < count; ++i) {
            const CEPROPVAL &p = props[i];
            if ((p.wFlags & CEDB_PROPNOTFOUND) != 0 || TypeFromPropID(p.propid) != CEVT_LPWSTR) continue;
            const std::u16string text(p.val.lpwstr != nullptr ? p.val.lpwstr : u"");
            if (p.propid == kContactPropServerID) {
                m_serverID = text;
            } else if (p.propid == kContactPropChildren) {
                m_children = text;
            } else {
                for (uint32_t id = kContactFirstString; id <= kContactLastString; ++id) {
                    if (ContactFieldProperty(id) != p.propid) continue;
                    StringSlot(id) = text;
                    break;
                }
            }
        }
    } catch (const std::bad_alloc &) {
        err = generalErrMemoryError;
    }
    LocalFree(buffer);
    return err;
}

DErrorCode DWinMobOutlookContactItem::Commit() {
    if (m_record == nullptr || m_shadow == nullptr) return generalErrNotInitialized;
    bool deleted = false;
    DErrorCode err = m_record->IsDeleted(&deleted);
    if (err != kNoError) return err;
    return deleted ? m_shadow->WriteRecord(m_record.get()) : Write();
}

DErrorCode DWinMobOutlookContactItem::CommitNewItem(DActiveTaskSignal *completion) {
    const DErrorCode err = m_record != nullptr ? Write() : generalErrNotInitialized;
    if (completion != nullptr) completion->Signal(err);
    return err;
}

DErrorCode DWinMobOutlookContactItem::Write() {
    if (m_app == nullptr || m_record == nullptr || m_shadow == nullptr) return generalErrNotInitialized;
    IContact *contact = nullptr;
    HRESULT hr = S_OK;
    if (m_oid == kContactOidNew || m_oid == kContactOidDeleted) {
        IPimItem *item = nullptr;
        hr = m_app->CreateItem(olContactItem, &item);
        if (SUCCEEDED(hr)) hr = item->QueryContact(&contact);
        ReleaseRef(item);
    } else {
        hr = HRESULT(GetContact(&contact));
    }
    if (FAILED(hr)) return DErrorCode(hr);

    DChangeBracket bracket;
    DErrorCode err = WriteModel(contact);
    if (err == kNoError) {
        CEOID oid = 0;
        hr = contact->Save();
        if (SUCCEEDED(hr)) hr = contact->get_Oid(&oid);
        if (SUCCEEDED(hr)) m_oid = LONG(oid);
        err = DErrorCode(FAILED(hr) ? hr : S_OK);
    }
    contact->Release();
    if (err == kNoError) err = WriteRaw();
    if (err == kNoError) err = WriteShadow();
    return err;
}

DErrorCode DWinMobOutlookContactItem::WriteModel(IContact *contact) {
    const std::optional<std::u16string> &body = Body();
    HRESULT hr = S_OK;
    // A new contact always gets its body, if only the empty one.
    if (m_oid == kContactOidNew || m_oid == kContactOidDeleted || body.has_value())
        hr = contact->put_Body(body.has_value() ? body->c_str() : u"");
    const struct {
        const std::optional<std::u16string> &text;
        HRESULT (IContact::*put)(LPCWSTR);
    } texts[] = {
        {StringSlot(kContactCompanyName), &IContact::put_CompanyName},
        {StringSlot(kContactFirstName), &IContact::put_FirstName},
        {StringSlot(kContactLastName), &IContact::put_LastName},
        {m_categories, &IContact::put_Categories},
    };
    for (const auto &t : texts)
        if (SUCCEEDED(hr) && t.text.has_value()) hr = (contact->*t.put)(t.text->c_str());
    if (SUCCEEDED(hr) && m_birthday.has_value()) hr = contact->put_Birthday(*m_birthday);
    if (SUCCEEDED(hr) && m_anniversary.has_value()) hr = contact->put_Anniversary(*m_anniversary);
    return DErrorCode(FAILED(hr) ? hr : S_OK);
}

DErrorCode DWinMobOutlookContactItem::WriteRaw() {
    std::vector<CEPROPVAL> props;
    auto add = [&props](CEPROPID id, const std::optional<std::u16string> &text) {
        if (!text.has_value()) return;
        CEPROPVAL p = {};
        p.propid = id;
        // An emptied field loses its property, not just its text.
        if (text->empty()) p.wFlags = CEDB_PROPDELETE;
        p.val.lpwstr = const_cast<WCHAR *>(text->c_str());
        props.push_back(p);
    };
    try {
        for (uint32_t id : kRawWriteOrder) add(ContactFieldProperty(id), StringSlot(id));
        add(kContactPropChildren, m_children);
        add(kContactPropServerID, m_serverID);
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    if (props.empty()) return kNoError;
    return CeWriteRecordProps(m_database, CEOID(m_oid), WORD(props.size()), props.data()) == CEOID(m_oid)
               ? kNoError
               : generalErrUnknownError;
}

DErrorCode DWinMobOutlookContactItem::BodyChecksum(BYTE checksum[8]) const {
    DChecksumState state = {0, 0};
    const std::optional<std::u16string> &body = Body();
    if (body.has_value() && !body->empty()) {
        DErrorCode err = AccumulateChecksum(reinterpret_cast<const uint8_t *>(body->data()),
                                            uint32_t(body->size() * sizeof(char16_t)), &state, 0);
        if (err != kNoError) return err;
    }
    std::memcpy(checksum, &state, sizeof state);
    return kNoError;
}

DErrorCode DWinMobOutlookContactItem::WriteShadow() {
    DErrorCode err = m_record->SetServerID(m_serverID.has_value() ? m_serverID->c_str() : nullptr);
    if (err == kNoError) err = m_record->SetOutlookObjectID(uint32_t(m_oid));
    BYTE checksum[8] = {};
    if (err == kNoError) err = BodyChecksum(checksum);
    // While the change is on its way to the server, the body it carries is
    // not yet the synchronised one: it becomes so when the answer is in.
    bool sent = false;
    if (err == kNoError) err = m_record->IsSent(&sent);
    if (err == kNoError) err = sent ? m_record->SetSentBodyChecksum(checksum) : m_record->SetBodyChecksum(checksum);
    if (err == kNoError) err = m_shadow->WriteRecord(m_record.get());
    return err;
}

DErrorCode DWinMobOutlookContactItem::Delete() {
    if (!Stored()) return kNoError;
    if (m_record == nullptr || m_shadow == nullptr) return generalErrNotInitialized;
    DChangeBracket bracket;
    bool deleted = false;
    DErrorCode err = m_record->IsDeleted(&deleted);
    if (err == kNoError && !deleted && !CeDeleteRecord(m_database, CEOID(m_oid))) {
        // The record would not go: through the object model, where a
        // contact already gone counts as deleted.
        IContact *contact = nullptr;
        err = GetContact(&contact);
        if (err == kNoError) {
            err = DErrorCode(contact->Delete());
            contact->Release();
        }
        if (err == DErrorCode(PIM_E_NOTFOUND)) err = kNoError;
    }
    if (err == kNoError) err = m_shadow->DeleteRecord(m_record.get());
    if (err == kNoError) m_oid = kContactOidDeleted;
    return err;
}
