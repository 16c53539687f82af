// The temporary files that processes of this program leave behind when they
// are killed: files of the platform's temporary folder named as VFile names
// its temporary files ("$KW", four hexadecimal digits, ".TMP") that no
// process of the device holds open. A VFile holds its temporary file open
// for as long as it keeps it (closed or not), so a sweep takes only what
// ended processes left; files of any other name are never touched.
#ifndef QV_TEMPFILESWEEP_H
#define QV_TEMPFILESWEEP_H

#include <cstdint>

#include "DErrorCode.h"
#include "wintypes.h"

// The prefix of every temporary file name VFile makes.
extern const WCHAR kTempFilePrefix[];

// Deletes the stale temporary files; *removed (may be null) gets how many.
// A missing temporary folder is no error.
DErrorCode SweepStaleTempFiles(uint32_t *removed);

// The sweep at a process's start: the first call in each process sweeps,
// later ones do nothing. VFile calls it before it names a temporary file.
void SweepStaleTempFilesOnce();

#endif
