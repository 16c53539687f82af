// DASDS_DataResponse (type 16) and its kinds: a request body that the data
// manager built for the engine to send.
//
// Ownership: the record owns its content type text and, until it is taken,
// its body stream. The engine hands the stream to the HTTP transaction and
// then calls SetBody(nullptr): from then on the transaction owns it and the
// record's destructor leaves it alone. SetBody only replaces the pointer and
// never deletes the previous stream, since that is exactly how ownership
// passes on; a caller putting in a second stream takes care of the first.
//
// 17 DASDS_SyncDataResponse and 21 DASDS_MoveItemDataResponse add *more*:
// more local changes wait than fitted into this request.
// 18 DASDS_SendDataResponse adds the message being sent, which stays its
// sender's.
// 20 DASDS_GetMeetingResponseDataResponse adds *none* (no meeting response
// left to send) and *calendar changed*.
#ifndef QV_DASDS_DATARESPONSE_H
#define QV_DASDS_DATARESPONSE_H

#include <cstdint>

#include "ActiveSyncRecordTypes.h"
#include "DClientResponse.h"
#include "DErrorCode.h"
#include "VFile.h"
#include "VString.h"

class IOutlookMessage;

class DASDS_DataResponse : public DClientResponse {
public:
    DASDS_DataResponse() : DASDS_DataResponse(kResponseTypeData) {}
    ~DASDS_DataResponse() override;

    // Copies the text (UTF-8); null empties it. On failure the text is empty.
    virtual DErrorCode SetContentType(const char *type);
    virtual VFile *GetBody() const { return m_body; }
    // Takes the stream; null lets go of the one held without deleting it.
    virtual void SetBody(VFile *body) { m_body = body; }
    // "" until set.
    virtual const char *GetContentType() const { return m_contentType.GetNarrowText(); }

protected:
    explicit DASDS_DataResponse(uint32_t type) : DClientResponse(type), m_body(nullptr) {}

private:
    VFile *m_body;
    VString m_contentType;
};

class DASDS_SyncDataResponse : public DASDS_DataResponse {
public:
    DASDS_SyncDataResponse() : DASDS_DataResponse(kResponseTypeSyncData), m_more(0) {}
    uint8_t GetMore() const { return m_more; }
    void SetMore(uint8_t more) { m_more = more; }

private:
    uint8_t m_more;
};

class DASDS_MoveItemDataResponse : public DASDS_DataResponse {
public:
    DASDS_MoveItemDataResponse() : DASDS_DataResponse(kResponseTypeMoveItemData), m_more(0) {}
    uint8_t GetMore() const { return m_more; }
    void SetMore(uint8_t more) { m_more = more; }

private:
    uint8_t m_more;
};

class DASDS_SendDataResponse : public DASDS_DataResponse {
public:
    DASDS_SendDataResponse() : DASDS_DataResponse(kResponseTypeSendData), m_message(nullptr) {}
    IOutlookMessage *GetMessage() const { return m_message; }
    // The message stays the caller's.
    void SetMessage(IOutlookMessage *message) { m_message = message; }

private:
    IOutlookMessage *m_message;
};

class DASDS_GetMeetingResponseDataResponse : public DASDS_DataResponse {
public:
    DASDS_GetMeetingResponseDataResponse()
        : DASDS_DataResponse(kResponseTypeMeetingResponse), m_none(0), m_calendarChanged(0) {}
    uint8_t GetNone() const { return m_none; }
    void SetNone(uint8_t none) { m_none = none; }
    uint8_t GetCalendarChanged() const { return m_calendarChanged; }
    void SetCalendarChanged(uint8_t changed) { m_calendarChanged = changed; }

private:
    uint8_t m_none;
    uint8_t m_calendarChanged;
};

#endif
