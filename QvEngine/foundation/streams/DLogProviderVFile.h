// DLogProviderVFile: the log provider that appends to a text file through a
// VFile. Line feeds are written as CR LF in Windows-1252 and UTF-16LE logs,
// a new UTF-16LE log starts with the byte-order mark FF FE, and a maximum
// size keeps the file under its cap by cutting its oldest text (the first
// two bytes stay) at least 2048 bytes at a time, so the log always holds its
// newest text.
//
// Lifecycle: created with no file; Open names the file and opens it (mode 1
// appends to an existing file, any other mode starts a new one). Close
// closes the file; the next write or read reopens it for appending. Writes
// and reads before the first Open give generalErrNotInitialized.
#ifndef QV_DLOGPROVIDERVFILE_H
#define QV_DLOGPROVIDERVFILE_H

#include <cstdint>
#include <memory>

#include "ILogProvider.h"
#include "VFile.h"

// Maximum size meaning "no cap".
constexpr uint32_t kLogNoMaxSize = 0xFFFFFFFF;
// Open mode that appends to an existing log.
constexpr int kLogAppend = 1;

class DLogProviderVFile : public ILogProvider {
public:
    DLogProviderVFile();
    ~DLogProviderVFile() override;

    DErrorCode Close() override;
    DErrorCode WriteNumber(int32_t value, unsigned level, uint32_t categories) override;
    DErrorCode WriteString(const char *text, unsigned level, uint32_t categories) override;
    DErrorCode WriteVString(const VString &text, unsigned level, uint32_t categories) override;
    DErrorCode WriteHex(int32_t value, unsigned level, uint32_t categories) override;
    DErrorCode NewLine(unsigned level, uint32_t categories) override;
    // The file size in bytes, halved for a wide log.
    DErrorCode GetTextLength(uint32_t *out) override;
    // Offset and count in characters; a count past the end reads to the end.
    DErrorCode ReadText(uint32_t offset, uint32_t count, VString *out) override;

    // Applies the cap and appends text of byteCount bytes (a wide text for
    // a UTF-16 log) at the end of the file.
    virtual DErrorCode WriteBytes(const void *text, uint32_t byteCount);
    // Reads count bytes at offset; the write position is kept.
    virtual DErrorCode ReadAt(void *buffer, uint32_t offset, uint32_t count);
    virtual DErrorCode GetSize(uint32_t *out);
    // Formats the pending text, converts it to the log's encoding and writes it.
    virtual DErrorCode FlushPending(unsigned level, uint32_t categories);
    virtual DErrorCode OpenFile(int mode);
    // Names the log after name's file and opens it; maxSize kLogNoMaxSize: no cap.
    virtual DErrorCode Open(const VFile &name, int mode, uint32_t maxSize);
    // The log's VFile (open for writing while the log is open).
    virtual DErrorCode GetFile(VFile **out);
    virtual int GetOpenMode() const;
    virtual uint32_t GetMaxFileSize() const;

private:
    // Reopens the file for appending when a Close left it closed.
    DErrorCode EnsureOpen();
    // Cuts the oldest text so that the piece fits under the cap; the piece
    // itself may lose its start when it alone would pass the cap.
    DErrorCode ApplyCap(const uint8_t **bytes, uint32_t *length);

    int m_openMode;
    uint32_t m_maxSize;
    std::unique_ptr<VFile> m_file;
    bool m_opened;
};

#endif
