// The local heap: blocks that platform calls hand to the caller (and that
// the caller frees with LocalFree), and that a caller may hand to a call
// that grows them.
#ifndef VPLATFORM_WINMEM_H
#define VPLATFORM_WINMEM_H

#include "wintypes.h"

typedef HANDLE HLOCAL;

#define LMEM_FIXED 0x0000
#define LMEM_MOVEABLE 0x0002
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

extern "C" {
// A block of uBytes (zero-filled with LMEM_ZEROINIT), null with
// ERROR_NOT_ENOUGH_MEMORY on failure. The block's address is its handle.
PLATAPI HLOCAL LocalAlloc(UINT uFlags, size_t uBytes);
// Grows or shrinks a block, keeping its content; null (the block kept) on
// failure.
PLATAPI HLOCAL LocalReAlloc(HLOCAL hMem, size_t uBytes, UINT uFlags);
// Null on success, else the block.
PLATAPI HLOCAL LocalFree(HLOCAL hMem);
}

#endif
