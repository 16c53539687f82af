// MemoryLog: a log provider for tests that keeps everything written as
// narrow text (wide text converted to Windows-1252), so a test can look for
// the lines a piece wrote. Numbers in hexadecimal read "0x" and lower-case
// digits, or, made with paddedHex, "0x" and eight upper-case digits.
#ifndef VTEST_MEMORYLOG_H
#define VTEST_MEMORYLOG_H

#include <cstdio>
#include <string>

#include "ILogProvider.h"
#include "VString.h"

class MemoryLog : public ILogProvider {
public:
    explicit MemoryLog(bool paddedHex = false) : m_paddedHex(paddedHex) {}

    std::string text;

    DErrorCode WriteNumber(int32_t value, unsigned, uint32_t) override { return Put(std::to_string(value)); }
    DErrorCode WriteString(const char *s, unsigned, uint32_t) override { return Put(s != nullptr ? s : ""); }
    DErrorCode WriteVString(const VString &s, unsigned, uint32_t) override {
        VString copy;
        copy.Assign(s);
        copy.ConvertTo(kVStringWindows1252);
        return Put(copy.GetNarrowText() != nullptr ? copy.GetNarrowText() : "");
    }
    DErrorCode WriteHex(int32_t value, unsigned, uint32_t) override {
        char hex[16];
        std::snprintf(hex, sizeof hex, m_paddedHex ? "0x%08X" : "0x%x", unsigned(value));
        return Put(hex);
    }
    DErrorCode NewLine(unsigned, uint32_t) override { return Put("\n"); }
    DErrorCode GetTextLength(uint32_t *) override { return generalErrNotImplemented; }
    DErrorCode ReadText(uint32_t, uint32_t, VString *) override { return generalErrNotImplemented; }
    bool Has(const std::string &piece) const { return text.find(piece) != std::string::npos; }

private:
    DErrorCode Put(const std::string &s) {
        text += s;
        return kNoError;
    }

    bool m_paddedHex;
};

#endif
