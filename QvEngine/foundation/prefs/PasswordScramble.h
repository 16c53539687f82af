// The stored password's scrambling: an RC4 stream over the password's
// Windows-1252 bytes under a fixed five-character key. One routine works
// both ways, and the result never holds a zero byte.
#ifndef QV_PASSWORDSCRAMBLE_H
#define QV_PASSWORDSCRAMBLE_H

#include "DErrorCode.h"
#include "VString.h"

// Scrambles (or unscrambles) password in place. A wide password goes
// through Windows-1252 and comes back to its own tag; a narrow one keeps its
// encoding; an empty one is left alone. key: zero-terminated, null for the
// product's own key.
DErrorCode ScramblePassword(VString *password, const char *key = nullptr);

#endif
