// Record properties as the database file keeps them: integer, boolean and
// time values in one integer column, text (UTF-16 units), blobs and
// doubles as bytes. Also the comparison that sort orders use and the layout
// of a read's buffer (the CEPROPVALs, then the strings and blobs they point
// to).
#ifndef VPLATFORM_CEDBPROPS_H
#define VPLATFORM_CEDBPROPS_H

#include <cstdint>
#include <vector>

#include "cedbfile.h"
#include "windbase.h"

namespace vplat {

struct CeDbValue {
    CEPROPID propid = 0;
    int64_t num = 0;
    std::vector<BYTE> data;
};

// Whether a value's type is known and its pointers usable: 0 or
// ERROR_INVALID_PARAMETER.
DWORD CeDbCheckValue(const CEPROPVAL &val);
CeDbValue CeDbEncode(const CEPROPVAL &val);
// Whether a value is kept in the integer column.
bool CeDbIsNumeric(CEPROPID propid);

// Every property of a record, in property-id order.
DWORD CeDbLoadValues(CeDbFile &file, CEOID record, std::vector<CeDbValue> *values);
DWORD CeDbStoreValue(CeDbFile &file, CEOID record, const CeDbValue &value);
DWORD CeDbDeleteValue(CeDbFile &file, CEOID record, CEPROPID propid);

// Orders two values of one property as a sort order's flags say; a null
// value is one the record lacks.
int CeDbCompare(const CeDbValue *a, const CeDbValue *b, DWORD flags);

// Bytes a read needs for these properties (null: not found).
size_t CeDbLayoutSize(const std::vector<const CeDbValue *> &values);
// Lays the values out at buffer (of CeDbLayoutSize bytes); ids are the
// property ids asked for, used for the ones not found.
void CeDbLayout(const std::vector<const CeDbValue *> &values, const std::vector<CEPROPID> &ids, BYTE *buffer);

}  // namespace vplat

#endif
