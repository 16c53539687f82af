#include "LogDateTime.h"

#include "ILogProvider.h"

DErrorCode LogWriteDateTime(ILogProvider *log, const struct tm *t, int bias) {
    if (log == nullptr || t == nullptr) return generalErrNULLPointer;
    constexpr unsigned kLevel = 1;
    const struct {
        int value;
        const char *after;
    } pieces[] = {
        {t->tm_mon + 1, "/"}, {t->tm_mday, "/"}, {t->tm_year, "  "}, {t->tm_hour, ":"},
        {t->tm_min, ":"},     {t->tm_sec, " +-"}, {bias, nullptr},
    };
    for (const auto &piece : pieces) {
        DErrorCode err = log->WriteNumber(piece.value, kLevel, kLogAllCategories);
        if (err == kNoError && piece.after != nullptr) err = log->WriteString(piece.after, kLevel, kLogAllCategories);
        if (err != kNoError) return err;
    }
    return log->NewLine(kLevel, kLogAllCategories);
}
