#include "mapiprop.h"

#include <algorithm>

#include "mapistoreobjects.h"

namespace vplat {
namespace {

std::vector<ULONG> TagList(LPSPropTagArray tags) {
    return std::vector<ULONG>(tags->aulPropTag, tags->aulPropTag + tags->cValues);
}

// A folder's events carry its parent; an attachment's changes are its
// message's.
void AddModified(const MapiObjectRow &row, const std::vector<ULONG> &tags, std::vector<MapiObjectEvent> *events) {
    MapiObjectEvent event;
    event.eventType = fnevObjectModified;
    event.objType = row.kind;
    event.entryID = MapiEntryId(row.store, row.id);
    event.parentID = MapiEntryId(row.store, row.parent);
    event.changedTags = tags;
    events->push_back(event);
}

}  // namespace

HRESULT MapiPropCore::ReadValues(const std::vector<ULONG> *tags, std::vector<MapiValue> *values) {
    values->clear();
    return MapiRead([&](SqliteDb &db) -> HRESULT {
        MapiObjectRow row;
        HRESULT hr = MapiLoadObject(db, m_id, &row);
        if (hr == MAPI_E_NOT_FOUND) return MAPI_E_OBJECT_DELETED;
        if (FAILED(hr)) return hr;
        std::vector<ULONG> all;
        if (tags == nullptr) {
            hr = MapiAllTags(db, row, &all);
            if (FAILED(hr)) return hr;
            for (const auto &change : m_pending) {
                bool listed = std::find(all.begin(), all.end(), change.first) != all.end();
                if (change.second.has_value() && !listed) all.push_back(change.first);
                if (!change.second.has_value() && listed) all.erase(std::find(all.begin(), all.end(), change.first));
            }
            tags = &all;
        }
        for (ULONG tag : *tags) {
            auto held = m_pending.find(tag);
            if (held != m_pending.end()) {
                values->push_back(held->second.has_value() ? *held->second : MapiMissing(tag));
                continue;
            }
            MapiValue value;
            bool found = false;
            hr = MapiReadProp(db, row, tag, &value, &found);
            if (FAILED(hr)) return hr;
            values->push_back(found ? value : MapiMissing(tag));
        }
        return S_OK;
    });
}

HRESULT MapiPropCore::GetProps(LPSPropTagArray lpPropTagArray, ULONG *lpcValues, LPSPropValue *lppPropArray) {
    if (lpcValues == nullptr || lppPropArray == nullptr) return MAPI_E_INVALID_PARAMETER;
    *lpcValues = 0;
    *lppPropArray = nullptr;
    std::vector<ULONG> tags;
    if (lpPropTagArray != nullptr) tags = TagList(lpPropTagArray);
    std::vector<MapiValue> values;
    HRESULT hr = ReadValues(lpPropTagArray != nullptr ? &tags : nullptr, &values);
    if (FAILED(hr)) return hr;
    return MapiValuesOut(values, lpcValues, lppPropArray);
}

HRESULT MapiPropCore::SetProps(ULONG cValues, LPSPropValue lpPropArray, LPSPropProblemArray *lppProblems) {
    if (lppProblems != nullptr) *lppProblems = nullptr;
    if (lpPropArray == nullptr && cValues > 0) return MAPI_E_INVALID_PARAMETER;
    if (!m_writable) return MAPI_E_NO_ACCESS;
    std::vector<SPropProblem> problems;
    std::vector<MapiValue> set;
    for (ULONG i = 0; i < cValues; ++i) {
        ULONG tag = lpPropArray[i].ulPropTag;
        SCODE problem = S_OK;
        if (!MapiStorableType(PROP_TYPE(tag)))
            problem = MAPI_E_INVALID_PARAMETER;
        else if (tag == PR_OBJECT_TYPE && static_cast<ULONG>(lpPropArray[i].Value.l) == m_kind)
            continue;  // what the object is already: nothing to write
        else if (MapiComputedTag(tag))
            problem = MAPI_E_NO_ACCESS;
        if (problem != S_OK) {
            problems.push_back(SPropProblem{i, tag, problem});
            continue;
        }
        set.push_back(MapiValueFrom(lpPropArray[i]));
    }
    HRESULT hr = S_OK;
    if (m_transacted) {
        for (auto &value : set) Hold(value.tag, value);
    } else if (!set.empty()) {
        hr = WriteNow(set, {});
    }
    if (FAILED(hr)) return hr;
    return MapiProblemsOut(problems, lppProblems);
}

HRESULT MapiPropCore::DeleteProps(LPSPropTagArray lpPropTagArray, LPSPropProblemArray *lppProblems) {
    if (lppProblems != nullptr) *lppProblems = nullptr;
    if (lpPropTagArray == nullptr) return MAPI_E_INVALID_PARAMETER;
    if (!m_writable) return MAPI_E_NO_ACCESS;
    std::vector<SPropProblem> problems;
    std::vector<ULONG> removed;
    for (ULONG i = 0; i < lpPropTagArray->cValues; ++i) {
        ULONG tag = lpPropTagArray->aulPropTag[i];
        if (MapiComputedTag(tag)) {
            problems.push_back(SPropProblem{i, tag, MAPI_E_NO_ACCESS});
            continue;
        }
        removed.push_back(tag);
    }
    HRESULT hr = S_OK;
    if (m_transacted) {
        for (ULONG tag : removed) Hold(tag, std::nullopt);
    } else if (!removed.empty()) {
        hr = WriteNow({}, removed);
    }
    if (FAILED(hr)) return hr;
    return MapiProblemsOut(problems, lppProblems);
}

HRESULT MapiPropCore::WriteNow(const std::vector<MapiValue> &set, const std::vector<ULONG> &removed) {
    return MapiWrite(m_store, [&](SqliteDb &db, std::vector<MapiObjectEvent> *events) -> HRESULT {
        MapiObjectRow row;
        HRESULT hr = MapiLoadObject(db, m_id, &row);
        if (hr == MAPI_E_NOT_FOUND) return MAPI_E_OBJECT_DELETED;
        if (FAILED(hr)) return hr;
        std::vector<ULONG> changed;
        for (const auto &value : set) {
            if (row.kind == kMapiKindFolder && value.tag == PR_DISPLAY_NAME_W) {
                std::u16string name(reinterpret_cast<const char16_t *>(value.bytes.data()), value.bytes.size() / 2);
                hr = MapiRenameFolder(db, m_id, name);
            }
            if (SUCCEEDED(hr)) hr = MapiStoreProp(db, m_id, value);
            if (FAILED(hr)) return hr;
            changed.push_back(value.tag);
        }
        for (ULONG tag : removed) {
            hr = MapiDeleteProp(db, m_id, tag);
            if (FAILED(hr)) return hr;
            changed.push_back(tag);
        }
        if (row.kind == kMapiKindFolder) AddModified(row, changed, events);
        return S_OK;
    });
}

HRESULT MapiPropCore::SaveChanges(ULONG ulFlags,
                                  const std::function<HRESULT(SqliteDb &, std::vector<ULONG> *)> &extra) {
    if (!m_transacted) return S_OK;
    if (!m_writable) return MAPI_E_NO_ACCESS;
    // Streams still open for writing land with the object.
    std::vector<IStream *> streams(m_streams->open.begin(), m_streams->open.end());
    for (IStream *stream : streams) {
        HRESULT committed = stream->Commit(STGC_DEFAULT);
        if (FAILED(committed)) return committed;
    }
    HRESULT hr = MapiWrite(m_store, [&](SqliteDb &db, std::vector<MapiObjectEvent> *events) -> HRESULT {
        MapiObjectRow row;
        HRESULT result = MapiLoadObject(db, m_id, &row);
        if (result == MAPI_E_NOT_FOUND) return MAPI_E_OBJECT_DELETED;
        if (FAILED(result)) return result;
        std::vector<ULONG> changed;
        for (ULONG tag : m_order) {
            const std::optional<MapiValue> &change = m_pending[tag];
            result = change.has_value() ? MapiStoreProp(db, m_id, *change) : MapiDeleteProp(db, m_id, tag);
            if (FAILED(result)) return result;
            changed.push_back(tag);
        }
        if (extra) {
            result = extra(db, &changed);
            if (FAILED(result)) return result;
        }
        if (row.kind == kMapiKindMessage) {
            // The store stamps each save, unless the caller set the time in
            // it; its own stamp is no change of the caller's to report.
            auto stamp = m_pending.find(PR_LAST_MODIFICATION_TIME);
            if (stamp == m_pending.end() || !stamp->second.has_value()) {
                MapiValue now;
                now.tag = PR_LAST_MODIFICATION_TIME;
                now.num = MapiNow();
                result = MapiStoreProp(db, m_id, now);
                if (FAILED(result)) return result;
            }
            result = MapiMarkSaved(db, m_id);
            if (FAILED(result)) return result;
            if (row.saved) {
                AddModified(row, changed, events);
            } else {
                MapiObjectEvent created;
                created.eventType = fnevObjectCreated;
                created.objType = row.kind;
                created.entryID = MapiEntryId(row.store, row.id);
                created.parentID = MapiEntryId(row.store, row.parent);
                events->push_back(created);
            }
        } else if (row.kind == kMapiKindAttach) {
            result = MapiAttachmentChanged(db, row, events);
            if (FAILED(result)) return result;
        }
        return S_OK;
    });
    if (FAILED(hr)) return hr;
    m_pending.clear();
    m_order.clear();
    m_writable = (ulFlags & KEEP_OPEN_READWRITE) != 0;
    return hr;
}

void MapiPropCore::Hold(ULONG tag, std::optional<MapiValue> value) {
    if (m_pending.count(tag) != 0) m_order.erase(std::find(m_order.begin(), m_order.end(), tag));
    m_order.push_back(tag);
    m_pending[tag] = std::move(value);
}

HRESULT MapiPropCore::GetIDsFromNames(ULONG cPropNames, LPMAPINAMEID *lppPropNames, ULONG ulFlags,
                                      LPSPropTagArray *lppPropTags) {
    return MapiResolveNames(m_store, cPropNames, lppPropNames, ulFlags, lppPropTags);
}

HRESULT MapiPropCore::OpenProperty(ULONG ulPropTag, LPCIID lpiid, ULONG ulInterfaceOptions, ULONG ulFlags,
                                   LPUNKNOWN *lppUnk) {
    if (lppUnk == nullptr) return MAPI_E_INVALID_PARAMETER;
    *lppUnk = nullptr;
    if (lpiid == nullptr || !IsEqualGUID(*lpiid, IID_IStream)) return MAPI_E_INTERFACE_NOT_SUPPORTED;
    if (!MapiBytesType(PROP_TYPE(ulPropTag))) return MAPI_E_NO_SUPPORT;
    IStream *stream = nullptr;
    HRESULT hr = MapiOpenStream(m_store, m_id, ulPropTag, ulInterfaceOptions, ulFlags, m_streams, &stream);
    if (SUCCEEDED(hr)) *lppUnk = stream;
    return hr;
}

}  // namespace vplat
