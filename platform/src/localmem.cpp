// The local heap is the C heap: a block's address is its handle.
#include <cstdlib>

#include "winerror.h"
#include "winmem.h"

extern "C" PLATAPI HLOCAL LocalAlloc(UINT uFlags, size_t uBytes) {
    // A zero-byte block still has an address of its own.
    size_t size = uBytes == 0 ? 1 : uBytes;
    void *block = (uFlags & LMEM_ZEROINIT) != 0 ? std::calloc(1, size) : std::malloc(size);
    if (block == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return block;
}

extern "C" PLATAPI HLOCAL LocalReAlloc(HLOCAL hMem, size_t uBytes, UINT) {
    if (hMem == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    void *block = std::realloc(hMem, uBytes == 0 ? 1 : uBytes);
    if (block == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return block;
}

extern "C" PLATAPI HLOCAL LocalFree(HLOCAL hMem) {
    std::free(hMem);
    return nullptr;
}
