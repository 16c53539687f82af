#include "ILogProvider.h"

ILogProvider::ILogProvider()
    : m_encoding(kVStringWindows1252),
      m_levelThreshold(kLogAllLevels),
      m_categoryMask(kLogAllCategories),
      m_lastLevel(0),
      m_lastCategories(0),
      m_formatter(nullptr) {}

ILogProvider::~ILogProvider() = default;

DErrorCode ILogProvider::Close() { return kNoError; }

DErrorCode ILogProvider::WriteLine(const char *text, unsigned level, uint32_t categories) {
    DErrorCode err = WriteString(text, level, categories);
    if (err != kNoError) return err;
    // The line end shares the line's level and categories, so a dropped
    // line leaves no empty line behind and a kept line keeps its end.
    return NewLine(level, categories);
}

DErrorCode ILogProvider::WriteStringHexLine(const char *text, int32_t value, unsigned level, uint32_t categories) {
    DErrorCode err = WriteString(text, level, categories);
    if (err == kNoError) err = WriteHex(value, level, categories);
    if (err == kNoError) err = NewLine(level, categories);
    return err;
}

void ILogProvider::SetLevel(unsigned level) { m_levelThreshold = level; }

unsigned ILogProvider::GetLevel() const { return m_levelThreshold; }

void ILogProvider::AddCategories(uint32_t bits) {
    if (m_categoryMask == kLogAllCategories)
        m_categoryMask = bits;
    else
        m_categoryMask |= bits;
}

void ILogProvider::RemoveCategories(uint32_t bits) { m_categoryMask &= ~bits; }

void ILogProvider::SetEncoding(VStringEncoding encoding) { m_encoding = encoding; }

VStringEncoding ILogProvider::GetEncoding() const { return m_encoding; }

void ILogProvider::SetFormatter(ILogFormatter *formatter) { m_formatter = formatter; }
