// Base64 in memory: the standard alphabet with "=" padding and no line
// breaks. Both calls hand back a new zero-filled buffer that the caller
// frees with delete[]; null when it cannot be allocated.
#ifndef QV_BASE64_H
#define QV_BASE64_H

#include <cstdint>

#include "wintypes.h"

// The buffer holds (length / 3 + 4) * 4 bytes; *outLength is the number of
// characters written (a multiple of 4). Null data encodes nothing.
char *Base64Encode(const BYTE *data, uint32_t length, uint32_t *outLength);

// Reads at most length characters of text (never past them). White space
// is skipped; decoding ends at the first "=" or at the first other
// character outside the alphabet. A final group of two or three characters
// gives its one or two bytes; a lone trailing character gives none. The
// buffer holds length + 1 bytes; *outLength is the number of bytes decoded.
BYTE *Base64Decode(const char *text, uint32_t length, uint32_t *outLength);

#endif
