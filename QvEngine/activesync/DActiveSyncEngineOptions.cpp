// The OPTIONS answer: the protocol versions and commands the server offers.
#include <string>

#include "DActiveSyncEngine.h"
#include "DHTTPTransaction.h"
#include "ICorvanePreferences.h"
#include "ILogProvider.h"

namespace {

// Calls visit with each comma-separated token of text, blanks trimmed,
// until visit answers false.
template <typename Visit>
void ForEachToken(const std::string &text, Visit visit) {
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string::npos) end = text.size();
        size_t first = text.find_first_not_of(" \t", start);
        size_t last = end;
        while (last > start && (text[last - 1] == ' ' || text[last - 1] == '\t')) --last;
        const std::string token = first != std::string::npos && first < last ? text.substr(first, last - first) : "";
        if (!visit(token)) return;
        start = end + 1;
    }
}

// The protocol number of a version token; 0 for one the engine does not speak.
uint16_t VersionNumber(const std::string &token) {
    if (token == "2.0") return 200;
    if (token == "2.1") return 210;
    if (token == "2.5") return 250;
    return 0;
}

constexpr uint32_t kTextPushUnavailable = 111;

}  // namespace

DErrorCode DActiveSyncEngine::ProcessOptionsCommandFinish(DHTTPTransaction *transaction) {
    if (transaction == nullptr || m_prefs == nullptr) return generalErrInvalidParameter;
    m_prefs->SetPushAvailable(0);
    m_prefs->SetInitiateFirstCmd(0);
    uint16_t version = 200;
    std::string versions;
    DErrorCode err = transaction->GetHTTPResponseHeader("MS-ASProtocolVersions", &versions);
    if (err != kNoError) {
        LogTextCode("!! ProcessOptionsCommandFinish() - Failed to get MS-ASProtocolVersions header, ERR: ", err);
    } else {
        ForEachToken(versions, [&version](const std::string &token) {
            const uint16_t number = VersionNumber(token);
            if (number != 0) version = number;
            return number != 250;
        });
    }
    err = m_prefs->SetEASVers(version);
    // The version header was set at the start of the run, before the server
    // said what it speaks: every later request must announce what was agreed.
    if (err == kNoError) err = SetProtocolVersionHeader();
    if (err != kNoError) return err;
    if (version > 249) {
        std::string commands;
        bool ping = false;
        if (transaction->GetHTTPResponseHeader("MS-ASProtocolCommands", &commands) == kNoError)
            ForEachToken(commands, [&ping](const std::string &token) {
                ping = token == "Ping";
                return !ping;
            });
        m_prefs->SetPushAvailable(ping ? 1 : 0);
    }
    if (m_prefs->GetPushAvailable() == 0) {
        m_prefs->SetPeakPushSyncEnabled(0);
        m_prefs->SetOffPeakPushSyncEnabled(0);
        LogResourceText(kTextPushUnavailable);
    }
    return kNoError;
}
