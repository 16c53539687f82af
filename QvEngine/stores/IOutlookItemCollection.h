// IOutlookItemCollection: a set of items (a whole store, or one mail
// folder), and a cooperative task so that long store work runs one step at
// a time. Lookups that take a completion signal it before they return.
#ifndef QV_IOUTLOOKITEMCOLLECTION_H
#define QV_IOUTLOOKITEMCOLLECTION_H

#include "DActiveTask.h"
#include "DListNode.h"
#include "IOutlookItem.h"
#include "VString.h"

class IOutlookItemCollection : public IOutlookItem, public DActiveTask {
public:
    IOutlookItemCollection() : DActiveTask(kActiveTaskDefaultPriority) {}
    // Closes the collection when open, then opens it (mail folders).
    virtual DErrorCode Reopen() = 0;
    virtual DErrorCode GetCount(uint32_t *count) = 0;
    // Whether the collection holds no item; a store that can tell without
    // counting every item answers it itself.
    virtual DErrorCode IsEmpty(bool *empty) {
        if (empty == nullptr) return generalErrInvalidParameter;
        uint32_t count = 0;
        DErrorCode err = GetCount(&count);
        *empty = err == kNoError && count == 0;
        return err;
    }
    // The item at a 0-based position; the caller deletes it.
    virtual DErrorCode GetItem(uint32_t index, IOutlookItem **item) = 0;
    // Synchronous lookup by server id (mail folders); the caller deletes it.
    virtual DErrorCode GetItemByID(const char *serverID, IOutlookItem **item) = 0;
    virtual DErrorCode GetName(VString *name) = 0;
    // Implemented by no store.
    virtual DErrorCode Reserved() = 0;
    // A new, empty item of the collection's kind (EOutlookItemKind).
    virtual DErrorCode CreateNewItem(uint32_t kind, IOutlookItem **item, DActiveTaskSignal *completion) = 0;
    virtual DErrorCode DeleteItem(IOutlookItem *item, DActiveTaskSignal *completion) = 0;
    // Found: *item set and the completion signalled with 0. Not found: no
    // item, the completion signalled with generalErrItemNotFound, and the
    // call itself returns 0.
    virtual DErrorCode FindItemByID(const char *serverID, IOutlookItem **item, DActiveTaskSignal *completion) = 0;
    // The items that the last HasChangedItems found changed, appended to list.
    virtual DErrorCode GetChangedItems(DListNode<IOutlookItem> *list, DActiveTaskSignal *completion) = 0;
    virtual DErrorCode HasChangedItems(bool *flag, DActiveTaskSignal *completion) = 0;
    virtual DErrorCode HasMovedItems(bool *flag, DActiveTaskSignal *completion) = 0;
    virtual DErrorCode GetMovedItems(DListNode<IOutlookItem> *list, DActiveTaskSignal *completion) = 0;
};

#endif
