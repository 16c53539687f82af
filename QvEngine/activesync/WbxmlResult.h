#pragma once

// The WBXML error numbers the engine reports. The engine's callers and its logs know the library's errors by the
// numbers of its earlier releases, which ran without gaps; the library now in use numbers them in groups of ten.
// WbxmlResultFromError renumbers at the adapter, so no caller ever sees the library's own numbers.

#include <wbxml/wbxml.h>

enum WbxmlResult : unsigned {
    kWbxmlOk = 0,
    kWbxmlNotEncoded = 1,
    kWbxmlErrAttrTableUndefined = 2,
    kWbxmlErrBadDatetime = 3,
    kWbxmlErrBadParameter = 4,
    kWbxmlErrInternal = 5,
    kWbxmlErrLangTableUndefined = 6,
    kWbxmlErrNotEnoughMemory = 7,
    kWbxmlErrNotImplemented = 8,
    kWbxmlErrTagTableUndefined = 9,
    kWbxmlErrWvDatetimeFormat = 10,
    kWbxmlErrAttrValueTableUndefined = 11,
    kWbxmlErrBadLiteralIndex = 12,
    kWbxmlErrBadNullTerminatedStringInStringTable = 13,
    kWbxmlErrBadOpaqueLength = 14,
    kWbxmlErrEmptyWbxml = 15,
    kWbxmlErrEndOfBuffer = 16,
    kWbxmlErrEntityCodeOverflow = 17,
    kWbxmlErrExtValueTableUndefined = 18,
    kWbxmlErrInvalidStrtblIndex = 19,
    kWbxmlErrLiteralNotNullTerminatedInStringTable = 20,
    kWbxmlErrNotNullTerminatedInlineString = 21,
    kWbxmlErrNullParser = 22,
    kWbxmlErrNullStringTable = 23,
    kWbxmlErrStringExpected = 24,
    kWbxmlErrStrtblLength = 25,
    kWbxmlErrUnknownAttr = 26,
    kWbxmlErrUnknownAttrValue = 27,
    kWbxmlErrUnknownExtensionToken = 28,
    kWbxmlErrUnknownExtensionValue = 29,
    kWbxmlErrUnknownPublicId = 30,
    kWbxmlErrUnknownTag = 31,
    kWbxmlErrInvalidMbUint32 = 32,
    kWbxmlErrWvIntegerOverflow = 33,
    kWbxmlErrEncoderAppendData = 34,
    kWbxmlErrStrtblDisabled = 35,
    kWbxmlErrUnknownXmlLanguage = 36,
    kWbxmlErrXmlNodeNotAllowed = 37,
    kWbxmlErrXmlNullAttrName = 38,
    kWbxmlErrXmlParsingFailed = 39,
    // The engine's own refusal, after the library's numbers: elements nested deeper than the adapter takes.
    kWbxmlErrNestingTooDeep = 40,
};

// The engine's number for an error of the library. An inline string without its end, which the library now
// reports as a bad string length, is kWbxmlErrNotNullTerminatedInlineString; errors that the earlier numbering has
// no place for (base64, character-set conversion, XML reader setup) are kWbxmlErrInternal.
WbxmlResult WbxmlResultFromError(WBXMLError error);
