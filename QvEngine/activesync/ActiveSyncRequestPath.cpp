#include "ActiveSyncRequestPath.h"

#include <new>

#include "DHTTPTransaction.h"

DErrorCode EscapeQueryValueText(const VString &s, std::string *out) {
    std::string raw;
    DErrorCode err = ToWindows1252Text(s, &raw);
    return err != kNoError ? err : EscapeHTTPQueryValue(raw.c_str(), out);
}

DErrorCode BuildActiveSyncRequestPath(const VString &user, const VString &deviceId, const VString &deviceType,
                                      const char *command, std::string *path) {
    if (path == nullptr) return generalErrNULLPointer;
    std::string userValue;
    std::string idValue;
    std::string typeValue;
    DErrorCode err = EscapeQueryValueText(user, &userValue);
    if (err == kNoError) err = EscapeQueryValueText(deviceId, &idValue);
    if (err == kNoError) err = EscapeQueryValueText(deviceType, &typeValue);
    if (err != kNoError) return err;
    try {
        std::string text = "/Microsoft-Server-ActiveSync?User=" + userValue + "&DeviceId=" + idValue +
                           "&DeviceType=" + typeValue;
        if (command != nullptr && command[0] != '\0') text += std::string("&Cmd=") + command;
        *path = std::move(text);
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    return kNoError;
}

void SplitServerAddress(const std::string &server, std::string *host, int32_t *port) {
    *host = server;
    *port = kHTTPSchemeDefaultPort;
    const size_t colon = server.rfind(':');
    if (colon == std::string::npos || colon + 1 == server.size() || server.size() - colon > 6) return;
    uint32_t value = 0;
    for (size_t i = colon + 1; i < server.size(); ++i) {
        if (server[i] < '0' || server[i] > '9') return;
        value = value * 10 + uint32_t(server[i] - '0');
    }
    std::string name = server.substr(0, colon);
    const bool bracketed = name.size() > 2 && name.front() == '[' && name.back() == ']';
    // Another ':' outside brackets: an IPv6 address without a port.
    if (!bracketed && name.find(':') != std::string::npos) return;
    if (value == 0 || value > 65535) return;
    *host = name;
    *port = int32_t(value);
}
