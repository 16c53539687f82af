// Property values as the store keeps them, and their way in and out:
// from a caller's SPropValue, into caller memory (MAPIAllocateBuffer), and
// to and from the props and chunks tables. The properties the store works
// out itself (entry ids, object type, counts) are read here too, so an
// object's GetProps and a table's row agree.
#ifndef VPLATFORM_MAPIPROPS_H
#define VPLATFORM_MAPIPROPS_H

#include <cstdint>
#include <map>
#include <vector>

#include "mapidb.h"
#include "mapidefs.h"

namespace vplat {

// One property value: integer types in num, the others as bytes (UTF-16
// units for PT_UNICODE, without a terminator).
struct MapiValue {
    ULONG tag = 0;
    int64_t num = 0;
    std::vector<BYTE> bytes;
};

// Whether the type is one the store keeps.
bool MapiStorableType(ULONG type);
// Whether the type keeps its value as bytes.
bool MapiBytesType(ULONG type);
// Properties the store works out itself: never set by a caller.
bool MapiComputedTag(ULONG tag);

// The value of a caller's property (its type must be storable).
MapiValue MapiValueFrom(const SPropValue &prop);
// Fills *out from value; the bytes it needs are allocated with
// MAPIAllocateMore on parent. An error value when tag is PT_ERROR.
HRESULT MapiValueTo(const MapiValue &value, void *parent, SPropValue *out);
// The PT_ERROR value that stands for a missing tag.
MapiValue MapiMissing(ULONG tag);

// Stored properties of one object.
HRESULT MapiLoadProp(SqliteDb &db, int64_t object, ULONG tag, MapiValue *value, bool *found);
HRESULT MapiStoredTags(SqliteDb &db, int64_t object, std::vector<ULONG> *tags);
HRESULT MapiStoreProp(SqliteDb &db, int64_t object, const MapiValue &value);
HRESULT MapiDeleteProp(SqliteDb &db, int64_t object, ULONG tag);
// The stored size in bytes of a bytes-typed property; found false when it
// is not stored.
HRESULT MapiPropSize(SqliteDb &db, int64_t object, ULONG tag, int64_t *size, bool *found);
// Copies every stored property of from onto to.
HRESULT MapiCopyProps(SqliteDb &db, int64_t from, int64_t to);

// The value of tag on an object as GetProps gives it: worked out or stored.
HRESULT MapiReadProp(SqliteDb &db, const MapiObjectRow &row, ULONG tag, MapiValue *value, bool *found);
// The tags GetProps lists for an object asked for everything.
HRESULT MapiAllTags(SqliteDb &db, const MapiObjectRow &row, std::vector<ULONG> *tags);

// The values as a caller's array in one MAPIAllocateBuffer block;
// MAPI_W_ERRORS_RETURNED when one of them is an error.
HRESULT MapiValuesOut(const std::vector<MapiValue> &values, ULONG *count, LPSPropValue *out);
// A problem array for the problems (null when there are none).
HRESULT MapiProblemsOut(const std::vector<SPropProblem> &problems, LPSPropProblemArray *out);
// A tag array in one MAPIAllocateBuffer block.
HRESULT MapiTagsOut(const std::vector<ULONG> &tags, LPSPropTagArray *out);

}  // namespace vplat

#endif
