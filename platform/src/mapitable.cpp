#include "mapitable.h"

#include <algorithm>
#include <memory>

namespace vplat {

MapiTable::MapiTable(size_t rowCount, std::vector<ULONG> columns, MapiRowReader reader)
    : m_rowCount(rowCount), m_columns(std::move(columns)), m_reader(std::move(reader)) {}

HRESULT MapiTable::QueryInterface(REFIID, void **ppvObject) {
    if (ppvObject != nullptr) *ppvObject = nullptr;
    return MAPI_E_INTERFACE_NOT_SUPPORTED;
}

ULONG MapiTable::AddRef() { return ++m_refs; }

ULONG MapiTable::Release() {
    ULONG refs = --m_refs;
    if (refs == 0) delete this;
    return refs;
}

HRESULT MapiTable::SetColumns(LPSPropTagArray lpPropTagArray, ULONG) {
    if (lpPropTagArray == nullptr) return MAPI_E_INVALID_PARAMETER;
    m_columns.assign(lpPropTagArray->aulPropTag, lpPropTagArray->aulPropTag + lpPropTagArray->cValues);
    return S_OK;
}

HRESULT MapiTable::QueryColumns(ULONG, LPSPropTagArray *lpPropTagArray) {
    if (lpPropTagArray == nullptr) return MAPI_E_INVALID_PARAMETER;
    return MapiTagsOut(m_columns, lpPropTagArray);
}

HRESULT MapiTable::GetRowCount(ULONG, ULONG *lpulCount) {
    if (lpulCount == nullptr) return MAPI_E_INVALID_PARAMETER;
    *lpulCount = static_cast<ULONG>(m_rowCount);
    return S_OK;
}

HRESULT MapiTable::SeekRow(BOOKMARK bkOrigin, LONG lRowCount, LONG *lplRowsSought) {
    int64_t origin;
    switch (bkOrigin) {
        case BOOKMARK_BEGINNING: origin = 0; break;
        case BOOKMARK_CURRENT: origin = static_cast<int64_t>(m_cursor); break;
        case BOOKMARK_END: origin = static_cast<int64_t>(m_rowCount); break;
        default: return MAPI_E_INVALID_PARAMETER;
    }
    int64_t target = std::max<int64_t>(0, std::min<int64_t>(static_cast<int64_t>(m_rowCount), origin + lRowCount));
    m_cursor = static_cast<size_t>(target);
    if (lplRowsSought != nullptr) *lplRowsSought = static_cast<LONG>(target - origin);
    return S_OK;
}

HRESULT MapiTable::QueryRows(LONG lRowCount, ULONG, LPSRowSet *lppRows) {
    if (lppRows == nullptr || lRowCount < 0) return MAPI_E_INVALID_PARAMETER;
    *lppRows = nullptr;
    std::vector<std::vector<MapiValue>> rows;
    // Rows of vanished objects are skipped: read on until enough are found.
    while (rows.size() < static_cast<size_t>(lRowCount) && m_cursor < m_rowCount) {
        std::vector<size_t> indexes;
        for (size_t i = m_cursor; i < m_rowCount && indexes.size() < lRowCount - rows.size(); ++i) indexes.push_back(i);
        std::vector<std::vector<MapiValue>> read;
        std::vector<bool> gone;
        HRESULT hr = m_reader(indexes, m_columns, &read, &gone);
        if (FAILED(hr)) return hr;
        for (size_t i = 0; i < indexes.size(); ++i) {
            if (!gone[i]) rows.push_back(std::move(read[i]));
        }
        m_cursor += indexes.size();
    }
    void *block = nullptr;
    SCODE sc = MAPIAllocateBuffer(static_cast<ULONG>(CbNewSRowSet(rows.empty() ? 1 : rows.size())), &block);
    if (sc != S_OK) return sc;
    auto *set = static_cast<LPSRowSet>(block);
    set->cRows = 0;
    for (const auto &row : rows) {
        SRow &out = set->aRow[set->cRows];
        out.ulAdrEntryPad = 0;
        HRESULT hr = MapiValuesOut(row, &out.cValues, &out.lpProps);
        if (FAILED(hr)) {
            FreeProws(set);
            return hr;
        }
        ++set->cRows;
    }
    *lppRows = set;
    return S_OK;
}

HRESULT MapiObjectTable(std::vector<int64_t> ids, std::vector<ULONG> columns, LPMAPITABLE *table) {
    size_t count = ids.size();
    auto reader = [ids = std::move(ids)](const std::vector<size_t> &indexes, const std::vector<ULONG> &cols,
                                         std::vector<std::vector<MapiValue>> *rows, std::vector<bool> *gone) {
        return MapiRead([&](SqliteDb &db) -> HRESULT {
            rows->assign(indexes.size(), {});
            gone->assign(indexes.size(), false);
            for (size_t i = 0; i < indexes.size(); ++i) {
                MapiObjectRow object;
                HRESULT hr = MapiLoadObject(db, ids[indexes[i]], &object);
                if (hr == MAPI_E_NOT_FOUND) {
                    (*gone)[i] = true;
                    continue;
                }
                if (FAILED(hr)) return hr;
                for (ULONG tag : cols) {
                    MapiValue value;
                    bool found = false;
                    hr = MapiReadProp(db, object, tag, &value, &found);
                    if (FAILED(hr)) return hr;
                    (*rows)[i].push_back(found ? value : MapiMissing(tag));
                }
            }
            return S_OK;
        });
    };
    *table = new MapiTable(count, std::move(columns), reader);
    return S_OK;
}

HRESULT MapiRowsTable(std::vector<std::vector<MapiValue>> rows, std::vector<ULONG> columns, LPMAPITABLE *table) {
    size_t count = rows.size();
    auto reader = [rows = std::move(rows)](const std::vector<size_t> &indexes, const std::vector<ULONG> &cols,
                                           std::vector<std::vector<MapiValue>> *out, std::vector<bool> *gone) {
        out->assign(indexes.size(), {});
        gone->assign(indexes.size(), false);
        for (size_t i = 0; i < indexes.size(); ++i) {
            for (ULONG tag : cols) {
                const auto &row = rows[indexes[i]];
                auto it = std::find_if(row.begin(), row.end(), [tag](const MapiValue &v) { return v.tag == tag; });
                (*out)[i].push_back(it != row.end() ? *it : MapiMissing(tag));
            }
        }
        return S_OK;
    };
    *table = new MapiTable(count, std::move(columns), reader);
    return S_OK;
}

}  // namespace vplat
