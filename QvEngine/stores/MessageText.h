// A message text (a VString of any encoding) as the UTF-16 text the message
// store keeps.
#ifndef QV_MESSAGETEXT_H
#define QV_MESSAGETEXT_H

#include <string>

#include "DErrorCode.h"
#include "VString.h"

DErrorCode MessageTextToWide(const VString &text, std::u16string *out);

#endif
