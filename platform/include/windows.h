// The device's platform interface, as the system's code includes it.
#ifndef VPLATFORM_WINDOWS_H
#define VPLATFORM_WINDOWS_H

#include "wintypes.h"
#include "winerror.h"
#include "winstr.h"
#include "winnls.h"
#include "winfile.h"
#include "winthread.h"
#include "wintime.h"
#include "winuser.h"
#include "winmodule.h"
#include "winreg.h"
#include "winstorage.h"
#include "winmem.h"
#include "windbase.h"

#endif
