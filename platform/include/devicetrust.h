// The device's certificate trust store: "<device root>/certs/trust.pem", a
// PEM bundle that starts as a copy of the host system's bundle the first
// time it is needed. A person or a test trusts one more certificate by
// appending it here (or to the file directly); HTTPS requests verify every
// server against this file and nothing else.
#ifndef VPLATFORM_DEVICETRUST_H
#define VPLATFORM_DEVICETRUST_H

#include <string>

#include "wintypes.h"

namespace vplat {
// Host path of the open device's trust store, creating it when missing.
// False (last error set) when there is no device or the file cannot be made.
PLATAPI bool DeviceTrustStorePath(std::string *path);
// Appends one or more PEM certificates to the trust store. False with
// ERROR_INVALID_DATA when the text holds no complete PEM certificate.
PLATAPI bool DeviceTrustCertificate(const std::string &pem);
}  // namespace vplat

#endif
