// DASDS_GetAttachmentDataResponse (type 19): the attachment the engine is to
// fetch next: its name and the file that receives it, both taken over from
// the attachment in hand, or *nothing to fetch* (1) with neither.
//
// Ownership: the record owns name and file from SetAttachment until a
// receiver takes them (TakeName, TakeFile); its destructor deletes what it
// still holds, so neither is lost whether or not the engine takes it.
#ifndef QV_DASDS_GETATTACHMENTDATARESPONSE_H
#define QV_DASDS_GETATTACHMENTDATARESPONSE_H

#include <cstdint>

#include "ActiveSyncRecordTypes.h"
#include "DClientResponse.h"
#include "VFile.h"
#include "VString.h"

class DASDS_GetAttachmentDataResponse : public DClientResponse {
public:
    DASDS_GetAttachmentDataResponse()
        : DClientResponse(kResponseTypeGetAttachmentData), m_name(nullptr), m_file(nullptr), m_nothingToFetch(0) {}
    ~DASDS_GetAttachmentDataResponse() override;

    // Takes both; whatever the record held before is deleted.
    void SetAttachment(VString *name, VFile *file);
    // Null while none is held.
    VString *GetName() const { return m_name; }
    VFile *GetFile() const { return m_file; }
    // Hand over ownership to the caller; the record then holds none.
    VString *TakeName();
    VFile *TakeFile();

    uint8_t GetNothingToFetch() const { return m_nothingToFetch; }
    void SetNothingToFetch(uint8_t nothing) { m_nothingToFetch = nothing; }

private:
    VString *m_name;
    VFile *m_file;
    uint8_t m_nothingToFetch;
};

#endif
