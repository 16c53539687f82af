// Files and folders of the device's file system. Paths are device paths
// ("\Program Files\Vantrel\Logs\x.log"; '/' is accepted as a separator too),
// resolved under the device root's fs/ folder, names matched
// case-insensitively. Access and share modes are enforced between handles
// of one process and across processes.
#ifndef VPLATFORM_WINFILE_H
#define VPLATFORM_WINFILE_H

#include "winerror.h"
#include "wintime.h"
#include "wintypes.h"

#define GENERIC_READ 0x80000000UL
#define GENERIC_WRITE 0x40000000UL

#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002

#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100
#define FILE_FLAG_WRITE_THROUGH 0x80000000UL
#define FILE_FLAG_RANDOM_ACCESS 0x10000000UL

#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)
#define INVALID_SET_FILE_POINTER ((DWORD)-1)

#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

#define MOVEFILE_REPLACE_EXISTING 0x00000001

// One entry of a folder listing. Creation and write times are the file's
// last write; dwOID is 0.
typedef struct _WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwOID;
    WCHAR cFileName[MAX_PATH];
} WIN32_FIND_DATAW, *LPWIN32_FIND_DATAW;

extern "C" {
PLATAPI HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                           LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                           DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
PLATAPI BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                      LPOVERLAPPED lpOverlapped);
PLATAPI BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                       LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);
PLATAPI DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod);
PLATAPI DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh);
PLATAPI BOOL SetEndOfFile(HANDLE hFile);
PLATAPI BOOL FlushFileBuffers(HANDLE hFile);
// Closes any handle of the device (files now; threads, events and others as they come).
PLATAPI BOOL CloseHandle(HANDLE hObject);
PLATAPI BOOL DeleteFileW(LPCWSTR lpFileName);
// Renames a file or folder (within the device's file system). Fails with
// ERROR_ALREADY_EXISTS when the new name exists, unless MoveFileExW is asked
// to replace an existing file; a file held open by any handle of the device,
// as the one moved or the one replaced, is refused (ERROR_SHARING_VIOLATION).
// A replace is atomic: no one sees the new name missing or half written.
PLATAPI BOOL MoveFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName);
PLATAPI BOOL MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags);
PLATAPI DWORD GetFileAttributesW(LPCWSTR lpFileName);
PLATAPI BOOL SetFileAttributesW(LPCWSTR lpFileName, DWORD dwFileAttributes);
PLATAPI BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);
PLATAPI BOOL RemoveDirectoryW(LPCWSTR lpPathName);
PLATAPI DWORD GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer);
PLATAPI UINT GetTempFileNameW(LPCWSTR lpPathName, LPCWSTR lpPrefixString, UINT uUnique, LPWSTR lpTempFileName);
// Lists the entries of a folder whose names match the last component of
// lpFileName, which may hold '*' (any run of characters) and '?' (any one),
// compared without case ("*.*" matches every name). The listing is taken at
// FindFirstFileW, in name order. FindFirstFileW fails with
// ERROR_FILE_NOT_FOUND when nothing matches (ERROR_PATH_NOT_FOUND when the
// folder is missing); FindNextFileW with ERROR_NO_MORE_FILES after the last.
PLATAPI HANDLE FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData);
PLATAPI BOOL FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData);
PLATAPI BOOL FindClose(HANDLE hFindFile);
}

#endif
