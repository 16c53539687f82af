#include "DWinMobResourceManager.h"

#include <new>

#include "winmodule.h"

namespace {
const int kTextBufferLength = 256;
}

DErrorCode DWinMobResourceManager::GetString(UINT id, VString **text) {
    if (text == nullptr) return generalErrInvalidParameter;
    if (!m_loaded) {
        DErrorCode err = m_dll.Load();
        if (err != kNoError) return err;
        m_loaded = true;
    }

    VString *made = nullptr;
    if (*text == nullptr) {
        made = new (std::nothrow) VString;
        if (made == nullptr) return generalErrMemoryError;
    }
    VString *target = made != nullptr ? made : *text;

    WCHAR buffer[kTextBufferLength];
    int length = LoadStringW(m_dll.GetModule(), id, buffer, kTextBufferLength);
    DErrorCode err = length > 0 ? target->AssignWide(buffer, static_cast<uint32_t>(length), kVStringUTF16LE)
                                : generalErrUnknownError;
    if (err != kNoError) {
        delete made;  // the caller's pointer stays as it was
        return err;
    }
    if (made != nullptr) *text = made;
    return kNoError;
}
