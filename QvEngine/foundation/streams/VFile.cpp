#include "VFile.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "TempFileSweep.h"
#include "winfile.h"

namespace {

// One transfer buffer for a copy, fill or move, sized for the job.
std::unique_ptr<uint8_t[]> NewChunk(uint32_t count, uint32_t *size) {
    *size = std::min(count, kVFileChunkSize);
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[*size]);
}

// Copies text into a caller's buffer of capacity WCHARs.
DErrorCode CopyOut(const std::u16string &text, WCHAR *out, uint32_t capacity) {
    if (out == nullptr) return kNoError;
    if (text.size() + 1 > capacity) {
        if (capacity > 0) out[0] = 0;
        return generalErrBufferTooSmall;
    }
    std::copy(text.begin(), text.end(), out);
    out[text.size()] = 0;
    return kNoError;
}

}  // namespace

VFile::VFile()
    : m_handle(INVALID_HANDLE_VALUE),
      m_hold(INVALID_HANDLE_VALUE),
      m_open(false),
      m_openMode(kVFileClosed),
      m_bigEndian(false),
      m_temporary(false),
      m_size(0),
      m_position(0) {}

VFile::~VFile() { Release(); }

DErrorCode VFile::SetFileName(const WCHAR *path) {
    if (path == nullptr || m_name != path) DropHold();  // the hold is the old name's
    try {
        if (path == nullptr)
            m_name.clear();
        else
            m_name = path;
    } catch (const std::bad_alloc &) {
        return vfileErrMemoryError;
    }
    return kNoError;
}

DErrorCode VFile::CopyFileName(const VFile &other) {
    if (&other == this) return kNoError;
    return SetFileName(other.HasName() ? other.m_name.c_str() : nullptr);
}

DErrorCode VFile::GetFileName(WCHAR *fullPath, uint32_t fullPathCapacity, WCHAR *namePart,
                              uint32_t namePartCapacity) const {
    size_t slash = m_name.find_last_of(u"\\/");
    std::u16string name;
    try {
        name = slash == std::u16string::npos ? m_name : m_name.substr(slash + 1);
    } catch (const std::bad_alloc &) {
        return vfileErrMemoryError;
    }
    DErrorCode full = CopyOut(m_name, fullPath, fullPathCapacity);
    DErrorCode part = CopyOut(name, namePart, namePartCapacity);
    return full != kNoError ? full : part;
}

DErrorCode VFile::Exists(bool *out) const {
    if (out == nullptr) return generalErrNULLPointer;
    *out = HasName() && GetFileAttributesW(m_name.c_str()) != INVALID_FILE_ATTRIBUTES;
    return kNoError;
}

DErrorCode VFile::OpenHandle(DWORD access, DWORD share, HANDLE *out) const {
    *out = CreateFileW(m_name.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (*out != INVALID_HANDLE_VALUE) return kNoError;
    DWORD err = GetLastError();
    return err != 0 ? err : vfileErrUnknown;
}

DErrorCode VFile::Open(int mode) {
    if (m_open) return vfileErrFileAlreadyOpen;
    if (mode != kVFileRead && mode != kVFileReadWrite) return vfileErrInvalidOpenMode;
    if (!HasName()) return vfileErrFileNotFound;

    DWORD access = mode == kVFileRead ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    DWORD share = mode == kVFileRead ? FILE_SHARE_READ : 0;
    HANDLE handle;
    DErrorCode err = OpenHandle(access, share, &handle);
    if (err != kNoError) {
        if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) return vfileErrFileNotFound;
        if (mode == kVFileReadWrite && err == ERROR_ACCESS_DENIED) {
            // Refused for writing but readable: a read-only file, not a busy one.
            HANDLE probe;
            if (OpenHandle(GENERIC_READ, FILE_SHARE_READ, &probe) == kNoError) {
                CloseHandle(probe);
                return vfileErrInvalidOpenMode;
            }
        }
        if (err == ERROR_ACCESS_DENIED || err == ERROR_SHARING_VIOLATION) return vfileErrFileAccesDenied;
        return err;
    }

    SetLastError(NO_ERROR);
    DWORD size = GetFileSize(handle, nullptr);
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
        err = GetLastError();
        CloseHandle(handle);
        return err;
    }
    m_handle = handle;
    m_open = true;
    m_openMode = mode;
    m_size = size;
    m_position = 0;
    return kNoError;
}

DErrorCode VFile::Close() {
    if (m_handle != INVALID_HANDLE_VALUE) CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
    m_open = false;
    m_openMode = kVFileClosed;
    m_position = 0;
    return kNoError;
}

DErrorCode VFile::IsOpen(bool *out) const {
    if (out == nullptr) return generalErrNULLPointer;
    *out = m_open;
    return kNoError;
}

DErrorCode VFile::GetSize(uint32_t *out) const {
    if (out == nullptr) return generalErrNULLPointer;
    // Closed, the file may have been written through another object since
    // (a transfer's answer): its size is the one on disk. A file held
    // exclusively elsewhere keeps the size last known.
    if (!m_open && HasName()) {
        HANDLE handle;
        if (OpenHandle(GENERIC_READ, FILE_SHARE_READ, &handle) == kNoError) {
            SetLastError(NO_ERROR);
            const DWORD size = GetFileSize(handle, nullptr);
            const bool known = size != INVALID_FILE_SIZE || GetLastError() == NO_ERROR;
            CloseHandle(handle);
            if (known) {
                *out = size;
                return kNoError;
            }
        }
    }
    *out = m_size;
    return kNoError;
}

DErrorCode VFile::GetPosition(uint32_t *out) const {
    if (out == nullptr) return generalErrNULLPointer;
    *out = m_position;
    return kNoError;
}

DErrorCode VFile::Create() {
    Close();
    if (!HasName()) return vfileErrCantCreateFile;
    DeleteFileW(m_name.c_str());
    HANDLE handle =
        CreateFileW(m_name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return vfileErrCantCreateFile;
    CloseHandle(handle);
    if (m_temporary && m_hold == INVALID_HANDLE_VALUE) HoldTempFile();  // made again after a Delete
    m_size = 0;
    m_position = 0;
    return kNoError;
}

DErrorCode VFile::Delete() {
    Close();
    m_size = 0;
    m_position = 0;
    if (!HasName()) return kNoError;
    DropHold();
    DWORD attributes = GetFileAttributesW(m_name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
        SetFileAttributesW(m_name.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    if (DeleteFileW(m_name.c_str())) return kNoError;
    DWORD err = GetLastError();
    if (GetFileAttributesW(m_name.c_str()) == INVALID_FILE_ATTRIBUTES) return kNoError;
    return err != 0 ? err : vfileErrUnknown;
}

DErrorCode VFile::MovePointer(uint32_t pos) {
    LONG high = 0;
    SetLastError(NO_ERROR);
    DWORD low = SetFilePointer(m_handle, static_cast<LONG>(pos), &high, FILE_BEGIN);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return GetLastError();
    return kNoError;
}

void VFile::ResyncPosition() {
    LONG high = 0;
    SetLastError(NO_ERROR);
    DWORD low = SetFilePointer(m_handle, 0, &high, FILE_CURRENT);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return;
    m_position = low;
    SetLastError(NO_ERROR);
    DWORD size = GetFileSize(m_handle, nullptr);
    if (size != INVALID_FILE_SIZE || GetLastError() == NO_ERROR) m_size = size;
}

DErrorCode VFile::Read(uint32_t count, void *dest, uint32_t *read) {
    uint32_t got = 0;
    if (read != nullptr) *read = 0;
    if (count == 0) return kNoError;
    if (!m_open) return ERROR_INVALID_HANDLE;
    if (dest == nullptr) return generalErrNULLPointer;
    DWORD n = 0;
    if (!ReadFile(m_handle, dest, count, &n, nullptr)) {
        DWORD err = GetLastError();
        ResyncPosition();
        if (read != nullptr) *read = n;
        return err != 0 ? err : vfileErrUnknown;
    }
    got = n;
    m_position += got;
    if (read != nullptr) *read = got;
    return got < count ? vfileErrEOF : kNoError;
}

DErrorCode VFile::Write(uint32_t count, const void *src, uint32_t *written) {
    if (written != nullptr) *written = 0;
    if (m_open && m_openMode == kVFileRead) return vfileErrReadOnly;
    if (count == 0) return kNoError;
    if (!m_open) return ERROR_INVALID_HANDLE;
    if (src == nullptr) return generalErrNULLPointer;
    DWORD n = 0;
    BOOL ok = WriteFile(m_handle, src, count, &n, nullptr);
    if (written != nullptr) *written = n;
    if (!ok || n < count) {
        DWORD err = ok ? 0 : GetLastError();
        ResyncPosition();
        if (err == 0) return vfileErrOutOfStorageSpace;
        return err;
    }
    m_position += n;
    m_size = std::max(m_size, m_position);
    return kNoError;
}

DErrorCode VFile::WriteFill(uint32_t count, BYTE value) {
    if (count == 0) return kNoError;
    if (m_open && m_openMode == kVFileRead) return vfileErrReadOnly;
    if (!m_open) return ERROR_INVALID_HANDLE;
    uint32_t chunk;
    std::unique_ptr<uint8_t[]> buffer = NewChunk(count, &chunk);
    if (!buffer) return vfileErrMemoryError;
    memset(buffer.get(), value, chunk);
    for (uint32_t left = count; left > 0;) {
        uint32_t n = std::min(left, chunk);
        DErrorCode err = Write(n, buffer.get(), nullptr);
        if (err != kNoError) return err;
        left -= n;
    }
    return kNoError;
}

DErrorCode VFile::ReadInt32(int32_t *out) {
    if (out == nullptr) return generalErrNULLPointer;
    uint8_t b[4];
    uint32_t got = 0;
    DErrorCode err = Read(4, b, &got);
    if (err != kNoError) return err;
    uint32_t v = m_bigEndian ? (uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3])
                             : (uint32_t(b[3]) << 24 | uint32_t(b[2]) << 16 | uint32_t(b[1]) << 8 | b[0]);
    *out = static_cast<int32_t>(v);
    return kNoError;
}

DErrorCode VFile::Seek(int origin, int32_t offset) {
    int64_t base;
    switch (origin) {
        case kVFileSeekStart: base = 0; break;
        case kVFileSeekCurrent: base = m_position; break;
        case kVFileSeekEnd: base = m_size; break;
        default: return vfileErrInvalidSeekMode;
    }
    if (!m_open) return ERROR_INVALID_HANDLE;
    int64_t target = base + offset;
    if (target < 0 || target > 0xFFFFFFFFLL) return vfileErrEOF;
    uint32_t pos = static_cast<uint32_t>(target);
    if (pos > m_size) {
        if (m_openMode != kVFileReadWrite) return vfileErrEOF;
        DErrorCode err = SetSize(pos);
        if (err != kNoError) return err;
    }
    DErrorCode err = MovePointer(pos);
    if (err != kNoError) return err;
    m_position = pos;
    return kNoError;
}

DErrorCode VFile::SetPosition(uint32_t position) {
    // Seek takes a signed offset; positions past 2 GB go straight to the pointer.
    if (position <= 0x7FFFFFFF) return Seek(kVFileSeekStart, static_cast<int32_t>(position));
    if (!m_open) return ERROR_INVALID_HANDLE;
    if (position > m_size) {
        if (m_openMode != kVFileReadWrite) return vfileErrEOF;
        DErrorCode err = SetSize(position);
        if (err != kNoError) return err;
    }
    DErrorCode err = MovePointer(position);
    if (err == kNoError) m_position = position;
    return err;
}

DErrorCode VFile::Flush() {
    if (!m_open) return ERROR_INVALID_HANDLE;
    if (m_openMode != kVFileReadWrite) return vfileErrReadOnly;
    if (FlushFileBuffers(m_handle)) return kNoError;
    const DWORD err = GetLastError();
    return err != 0 ? err : vfileErrUnknown;
}

DErrorCode VFile::SetSize(uint32_t size) {
    if (m_open && m_openMode == kVFileRead) return vfileErrReadOnly;
    if (!m_open) {
        // A closed file is opened just for the change and left closed.
        if (!HasName()) return vfileErrFileNotFound;
        HANDLE handle;
        DErrorCode err = OpenHandle(GENERIC_WRITE, 0, &handle);
        if (err != kNoError)
            return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND ? vfileErrFileNotFound : err;
        LONG high = 0;
        SetLastError(NO_ERROR);
        DWORD low = SetFilePointer(handle, static_cast<LONG>(size), &high, FILE_BEGIN);
        if ((low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) || !SetEndOfFile(handle)) {
            err = GetLastError();
            CloseHandle(handle);
            return err != 0 ? err : vfileErrUnknown;
        }
        CloseHandle(handle);
        m_size = size;
        m_position = std::min(m_position, size);
        return kNoError;
    }
    // Set on the open handle so that the file is never released in between.
    DErrorCode err = MovePointer(size);
    if (err == kNoError && !SetEndOfFile(m_handle)) err = GetLastError();
    uint32_t position = err == kNoError ? std::min(m_position, size) : m_position;
    if (err == kNoError) m_size = size;
    DErrorCode back = MovePointer(position);
    if (err != kNoError) {
        ResyncPosition();
        return err != 0 ? err : vfileErrUnknown;
    }
    if (back != kNoError) {
        ResyncPosition();
        return back;
    }
    m_position = position;
    return kNoError;
}

DErrorCode VFile::MoveData(int32_t delta, uint32_t length) {
    if (m_open && m_openMode == kVFileRead) return vfileErrReadOnly;
    if (!m_open) return ERROR_INVALID_HANDLE;
    const uint32_t start = m_position;
    if (length == kVFileToEnd) length = m_size - start;
    if (static_cast<uint64_t>(start) + length > m_size) return vfileErrEOF;
    const int64_t destination = static_cast<int64_t>(start) + delta;
    if (destination < 0 || destination + length > 0xFFFFFFFFLL) return vfileErrEOF;
    if (length == 0 || delta == 0) return kNoError;

    uint32_t chunk;
    std::unique_ptr<uint8_t[]> buffer = NewChunk(length, &chunk);
    if (!buffer) return vfileErrMemoryError;

    // Opening a gap moves the far end first, closing one the near end first,
    // so no chunk overwrites bytes that are still to be moved.
    DErrorCode err = kNoError;
    for (uint32_t done = 0; done < length && err == kNoError;) {
        uint32_t n = std::min(length - done, chunk);
        uint32_t from = delta > 0 ? start + length - done - n : start + done;
        uint32_t to = static_cast<uint32_t>(static_cast<int64_t>(from) + delta);
        err = SetPosition(from);
        if (err == kNoError) err = Read(n, buffer.get(), nullptr);
        if (err == kNoError) err = SetPosition(to);
        if (err == kNoError) err = Write(n, buffer.get(), nullptr);
        done += n;
    }
    DErrorCode back = SetPosition(start);
    return err != kNoError ? err : back;
}

DErrorCode VFile::Insert(const void *p, uint32_t count) {
    if (count == 0) return kNoError;
    if (count > 0x7FFFFFFF) return generalErrInvalidParameter;
    if (p == nullptr) return generalErrNULLPointer;
    DErrorCode err = MoveData(static_cast<int32_t>(count), kVFileToEnd);
    if (err != kNoError) return err;
    return Write(count, p, nullptr);
}

DErrorCode VFile::RemoveBytes(uint32_t count) {
    if (m_open && m_openMode == kVFileRead) return vfileErrReadOnly;
    if (!m_open) return ERROR_INVALID_HANDLE;
    if (count == 0) return kNoError;
    const uint32_t start = m_position;
    if (m_size - start < count) return vfileErrEOF;
    if (count > 0x7FFFFFFF) return generalErrInvalidParameter;
    const uint32_t tail = m_size - start - count;
    DErrorCode err = SetPosition(start + count);
    if (err == kNoError) err = MoveData(-static_cast<int32_t>(count), tail);
    if (err == kNoError) err = SetSize(m_size - count);
    DErrorCode back = SetPosition(start);
    return err != kNoError ? err : back;
}

DErrorCode VFile::CopyTo(VFile &dest) {
    if (&dest == this) return generalErrInvalidParameter;
    const bool wasOpen = m_open;
    const uint32_t position = m_position;
    const int destMode = dest.m_openMode;

    DErrorCode err = wasOpen ? kNoError : Open(kVFileRead);
    if (err == kNoError) err = dest.Create();
    if (err == kNoError) err = dest.Open(kVFileReadWrite);
    if (err == kNoError && m_size > 0) {
        uint32_t chunk;
        std::unique_ptr<uint8_t[]> buffer = NewChunk(m_size, &chunk);
        if (!buffer) err = vfileErrMemoryError;
        if (err == kNoError) err = SetPosition(0);
        for (uint32_t left = m_size; left > 0 && err == kNoError;) {
            uint32_t n = std::min(left, chunk);
            err = Read(n, buffer.get(), nullptr);
            if (err == kNoError) err = dest.Write(n, buffer.get(), nullptr);
            left -= n;
        }
    }

    if (wasOpen)
        SetPosition(position);
    else
        Close();
    if (err != kNoError) {
        dest.Delete();
        return err;
    }
    dest.Close();
    return destMode == kVFileClosed ? kNoError : dest.Open(destMode);
}

bool VFile::HoldTempFile() {
    m_hold = CreateFileW(m_name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    return m_hold != INVALID_HANDLE_VALUE;
}

void VFile::DropHold() {
    if (m_hold == INVALID_HANDLE_VALUE) return;
    CloseHandle(m_hold);
    m_hold = INVALID_HANDLE_VALUE;
}

DErrorCode VFile::MakeTempName() {
    // The old temporary file is this VFile's own: nobody else would delete it.
    if (m_temporary) Release();
    SweepStaleTempFilesOnce();
    WCHAR folder[MAX_PATH + 1];
    WCHAR name[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH, folder);
    if (length == 0 || length > MAX_PATH) return 1;
    // A name is ours once held: another process's start may sweep the new,
    // still unheld file first, and then the next name is tried.
    for (int attempt = 0; attempt < 8; ++attempt) {
        if (GetTempFileNameW(folder, kTempFilePrefix, 0, name) == 0) return 1;
        DErrorCode err = SetFileName(name);
        if (err != kNoError) {
            DeleteFileW(name);
            return err;
        }
        if (HoldTempFile()) {
            m_temporary = true;
            return kNoError;
        }
    }
    SetFileName(nullptr);
    return 1;
}

DErrorCode VFile::CreateTemp() {
    DErrorCode err = MakeTempName();
    if (err == kNoError) err = Create();
    if (err == kNoError) err = Open(kVFileReadWrite);
    return err;
}

DErrorCode VFile::Release() {
    Close();
    DErrorCode err = kNoError;
    if (m_temporary) err = Delete();
    DropHold();
    m_temporary = false;
    m_name.clear();
    m_name.shrink_to_fit();
    m_size = 0;
    m_position = 0;
    return err;
}
