#include "ServerURL.h"

#include <new>

namespace {

bool IsHostUnit(char16_t c) {
    if (c <= 0x20 || c == 0x7F) return false;
    switch (c) {
    case u'/':
    case u'\\':
    case u'?':
    case u'#':
    case u'@':
        return false;
    default:
        return true;
    }
}

}  // namespace

DErrorCode BuildServerURL(const VString &server, bool secure, std::u16string *url) {
    if (url == nullptr) return generalErrNULLPointer;
    std::u16string host;
    if (server.GetLength() != 0) {
        VString wide;
        DErrorCode err = wide.Assign(server);
        if (err == kNoError) err = wide.ConvertTo(kVStringUTF16LE);
        if (err != kNoError) return internetConnectNetUnavailable;
        host.assign(wide.GetWideText(), wide.GetCharCount());
    }
    if (host.empty()) return internetConnectNetUnavailable;
    for (char16_t c : host)
        if (!IsHostUnit(c)) return internetConnectNetUnavailable;
    try {
        *url = (secure ? u"https://" : u"http://") + host;
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    return kNoError;
}
