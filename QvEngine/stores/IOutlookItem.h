// IOutlookItem: one item of a device store (an appointment, a contact, a
// task, a message), or a whole store or mail folder seen as an item. The
// data manager drives every store through this family of interfaces only.
// - Every operation returns an error code (0 on success) and gives its
//   results through out-parameters; an item that has no use for an
//   operation answers generalErrNotImplemented.
// - The flag operations read and write the item's shadow change record:
//   new 0x20, deleted 0x02, sent 0x01, kept new 0x04.
// - Operations that take a completion signal signal it with their result
//   before they return (the stores are synchronous); the caller, a
//   DActiveTask, then runs on.
#ifndef QV_IOUTLOOKITEM_H
#define QV_IOUTLOOKITEM_H

#include <cstdint>

#include "DActiveTask.h"
#include "DErrorCode.h"

// Item kinds, as the data manager and CreateNewItem number them.
enum EOutlookItemKind : uint32_t {
    kOutlookItemEmail = 2,
    kOutlookItemContact = 3,
    kOutlookItemTask = 4,
    kOutlookItemAppointment = 5,
};

class IOutlookItem {
public:
    virtual ~IOutlookItem() = default;
    // A manager opens its store; an item answers success without work.
    virtual DErrorCode Open() = 0;
    // A manager closes its store; an item drops its store binding.
    virtual DErrorCode Close() = 0;
    // Writes a changed item back to the store and its change record.
    virtual DErrorCode Commit() = 0;
    // Creates the item in the store and writes its change record.
    virtual DErrorCode CommitNewItem(DActiveTaskSignal *completion) = 0;
    virtual DErrorCode IsNew(bool *flag) = 0;
    virtual DErrorCode SetNew(bool flag) = 0;
    virtual DErrorCode IsDeleted(bool *flag) = 0;
    virtual DErrorCode SetDeleted(bool flag) = 0;
    virtual DErrorCode IsSent(bool *flag) = 0;
    virtual DErrorCode SetSent(bool flag) = 0;
    virtual DErrorCode IsKeptNew(bool *flag) = 0;
    virtual DErrorCode SetKeptNew(bool flag) = 0;
    virtual DErrorCode IsModified(bool *flag) = 0;
    virtual DErrorCode ClearModified() = 0;
    // The server id as narrow text, terminated; size counts the terminator.
    virtual DErrorCode GetID(char *buffer, uint32_t size) = 0;
    virtual DErrorCode SetID(const char *id) = 0;
    virtual DErrorCode MatchID(const char *id, bool *equal) = 0;
};

#endif
