// DHTTPTransaction: one HTTP request and its result. The request side is
// the verb, scheme, server, port, escaped path, request headers of its own
// (merged over the session's when sent), an optional body and the file
// the response body goes to; the result side is the status code, content
// type, content length and bytes received, all reset when it is submitted.
// The session's platform class does the network work; this base only
// describes the request and builds its header text.
//
// The transaction belongs to its creator (the engine). It owns its request
// body and its response file. Deleting it cancels it first. Once Submit has
// handed it to the session, or a response record carrying it has been
// delivered, its creator may delete it at any time, callbacks included.
#ifndef QV_DHTTPTRANSACTION_H
#define QV_DHTTPTRANSACTION_H

#include <cstdint>
#include <string>

#include "DErrorCode.h"
#include "DHTTPHeaderList.h"
#include "IGlobalData.h"
#include "VFile.h"
#include "VString.h"

class DHTTPSession;

enum EHTTPVerb : uint32_t {
    kHTTPVerbOptions = 0,
    kHTTPVerbGet = 1,
    kHTTPVerbHead = 2,
    kHTTPVerbPost = 3,
    kHTTPVerbPut = 4,
    kHTTPVerbDelete = 5,
    kHTTPVerbTrace = 6,
    kHTTPVerbConnect = 7,
};

enum EHTTPScheme : uint32_t {
    kHTTPSchemeHttp = 0,
    kHTTPSchemeHttps = 1,
    kHTTPSchemeFtp = 2,
};

// Port meaning "the scheme's default".
constexpr int32_t kHTTPSchemeDefaultPort = -1;
constexpr uint32_t kHTTPDefaultTimeoutSeconds = 120;

class DHTTPTransaction {
public:
    DHTTPTransaction(IGlobalData *global, DHTTPSession *session);
    DHTTPTransaction(const DHTTPTransaction &) = delete;
    DHTTPTransaction &operator=(const DHTTPTransaction &) = delete;
    virtual ~DHTTPTransaction();

    // Takes the body (owned from now on, whatever the result), opens it for
    // reading or rewinds it, and sets Content-Length to its size. Null only
    // drops the body.
    virtual DErrorCode SetRequestData(VFile *body);
    // Takes the file the response goes to (owned from now on), creating it
    // empty when it does not exist; the previous one is deleted. Null only
    // drops it.
    virtual DErrorCode SetResponseData(VFile *file);
    // Ends the transaction: the session forgets it and the response file is
    // closed.
    virtual DErrorCode CancelTransaction();
    // Stops a transfer of this transaction that still runs, so that nothing
    // writes its response file any more and nothing of it reaches the
    // session. Base: there is none.
    virtual void StopTransfer() {}
    // The value of a header of the last response. Base: httpErrNotImplemented.
    virtual DErrorCode GetHTTPResponseHeader(const char *name, std::string *value);

    DErrorCode SetVerb(uint32_t verb);
    DErrorCode SetProtocol(uint32_t scheme);
    DErrorCode SetPort(int32_t port);
    DErrorCode SetTimeout(uint32_t seconds);
    // Null forgets the server.
    DErrorCode SetServer(const char *host);
    // Stores the path and query escaped (see EscapeHTTPPath).
    DErrorCode SetPath(const char *path);
    // A header of this request only. A null value leaves the session header
    // of that name out of this request (no error when there is none).
    DErrorCode SetRequestHeader(uint32_t id, const char *value, int32_t length);

    // Stops a transfer still running (StopTransfer), resets the result,
    // gives a POST or PUT without Content-Length the value "0", and hands
    // the transaction to the session. A non-zero result means the session
    // did not take it.
    DErrorCode Submit();

    // The request's header text: the session's headers in their order, each
    // replaced by this request's header of the same name or left out when
    // that header has no value, then this request's other headers, then a
    // Host header when none is there yet. No blank line at the end.
    DErrorCode BuildRequestHeaderText(std::string *text);

    uint32_t GetVerb() const { return m_verb; }
    // The verb's method text; null for an unknown verb.
    static const char *GetVerbName(uint32_t verb);
    uint32_t GetProtocol() const { return m_scheme; }
    int32_t GetPort() const { return m_port; }
    // The port, or the scheme's default while it is kHTTPSchemeDefaultPort.
    uint32_t GetEffectivePort() const;
    static uint32_t GetDefaultPort(uint32_t scheme);
    uint32_t GetTimeout() const { return m_timeout; }
    const char *GetServer() const { return m_server.c_str(); }
    const char *GetPath() const { return m_path.c_str(); }
    DHTTPHeaderList *GetRequestHeaders() { return &m_headers; }
    VFile *GetRequestData() const { return m_request; }
    // The response file (still the transaction's).
    DErrorCode GetResponseData(VFile **file) const;
    uint32_t GetStatusCode() const { return m_status; }
    // Set only for a status of 200.
    DErrorCode GetContentType(VString *type) const;
    uint32_t GetContentLength() const { return m_contentLength; }
    uint32_t GetBytesReceived() const { return m_bytesReceived; }
    DHTTPSession *GetSession() const { return m_session; }

protected:
    friend class DHTTPSession;

    // Makes a temporary response file when there is none; such a file is
    // deleted again when the transaction is submitted anew.
    DErrorCode EnsureResponseFile();
    void LogError(const char *text, DErrorCode code) const;

    IGlobalData *m_global;
    DHTTPSession *m_session;
    DHTTPHeaderList m_headers;
    uint32_t m_verb;
    uint32_t m_scheme;
    int32_t m_port;
    std::string m_path;
    std::string m_server;
    VFile *m_request;
    VFile *m_response;
    bool m_responseIsTemporary;
    uint32_t m_status;
    uint32_t m_contentLength;
    uint32_t m_bytesReceived;
    uint32_t m_timeout;
    VString m_contentType;
};

#endif
