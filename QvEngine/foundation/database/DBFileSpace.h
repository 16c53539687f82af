// DBFileSpace: where a save may put bytes in a database file without
// touching what the file's stored header and index still name. A save
// reserves the stored header and index and every record they name, then
// asks for room for each record it writes: the lowest gap of dead bytes
// that holds it, else the end of everything reserved (the file grows).
// Until the new header and index are written in their one write, the file
// read as it is stored still holds the old state whole.
//
// Contract:
// - Reserve and Place take byte ranges [start, start + length); a length
//   of 0 reserves nothing.
// - Place reserves the room it returns; vfileErrOutOfStorageSpace when the
//   room would end beyond 2^32 - 1, generalErrMemoryError when out of memory.
#ifndef QV_DBFILESPACE_H
#define QV_DBFILESPACE_H

#include <cstdint>
#include <vector>

#include "DErrorCode.h"

class DBFileSpace {
public:
    DErrorCode Reserve(uint32_t start, uint32_t length);
    DErrorCode Place(uint32_t length, uint32_t *start);

private:
    struct Range {
        uint64_t start;
        uint64_t end;
    };
    // Kept sorted by start; ranges may touch or overlap.
    std::vector<Range> m_reserved;
};

#endif
