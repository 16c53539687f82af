// Server data into a device item: the mapping of the item's kind writes the
// ApplicationData of a server Add, Change or Fetch into it.
#include "DActiveSyncDataManager.h"
#include "IOutlookMessage.h"

DErrorCode DActiveSyncDataManager::ApplyServerData(IOutlookItem *item, WBXMLTreeNode *applicationData) {
    if (item == nullptr) return generalErrInvalidParameter;
    uint32_t kind = 0;
    switch (mCurrASCommand) {
        case kCmdFirstEMailSync:
        case kCmdEMailSync:
            kind = kOutlookItemEmail;
            break;
        case kCmdFirstCalendarSync:
        case kCmdCalendarSync:
            kind = kOutlookItemAppointment;
            break;
        case kCmdFirstContactsSync:
        case kCmdContactsSync:
            kind = kOutlookItemContact;
            break;
        case kCmdFirstTasksSync:
        case kCmdTasksSync:
            kind = kOutlookItemTask;
            break;
        default:
            break;
    }
    switch (kind) {
        case kOutlookItemEmail: {
            auto *message = dynamic_cast<IOutlookMessage *>(item);
            if (message == nullptr) return ASDataManagerErrInvalidDataType;
            return SetMessageHeaders(message, applicationData);
        }
        case kOutlookItemAppointment:
        case kOutlookItemContact:
        case kOutlookItemTask:
            // No mapping of these kinds yet: the item is skipped.
            return ASDataManagerErrItemNotSupported;
        default:
            return ASDataManagerErrInvalidDataType;
    }
}
