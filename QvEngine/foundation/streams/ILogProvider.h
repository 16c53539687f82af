// ILogProvider: where all diagnostic output goes. Callers hand it numbers,
// texts and line ends, each with a level and a category mask; a piece passes
// only when its level is at most the threshold and its categories meet the
// mask, and a piece that does not pass is dropped with result 0.
//
// The provider keeps the log's encoding (a VString tag; Windows-1252 unless
// set), the threshold and mask (both 0xFFFFFFFF: everything passes), the
// level and categories of the last write, the pending piece and an optional
// formatter that sees each piece before it is written. Implementations
// write and read the log; the line helpers here are built on their writes.
#ifndef QV_ILOGPROVIDER_H
#define QV_ILOGPROVIDER_H

#include <cstdint>

#include "DErrorCode.h"
#include "ILogFormatter.h"
#include "VString.h"

constexpr unsigned kLogAllLevels = 0xFFFFFFFF;
constexpr uint32_t kLogAllCategories = 0xFFFFFFFF;

class ILogProvider {
public:
    ILogProvider();
    virtual ~ILogProvider();
    ILogProvider(const ILogProvider &) = delete;
    ILogProvider &operator=(const ILogProvider &) = delete;

    virtual DErrorCode Close();
    // Signed decimal.
    virtual DErrorCode WriteNumber(int32_t value, unsigned level, uint32_t categories) = 0;
    // Zero-terminated Windows-1252 text.
    virtual DErrorCode WriteString(const char *text, unsigned level, uint32_t categories) = 0;
    // The string in its own encoding.
    virtual DErrorCode WriteVString(const VString &text, unsigned level, uint32_t categories) = 0;
    // "0x" and lower-case hexadecimal, no padding.
    virtual DErrorCode WriteHex(int32_t value, unsigned level, uint32_t categories) = 0;
    // The text and a line end, both at the caller's level and categories.
    virtual DErrorCode WriteLine(const char *text, unsigned level, uint32_t categories);
    virtual DErrorCode NewLine(unsigned level, uint32_t categories) = 0;
    // Text, value in hexadecimal, line end; stops at the first error.
    virtual DErrorCode WriteStringHexLine(const char *text, int32_t value, unsigned level, uint32_t categories);
    virtual void SetLevel(unsigned level);
    virtual unsigned GetLevel() const;
    // A mask of all categories becomes bits; any other mask gains them.
    virtual void AddCategories(uint32_t bits);
    virtual void RemoveCategories(uint32_t bits);
    virtual void SetEncoding(VStringEncoding encoding);
    virtual VStringEncoding GetEncoding() const;
    virtual void SetFormatter(ILogFormatter *formatter);
    // Length of the log in characters of its encoding.
    virtual DErrorCode GetTextLength(uint32_t *out) = 0;
    // count characters from offset into out, in the log's encoding.
    virtual DErrorCode ReadText(uint32_t offset, uint32_t count, VString *out) = 0;

protected:
    bool Passes(unsigned level, uint32_t categories) const {
        return level <= m_levelThreshold && (categories & m_categoryMask) != 0;
    }

    VStringEncoding m_encoding;
    unsigned m_levelThreshold;
    uint32_t m_categoryMask;
    unsigned m_lastLevel;
    uint32_t m_lastCategories;
    VString m_pending;
    ILogFormatter *m_formatter;
};

#endif
