// IResourceManager: the engine's string source. Status lines, progress texts
// and log texts are numbered; GetString gives the text of a number.
#ifndef QV_IRESOURCEMANAGER_H
#define QV_IRESOURCEMANAGER_H

#include "DErrorCode.h"
#include "VString.h"
#include "wintypes.h"

class IResourceManager {
public:
    virtual ~IResourceManager() = default;
    // *text receives the text of id as UTF-16LE. When *text is null a new
    // VString is made for the caller; if the call then fails it is freed
    // again and *text stays null. A caller's own VString is left as it was
    // when the text is missing.
    virtual DErrorCode GetString(UINT id, VString **text) = 0;
};

#endif
