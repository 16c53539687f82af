// String resources: a module's texts come from the table it exports under
// VPLATFORM_STRING_TABLE_SYMBOL. As on the device, a string table holds no
// empty strings: an empty entry reads as missing.
#include <algorithm>
#include <cstring>

#include "moduletable.h"
#include "winerror.h"
#include "winmodule.h"
#include "winstr.h"

extern "C" PLATAPI int LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax) {
    if (lpBuffer == nullptr || cchBufferMax < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    void *symbol = nullptr;
    DWORD err = vplat::ModuleSymbol(hInstance, VPLATFORM_STRING_TABLE_SYMBOL, &symbol);
    LPCWSTR text = nullptr;
    if (err == ERROR_SUCCESS && symbol == nullptr) err = ERROR_RESOURCE_TYPE_NOT_FOUND;
    if (err == ERROR_SUCCESS) {
        for (auto *entry = static_cast<const VPLATFORM_STRING_RESOURCE *>(symbol); entry->text != nullptr; ++entry) {
            if (entry->id == uID) {
                text = entry->text;
                break;
            }
        }
        if (text == nullptr || text[0] == 0) err = ERROR_RESOURCE_NAME_NOT_FOUND;
    }
    if (err != ERROR_SUCCESS) {
        if (cchBufferMax > 0) lpBuffer[0] = 0;
        SetLastError(err);
        return 0;
    }

    int length = lstrlenW(text);
    if (cchBufferMax == 0) {
        // The buffer need not be aligned for a pointer.
        std::memcpy(lpBuffer, &text, sizeof text);
        return length;
    }
    int copied = std::min(length, cchBufferMax - 1);
    std::copy(text, text + copied, lpBuffer);
    lpBuffer[copied] = 0;
    return copied;
}
