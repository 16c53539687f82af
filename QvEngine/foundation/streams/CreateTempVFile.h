// CreateTempVFile: the device utilities' name for EnsureTempVFile (a fresh,
// empty temporary file, making the VFile when the caller has none).
#ifndef QV_CREATETEMPVFILE_H
#define QV_CREATETEMPVFILE_H

#include "TempVFile.h"

inline DErrorCode CreateTempVFile(VFile **file) { return EnsureTempVFile(file); }

#endif
