// A message of the store: its recipients (held with its other changes until
// SaveChanges) and its attachments (each saved on its own, numbered per
// message and never renumbered).
#include <algorithm>

#include "mapistoreobjects.h"
#include "mapitable.h"

namespace vplat {
namespace {

// The recipients of a message as saved, with the next row id to give.
HRESULT ReadRecipients(SqliteDb &db, int64_t message, std::vector<MapiRecipient> *recipients, int64_t *nextRow) {
    recipients->clear();
    SqliteStatement next(db, "SELECT next_row FROM objects WHERE id = ?1");
    next.BindInt(1, message);
    bool found = false;
    DWORD err = next.Step(&found);
    if (err != ERROR_SUCCESS) return MapiResult(err);
    if (!found) return MAPI_E_OBJECT_DELETED;
    *nextRow = next.Int(0);
    std::vector<int64_t> ids;
    HRESULT hr = MapiChildren(db, message, kMapiKindRecipient, &ids);
    for (size_t i = 0; i < ids.size() && SUCCEEDED(hr); ++i) {
        MapiObjectRow row;
        hr = MapiLoadObject(db, ids[i], &row);
        std::vector<ULONG> tags;
        if (SUCCEEDED(hr)) hr = MapiStoredTags(db, ids[i], &tags);
        MapiRecipient recipient;
        recipient.rowid = row.num;
        for (size_t t = 0; t < tags.size() && SUCCEEDED(hr); ++t) {
            MapiValue value;
            hr = MapiLoadProp(db, ids[i], tags[t], &value, &found);
            if (found) recipient.props.push_back(value);
        }
        recipients->push_back(recipient);
    }
    std::sort(recipients->begin(), recipients->end(),
              [](const MapiRecipient &a, const MapiRecipient &b) { return a.rowid < b.rowid; });
    return hr;
}

// The storable properties of one recipient entry, PR_ROWID apart.
std::vector<MapiValue> EntryProps(const ADRENTRY &entry, int64_t *rowid) {
    std::vector<MapiValue> props;
    for (ULONG i = 0; i < entry.cValues && entry.rgPropVals != nullptr; ++i) {
        const SPropValue &prop = entry.rgPropVals[i];
        if (prop.ulPropTag == PR_ROWID) {
            if (rowid != nullptr) *rowid = prop.Value.l;
            continue;
        }
        if (!MapiStorableType(PROP_TYPE(prop.ulPropTag))) continue;
        props.push_back(MapiValueFrom(prop));
    }
    return props;
}

HRESULT FindAttach(SqliteDb &db, int64_t message, ULONG num, MapiObjectRow *row) {
    SqliteStatement query(db, "SELECT id FROM objects WHERE parent = ?1 AND kind = 7 AND num = ?2");
    query.BindInt(1, message);
    query.BindInt(2, num);
    bool found = false;
    DWORD err = query.Step(&found);
    if (err != ERROR_SUCCESS) return MapiResult(err);
    if (!found) return MAPI_E_NOT_FOUND;
    return MapiLoadObject(db, query.Int(0), row);
}

void AddColumn(std::vector<ULONG> *columns, ULONG tag) {
    if (std::find(columns->begin(), columns->end(), tag) == columns->end()) columns->push_back(tag);
}

}  // namespace

bool MapiMessage::Implements(REFIID riid) const { return IsEqualGUID(riid, IID_IMessage) != FALSE; }

HRESULT MapiMessage::LoadRecipients() {
    if (m_recipients.has_value()) return S_OK;
    std::vector<MapiRecipient> recipients;
    HRESULT hr = MapiRead([&](SqliteDb &db) { return ReadRecipients(db, m_core.Id(), &recipients, &m_nextRow); });
    if (SUCCEEDED(hr)) m_recipients = std::move(recipients);
    return hr;
}

HRESULT MapiMessage::SaveChanges(ULONG ulFlags) {
    auto recipients = [this](SqliteDb &db, std::vector<ULONG> *) -> HRESULT {
        if (!m_recipients.has_value()) return S_OK;
        std::vector<int64_t> old;
        HRESULT hr = MapiChildren(db, m_core.Id(), kMapiKindRecipient, &old);
        for (size_t i = 0; i < old.size() && SUCCEEDED(hr); ++i) hr = MapiDeleteTree(db, old[i]);
        for (size_t i = 0; i < m_recipients->size() && SUCCEEDED(hr); ++i) {
            const MapiRecipient &recipient = (*m_recipients)[i];
            MapiObjectRow row;
            row.store = m_core.Store();
            row.parent = m_core.Id();
            row.kind = kMapiKindRecipient;
            row.num = recipient.rowid;
            int64_t id = 0;
            hr = MapiInsertObject(db, row, nullptr, &id);
            for (size_t p = 0; p < recipient.props.size() && SUCCEEDED(hr); ++p) hr = MapiStoreProp(db, id, recipient.props[p]);
        }
        if (FAILED(hr)) return hr;
        SqliteStatement next(db, "UPDATE objects SET next_row = max(next_row, ?2) WHERE id = ?1");
        next.BindInt(1, m_core.Id());
        next.BindInt(2, m_nextRow);
        return MapiResult(next.Run());
    };
    HRESULT hr = m_core.SaveChanges(ulFlags, recipients);
    if (SUCCEEDED(hr)) m_recipients.reset();
    return hr;
}

HRESULT MapiMessage::GetRecipientTable(ULONG, LPMAPITABLE *lppTable) {
    if (lppTable == nullptr) return MAPI_E_INVALID_PARAMETER;
    std::vector<MapiRecipient> recipients;
    if (m_recipients.has_value()) {
        recipients = *m_recipients;
    } else {
        int64_t next = 0;
        HRESULT hr = MapiRead([&](SqliteDb &db) { return ReadRecipients(db, m_core.Id(), &recipients, &next); });
        if (FAILED(hr)) return hr;
    }
    std::vector<ULONG> columns = {PR_ROWID, PR_RECIPIENT_TYPE, PR_EMAIL_ADDRESS_W, PR_DISPLAY_NAME_W};
    std::vector<std::vector<MapiValue>> rows;
    for (const auto &recipient : recipients) {
        std::vector<MapiValue> row;
        MapiValue rowid;
        rowid.tag = PR_ROWID;
        rowid.num = recipient.rowid;
        row.push_back(rowid);
        for (const auto &value : recipient.props) {
            row.push_back(value);
            AddColumn(&columns, value.tag);
        }
        rows.push_back(std::move(row));
    }
    return MapiRowsTable(std::move(rows), std::move(columns), lppTable);
}

HRESULT MapiMessage::ModifyRecipients(ULONG ulFlags, LPADRLIST lpMods) {
    if (lpMods == nullptr) return MAPI_E_INVALID_PARAMETER;
    if (!m_core.Writable()) return MAPI_E_NO_ACCESS;
    HRESULT hr = LoadRecipients();
    if (FAILED(hr)) return hr;
    std::vector<MapiRecipient> list = *m_recipients;
    int64_t next = m_nextRow;
    if ((ulFlags & (MODRECIP_ADD | MODRECIP_MODIFY | MODRECIP_REMOVE)) == 0) list.clear();
    for (ULONG i = 0; i < lpMods->cEntries; ++i) {
        const ADRENTRY &entry = lpMods->aEntries[i];
        int64_t rowid = -1;
        std::vector<MapiValue> props = EntryProps(entry, &rowid);
        if ((ulFlags & (MODRECIP_MODIFY | MODRECIP_REMOVE)) != 0) {
            auto it = std::find_if(list.begin(), list.end(), [rowid](const MapiRecipient &r) { return r.rowid == rowid; });
            if (it == list.end()) return MAPI_E_NOT_FOUND;  // nothing changed
            if ((ulFlags & MODRECIP_REMOVE) != 0)
                list.erase(it);
            else
                it->props = std::move(props);
            continue;
        }
        MapiRecipient added;
        added.rowid = next++;
        added.props = std::move(props);
        list.push_back(std::move(added));
    }
    m_recipients = std::move(list);
    m_nextRow = next;
    return S_OK;
}

HRESULT MapiMessage::SubmitMessage(ULONG) { return MAPI_E_NO_SUPPORT; }

HRESULT MapiMessage::GetAttachmentTable(ULONG, LPMAPITABLE *lppTable) {
    if (lppTable == nullptr) return MAPI_E_INVALID_PARAMETER;
    std::vector<int64_t> ids;
    std::vector<ULONG> columns = {PR_ATTACH_NUM};
    HRESULT hr = MapiRead([&](SqliteDb &db) -> HRESULT {
        HRESULT result = MapiChildren(db, m_core.Id(), kMapiKindAttach, &ids);
        for (size_t i = 0; i < ids.size() && SUCCEEDED(result); ++i) {
            std::vector<ULONG> tags;
            result = MapiStoredTags(db, ids[i], &tags);
            // The data itself is read through a stream, never as a column.
            for (ULONG tag : tags) {
                if (tag != PR_ATTACH_DATA_BIN) AddColumn(&columns, tag);
            }
        }
        return result;
    });
    if (FAILED(hr)) return hr;
    return MapiObjectTable(std::move(ids), std::move(columns), lppTable);
}

HRESULT MapiMessage::CreateAttach(LPCIID, ULONG, ULONG *lpulAttachmentNum, LPATTACH *lppAttach) {
    if (lppAttach == nullptr) return MAPI_E_INVALID_PARAMETER;
    *lppAttach = nullptr;
    if (!m_core.Writable()) return MAPI_E_NO_ACCESS;
    int64_t id = 0, num = 0;
    HRESULT hr = MapiWrite(m_core.Store(), [&](SqliteDb &db, std::vector<MapiObjectEvent> *) -> HRESULT {
        HRESULT result = MapiTakeAttachNumber(db, m_core.Id(), &num);
        if (FAILED(result)) return result;
        MapiObjectRow row;
        row.store = m_core.Store();
        row.parent = m_core.Id();
        row.kind = kMapiKindAttach;
        row.num = num;
        return MapiInsertObject(db, row, nullptr, &id);
    });
    if (FAILED(hr)) return hr;
    if (lpulAttachmentNum != nullptr) *lpulAttachmentNum = static_cast<ULONG>(num);
    *lppAttach = new MapiAttach(m_core.Store(), id);
    return S_OK;
}

HRESULT MapiMessage::OpenAttach(ULONG ulAttachmentNum, LPCIID, ULONG, LPATTACH *lppAttach) {
    if (lppAttach == nullptr) return MAPI_E_INVALID_PARAMETER;
    *lppAttach = nullptr;
    MapiObjectRow row;
    HRESULT hr = MapiRead([&](SqliteDb &db) { return FindAttach(db, m_core.Id(), ulAttachmentNum, &row); });
    if (FAILED(hr)) return hr;
    *lppAttach = new MapiAttach(m_core.Store(), row.id);
    return S_OK;
}

HRESULT MapiMessage::DeleteAttach(ULONG ulAttachmentNum, ULONG, LPMAPIPROGRESS, ULONG) {
    if (!m_core.Writable()) return MAPI_E_NO_ACCESS;
    return MapiWrite(m_core.Store(), [&](SqliteDb &db, std::vector<MapiObjectEvent> *events) -> HRESULT {
        MapiObjectRow row;
        HRESULT hr = FindAttach(db, m_core.Id(), ulAttachmentNum, &row);
        if (SUCCEEDED(hr)) hr = MapiDeleteTree(db, row.id);
        if (SUCCEEDED(hr)) hr = MapiAttachmentChanged(db, row, events);
        return hr;
    });
}

}  // namespace vplat
