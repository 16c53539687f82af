// VFile: the system's byte stream over one named file of the device.
//
// Contract:
// - Open mode 1 reads (others may read too); mode 2 reads and writes (no one
//   else may open the file meanwhile). 0 means closed.
// - The object keeps the file's size and the current position itself; every
//   read and write happens at the position and advances it.
// - Every operation returns a DErrorCode: 0, a VFile code (group 01), or a
//   platform error number passed through. An operation that needs an open
//   file returns ERROR_INVALID_HANDLE on a closed one, as the platform would.
// - Copies, fills and moves go through one heap buffer of at most
//   kVFileChunkSize bytes; nothing is read whole into memory.
// - A temporary file is deleted when its VFile is released or destroyed,
//   and naming a temporary VFile again deletes its old file. While the VFile
//   keeps it, the file is held open (a handle without access, which takes
//   no part in sharing) so that the sweep of stale temporary files at a
//   process's start (TempFileSweep.h) passes it by, even while it is closed.
// - Non-copyable: the object owns its handle.
#ifndef QV_VFILE_H
#define QV_VFILE_H

#include <cstdint>
#include <string>

#include "DErrorCode.h"
#include "wintypes.h"

// Largest transfer buffer of copies, fills and moves.
constexpr uint32_t kVFileChunkSize = 0x40000;
// MoveData length meaning "from the position to the end of the file".
constexpr uint32_t kVFileToEnd = 0x7FFE7FFE;

enum VFileOpenMode : int { kVFileClosed = 0, kVFileRead = 1, kVFileReadWrite = 2 };
enum VFileSeekOrigin : int { kVFileSeekStart = 0, kVFileSeekCurrent = 1, kVFileSeekEnd = 2 };

class VFile {
public:
    VFile();
    virtual ~VFile();
    VFile(const VFile &) = delete;
    VFile &operator=(const VFile &) = delete;

    // Names the file (a device path); null forgets the name.
    DErrorCode SetFileName(const WCHAR *path);
    DErrorCode CopyFileName(const VFile &other);
    // Copies the full path and/or the part after the last '\' or '/' into
    // the caller's buffers (capacities in WCHARs, terminator included);
    // either buffer may be null. A buffer too small gets an empty string and
    // the result is generalErrBufferTooSmall. An unnamed file gives "".
    DErrorCode GetFileName(WCHAR *fullPath, uint32_t fullPathCapacity, WCHAR *namePart,
                           uint32_t namePartCapacity) const;
    DErrorCode Exists(bool *out) const;

    DErrorCode Open(int mode);
    DErrorCode Close();
    DErrorCode IsOpen(bool *out) const;
    int GetOpenMode() const { return m_openMode; }
    // Open: the size as this object sees it; closed: the size on disk.
    DErrorCode GetSize(uint32_t *out) const;
    DErrorCode GetPosition(uint32_t *out) const;
    // ReadInt32 swaps the bytes it reads when set.
    void SetBigEndian(bool bigEndian) { m_bigEndian = bigEndian; }

    // Makes the file empty (replacing any file of that name); leaves it closed.
    DErrorCode Create();
    // Closes and deletes the file, read-only or not.
    DErrorCode Delete();

    DErrorCode Read(uint32_t count, void *dest, uint32_t *read);
    DErrorCode Write(uint32_t count, const void *src, uint32_t *written);
    DErrorCode WriteFill(uint32_t count, BYTE value);
    DErrorCode ReadInt32(int32_t *out);

    // Moves the position; beyond the end a read/write file grows with zeros.
    DErrorCode Seek(int origin, int32_t offset);
    DErrorCode SetPosition(uint32_t position);
    // Cuts or extends (with zeros) the file; works open read/write or closed.
    DErrorCode SetSize(uint32_t size);
    // Puts what was written on the storage before it returns (a file open
    // read/write; vfileErrReadOnly otherwise), so that a later write can
    // never reach the storage before it.
    DErrorCode Flush();

    // Moves length bytes (kVFileToEnd: up to the end) at the position by
    // delta; overlapping ranges survive. The position stays.
    DErrorCode MoveData(int32_t delta, uint32_t length);
    // Inserts count bytes at the position; the position ends after them.
    DErrorCode Insert(const void *p, uint32_t count);
    // Deletes count bytes at the position; the position stays.
    DErrorCode RemoveBytes(uint32_t count);
    // Replaces dest's file with a copy of this file; on failure dest's file
    // is deleted. Both files are left open or closed as they were.
    DErrorCode CopyTo(VFile &dest);

    // Names a fresh file "$KW..." in the platform's temporary folder and
    // marks this VFile temporary; 1 when no name can be made.
    DErrorCode MakeTempName();
    // A new, empty temporary file, open read/write.
    DErrorCode CreateTemp();
    // Closes, deletes a temporary file and forgets the name.
    DErrorCode Release();

private:
    bool HasName() const { return !m_name.empty(); }
    // Puts the handle's file pointer at pos (no growth).
    DErrorCode MovePointer(uint32_t pos);
    // Re-reads the position from the handle after a failed transfer.
    void ResyncPosition();
    // Opens the named file with the given access; the platform error on failure.
    DErrorCode OpenHandle(DWORD access, DWORD share, HANDLE *out) const;
    // The temporary file's hold: taken while the file exists, dropped before
    // it is deleted or the VFile names another file.
    bool HoldTempFile();
    void DropHold();

    HANDLE m_handle;
    HANDLE m_hold;
    std::u16string m_name;
    bool m_open;
    int m_openMode;
    bool m_bigEndian;
    bool m_temporary;
    uint32_t m_size;
    uint32_t m_position;
};

#endif
