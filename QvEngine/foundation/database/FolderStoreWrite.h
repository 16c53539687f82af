// Folder-store write nesting: the folder-info store normally stays open
// read-only (from its snapshot); a writer brackets its changes with
// BeginFolderStoreWrite and EndFolderStoreWrite, which switch the store to
// read/write and back. Nested writers share one read/write session and a
// counter; only the outermost end saves the store and returns it to
// read-only. A store that another owner opened read/write (counter 0) is left
// to that owner: begin and end then neither count nor save.
#ifndef QV_FOLDERSTOREWRITE_H
#define QV_FOLDERSTOREWRITE_H

#include <cstdint>

#include "DErrorCode.h"

class DSimpleDB;

// The store's open in read/write or read-only mode, creating the file when
// it is missing; generalErrNULLPointer for a null store.
DErrorCode DBOpenReadWrite(DSimpleDB *store);
DErrorCode DBOpenReadOnly(DSimpleDB *store);
DErrorCode DBClose(DSimpleDB *store);

// Read-only or closed: (re)opens the store read/write and counts up; already
// read/write: counts up only when a write is counted already.
// generalErrInvalidParameter for a null store or counter.
DErrorCode BeginFolderStoreWrite(DSimpleDB *store, uint32_t *nesting);
// A count of 0 does nothing; otherwise counts down, and at 0 saves the
// store, closes it and reopens it read-only. A failed save is returned, and
// the store is still closed and reopened read-only (as it was last saved),
// so that the next begin opens it for writing again and its end saves.
DErrorCode EndFolderStoreWrite(DSimpleDB *store, uint32_t *nesting);

#endif
