// Type numbers of the engine's records. Response records (DClientResponse
// kinds) 6 to 30 are the engine's own; status kind 4 is the data manager's
// alive counter. The two families number independently: the callback a
// record arrives on names its family.
#ifndef QV_ACTIVESYNCRECORDTYPES_H
#define QV_ACTIVESYNCRECORDTYPES_H

#include <cstdint>

constexpr uint32_t kStatusTypeAliveCounter = 4;

constexpr uint32_t kResponseTypeCalendarSync = 6;
constexpr uint32_t kResponseTypeContactsSync = 7;
constexpr uint32_t kResponseTypeTasksSync = 8;
constexpr uint32_t kResponseTypeEmailSync = 9;
constexpr uint32_t kResponseTypeEMailSend = 10;
constexpr uint32_t kResponseTypeEMailGetAttachment = 11;
constexpr uint32_t kResponseTypeFolderCreate = 12;
constexpr uint32_t kResponseTypeFolderSync = 13;
constexpr uint32_t kResponseTypeGetItemEstimate = 14;
constexpr uint32_t kResponseTypeMoveItem = 15;
constexpr uint32_t kResponseTypeData = 16;
constexpr uint32_t kResponseTypeSyncData = 17;
constexpr uint32_t kResponseTypeSendData = 18;
constexpr uint32_t kResponseTypeGetAttachmentData = 19;
// Both the meeting-response request record and the plain answer to it.
constexpr uint32_t kResponseTypeMeetingResponse = 20;
constexpr uint32_t kResponseTypeMoveItemData = 21;
constexpr uint32_t kResponseTypePing = 22;
constexpr uint32_t kResponseTypePolicy = 23;
constexpr uint32_t kResponseTypeTimeZoneChange = 28;
constexpr uint32_t kResponseTypeSearch = 29;
constexpr uint32_t kResponseTypeWipeComplete = 30;

#endif
