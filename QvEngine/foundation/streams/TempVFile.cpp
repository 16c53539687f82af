#include "TempVFile.h"

#include <new>

DErrorCode EnsureTempVFile(VFile **file) {
    if (file == nullptr) return generalErrInvalidParameter;
    const bool made = *file == nullptr;
    if (made) {
        *file = new (std::nothrow) VFile;
        if (*file == nullptr) return generalErrMemoryError;
    }
    DErrorCode err = (*file)->CreateTemp();
    if (err != kNoError && made) {
        delete *file;
        *file = nullptr;
    }
    return err;
}
