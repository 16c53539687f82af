#include "PlatformErrorLog.h"

#include "LastErrorText.h"

namespace {

void Write(ILogProvider *log, const char *context, const DErrorCode *code) {
    if (log == nullptr) return;
    VString text;
    if (FormatLastErrorText(context, &text) != kNoError) return;
    log->WriteVString(text, 1, kLogAllCategories);
    if (code != nullptr)
        log->WriteStringHexLine(" ", int32_t(*code), 1, kLogAllCategories);
    else
        log->NewLine(1, kLogAllCategories);
}

}  // namespace

void LogPlatformError(ILogProvider *log, const char *context) { Write(log, context, nullptr); }

void LogPlatformError(ILogProvider *log, const char *context, DErrorCode code) { Write(log, context, &code); }
