#pragma once

// The first look at a server's WBXML answer, before the WBXML library parses it: one pass over the bytes, in the
// order the library reads them, that refuses what this protocol never sends and what the library cannot take
// safely. Refused: a string table (except one that only names the public id) and everything in the body that
// refers to one (literal tag names, table strings), attributes
// and processing instructions, extension tokens, character sets whose strings do not end in one NUL byte, entities
// that are no Unicode character (the library asserts on codes of 2^31 and above), multi-byte numbers that do not
// fit 32 bits, opaque data longer than the answer (the library's length check wraps around), and elements nested
// deeper than kWbxmlMaxDepth (the library's parser recurses once per level). Bytes that end too early are left to
// the parser, which names the exact fault; everything before them has been screened.

#include "WbxmlResult.h"

// ActiveSync answers nest about a dozen deep; this bound leaves wide room and keeps the parser's stack small.
constexpr unsigned kWbxmlMaxDepth = 256;

// kWbxmlOk when nothing is refused. Refusals: kWbxmlErrStrtblDisabled (a string table, or a literal tag or table
// string when the answer has one), kWbxmlErrNullStringTable (a literal tag or a table string in an answer without
// one), kWbxmlErrAttrTableUndefined (attributes, a
// processing instruction), kWbxmlErrUnknownExtensionToken, kWbxmlErrInternal (a character set other than UTF-8,
// US-ASCII or ISO-8859-1), kWbxmlErrEntityCodeOverflow, kWbxmlErrInvalidMbUint32, kWbxmlErrBadOpaqueLength,
// kWbxmlErrNestingTooDeep.
WbxmlResult WbxmlScreenAnswer(const unsigned char* bytes, unsigned length);
