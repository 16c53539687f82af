// IMessagingItemCollection: a mail folder of the message store. Beside the
// collection operations it answers which messages wait for an attachment
// download or a meeting response, and moves sent mail to Sent Items.
#ifndef QV_IMESSAGINGITEMCOLLECTION_H
#define QV_IMESSAGINGITEMCOLLECTION_H

#include "IOutlookItemCollection.h"
#include "IOutlookMessage.h"

class IMessagingItemCollection : public IOutlookItemCollection {
public:
    virtual DErrorCode GetDownloadAttachmentItems(DListNode<IOutlookItem> *list, DActiveTaskSignal *completion) = 0;
    virtual DErrorCode HasDownloadAttachmentItems(bool *flag, DActiveTaskSignal *completion) = 0;
    virtual DErrorCode GetMeetingRequestResponseItems(DListNode<IOutlookItem> *list,
                                                      DActiveTaskSignal *completion) = 0;
    virtual DErrorCode HasMeetingRequestResponseItems(bool *flag, DActiveTaskSignal *completion) = 0;
    virtual DErrorCode MoveToSentItems(IOutlookMessage *message, DActiveTaskSignal *completion) = 0;
};

#endif
