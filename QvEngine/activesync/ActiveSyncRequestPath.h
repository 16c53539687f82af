// The path and query of every ActiveSync request:
// "/Microsoft-Server-ActiveSync?User=<user>&DeviceId=<id>&DeviceType=<type>"
// and "&Cmd=<command>" when the step has a command. Texts are Windows-1252
// bytes. The user, device id and device type are escaped here as query
// values (EscapeHTTPQueryValue), so a '&', '#', '+', '=', '?', blank or
// non-ASCII byte cannot end a value or start another field; the command
// text is taken as it is, since its own values ("&ItemId=" ...) are escaped
// by whoever adds them. The HTTP transaction's path escape then leaves the
// result as it is (it never escapes an escape again).
#ifndef QV_ACTIVESYNCREQUESTPATH_H
#define QV_ACTIVESYNCREQUESTPATH_H

#include <cstdint>
#include <string>

#include "DErrorCode.h"
#include "HTTPPathEscape.h"
#include "VString.h"

// A null or empty command leaves "&Cmd=" out (OPTIONS).
DErrorCode BuildActiveSyncRequestPath(const VString &user, const VString &deviceId, const VString &deviceType,
                                      const char *command, std::string *path);

// One value: Windows-1252 bytes of s, escaped as a query value.
DErrorCode EscapeQueryValueText(const VString &s, std::string *out);

// The Server setting as a host and a port: "mail.example.com:8443" names a
// port of its own; a plain host (or one without a valid port after its
// last ':', such as a bare IPv6 address) keeps the scheme's default port
// (*port kHTTPSchemeDefaultPort). "[::1]:8443" gives "[::1]" and 8443.
void SplitServerAddress(const std::string &server, std::string *host, int32_t *port);

#endif
