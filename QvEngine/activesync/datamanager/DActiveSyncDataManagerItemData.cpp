// Server data into a device item: the mapping of the item's kind writes the
// ApplicationData of a server Add, Change or Fetch into it.
#include "DActiveSyncDataManager.h"
#include "IOutlookContact.h"
#include "IOutlookMeeting.h"
#include "IOutlookMessage.h"
#include "IOutlookTask.h"

namespace {
const char *const kTagApplicationData = "0x1D_0x00";
}  // namespace

DErrorCode DActiveSyncDataManager::ApplyServerData(IOutlookItem *item, WBXMLTreeNode *command) {
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
            return SetMessageHeaders(message, Child(command, kTagApplicationData));
        }
        case kOutlookItemAppointment: {
            auto *meeting = dynamic_cast<IOutlookMeeting *>(item);
            if (meeting == nullptr) return ASDataManagerErrInvalidDataType;
            return ApplyMeetingData(meeting, command, false);
        }
        case kOutlookItemContact: {
            auto *contact = dynamic_cast<IOutlookContact *>(item);
            if (contact == nullptr) return ASDataManagerErrInvalidDataType;
            return ApplyContactData(contact, command);
        }
        case kOutlookItemTask: {
            auto *task = dynamic_cast<IOutlookTask *>(item);
            if (task == nullptr) return ASDataManagerErrInvalidDataType;
            return ApplyTaskData(task, command);
        }
        default:
            return ASDataManagerErrInvalidDataType;
    }
}
