// DStringStatusData (type 1, the main status text) and
// DStringMinorStatusData (type 2, the secondary text: percent, dots,
// kilobytes). The text stays the sender's: the record only points at it,
// and the sender frees it after deleting the record.
#ifndef QV_DSTRINGSTATUSDATA_H
#define QV_DSTRINGSTATUSDATA_H

#include "DStatusData.h"
#include "VString.h"

class DStringStatusData : public DStatusData {
public:
    explicit DStringStatusData(VString *text) : DStatusData(kStatusTypeMainText), m_text(text) {}
    virtual VString *GetPayload() const { return m_text; }

protected:
    DStringStatusData(uint32_t type, VString *text) : DStatusData(type), m_text(text) {}

private:
    VString *m_text;
};

class DStringMinorStatusData : public DStringStatusData {
public:
    explicit DStringMinorStatusData(VString *text) : DStringStatusData(kStatusTypeMinorText, text) {}
};

#endif
