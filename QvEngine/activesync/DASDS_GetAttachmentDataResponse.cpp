#include "DASDS_GetAttachmentDataResponse.h"

DASDS_GetAttachmentDataResponse::~DASDS_GetAttachmentDataResponse() {
    delete m_name;
    delete m_file;
}

void DASDS_GetAttachmentDataResponse::SetAttachment(VString *name, VFile *file) {
    if (name != m_name) delete m_name;
    if (file != m_file) delete m_file;
    m_name = name;
    m_file = file;
}

VString *DASDS_GetAttachmentDataResponse::TakeName() {
    VString *name = m_name;
    m_name = nullptr;
    return name;
}

VFile *DASDS_GetAttachmentDataResponse::TakeFile() {
    VFile *file = m_file;
    m_file = nullptr;
    return file;
}
