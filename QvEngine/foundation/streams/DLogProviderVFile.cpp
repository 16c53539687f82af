#include "DLogProviderVFile.h"

#include <algorithm>
#include <cstdio>
#include <new>

namespace {

// A cut removes at least this much of the oldest text, so that cuts are rare.
constexpr uint32_t kMinCut = 2048;
// The first bytes of the file are never cut (the byte-order mark of a wide log).
constexpr uint32_t kKeptHead = 2;
// ReadText reads the file in pieces of this many bytes.
constexpr uint32_t kReadPiece = 1024;

// Copies text (units of 1 or 2 bytes, up to its terminator or byteCount
// bytes) into a new buffer with a CR put in front of every LF.
DErrorCode ExpandLineEnds(const void *text, uint32_t byteCount, uint32_t unit, std::unique_ptr<uint8_t[]> *out,
                          uint32_t *outLength) {
    const uint8_t *src = static_cast<const uint8_t *>(text);
    auto unitAt = [&](uint32_t i) -> unsigned {
        return unit == 1 ? src[i] : static_cast<unsigned>(src[2 * i] | src[2 * i + 1] << 8);
    };
    uint32_t units = 0;
    uint32_t lineFeeds = 0;
    if (src != nullptr) {
        for (uint32_t limit = byteCount / unit; units < limit && unitAt(units) != 0; ++units)
            if (unitAt(units) == '\n') ++lineFeeds;
    }
    const uint64_t length = (static_cast<uint64_t>(units) + lineFeeds) * unit;
    if (length > 0xFFFFFFFFu) return generalErrInvalidParameter;
    out->reset(new (std::nothrow) uint8_t[length > 0 ? length : 1]);
    if (!*out) return generalErrMemoryError;
    uint8_t *dst = out->get();
    for (uint32_t i = 0; i < units; ++i) {
        if (unitAt(i) == '\n') {
            *dst++ = '\r';
            if (unit == 2) *dst++ = 0;
        }
        for (uint32_t b = 0; b < unit; ++b) *dst++ = src[i * unit + b];
    }
    *outLength = static_cast<uint32_t>(length);
    return kNoError;
}

}  // namespace

DLogProviderVFile::DLogProviderVFile() : m_openMode(0), m_maxSize(kLogNoMaxSize), m_opened(false) {}

DLogProviderVFile::~DLogProviderVFile() {
    if (m_file) m_file->Close();
}

DErrorCode DLogProviderVFile::Close() {
    if (m_file) m_file->Close();
    m_opened = false;
    return kNoError;
}

DErrorCode DLogProviderVFile::WriteNumber(int32_t value, unsigned level, uint32_t categories) {
    char text[16];
    snprintf(text, sizeof text, "%d", static_cast<int>(value));
    return WriteString(text, level, categories);
}

DErrorCode DLogProviderVFile::WriteString(const char *text, unsigned level, uint32_t categories) {
    if (!Passes(level, categories)) return kNoError;
    DErrorCode err = m_pending.AssignCStr(text, kVStringWindows1252);
    return err != kNoError ? err : FlushPending(level, categories);
}

DErrorCode DLogProviderVFile::WriteVString(const VString &text, unsigned level, uint32_t categories) {
    if (!Passes(level, categories)) return kNoError;
    DErrorCode err = m_pending.Assign(text);
    return err != kNoError ? err : FlushPending(level, categories);
}

DErrorCode DLogProviderVFile::WriteHex(int32_t value, unsigned level, uint32_t categories) {
    char text[16];
    snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(value));
    return WriteString(text, level, categories);
}

DErrorCode DLogProviderVFile::NewLine(unsigned level, uint32_t categories) {
    return WriteString("\n", level, categories);
}

DErrorCode DLogProviderVFile::GetTextLength(uint32_t *out) {
    if (out == nullptr) return generalErrNULLPointer;
    uint32_t size = 0;
    DErrorCode err = GetSize(&size);
    if (err != kNoError) return err;
    *out = VString::IsWideEncoding(m_encoding) ? size / 2 : size;
    return kNoError;
}

DErrorCode DLogProviderVFile::ReadText(uint32_t offset, uint32_t count, VString *out) {
    if (out == nullptr) return generalErrNULLPointer;
    out->Clear();
    // One piece and room for a wide terminator.
    std::unique_ptr<WCHAR[]> buffer(new (std::nothrow) WCHAR[kReadPiece / 2 + 1]);
    if (!buffer) return generalErrMemoryError;
    uint32_t length = 0;
    DErrorCode err = GetTextLength(&length);
    if (err != kNoError) return err;
    if (offset >= length) return kNoError;
    count = std::min(count, length - offset);

    const bool wide = VString::IsWideEncoding(m_encoding);
    const uint32_t unit = wide ? 2 : 1;
    const uint64_t end = (static_cast<uint64_t>(offset) + count) * unit;
    VString piece;
    for (uint64_t at = static_cast<uint64_t>(offset) * unit; at < end;) {
        uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kReadPiece, end - at));
        err = ReadAt(buffer.get(), static_cast<uint32_t>(at), n);
        if (err != kNoError) return err;
        err = wide ? piece.AssignWide(buffer.get(), n / 2, m_encoding)
                   : piece.AssignNarrow(reinterpret_cast<const char *>(buffer.get()), n, m_encoding);
        if (err == kNoError) err = out->Append(piece);
        if (err != kNoError) return err;
        at += n;
    }
    return kNoError;
}

DErrorCode DLogProviderVFile::EnsureOpen() {
    if (!m_file) return generalErrNotInitialized;
    return m_opened ? kNoError : OpenFile(kLogAppend);
}

DErrorCode DLogProviderVFile::ApplyCap(const uint8_t **bytes, uint32_t *length) {
    const bool wide = m_encoding == kVStringUTF16LE;
    uint32_t size = 0;
    m_file->GetSize(&size);
    // The file keeps its head, so one piece may take only the room after it.
    const uint32_t head = std::min(size, kKeptHead);
    uint32_t room = m_maxSize > head ? m_maxSize - head : 0;
    if (wide) room &= ~1u;
    if (*length > room) {
        *bytes += *length - room;
        *length = room;
    }
    if (static_cast<uint64_t>(size) + *length <= m_maxSize || size <= kKeptHead) return kNoError;

    // At least the minimum cut (no more than the cap), and never less than
    // what brings the file back under the cap: a file found far above it
    // (a larger cap before, or copied in) is cut to fit at once.
    uint64_t cut = static_cast<uint64_t>(size) + *length - m_maxSize;
    cut = std::max<uint64_t>(cut, std::min(kMinCut, m_maxSize));
    if (wide && (cut & 1)) ++cut;
    cut = std::min<uint64_t>(cut, size - kKeptHead);
    if (wide && (cut & 1)) --cut;
    if (cut == 0) return kNoError;

    DErrorCode err = m_file->SetPosition(kKeptHead);
    if (err == kNoError) err = m_file->RemoveBytes(static_cast<uint32_t>(cut));
    return err;
}

DErrorCode DLogProviderVFile::WriteBytes(const void *text, uint32_t byteCount) {
    DErrorCode err = EnsureOpen();
    if (err != kNoError) return err;

    const uint8_t *bytes = static_cast<const uint8_t *>(text);
    uint32_t length = byteCount;
    std::unique_ptr<uint8_t[]> expanded;
    if (m_encoding == kVStringUTF16LE || m_encoding == kVStringWindows1252) {
        err = ExpandLineEnds(text, byteCount, m_encoding == kVStringUTF16LE ? 2 : 1, &expanded, &length);
        if (err != kNoError) return err;
        bytes = expanded.get();
    }
    // The cap counts the bytes as they go to the file, line ends included.
    if (m_maxSize != kLogNoMaxSize) {
        err = ApplyCap(&bytes, &length);
        if (err != kNoError) return err;
    }
    if (length == 0) return kNoError;
    err = m_file->Seek(kVFileSeekEnd, 0);
    if (err != kNoError) return err;
    return m_file->Write(length, bytes, nullptr);
}

DErrorCode DLogProviderVFile::ReadAt(void *buffer, uint32_t offset, uint32_t count) {
    DErrorCode err = EnsureOpen();
    if (err != kNoError) return err;
    uint32_t size = 0;
    uint32_t position = 0;
    m_file->GetSize(&size);
    m_file->GetPosition(&position);
    // Seeking past the end of a writable file would grow the log.
    if (offset > size) return vfileErrEOF;
    err = m_file->SetPosition(offset);
    if (err == kNoError) err = m_file->Read(count, buffer, nullptr);
    DErrorCode back = m_file->SetPosition(position);
    return err != kNoError ? err : back;
}

DErrorCode DLogProviderVFile::GetSize(uint32_t *out) {
    if (out == nullptr) return generalErrNULLPointer;
    DErrorCode err = EnsureOpen();
    if (err != kNoError) return err;
    return m_file->GetSize(out);
}

DErrorCode DLogProviderVFile::FlushPending(unsigned level, uint32_t categories) {
    m_lastLevel = level;
    m_lastCategories = categories;
    if (m_formatter != nullptr) m_formatter->FormatLogText(m_pending, level, categories);
    DErrorCode err = m_pending.ConvertTo(m_encoding);
    if (err != kNoError) return err;
    const void *text = VString::IsWideEncoding(m_encoding) ? static_cast<const void *>(m_pending.GetWideText())
                                                           : static_cast<const void *>(m_pending.GetNarrowText());
    return WriteBytes(text, m_pending.GetLength());
}

DErrorCode DLogProviderVFile::OpenFile(int mode) {
    if (!m_file) return generalErrNotInitialized;
    m_file->Close();
    m_opened = false;
    bool exists = false;
    m_file->Exists(&exists);
    DErrorCode err;
    if (mode == kLogAppend && exists) {
        err = m_file->Open(kVFileReadWrite);
    } else {
        err = m_file->Create();
        if (err == kNoError) err = m_file->Open(kVFileReadWrite);
    }
    if (err != kNoError) return err;
    uint32_t size = 0;
    m_file->GetSize(&size);
    // An empty wide log, new or found empty, starts with its byte-order mark.
    if (size == 0 && m_encoding == kVStringUTF16LE) {
        static const uint8_t kByteOrderMark[2] = {0xFF, 0xFE};
        err = m_file->Write(sizeof kByteOrderMark, kByteOrderMark, nullptr);
        if (err != kNoError) {
            m_file->Close();
            return err;
        }
    }
    err = m_file->Seek(kVFileSeekEnd, 0);
    if (err != kNoError) {
        m_file->Close();
        return err;
    }
    m_opened = true;
    return kNoError;
}

DErrorCode DLogProviderVFile::Open(const VFile &name, int mode, uint32_t maxSize) {
    m_openMode = mode;
    m_maxSize = maxSize;
    if (m_file) {
        m_file->Close();
        m_opened = false;
    } else {
        m_file.reset(new (std::nothrow) VFile);
        if (!m_file) return generalErrMemoryError;
    }
    DErrorCode err = m_file->CopyFileName(name);
    return err != kNoError ? err : OpenFile(mode);
}

DErrorCode DLogProviderVFile::GetFile(VFile **out) {
    if (out == nullptr) return generalErrNULLPointer;
    *out = m_file.get();
    return m_file ? kNoError : generalErrNotInitialized;
}

int DLogProviderVFile::GetOpenMode() const { return m_openMode; }

uint32_t DLogProviderVFile::GetMaxFileSize() const { return m_maxSize; }
