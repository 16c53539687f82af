// The one conversion of server ids between the engine's narrow text
// (Windows-1252, as the server's ids reach the engine) and the UTF-16 text
// that the message store ("X-QV-ServerID") and the shadow records keep.
// Every byte maps to one character and back, so an id survives the round
// trip unchanged.
#ifndef QV_SERVERIDTEXT_H
#define QV_SERVERIDTEXT_H

#include <string>

#include "DErrorCode.h"
#include "wintypes.h"

// generalErrInvalidParameter for a null id or out-pointer;
// generalErrMemoryError when the text cannot be held.
DErrorCode ServerIDToWide(const char *id, std::u16string *out);
// A character with no Windows-1252 byte fails with the conversion's error.
DErrorCode ServerIDToNarrow(const WCHAR *id, std::string *out);

#endif
