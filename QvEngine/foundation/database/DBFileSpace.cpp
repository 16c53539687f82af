#include "DBFileSpace.h"

#include <algorithm>
#include <new>

DErrorCode DBFileSpace::Reserve(uint32_t start, uint32_t length) {
    if (length == 0) return kNoError;
    const Range range{start, uint64_t(start) + length};
    auto at = std::upper_bound(m_reserved.begin(), m_reserved.end(), range,
                               [](const Range &a, const Range &b) { return a.start < b.start; });
    try {
        m_reserved.insert(at, range);
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    return kNoError;
}

DErrorCode DBFileSpace::Place(uint32_t length, uint32_t *start) {
    uint64_t free = 0;  // the lowest byte that no range before it reserves
    for (const Range &range : m_reserved) {
        if (range.start >= free + length) break;
        free = std::max(free, range.end);
    }
    if (free + length > 0xFFFFFFFFull) return vfileErrOutOfStorageSpace;
    *start = static_cast<uint32_t>(free);
    return Reserve(*start, length);
}
