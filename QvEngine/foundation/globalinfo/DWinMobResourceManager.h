// DWinMobResourceManager: the string source over the resource library
// "QvRes.dll", loaded by name on the first GetString (a failed load is
// tried again by the next call) and freed with the manager. Texts are read
// into a buffer of 256 wide characters, so a text gives at most 255.
#ifndef QV_DWINMOBRESOURCEMANAGER_H
#define QV_DWINMOBRESOURCEMANAGER_H

#include "DResourceDLL.h"
#include "IResourceManager.h"

class DWinMobResourceManager : public IResourceManager {
public:
    DWinMobResourceManager() = default;
    ~DWinMobResourceManager() override = default;
    DWinMobResourceManager(const DWinMobResourceManager &) = delete;
    DWinMobResourceManager &operator=(const DWinMobResourceManager &) = delete;

    // Errors: generalErrInvalidParameter for a null text, kResourceLibraryLoadError
    // (0x0737000C) when the library cannot be loaded, generalErrMemoryError
    // when the VString cannot be made, generalErrUnknownError when the library
    // has no text of that id, or the VString's own error.
    DErrorCode GetString(UINT id, VString **text) override;

private:
    bool m_loaded = false;
    DResourceDLL m_dll;
};

#endif
