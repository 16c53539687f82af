// The stored preferences as data: for each value its registry name, key,
// width in memory, default, text limit and how it reaches the registry. The
// order is the order in which a load reads them (the version numbers first).
#ifndef QV_PREFSTABLE_H
#define QV_PREFSTABLE_H

#include <cstdint>

#include "wintypes.h"

enum EPrefId : uint8_t {
    kPrefQVMaj,
    kPrefQVMin,
    kPrefQVBui,
    kPrefServer,
    kPrefUser,
    kPrefDomain,
    kPrefUseSSL,
    kPrefPassword,
    kPrefEASPolicyKey,
    kPrefQVDeviceID,
    kPrefQVDeviceType,
    kPrefQVHeartbeat,
    kPrefUserSyncEMail,
    kPrefUserSyncContacts,
    kPrefUserSyncCalendar,
    kPrefPeakSyncSchedule,
    kPrefOffPeakSyncSchedule,
    kPrefPeakPushSyncEnabled,
    kPrefOffPeakPushSyncEnabled,
    kPrefRoamingSyncSchedule,
    kPrefRoamingOverride,
    kPrefSendOutgoingImmediately,
    kPrefPeakStartTime,
    kPrefPeakEndTime,
    kPrefPeakWeekdayFlags,
    kPrefPushAvailable,
    kPrefEASVers,
    kPrefCleanMailbox,
    kPrefCleanCalendar,
    kPrefCleanContacts,
    kPrefInitiateFirstCmd,
    kPrefPushNeedsSoap,
    kPrefEngineState,
    kPrefEngineNeedsSoap,
    kPrefSyncScheduleEMail,
    kPrefSyncScheduleCalendar,
    kPrefSyncScheduleContacts,
    kPrefSyncEMailDateRange,
    kPrefSyncEMailDataSize,
    kPrefDeleteSentItemDateRange,
    kPrefAttachOwnVCard,
    kPrefReplyWithHistory,
    kPrefEMailSignature,
    kPrefInstallDirectory,
    kPrefAttachSig,
    kPrefSyncCalDateRange,
    kPrefVerboseLogging,
    kPrefShowWizard,
    kPrefITPolicyEnabled,
    kPrefMaxServerPushFolders,
    kPrefMinimumHeartBeat,
    kPrefMaximumHeartBeat,
    kPrefLastGoodHeartBeat,
    kPrefPingCounter,
    // Read and written only on their own, never by a load or a save of all.
    kPrefRemoteWipeState,
    kPrefITPNum,
    kPrefCount
};

enum class EPrefKind : uint8_t {
    Text,
    Byte,
    Word,
    DWord,
    // Hours and minutes, stored as "<name>-min" and "<name>-hour".
    TimeOfDay
};

enum class EPrefKey : uint8_t { Product, Account };

// How a value meets the registry beyond the load and the save of all.
constexpr uint8_t kPrefRefreshing = 0x01;  // its getter re-reads it
constexpr uint8_t kPrefImmediate = 0x02;   // its setter writes it at once
constexpr uint8_t kPrefOwnValue = 0x04;    // outside the load and the save of all

struct DPrefDescriptor {
    EPrefId id;
    const WCHAR *name;
    EPrefKey key;
    EPrefKind kind;
    // Numbers; for a time of day, minutes after midnight.
    DWORD defaultNumber;
    // Texts (narrow, Windows-1252).
    const char *defaultText;
    // Texts: characters with the terminator.
    uint32_t maxChars;
    uint8_t flags;
};

extern const DPrefDescriptor kPrefTable[kPrefCount];

// The registry key a value lives under.
const WCHAR *PrefRegKey(const DPrefDescriptor &d);

// The default e-mail signature.
extern const char kDefaultEMailSignature[];

#endif
