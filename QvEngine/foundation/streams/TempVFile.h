// EnsureTempVFile: gives a caller a fresh, empty temporary file, making
// the VFile (freed by the caller with delete) when it has none.
#ifndef QV_TEMPVFILE_H
#define QV_TEMPVFILE_H

#include "DErrorCode.h"
#include "VFile.h"

// generalErrMemoryError when the VFile cannot be made; a new VFile is
// deleted again (and *file left null) when the temporary file fails.
DErrorCode EnsureTempVFile(VFile **file);

#endif
