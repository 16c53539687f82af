// Single-property reads and writes of one shadow record, by object id, over
// the platform's property-database calls.
#ifndef QV_SHADOWRECORDIO_H
#define QV_SHADOWRECORDIO_H

#include <cstdint>
#include <vector>

#include "DErrorCode.h"
#include "windbase.h"

// A value of an unsigned 32-bit property; an absent one reads as 0 (and
// *found, when asked, says which).
DErrorCode ShadowReadUInt(HANDLE db, CEOID oid, CEPROPID prop, uint32_t *value, bool *found = nullptr);
// A blob property's bytes; *found is false (and out empty) when absent.
DErrorCode ShadowReadBlob(HANDLE db, CEOID oid, CEPROPID prop, std::vector<BYTE> *out, bool *found);
DErrorCode ShadowWriteUInt(HANDLE db, CEOID oid, CEPROPID prop, uint32_t value);
DErrorCode ShadowWriteBlob(HANDLE db, CEOID oid, CEPROPID prop, const BYTE *bytes, uint32_t size);
// One write of several properties; generalErrItemNotFound when it did not land.
DErrorCode ShadowWriteProps(HANDLE db, CEOID oid, WORD count, CEPROPVAL *props);

// Every property of a record: the platform's buffer (LocalFree it) and the values in it.
DErrorCode ShadowReadAll(HANDLE db, CEOID oid, BYTE **buffer, WORD *count);

#endif
