// Small file steps the record database's sources share: zeroed buffers,
// checked reads at an offset and the size of a file.
#ifndef QV_DSIMPLEDBFILEIO_H
#define QV_DSIMPLEDBFILEIO_H

#include <new>
#include <vector>

#include "DErrorCode.h"
#include "VFile.h"

inline DErrorCode DBZeroed(std::vector<BYTE> *bytes, uint32_t size) {
    try {
        bytes->assign(size, 0);
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    return kNoError;
}

// Reads count bytes at offset; a short file is a malformed database.
inline DErrorCode DBReadAt(VFile &file, uint32_t offset, uint32_t count, BYTE *dest) {
    if (count == 0) return kNoError;
    DErrorCode err = file.SetPosition(offset);
    if (err == kNoError) err = file.Read(count, dest, nullptr);
    return err == vfileErrEOF ? dbFieldSerialzeInError : err;
}

inline uint32_t DBFileSize(const VFile &file) {
    uint32_t size = 0;
    file.GetSize(&size);
    return size;
}

#endif
