// DHTTPHeaderList: HTTP headers in insertion order, at most one per name
// (names compare case-insensitively, ASCII). Setting a name that is there
// replaces its value in place, so the header keeps its position and its
// first spelling. A cursor walks the list (First, Next); removing the
// header under the cursor moves the cursor back to the head.
//
// Headers are also addressed by type id (EHTTPHeaderType); an id outside
// the table is httpErrUnknownHeaderType.
#ifndef QV_DHTTPHEADERLIST_H
#define QV_DHTTPHEADERLIST_H

#include <cstdint>
#include <list>
#include <memory>
#include <string>

#include "DErrorCode.h"
#include "DHTTPHeader.h"

enum EHTTPHeaderType : uint32_t {
    kHTTPHeaderAccept = 0,
    kHTTPHeaderAcceptCharset,
    kHTTPHeaderAcceptEncoding,
    kHTTPHeaderAcceptLanguage,
    kHTTPHeaderAcceptRanges,
    kHTTPHeaderAge,
    kHTTPHeaderAllow,
    kHTTPHeaderAuthorization,
    kHTTPHeaderCacheControl,
    kHTTPHeaderConnection,
    kHTTPHeaderContentEncoding,
    kHTTPHeaderContentLanguage,
    kHTTPHeaderContentLength,
    kHTTPHeaderContentLocation,
    kHTTPHeaderContentMD5,
    kHTTPHeaderContentRange,
    kHTTPHeaderContentType,
    kHTTPHeaderDate,
    kHTTPHeaderETag,
    kHTTPHeaderExpect,
    kHTTPHeaderExpires,
    kHTTPHeaderFrom,
    kHTTPHeaderHost,
    kHTTPHeaderIfMatch,
    kHTTPHeaderIfModifiedSince,
    kHTTPHeaderIfNoneMatch,
    kHTTPHeaderIfRange,
    kHTTPHeaderIfUnmodifiedSince,
    kHTTPHeaderLastModified,
    kHTTPHeaderLocation,
    kHTTPHeaderMaxForwards,
    kHTTPHeaderPragma,
    kHTTPHeaderProxyAuthenticate,
    kHTTPHeaderProxyAuthorization,
    kHTTPHeaderRange,
    kHTTPHeaderReferer,
    kHTTPHeaderRetryAfter,
    kHTTPHeaderServer,
    kHTTPHeaderTE,
    kHTTPHeaderTrailer,
    kHTTPHeaderTransferEncoding,
    kHTTPHeaderUpgrade,
    kHTTPHeaderUserAgent,
    kHTTPHeaderVary,
    kHTTPHeaderVia,
    kHTTPHeaderWarning,
    kHTTPHeaderWWWAuthenticate,
    kHTTPHeaderMSASProtocolVersion,
    kHTTPHeaderXMSPolicyKey,
    kHTTPHeaderTypeCount
};

class DHTTPHeaderList {
public:
    DHTTPHeaderList() = default;
    DHTTPHeaderList(const DHTTPHeaderList &) = delete;
    DHTTPHeaderList &operator=(const DHTTPHeaderList &) = delete;
    // Deletes every header.
    virtual ~DHTTPHeaderList() = default;

    // Replaces the value of the header of that name, or appends a new one
    // at the tail (length as DHTTPHeader::SetValue). A refused name or
    // value changes nothing.
    DErrorCode Set(const char *name, const char *value, int32_t length);
    // httpErrHeaderNotFound when no header has that name.
    DErrorCode Remove(const char *name);
    DErrorCode SetByID(uint32_t id, const char *value, int32_t length);
    DErrorCode RemoveByID(uint32_t id);
    // The header of that name, or null.
    DHTTPHeader *Find(const char *name) const;

    // The head (null when empty); the cursor starts there.
    DHTTPHeader *First();
    // The header after the cursor (null at the end); the cursor moves on.
    DHTTPHeader *Next();
    uint32_t GetCount() const { return uint32_t(m_headers.size()); }

    // Every header as "name: value\r\n" in list order, and one more "\r\n"
    // when asked.
    DErrorCode BuildText(std::string *text, bool addBlankLine) const;

    // The name of a header type id, or null outside the table.
    static const char *GetHeaderName(uint32_t id);

private:
    typedef std::list<std::unique_ptr<DHTTPHeader>> List;
    List::iterator FindPosition(const char *name);

    List m_headers;
    List::iterator m_cursor = m_headers.end();
};

#endif
