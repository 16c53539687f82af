// Memory the message store hands to its callers: a buffer from
// MAPIAllocateBuffer carries a list of the blocks MAPIAllocateMore linked to
// it, and MAPIFreeBuffer frees them all with it.
#include <cstdlib>
#include <new>

#include "mapix.h"

namespace {

// The header before every block's caller memory; aligned for any value.
struct alignas(std::max_align_t) BlockHeader {
    BlockHeader *more;  // the next block linked to the same buffer
    unsigned magic;
};

const unsigned kBufferMagic = 0x4D415042;  // a buffer of its own
const unsigned kMoreMagic = 0x4D41504D;    // a block linked to a buffer

BlockHeader *HeaderOf(void *memory) { return static_cast<BlockHeader *>(memory) - 1; }

void *Allocate(ULONG cbSize, unsigned magic) {
    auto *header = static_cast<BlockHeader *>(std::calloc(1, sizeof(BlockHeader) + (cbSize == 0 ? 1 : cbSize)));
    if (header == nullptr) return nullptr;
    header->more = nullptr;
    header->magic = magic;
    return header + 1;
}

}  // namespace

SCODE MAPIAllocateBuffer(ULONG cbSize, LPVOID *lppBuffer) {
    if (lppBuffer == nullptr) return MAPI_E_INVALID_PARAMETER;
    *lppBuffer = Allocate(cbSize, kBufferMagic);
    return *lppBuffer == nullptr ? MAPI_E_NOT_ENOUGH_MEMORY : S_OK;
}

SCODE MAPIAllocateMore(ULONG cbSize, LPVOID lpObject, LPVOID *lppBuffer) {
    if (lppBuffer == nullptr || lpObject == nullptr) return MAPI_E_INVALID_PARAMETER;
    BlockHeader *parent = HeaderOf(lpObject);
    if (parent->magic != kBufferMagic) return MAPI_E_INVALID_PARAMETER;
    void *memory = Allocate(cbSize, kMoreMagic);
    if (memory == nullptr) return MAPI_E_NOT_ENOUGH_MEMORY;
    BlockHeader *header = HeaderOf(memory);
    header->more = parent->more;
    parent->more = header;
    *lppBuffer = memory;
    return S_OK;
}

ULONG MAPIFreeBuffer(LPVOID lpBuffer) {
    if (lpBuffer == nullptr) return S_OK;
    BlockHeader *header = HeaderOf(lpBuffer);
    // A linked block goes with its buffer, never alone.
    if (header->magic != kBufferMagic) return static_cast<ULONG>(MAPI_E_INVALID_PARAMETER);
    header->magic = 0;
    while (header != nullptr) {
        BlockHeader *next = header->more;
        std::free(header);
        header = next;
    }
    return S_OK;
}

void FreeProws(LPSRowSet lpRows) {
    if (lpRows == nullptr) return;
    for (ULONG i = 0; i < lpRows->cRows; ++i) MAPIFreeBuffer(lpRows->aRow[i].lpProps);
    MAPIFreeBuffer(lpRows);
}

void FreePadrlist(LPADRLIST lpAdrlist) {
    if (lpAdrlist == nullptr) return;
    for (ULONG i = 0; i < lpAdrlist->cEntries; ++i) MAPIFreeBuffer(lpAdrlist->aEntries[i].rgPropVals);
    MAPIFreeBuffer(lpAdrlist);
}
