// The system's message texts: one short English sentence for each error
// number the platform itself reports.
#include <cstring>
#include <string_view>

#include "winerror.h"
#include "winmsgtext.h"
#include "winuser.h"

namespace {

struct MessageText {
    DWORD number;
    const char16_t *text;
};

const MessageText kTexts[] = {
    {ERROR_SUCCESS, u"The operation completed successfully."},
    {ERROR_INVALID_FUNCTION, u"The function is not valid."},
    {ERROR_FILE_NOT_FOUND, u"The file cannot be found."},
    {ERROR_PATH_NOT_FOUND, u"The path cannot be found."},
    {ERROR_TOO_MANY_OPEN_FILES, u"Too many files are open."},
    {ERROR_ACCESS_DENIED, u"Access is denied."},
    {ERROR_INVALID_HANDLE, u"The handle is not valid."},
    {ERROR_NOT_ENOUGH_MEMORY, u"There is not enough memory for this operation."},
    {ERROR_INVALID_DATA, u"The data is not valid."},
    {ERROR_OUTOFMEMORY, u"There is not enough storage for this operation."},
    {ERROR_GEN_FAILURE, u"A device attached to the system is not working."},
    {ERROR_SHARING_VIOLATION, u"The file is in use by another process."},
    {ERROR_LOCK_VIOLATION, u"Part of the file is locked by another process."},
    {ERROR_HANDLE_EOF, u"The end of the file has been reached."},
    {ERROR_NOT_SUPPORTED, u"The request is not supported."},
    {ERROR_FILE_EXISTS, u"The file exists."},
    {ERROR_INVALID_PARAMETER, u"The parameter is not valid."},
    {ERROR_BROKEN_PIPE, u"The pipe has been ended."},
    {ERROR_BUFFER_OVERFLOW, u"The file name is too long."},
    {ERROR_DISK_FULL, u"There is not enough space on the disk."},
    {ERROR_INSUFFICIENT_BUFFER, u"The data area passed to a system call is too small."},
    {ERROR_INVALID_NAME, u"The file name, directory name or volume label is not valid."},
    {ERROR_NEGATIVE_SEEK, u"An attempt was made to move the file pointer before the beginning of the file."},
    {ERROR_DIR_NOT_EMPTY, u"The directory is not empty."},
    {ERROR_BUSY, u"The requested resource is in use."},
    {ERROR_ALREADY_EXISTS, u"Cannot create a file when that file already exists."},
    {ERROR_FILENAME_EXCED_RANGE, u"The file name or extension is too long."},
    {ERROR_MORE_DATA, u"More data is available."},
    {ERROR_NO_MORE_ITEMS, u"No more data is available."},
    {ERROR_DIRECTORY, u"The directory name is not valid."},
    {ERROR_INVALID_FLAGS, u"The flags are not valid."},
    {ERROR_KEY_DELETED, u"The registry key has been marked for deletion."},
    {ERROR_NO_UNICODE_TRANSLATION, u"No mapping for the Unicode character exists in the target code page."},
    {ERROR_NOT_FOUND, u"Element not found."},
    {ERROR_INVALID_WINDOW_HANDLE, u"The window handle is not valid."},
    {ERROR_CLASS_ALREADY_EXISTS, u"The class already exists."},
    {ERROR_CLASS_DOES_NOT_EXIST, u"The class does not exist."},
    {ERROR_CLASS_HAS_WINDOWS, u"The class still has open windows."},
    {ERROR_INVALID_THREAD_ID, u"The thread identifier is not valid."},
};

const char16_t *FindText(DWORD number) {
    for (const MessageText &entry : kTexts)
        if (entry.number == number) return entry.text;
    return nullptr;
}

}  // namespace

extern "C" PLATAPI DWORD FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                                        LPWSTR lpBuffer, DWORD nSize, va_list *Arguments) {
    (void)lpSource;
    (void)dwLanguageId;
    (void)Arguments;
    if ((dwFlags & ~DWORD(FORMAT_MESSAGE_IGNORE_INSERTS)) != FORMAT_MESSAGE_FROM_SYSTEM || lpBuffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const char16_t *text = FindText(dwMessageId);
    if (text == nullptr) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    const std::u16string_view view(text);
    if (view.size() >= nSize) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    memcpy(lpBuffer, view.data(), view.size() * sizeof(WCHAR));
    lpBuffer[view.size()] = u'\0';
    return DWORD(view.size());
}
