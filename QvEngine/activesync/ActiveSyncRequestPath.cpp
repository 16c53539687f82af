#include "ActiveSyncRequestPath.h"

#include <new>

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
