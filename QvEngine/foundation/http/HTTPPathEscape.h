// Escaping of a request path and query for the request line: control
// bytes, space, DEL, bytes with the high bit set and every percent sign
// that does not already start an escape ("%" and two hex digits) become
// "%" and two lower-case hex digits. Everything else, escapes included,
// is kept as it is.
#ifndef QV_HTTPPATHESCAPE_H
#define QV_HTTPPATHESCAPE_H

#include <string>

#include "DErrorCode.h"

DErrorCode EscapeHTTPPath(const char *path, std::string *escaped);

// The same escaping for one value of a query ("User=" value): '&', '#',
// '+', '=' and '?' are escaped too, so the value cannot end early or start
// another field; '/' and ':' are kept. Its result passes EscapeHTTPPath
// unchanged, so a path built of escaped values is never escaped twice.
DErrorCode EscapeHTTPQueryValue(const char *value, std::string *escaped);

#endif
