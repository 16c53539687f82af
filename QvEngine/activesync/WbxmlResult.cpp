#include "WbxmlResult.h"

WbxmlResult WbxmlResultFromError(WBXMLError error)
{
    switch (error) {
    case WBXML_OK: return kWbxmlOk;
    case WBXML_NOT_ENCODED: return kWbxmlNotEncoded;
    case WBXML_ERROR_ATTR_TABLE_UNDEFINED: return kWbxmlErrAttrTableUndefined;
    case WBXML_ERROR_BAD_DATETIME: return kWbxmlErrBadDatetime;
    case WBXML_ERROR_BAD_PARAMETER: return kWbxmlErrBadParameter;
    case WBXML_ERROR_INTERNAL: return kWbxmlErrInternal;
    case WBXML_ERROR_LANG_TABLE_UNDEFINED: return kWbxmlErrLangTableUndefined;
    case WBXML_ERROR_NOT_ENOUGH_MEMORY: return kWbxmlErrNotEnoughMemory;
    case WBXML_ERROR_NOT_IMPLEMENTED: return kWbxmlErrNotImplemented;
    case WBXML_ERROR_TAG_TABLE_UNDEFINED: return kWbxmlErrTagTableUndefined;
    case WBXML_ERROR_WV_DATETIME_FORMAT: return kWbxmlErrWvDatetimeFormat;
    case WBXML_ERROR_ATTR_VALUE_TABLE_UNDEFINED: return kWbxmlErrAttrValueTableUndefined;
    case WBXML_ERROR_BAD_LITERAL_INDEX: return kWbxmlErrBadLiteralIndex;
    case WBXML_ERROR_BAD_NULL_TERMINATED_STRING_IN_STRING_TABLE:
        return kWbxmlErrBadNullTerminatedStringInStringTable;
    case WBXML_ERROR_BAD_OPAQUE_LENGTH: return kWbxmlErrBadOpaqueLength;
    case WBXML_ERROR_EMPTY_WBXML: return kWbxmlErrEmptyWbxml;
    case WBXML_ERROR_END_OF_BUFFER: return kWbxmlErrEndOfBuffer;
    case WBXML_ERROR_ENTITY_CODE_OVERFLOW: return kWbxmlErrEntityCodeOverflow;
    case WBXML_ERROR_EXT_VALUE_TABLE_UNDEFINED: return kWbxmlErrExtValueTableUndefined;
    case WBXML_ERROR_INVALID_STRTBL_INDEX: return kWbxmlErrInvalidStrtblIndex;
    case WBXML_ERROR_LITERAL_NOT_NULL_TERMINATED_IN_STRING_TABLE:
        return kWbxmlErrLiteralNotNullTerminatedInStringTable;
    case WBXML_ERROR_NOT_NULL_TERMINATED_INLINE_STRING: return kWbxmlErrNotNullTerminatedInlineString;
    // The library now finds an unterminated inline string when it measures it for conversion.
    case WBXML_ERROR_CHARSET_STR_LEN: return kWbxmlErrNotNullTerminatedInlineString;
    case WBXML_ERROR_NULL_PARSER: return kWbxmlErrNullParser;
    case WBXML_ERROR_NULL_STRING_TABLE: return kWbxmlErrNullStringTable;
    case WBXML_ERROR_STRING_EXPECTED: return kWbxmlErrStringExpected;
    case WBXML_ERROR_STRTBL_LENGTH: return kWbxmlErrStrtblLength;
    case WBXML_ERROR_UNKNOWN_ATTR: return kWbxmlErrUnknownAttr;
    case WBXML_ERROR_UNKNOWN_ATTR_VALUE: return kWbxmlErrUnknownAttrValue;
    case WBXML_ERROR_UNKNOWN_EXTENSION_TOKEN: return kWbxmlErrUnknownExtensionToken;
    case WBXML_ERROR_UNKNOWN_EXTENSION_VALUE: return kWbxmlErrUnknownExtensionValue;
    case WBXML_ERROR_UNKNOWN_PUBLIC_ID: return kWbxmlErrUnknownPublicId;
    case WBXML_ERROR_UNKNOWN_TAG: return kWbxmlErrUnknownTag;
    case WBXML_ERROR_UNVALID_MBUINT32: return kWbxmlErrInvalidMbUint32;
    case WBXML_ERROR_WV_INTEGER_OVERFLOW: return kWbxmlErrWvIntegerOverflow;
    case WBXML_ERROR_ENCODER_APPEND_DATA: return kWbxmlErrEncoderAppendData;
    case WBXML_ERROR_STRTBL_DISABLED: return kWbxmlErrStrtblDisabled;
    case WBXML_ERROR_UNKNOWN_XML_LANGUAGE: return kWbxmlErrUnknownXmlLanguage;
    case WBXML_ERROR_XML_NODE_NOT_ALLOWED: return kWbxmlErrXmlNodeNotAllowed;
    case WBXML_ERROR_XML_NULL_ATTR_NAME: return kWbxmlErrXmlNullAttrName;
    case WBXML_ERROR_XML_PARSING_FAILED: return kWbxmlErrXmlParsingFailed;
    default: return kWbxmlErrInternal;
    }
}
