// The shadow change-tracking databases' format: database types and names,
// record properties, change states and flag bits. The engine and the
// scheduler's change recorders both keep to it.
#ifndef QV_SHADOWPROPS_H
#define QV_SHADOWPROPS_H

#include <cstdint>

#include "windbase.h"

enum EShadowDBType : uint32_t {
    kShadowEmail = 1,
    kShadowCalendar = 2,
    kShadowContacts = 3,
};

// Property ids of a shadow record (id in the high word, value type low).
constexpr CEPROPID kShadowPropLocalID = (0x0105u << 16) | CEVT_BLOB;
constexpr CEPROPID kShadowPropServerID = (0x0106u << 16) | CEVT_LPWSTR;
constexpr CEPROPID kShadowPropState = (0x0107u << 16) | CEVT_UI4;
constexpr CEPROPID kShadowPropFlags = (0x0108u << 16) | CEVT_UI4;
constexpr CEPROPID kShadowPropObjectID = (0x0109u << 16) | CEVT_UI4;
constexpr CEPROPID kShadowPropMeetingResponse = (0x010Au << 16) | CEVT_UI4;
constexpr CEPROPID kShadowPropChecksum = (0x010Bu << 16) | CEVT_BLOB;
constexpr CEPROPID kShadowPropFolderID = (0x010Cu << 16) | CEVT_BLOB;
constexpr CEPROPID kShadowPropPrevFolderID = (0x010Du << 16) | CEVT_BLOB;
// The body checksum of a change the server has not yet answered (8 bytes;
// empty when none).
constexpr CEPROPID kShadowPropSentChecksum = (0x010Eu << 16) | CEVT_BLOB;
constexpr CEPROPID kShadowPropSequence = (0x0206u << 16) | CEVT_UI4;

// Change states (kShadowPropState).
enum EShadowState : uint32_t {
    kShadowUnchanged = 0,  // unchanged since the last completed sync
    kShadowChanged = 1,    // changed on the device, not yet picked up
    kShadowPickedUp = 2,   // picked up by the running sync's change scan
    kShadowChangedAgain = 3,  // changed again after the running sync picked it up
};

// Flag bits (kShadowPropFlags).
constexpr uint32_t kShadowFlagSent = 0x0001;
constexpr uint32_t kShadowFlagDeleted = 0x0002;
constexpr uint32_t kShadowFlagKeepNew = 0x0004;
constexpr uint32_t kShadowFlagRead = 0x0008;
constexpr uint32_t kShadowFlagNew = 0x0020;
constexpr uint32_t kShadowFlagRemainderRequested = 0x0040;
constexpr uint32_t kShadowFlagAttachmentRequested = 0x0080;
constexpr uint32_t kShadowFlagMeetingResponsePending = 0x0100;
constexpr uint32_t kShadowFlagIgnoreChanges = 0x0200;
constexpr uint32_t kShadowFlagReadChanged = 0x0400;
constexpr uint32_t kShadowFlagMeetingRequest = 0x0800;
constexpr uint32_t kShadowFlagMoved = 0x1000;

// Record object ids with a meaning of their own.
constexpr CEOID kShadowOidNone = 0x7FFF7FFF;       // unset
constexpr CEOID kShadowOidNew = CEOID(-2);         // bound, not yet stored
constexpr CEOID kShadowOidDeleted = CEOID(-3);     // deleted

// The property mask of a record's identity properties.
constexpr uint32_t kShadowMaskBase = 0x000D;
constexpr uint32_t kShadowMaskEmail = 0x006F;
constexpr uint32_t kShadowMaskLocalID = 0x0002;
constexpr uint32_t kShadowMaskObjectID = 0x0010;

// The Smartphone edition keeps the shadow databases in this volume.
extern const WCHAR kShadowVolume[];

#endif
