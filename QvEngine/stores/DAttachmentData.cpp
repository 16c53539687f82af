#include "DAttachmentData.h"

#include <new>

DErrorCode DAttachmentData::CopyFrom(const DAttachmentData &other) {
    if (&other == this) return kNoError;
    DErrorCode rc = m_name.Assign(other.m_name);
    if (rc == kNoError) rc = m_displayName.Assign(other.m_displayName);
    if (rc != kNoError) return rc;
    m_size = other.m_size;
    m_marked = other.m_marked;
    VFile *file = nullptr;
    if (other.m_file != nullptr) {
        file = new (std::nothrow) VFile;
        if (file == nullptr) return generalErrMemoryError;
        rc = file->CopyFileName(*other.m_file);
        if (rc != kNoError) {
            delete file;
            return rc;
        }
    }
    SetFile(file);
    return kNoError;
}
