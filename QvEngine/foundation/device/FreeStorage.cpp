#include "FreeStorage.h"

#include "winstorage.h"

namespace {

#ifdef VANTREL_EDITION_SMARTPHONE
const WCHAR kVolume[] = u"\\Storage";
#else
const WCHAR kVolume[] = u"\\";
#endif

}  // namespace

DErrorCode GetFreeStorageSpace(const void *reserved, uint32_t *bytes) {
    (void)reserved;
    if (bytes == nullptr) return generalErrNULLPointer;
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExW(kVolume, &available, nullptr, nullptr)) return kNoError;
    // A count past 32 bits would lose its high part and read as nearly full.
    *bytes = available.QuadPart > 0xFFFFFFFFull ? 0xFFFFFFFFu : uint32_t(available.QuadPart);
    return kNoError;
}
