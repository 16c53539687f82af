#include "DASDS_DataResponse.h"

DASDS_DataResponse::~DASDS_DataResponse() { delete m_body; }

DErrorCode DASDS_DataResponse::SetContentType(const char *type) {
    if (type == nullptr) return m_contentType.Clear();
    DErrorCode err = m_contentType.AssignCStr(type, kVStringUTF8);
    if (err != kNoError) m_contentType.Clear();
    return err;
}
