#include "LastErrorText.h"

#include <cstdio>

#include "winerror.h"
#include "winmsgtext.h"

namespace {

constexpr DWORD kMessageBufferSize = 256;
const char kNoDescription[] = "<No description returned>";

}  // namespace

DErrorCode FormatLastErrorText(const char *context, VString *out) {
    const DWORD error = GetLastError();
    if (out == nullptr) return generalErrInvalidParameter;

    WCHAR message[kMessageBufferSize];
    VString description;
    DErrorCode err = kNoError;
    if (FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, message,
                       kMessageBufferSize, nullptr) > 0) {
        err = description.AssignWide(message, kQvUnknown, kVStringUTF16LE);
        if (err == kNoError) err = description.ConvertTo(kVStringWindows1252);
    }
    if (err != kNoError || description.GetLength() == 0)
        err = description.AssignCStr(kNoDescription, kVStringWindows1252);
    if (err != kNoError) return err;

    char number[32];
    snprintf(number, sizeof number, ": GetLastError(%d) = ", int(error));
    err = out->AssignCStr(context != nullptr ? context : "", kVStringWindows1252);
    if (err == kNoError) err = out->AppendNarrow(number, kVStringWindows1252);
    if (err == kNoError) err = out->Append(description);
    // The failed call's error stays the thread's last error for the caller.
    SetLastError(error);
    return err;
}
