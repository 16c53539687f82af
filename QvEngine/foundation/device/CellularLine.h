// DCellularLine: opens the device's cellular line through the telephony
// service for the lifetime of the object and releases the line and the
// telephony instance again when destroyed. Used by the connectivity probes.
#ifndef QV_CELLULARLINE_H
#define QV_CELLULARLINE_H

#include "tapi.h"

class DCellularLine {
public:
    DCellularLine() = default;
    ~DCellularLine();
    DCellularLine(const DCellularLine &) = delete;
    DCellularLine &operator=(const DCellularLine &) = delete;

    // Finds the first line device named "Cellular Line" (case-insensitive)
    // and opens it with monitor and owner privileges. True when it is open.
    bool Open();
    // The open line, or null.
    HLINE Line() const { return m_line; }

private:
    // True when device's capabilities name it the cellular line.
    bool IsCellularDevice(DWORD device, DWORD apiVersion, DWORD extVersion) const;

    HLINEAPP m_app = nullptr;
    HLINE m_line = nullptr;
};

#endif
