// IOutlookContact: one contact of the device as the data manager sees it: a
// flat set of numbered fields held between reading and committing.
// - String fields 1000 to 1045 (1002 the body, 1014 to 1016 the e-mail
//   addresses), UTF-16 VStrings; an unset field reads as the empty text.
// - Date fields 0 (anniversary) and 1 (birthday), UTC date-time records
//   (struct tm: month 0 to 11, years since 1900); all zero: no date.
// - List fields 100 (categories) and 101 (children), StringListNode chains;
//   a getter fills the caller's first node and appends further ones.
// Ids outside a group are ignored by its setter and give nothing.
#ifndef QV_IOUTLOOKCONTACT_H
#define QV_IOUTLOOKCONTACT_H

#include <cstdint>
#include <ctime>

#include "IOutlookItem.h"
#include "StringList.h"
#include "VString.h"

// The contact's field ids.
enum EContactField : uint32_t {
    kContactAnniversary = 0,
    kContactBirthday = 1,
    kContactCategories = 100,
    kContactChildren = 101,
    kContactFirstString = 1000,
    kContactBody = 1002,
    kContactCompanyName = 1012,
    kContactEmail1 = 1014,
    kContactEmail3 = 1016,
    kContactFirstName = 1018,
    kContactLastName = 1028,
    kContactLastString = 1045,
};

class IOutlookContact : public IOutlookItem {
public:
    virtual DErrorCode SetDateField(uint32_t which, const struct tm *time) = 0;
    virtual DErrorCode SetListField(uint32_t id, const StringListNode *list) = 0;
    virtual DErrorCode SetStringField(uint32_t id, const VString &text) = 0;
    virtual DErrorCode GetDateField(uint32_t which, struct tm *time) = 0;
    virtual DErrorCode GetListField(uint32_t id, StringListNode *list) = 0;
    virtual DErrorCode GetStringField(uint32_t id, VString *text) = 0;
    // True when the contact is changed on the device and its body differs
    // from the body last written (or none was recorded).
    virtual DErrorCode IsBodyChanged(bool *flag) = 0;
    // Removes the contact from the device and its change record.
    virtual DErrorCode Delete() = 0;
};

#endif
