#include "CellularLine.h"

#include <cstring>
#include <vector>

#include "winstr.h"

namespace {

constexpr DWORD kInitApiVersion = 0x00020000;
constexpr DWORD kLowApiVersion = 0x00010003;
constexpr DWORD kHighApiVersion = 0x00020002;
constexpr DWORD kLowExtVersion = 0x00010000;
constexpr DWORD kHighExtVersion = 0x00010001;
constexpr DWORD kDevCapsBufferSize = 1316;
const WCHAR kCellularLineName[] = u"Cellular Line";

}  // namespace

DCellularLine::~DCellularLine() {
    if (m_line != nullptr) lineClose(m_line);
    if (m_app != nullptr) lineShutdown(m_app);
}

bool DCellularLine::IsCellularDevice(DWORD device, DWORD apiVersion, DWORD extVersion) const {
    // DWORD elements keep the record aligned.
    std::vector<DWORD> buffer(kDevCapsBufferSize / sizeof(DWORD), 0);
    auto *caps = reinterpret_cast<LINEDEVCAPS *>(buffer.data());
    caps->dwTotalSize = kDevCapsBufferSize;
    if (lineGetDevCaps(m_app, device, apiVersion, extVersion, caps) != 0) return false;
    // The name must lie inside what the service filled in.
    const DWORD used = caps->dwUsedSize < kDevCapsBufferSize ? caps->dwUsedSize : kDevCapsBufferSize;
    const DWORD offset = caps->dwLineNameOffset;
    const DWORD size = caps->dwLineNameSize;
    if (size < sizeof(WCHAR) || offset < sizeof(LINEDEVCAPS) || offset > used || size > used - offset) return false;

    // Compared over the name's own length, so the terminator it carries must
    // match too; a name without one may not run past its stated size.
    std::vector<WCHAR> name(size / sizeof(WCHAR) + 1, u'\0');
    memcpy(name.data(), reinterpret_cast<const BYTE *>(caps) + offset, name.size() * sizeof(WCHAR) - sizeof(WCHAR));
    return _wcsnicmp(name.data(), kCellularLineName, name.size() - 1) == 0;
}

bool DCellularLine::Open() {
    if (m_line != nullptr) return true;
    DWORD devices = 0;
    if (m_app == nullptr) {
        LINEINITIALIZEEXPARAMS params;
        memset(&params, 0, sizeof params);
        params.dwTotalSize = sizeof params;
        params.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
        DWORD apiVersion = kInitApiVersion;
        if (lineInitializeEx(&m_app, nullptr, nullptr, u"GPRSStatus", &devices, &apiVersion, &params) != 0) {
            m_app = nullptr;
            return false;
        }
    }
    for (DWORD device = 0; device < devices; ++device) {
        DWORD apiVersion = 0;
        LINEEXTENSIONID extensionId;
        if (lineNegotiateAPIVersion(m_app, device, kLowApiVersion, kHighApiVersion, &apiVersion, &extensionId) != 0)
            continue;
        DWORD extVersion = 0;
        if (lineNegotiateExtVersion(m_app, device, apiVersion, kLowExtVersion, kHighExtVersion, &extVersion) != 0)
            continue;
        if (!IsCellularDevice(device, apiVersion, extVersion)) continue;
        // Only the first cellular line is tried.
        HLINE line = nullptr;
        if (lineOpen(m_app, device, &line, apiVersion, extVersion, 0,
                     LINECALLPRIVILEGE_MONITOR | LINECALLPRIVILEGE_OWNER,
                     LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_DATAMODEM, nullptr) != 0)
            return false;
        m_line = line;
        return true;
    }
    return false;
}
