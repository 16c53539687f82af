// ILogFormatter: an optional hook of a log provider. The provider calls it
// with each piece of text just before the piece is written, with the level
// and categories of that write; it may change the text (for example to put
// a time stamp in front of it). The provider does not own its formatter.
#ifndef QV_ILOGFORMATTER_H
#define QV_ILOGFORMATTER_H

#include <cstdint>

class VString;

class ILogFormatter {
public:
    virtual ~ILogFormatter() = default;
    virtual void FormatLogText(VString &text, unsigned level, uint32_t categories) = 0;
};

#endif
