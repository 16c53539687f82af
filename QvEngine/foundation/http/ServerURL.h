// The URL the connection engine asks the Connection Manager about: the
// scheme the account's UseSSL setting names, then "//" and the account's
// Server setting, of whatever length.
#ifndef QV_SERVERURL_H
#define QV_SERVERURL_H

#include <string>

#include "DErrorCode.h"
#include "VString.h"

// internetConnectNetUnavailable for a server that is empty or cannot stand
// as the host part of a URL (a blank, a control character, or one of
// / \ ? # @).
DErrorCode BuildServerURL(const VString &server, bool secure, std::u16string *url);

#endif
