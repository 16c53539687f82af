// DStringPair: a person on an appointment, {display name, e-mail address},
// as the organizer and each attendee travel between the data manager and
// the calendar store. Either text may be empty.
#ifndef QV_DSTRINGPAIR_H
#define QV_DSTRINGPAIR_H

#include "VString.h"

struct DStringPair {
    VString name;
    VString email;
};

#endif
