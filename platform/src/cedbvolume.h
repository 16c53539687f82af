// Database volumes: the object store and the volume files mounted by this
// process. A volume's GUID is made from its number in the object store's
// table of volume paths, so every process that mounts one file sees one
// GUID, and a notice can carry it as a number. Mounts are counted per
// process; the object store is always there.
#ifndef VPLATFORM_CEDBVOLUME_H
#define VPLATFORM_CEDBVOLUME_H

#include <string>

#include "windbase.h"

namespace vplat {

// The GUID of a volume number (0: the object store, the all-zero GUID).
CEGUID CeDbVolumeGuid(DWORD volume);
// The volume number a GUID names (0 for the object store).
DWORD CeDbVolumeNumber(const CEGUID &guid);

// The file a GUID names in this process: the object store for a null,
// all-zero or all-ones GUID, else a volume mounted here
// (ERROR_INVALID_PARAMETER when none). *canonical is the GUID notices use.
DWORD CeDbResolveVolume(const CEGUID *guid, std::string *hostPath, CEGUID *canonical);

// Mounts the volume file at a device path as CreateFileW's disposition
// says, counting the mount. Returns 0 or an error number.
DWORD CeDbMount(LPCWSTR devicePath, DWORD disposition, CEGUID *guid);
// Takes back one mount: ERROR_INVALID_PARAMETER when none is left.
DWORD CeDbUnmount(const CEGUID &guid);

}  // namespace vplat

#endif
