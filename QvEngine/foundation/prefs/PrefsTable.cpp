// The stored preferences, their defaults and their registry form.
#include "PrefsTable.h"

#include "PrefsRegistry.h"

// 212 characters.
const char kDefaultEMailSignature[] =
    "*****This message was sent wirelessly from my mobile handset using Vantrel, which keeps my Exchange mail, "
    "calendar and contacts with me wherever I go. To find out more about Vantrel, visit http://www.brellow.com/";

namespace {

constexpr EPrefKey P = EPrefKey::Product;
constexpr EPrefKey A = EPrefKey::Account;
constexpr EPrefKind Text = EPrefKind::Text;
constexpr EPrefKind Byte = EPrefKind::Byte;
constexpr EPrefKind Word = EPrefKind::Word;
constexpr EPrefKind DWord = EPrefKind::DWord;
constexpr EPrefKind Time = EPrefKind::TimeOfDay;
constexpr uint8_t Live = kPrefRefreshing | kPrefImmediate;

}  // namespace

constexpr DPrefDescriptor kPrefTable[kPrefCount] = {
    {kPrefQVMaj, u"QVMaj", P, Word, 0, nullptr, 0, 0},
    {kPrefQVMin, u"QVMin", P, Word, 0, nullptr, 0, 0},
    {kPrefQVBui, u"QVBui", P, Word, 0, nullptr, 0, 0},
    {kPrefServer, u"Server", A, Text, 0, "", 128, 0},
    {kPrefUser, u"User", A, Text, 0, "", 128, 0},
    {kPrefDomain, u"Domain", A, Text, 0, "", 128, 0},
    {kPrefUseSSL, u"UseSSL", A, Byte, 1, nullptr, 0, 0},
    {kPrefPassword, u"Password", P, Text, 0, "", 128, 0},
    {kPrefEASPolicyKey, u"EASPolicyKey", P, Text, 0, "0", 128, 0},
    {kPrefQVDeviceID, u"QVDeviceID", P, Text, 0, "", 128, 0},
    {kPrefQVDeviceType, u"QVDeviceType", P, Text, 0, "", 128, 0},
    {kPrefQVHeartbeat, u"QVHeartbeat", P, DWord, 480, nullptr, 0, Live},
    {kPrefUserSyncEMail, u"UserSyncEMail", P, Byte, 1, nullptr, 0, 0},
    {kPrefUserSyncContacts, u"UserSyncContacts", P, Byte, 1, nullptr, 0, 0},
    {kPrefUserSyncCalendar, u"UserSyncCalendar", P, Byte, 1, nullptr, 0, 0},
    {kPrefPeakSyncSchedule, u"PeakSyncSchedule", P, Word, 6, nullptr, 0, 0},
    {kPrefOffPeakSyncSchedule, u"OffPeakSyncSchedule", P, Word, 6, nullptr, 0, 0},
    {kPrefPeakPushSyncEnabled, u"PeakPushSyncEnabled", P, Byte, 1, nullptr, 0, 0},
    {kPrefOffPeakPushSyncEnabled, u"OffPeakPushSyncEnabled", P, Byte, 0, nullptr, 0, 0},
    {kPrefRoamingSyncSchedule, u"RoamingSyncSchedule", P, Word, 0, nullptr, 0, 0},
    {kPrefRoamingOverride, u"RoamingOverride", P, Word, 0, nullptr, 0, Live},
    {kPrefSendOutgoingImmediately, u"SendOutgoingImmediately", P, Byte, 1, nullptr, 0, 0},
    {kPrefPeakStartTime, u"PeakStartTime", P, Time, 8 * 60, nullptr, 0, 0},
    {kPrefPeakEndTime, u"PeakEndTime", P, Time, 18 * 60, nullptr, 0, 0},
    {kPrefPeakWeekdayFlags, u"PeakWeekdayFlags", P, Byte, 0x3E, nullptr, 0, 0},
    {kPrefPushAvailable, u"PushAvailable", P, Byte, 0, nullptr, 0, 0},
    {kPrefEASVers, u"EASVers", P, Word, 200, nullptr, 0, 0},
    {kPrefCleanMailbox, u"CleanMailbox", P, Byte, 0, nullptr, 0, 0},
    {kPrefCleanCalendar, u"CleanCalendar", P, Byte, 0, nullptr, 0, 0},
    {kPrefCleanContacts, u"CleanContacts", P, Byte, 0, nullptr, 0, 0},
    {kPrefInitiateFirstCmd, u"InitiateFirstCmd", P, Byte, 0, nullptr, 0, 0},
    {kPrefPushNeedsSoap, u"PushNeedsSoap", P, Word, 0, nullptr, 0, Live},
    {kPrefEngineState, u"EngineState", P, Word, 0, nullptr, 0, 0},
    {kPrefEngineNeedsSoap, u"EngineNeedsSoap", P, Word, 0, nullptr, 0, Live},
    {kPrefSyncScheduleEMail, u"SyncScheduleEMail", P, Byte, 0, nullptr, 0, 0},
    {kPrefSyncScheduleCalendar, u"SyncScheduleCalendar", P, Byte, 0, nullptr, 0, 0},
    {kPrefSyncScheduleContacts, u"SyncScheduleContacts", P, Byte, 0, nullptr, 0, 0},
    {kPrefSyncEMailDateRange, u"SyncEMailDateRange", P, Word, 2, nullptr, 0, 0},
    {kPrefSyncEMailDataSize, u"SyncEMailDataSize", P, Word, 1, nullptr, 0, 0},
    {kPrefDeleteSentItemDateRange, u"DeleteSentItemDateRange", P, Word, 4, nullptr, 0, 0},
    {kPrefAttachOwnVCard, u"AttachOwnVCard", P, Byte, 0, nullptr, 0, 0},
    {kPrefReplyWithHistory, u"ReplyWithHistory", P, Byte, 1, nullptr, 0, 0},
    {kPrefEMailSignature, u"EMailSignature", P, Text, 0, kDefaultEMailSignature, 2048, 0},
    {kPrefInstallDirectory, u"InstallDirectory", P, Text, 0, "**default**", 128, Live},
    {kPrefAttachSig, u"AttachSig", P, Byte, 1, nullptr, 0, 0},
    {kPrefSyncCalDateRange, u"SyncCalDateRange", P, Word, 4, nullptr, 0, 0},
    {kPrefVerboseLogging, u"VerboseLogging", P, Byte, 0, nullptr, 0, 0},
    {kPrefShowWizard, u"ShowWizard", P, Byte, 1, nullptr, 0, Live},
    {kPrefITPolicyEnabled, u"ITPolicyEnabled", P, Byte, 0, nullptr, 0, kPrefImmediate},
    {kPrefMaxServerPushFolders, u"MaxServerPushFolders", P, DWord, 0xFFFFFFFF, nullptr, 0, Live},
    {kPrefMinimumHeartBeat, u"MinimumHeartBeat", P, Word, 480, nullptr, 0, Live},
    {kPrefMaximumHeartBeat, u"MaximumHeartBeat", P, Word, 1920, nullptr, 0, Live},
    {kPrefLastGoodHeartBeat, u"LastGoodHeartBeat", P, Word, 540, nullptr, 0, Live},
    {kPrefPingCounter, u"PingCounter", P, Word, 30, nullptr, 0, Live},
    // A wipe the server ordered survives a restart until it has completed.
    {kPrefRemoteWipeState, u"RemoteWipeState", P, Word, 0, nullptr, 0, Live | kPrefOwnValue},
    {kPrefITPNum, u"ITPNum", P, Word, 0, nullptr, 0, Live | kPrefOwnValue},
};

constexpr bool RowsInIdOrder() {
    for (int i = 0; i < kPrefCount; ++i)
        if (kPrefTable[i].id != i) return false;
    return true;
}
static_assert(RowsInIdOrder(), "each row sits at its id");

const WCHAR *PrefRegKey(const DPrefDescriptor &d) {
    return d.key == EPrefKey::Account ? kAirSyncConnectionRegKey : kVantrelRegKey;
}
