#include "ServerIDText.h"

#include <new>

#include "VString.h"

DErrorCode ServerIDToWide(const char *id, std::u16string *out) {
    if (id == nullptr || out == nullptr) return generalErrInvalidParameter;
    VString text;
    DErrorCode err = text.AssignNarrow(id, kQvUnknown, kVStringWindows1252);
    if (err == kNoError) err = text.ConvertTo(kVStringUTF16LE);
    if (err != kNoError) return err;
    try {
        out->assign(text.GetWideText(), text.GetLength() / sizeof(WCHAR));
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    return kNoError;
}

DErrorCode ServerIDToNarrow(const WCHAR *id, std::string *out) {
    if (id == nullptr || out == nullptr) return generalErrInvalidParameter;
    VString text;
    DErrorCode err = text.AssignWide(id, kQvUnknown, kVStringUTF16LE);
    if (err == kNoError) err = text.ConvertTo(kVStringWindows1252);
    if (err != kNoError) return err;
    try {
        out->assign(text.GetNarrowText(), text.GetLength());
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    return kNoError;
}
