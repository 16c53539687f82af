// ShowUserMessage: the engine library's message box for the user. The
// engine library shows nothing; a build with screens may show the text.
#ifndef QV_USERMESSAGE_H
#define QV_USERMESSAGE_H

#include "DErrorCode.h"
#include "wintypes.h"

// Shows nothing and returns -1.
int ShowUserMessage(LPCWSTR title, LPCWSTR text, DErrorCode detail);

#endif
