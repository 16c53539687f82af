// The engine library passes libwbxml's functions on to its callers as its own
// exports, as the device's engine did with libwbxml linked into it. The build
// names the library's file, the one the engine is linked against.
#include "winmodule.h"

VPLATFORM_EXPORT_FORWARDS = {
    {QVENGINE_WBXML_LIBRARY, "wbxml_"},
    {nullptr, nullptr},
};
