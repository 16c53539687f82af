// The engine's response records without payload: the type number is the
// whole message. Each owns nothing beyond the base.
//
// 10 DASDP_EMailSendResponse, 11 DASDP_EMailGetAttachmentResponse,
// 12 DASDP_FolderCreateResponse, 13 DASDP_FolderSyncResponse: the command's
// answer was processed.
// 28 DASDM_QVMessage_TimeZoneChange: the device's time zone changed since the
// last calendar sync.
// 30 DASDP_WipeCompleteResponse: the remote wipe has been done.
#ifndef QV_DASDP_PLAINRESPONSES_H
#define QV_DASDP_PLAINRESPONSES_H

#include "ActiveSyncRecordTypes.h"
#include "DClientResponse.h"

class DASDP_EMailSendResponse : public DClientResponse {
public:
    DASDP_EMailSendResponse() : DClientResponse(kResponseTypeEMailSend) {}
};

class DASDP_EMailGetAttachmentResponse : public DClientResponse {
public:
    DASDP_EMailGetAttachmentResponse() : DClientResponse(kResponseTypeEMailGetAttachment) {}
};

class DASDP_FolderCreateResponse : public DClientResponse {
public:
    DASDP_FolderCreateResponse() : DClientResponse(kResponseTypeFolderCreate) {}
};

// FolderSync's status: kFolderSyncStatusInvalidKey means the server lost
// this device's hierarchy state, so the hierarchy is fetched again from key 0.
constexpr uint32_t kFolderSyncStatusInvalidKey = 9;
class DASDP_FolderSyncResponse : public DClientResponse {
public:
    DASDP_FolderSyncResponse() : DClientResponse(kResponseTypeFolderSync), m_status(1) {}
    uint32_t GetStatus() const { return m_status; }
    void SetStatus(uint32_t status) { m_status = status; }

private:
    uint32_t m_status;
};

class DASDM_QVMessage_TimeZoneChange : public DClientResponse {
public:
    DASDM_QVMessage_TimeZoneChange() : DClientResponse(kResponseTypeTimeZoneChange) {}
};

class DASDP_WipeCompleteResponse : public DClientResponse {
public:
    DASDP_WipeCompleteResponse() : DClientResponse(kResponseTypeWipeComplete) {}
};

#endif
