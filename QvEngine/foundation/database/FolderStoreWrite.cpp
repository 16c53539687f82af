#include "FolderStoreWrite.h"

#include "DSimpleDB.h"

DErrorCode DBOpenReadWrite(DSimpleDB *store) {
    if (store == nullptr) return generalErrNULLPointer;
    return store->Open(kDBReadWrite, true);
}

DErrorCode DBOpenReadOnly(DSimpleDB *store) {
    if (store == nullptr) return generalErrNULLPointer;
    return store->Open(kDBReadOnly, true);
}

DErrorCode DBClose(DSimpleDB *store) {
    if (store == nullptr) return generalErrNULLPointer;
    return store->Close();
}

DErrorCode BeginFolderStoreWrite(DSimpleDB *store, uint32_t *nesting) {
    if (store == nullptr || nesting == nullptr) return generalErrInvalidParameter;
    const int mode = store->GetMode();
    if (mode == kDBReadWrite) {
        if (*nesting != 0) ++*nesting;
        return kNoError;
    }
    // A closed store is opened for writing too, so that the matching end
    // saves what the writer changes.
    if (mode == kDBReadOnly) {
        DErrorCode err = DBClose(store);
        if (err != kNoError) return err;
    }
    DErrorCode err = DBOpenReadWrite(store);
    if (err != kNoError) {
        // Readers expect the store open as it was.
        if (mode == kDBReadOnly) DBOpenReadOnly(store);
        return err;
    }
    ++*nesting;
    return kNoError;
}

DErrorCode EndFolderStoreWrite(DSimpleDB *store, uint32_t *nesting) {
    if (store == nullptr || nesting == nullptr) return generalErrInvalidParameter;
    if (*nesting == 0) return kNoError;
    if (--*nesting != 0) return kNoError;
    // Left read/write after a failed save, the store would count as another
    // owner's: later brackets would neither count nor save.
    DErrorCode err = store->Save();
    DErrorCode closeErr = DBClose(store);
    DErrorCode openErr = DBOpenReadOnly(store);
    if (err != kNoError) return err;
    return closeErr != kNoError ? closeErr : openErr;
}
