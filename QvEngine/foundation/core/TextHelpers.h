// Small helpers over narrow, zero-terminated text: copies, tokens, flags,
// counted numbers and random hexadecimal text. Buffers these calls allocate
// are freed by the caller with delete[]; no call writes past a capacity it
// is given.
#ifndef QV_TEXTHELPERS_H
#define QV_TEXTHELPERS_H

#include <cstdint>

#include "DErrorCode.h"

// Copies src into *dest. A null *dest gets a new buffer of strlen + 1
// bytes; an existing buffer of capacity bytes is reused when the text and
// its terminator fit, else generalErrBufferTooSmall and *dest is left as it
// was. generalErrInvalidParameter for a null dest or src,
// generalErrMemoryError when the buffer cannot be allocated.
DErrorCode CopyNarrowString(char **dest, uint32_t capacity, const char *src);

// Copies src from *pos up to the delimiter or the end into a new buffer
// *out and sets *pos to the index where it stopped (on the delimiter, which
// the caller steps over). Nothing when *pos is at or past the end.
// generalErrInvalidParameter when *out is already set or src is null;
// generalErrIndexOutOfRange when the stop lies beyond what *pos can hold.
DErrorCode GetNextToken(const char *src, uint16_t *pos, char delimiter, char **out);

// 1 when s is present and differs from "0", else 0.
int IsTrueString(const char *s);

// The decimal value of the first length bytes of text (leading white space
// and a sign allowed, the digits up to the first other character); 0 when
// there are none. Values beyond the int range are clamped to it.
int ParseCountedInt(const char *text, uint32_t length);

// Fills out with length random hexadecimal digits (0 to 9, a to f) and a
// terminator. generalErrBufferTooSmall (out emptied when capacity > 0) when
// capacity cannot hold length + 1 bytes.
DErrorCode MakeRandomHexString(char *out, uint32_t capacity, uint32_t length);

#endif
