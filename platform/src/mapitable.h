// The store's tables (contents, hierarchy, attachments, recipients, stores):
// a snapshot of rows taken when the table is made, with a cursor. Columns
// are read as rows are queried, so a row whose object vanished meanwhile is
// skipped, and a column the row lacks comes as PT_ERROR/MAPI_E_NOT_FOUND.
#ifndef VPLATFORM_MAPITABLE_H
#define VPLATFORM_MAPITABLE_H

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "mapiprops.h"
#include "mapix.h"

namespace vplat {

// Reads the columns of the snapshot's row index; *gone when it vanished.
typedef std::function<HRESULT(const std::vector<size_t> &indexes, const std::vector<ULONG> &columns,
                              std::vector<std::vector<MapiValue>> *rows, std::vector<bool> *gone)>
    MapiRowReader;

// One table: the snapshot's row count, the columns, the cursor, and the
// reader that fetches the columns of the rows a query reaches.
class MapiTable : public IMAPITable {
public:
    MapiTable(size_t rowCount, std::vector<ULONG> columns, MapiRowReader reader);

    HRESULT QueryInterface(REFIID riid, void **ppvObject) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT SetColumns(LPSPropTagArray lpPropTagArray, ULONG ulFlags) override;
    HRESULT QueryColumns(ULONG ulFlags, LPSPropTagArray *lpPropTagArray) override;
    HRESULT GetRowCount(ULONG ulFlags, ULONG *lpulCount) override;
    HRESULT SeekRow(BOOKMARK bkOrigin, LONG lRowCount, LONG *lplRowsSought) override;
    HRESULT QueryRows(LONG lRowCount, ULONG ulFlags, LPSRowSet *lppRows) override;

private:
    std::atomic<ULONG> m_refs{1};
    size_t m_rowCount;
    size_t m_cursor = 0;
    std::vector<ULONG> m_columns;
    MapiRowReader m_reader;
};

// A table over objects of the file, read from it as rows are queried.
HRESULT MapiObjectTable(std::vector<int64_t> ids, std::vector<ULONG> columns, LPMAPITABLE *table);
// A table over rows held in memory.
HRESULT MapiRowsTable(std::vector<std::vector<MapiValue>> rows, std::vector<ULONG> columns, LPMAPITABLE *table);

}  // namespace vplat

#endif
