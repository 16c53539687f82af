// The two list properties of an appointment's record, as byte blobs: its
// attendees and its exceptions (changed or deleted occurrences). Little-
// endian, each list led by a 32-bit count; a text is a 32-bit count of
// UTF-16 units and the units. A blob that does not parse whole (a raw
// writer's damage) reads as no list, never beyond its bytes.
#ifndef VPLATFORM_PIMBLOB_H
#define VPLATFORM_PIMBLOB_H

#include <cstdint>
#include <string>
#include <vector>

#include "wintypes.h"

namespace vplat {

struct PimRecipient {
    std::u16string name;
    std::u16string address;
};

// Which fields an exception changes.
enum PimExceptionField : uint32_t {
    kExSubject = 0x001,
    kExLocation = 0x002,
    kExBody = 0x004,
    kExReminderMinutes = 0x008,
    kExReminderSet = 0x010,
    kExAllDay = 0x020,
    kExBusyStatus = 0x040,
    kExSensitivity = 0x080,
    kExStart = 0x100,
    kExEnd = 0x200,
};

struct PimException {
    int64_t originalDay = 0;  // days since 1970, local
    bool deleted = false;
    uint32_t fields = 0;  // PimExceptionField bits; none for a deleted one
    std::u16string subject;
    std::u16string location;
    std::u16string body;
    int32_t reminderMinutes = 0;
    bool reminderSet = false;
    bool allDay = false;
    int32_t busyStatus = 0;
    int32_t sensitivity = 0;
    int64_t start = 0;  // seconds since 1970, local
    int64_t end = 0;
};

std::vector<BYTE> PimEncodeRecipients(const std::vector<PimRecipient> &list);
bool PimDecodeRecipients(const std::vector<BYTE> &blob, std::vector<PimRecipient> *list);
// Exceptions are kept in the order of their original days, one per day.
std::vector<BYTE> PimEncodeExceptions(const std::vector<PimException> &list);
bool PimDecodeExceptions(const std::vector<BYTE> &blob, std::vector<PimException> *list);

}  // namespace vplat

#endif
