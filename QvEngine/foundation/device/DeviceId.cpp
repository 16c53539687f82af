#include "DeviceId.h"

#include <cstdio>
#include <cstring>

#include "winioctl.h"

namespace {

constexpr uint32_t kDeviceIdRecordSize = 40;
const char kNoDeviceId[] = "000000000000000";

}  // namespace

DErrorCode GetDeviceID(VString *out) {
    if (out == nullptr) return generalErrInvalidParameter;
    union {
        DEVICE_ID header;
        BYTE bytes[kDeviceIdRecordSize];
    } record;
    memset(&record, 0, sizeof record);
    record.header.dwSize = kDeviceIdRecordSize;

    char text[2 * kDeviceIdRecordSize + 1] = "";
    DWORD returned = 0;
    const bool ok = KernelIoControl(IOCTL_HAL_GET_DEVICEID, nullptr, 0, &record, sizeof record, &returned) != FALSE;
    // An answer that claims more than the record holds is no answer.
    if (ok && returned <= sizeof record && record.header.dwPresetIDOffset <= returned) {
        char *end = text;
        for (DWORD i = record.header.dwPresetIDOffset; i < returned; ++i, end += 2)
            snprintf(end, 3, "%02X", record.bytes[i]);
    } else {
        snprintf(text, sizeof text, "%s", kNoDeviceId);
    }
    return out->AssignCStr(text, kVStringWindows1252);
}
