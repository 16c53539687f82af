#include "WbxmlScreen.h"

#include <cstdint>
#include <cstring>

namespace {

// WBXML global tokens.
constexpr unsigned char kSwitchPage = 0x00;
constexpr unsigned char kEnd = 0x01;
constexpr unsigned char kEntity = 0x02;
constexpr unsigned char kStrI = 0x03;
constexpr unsigned char kLiteral = 0x04;
constexpr unsigned char kPi = 0x43;
constexpr unsigned char kLiteralC = 0x44;
constexpr unsigned char kStrT = 0x83;
constexpr unsigned char kLiteralA = 0x84;
constexpr unsigned char kOpaque = 0xC3;
constexpr unsigned char kLiteralAc = 0xC4;
constexpr unsigned char kWithContent = 0x40;
constexpr unsigned char kWithAttributes = 0x80;

// Character sets (IANA MIB numbers) whose strings end in one NUL byte; 0 is "unknown", which the parser reads
// as UTF-8.
constexpr uint32_t kCharsetUnknown = 0;
constexpr uint32_t kCharsetAscii = 3;
constexpr uint32_t kCharsetLatin1 = 4;
constexpr uint32_t kCharsetUtf8 = 106;

constexpr uint32_t kLastUnicode = 0x10FFFF;

bool IsExtension(unsigned char b)
{
    return (b >= 0x40 && b <= 0x42) || (b >= 0x80 && b <= 0x82) || (b >= 0xC0 && b <= 0xC2);
}

bool IsLiteral(unsigned char b)
{
    return b == kLiteral || b == kLiteralC || b == kLiteralA || b == kLiteralAc;
}

// Walks the bytes once. Each step either moves on, finds the bytes cut short (then the screen passes them: the
// parser reports the fault at that place), or refuses.
class DWbxmlScreen {
public:
    DWbxmlScreen(const unsigned char* bytes, unsigned length) : m_at(bytes), m_end(bytes + length) {}

    WbxmlResult Run();

private:
    enum class Step { kOn, kCut, kRefused };

    // Where the body walk is.
    enum class State {
        kRoot,       // waits for the root element (or a processing instruction); goes to kRootTag or kContent
        kRootTag,    // after a page switch before the root: waits for its tag; goes to kContent or kDone
        kContent,    // inside an open element: waits for content or its end; goes to kAfterRoot at the root's end
        kAfterRoot,  // after the root: only processing instructions would be read, and they are refused
        kDone,       // the parser reads nothing further
    };

    std::size_t Left() const { return static_cast<std::size_t>(m_end - m_at); }
    Step Skip(std::size_t count);
    Step MbUint32(uint32_t* value);
    Step Header();
    Step Tag(State* next);
    Step Content(State* next);
    // A literal tag or a table string: the parser would look it up in the table.
    Step RefuseTableReference() { return Refuse(m_hasTable ? kWbxmlErrStrtblDisabled : kWbxmlErrNullStringTable); }
    Step Refuse(WbxmlResult why)
    {
        m_refusal = why;
        return Step::kRefused;
    }

    const unsigned char* m_at;
    const unsigned char* const m_end;
    unsigned m_depth = 0;
    bool m_hasTable = false;
    WbxmlResult m_refusal = kWbxmlOk;
};

DWbxmlScreen::Step DWbxmlScreen::Skip(std::size_t count)
{
    if (Left() < count)
        return Step::kCut;
    m_at += count;
    return Step::kOn;
}

DWbxmlScreen::Step DWbxmlScreen::MbUint32(uint32_t* value)
{
    uint64_t v = 0;
    for (int i = 0; i < 5; ++i) {
        if (m_at == m_end)
            return Step::kCut;
        const unsigned char b = *m_at++;
        v = (v << 7) | (b & 0x7F);
        if ((b & 0x80) == 0) {
            // The parser keeps only the low 32 bits; a larger number means something other than what was sent.
            if (v > UINT32_MAX)
                return Refuse(kWbxmlErrInvalidMbUint32);
            *value = static_cast<uint32_t>(v);
            return Step::kOn;
        }
    }
    return Refuse(kWbxmlErrInvalidMbUint32);
}

DWbxmlScreen::Step DWbxmlScreen::Header()
{
    if (m_at == m_end)
        return Step::kCut;
    const unsigned char version = *m_at++;
    if (m_at == m_end)
        return Step::kCut;
    uint32_t number = 0;
    // A public id of 0 is followed by its index in the string table.
    const bool publicIdInTable = *m_at == 0x00;
    if (publicIdInTable)
        ++m_at;
    Step step = MbUint32(&number);
    if (step != Step::kOn)
        return step;
    // WBXML 1.0 carries no character set.
    if (version != 0x00) {
        if ((step = MbUint32(&number)) != Step::kOn)
            return step;
        if (number != kCharsetUnknown && number != kCharsetAscii && number != kCharsetLatin1 &&
            number != kCharsetUtf8)
            return Refuse(kWbxmlErrInternal);
    }
    if ((step = MbUint32(&number)) != Step::kOn)
        return step;
    if (number == 0)
        return Step::kOn;
    // A table longer than the answer is the parser's to report, as before.
    if (number > Left())
        return Step::kCut;
    // Encoders that name the public id in words put it in a table even with the table otherwise off; such a table
    // is only looked up for the public id, since the body may not refer to it.
    if (!publicIdInTable)
        return Refuse(kWbxmlErrStrtblDisabled);
    m_hasTable = true;
    m_at += number;
    return Step::kOn;
}

// An element's tag, at the parser's stag.
DWbxmlScreen::Step DWbxmlScreen::Tag(State* next)
{
    if (m_at == m_end)
        return Step::kCut;
    const unsigned char tag = *m_at++;
    if (IsLiteral(tag))
        return RefuseTableReference();
    if (tag & kWithAttributes)
        return Refuse(kWbxmlErrAttrTableUndefined);
    if (tag & kWithContent) {
        if (++m_depth > kWbxmlMaxDepth)
            return Refuse(kWbxmlErrNestingTooDeep);
        *next = State::kContent;
    } else {
        *next = m_depth == 0 ? State::kAfterRoot : State::kContent;
    }
    return Step::kOn;
}

// One piece of content, tested in the parser's order.
DWbxmlScreen::Step DWbxmlScreen::Content(State* next)
{
    *next = State::kContent;
    if (m_at == m_end)
        return Step::kCut;
    const unsigned char b = *m_at;
    // A page switch followed by an extension token belongs to the extension.
    if (IsExtension(b) || (b == kSwitchPage && Left() > 2 && IsExtension(m_at[2])))
        return Refuse(kWbxmlErrUnknownExtensionToken);
    uint32_t number = 0;
    Step step = Step::kOn;
    switch (b) {
    case kEntity:
        ++m_at;
        if ((step = MbUint32(&number)) != Step::kOn)
            return step;
        // Only Unicode scalar values: the parser turns any other code into bytes that are not UTF-8.
        if (number > kLastUnicode || (number >= 0xD800 && number <= 0xDFFF))
            return Refuse(kWbxmlErrEntityCodeOverflow);
        return Step::kOn;
    case kStrI: {
        ++m_at;
        const void* nul = std::memchr(m_at, 0, Left());
        if (nul == nullptr)
            return Step::kCut;
        m_at = static_cast<const unsigned char*>(nul) + 1;
        return Step::kOn;
    }
    case kStrT:
        return RefuseTableReference();
    case kOpaque:
        ++m_at;
        if ((step = MbUint32(&number)) != Step::kOn)
            return step;
        return number > Left() ? Refuse(kWbxmlErrBadOpaqueLength) : Skip(number);
    case kPi:
        return Refuse(kWbxmlErrAttrTableUndefined);
    case kSwitchPage:
        return Skip(2);
    case kEnd:
        ++m_at;
        if (--m_depth == 0)
            *next = State::kAfterRoot;
        return Step::kOn;
    default:
        return Tag(next);
    }
}

WbxmlResult DWbxmlScreen::Run()
{
    Step step = Header();
    State state = State::kRoot;
    while (step == Step::kOn && state != State::kDone) {
        switch (state) {
        case State::kRoot:
            if (m_at == m_end)
                step = Step::kCut;
            else if (*m_at == kPi)
                step = Refuse(kWbxmlErrAttrTableUndefined);
            else if (*m_at == kSwitchPage) {
                step = Skip(2);
                state = State::kRootTag;
            } else
                step = Tag(&state);
            break;
        case State::kRootTag:
            step = Tag(&state);
            break;
        case State::kContent:
            step = Content(&state);
            break;
        case State::kAfterRoot:
            if (m_at != m_end && *m_at == kPi)
                step = Refuse(kWbxmlErrAttrTableUndefined);
            state = State::kDone;
            break;
        case State::kDone:
            break;
        }
    }
    return step == Step::kRefused ? m_refusal : kWbxmlOk;
}

}  // namespace

WbxmlResult WbxmlScreenAnswer(const unsigned char* bytes, unsigned length)
{
    if (bytes == nullptr)
        return kWbxmlOk;
    return DWbxmlScreen(bytes, length).Run();
}
