// The message store as the system includes it.
#ifndef VPLATFORM_MAPI_H
#define VPLATFORM_MAPI_H

#include "mapidefs.h"
#include "mapix.h"

#endif
