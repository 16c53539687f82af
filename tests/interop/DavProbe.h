// What the real server's calendars and address books hold, asked over
// CalDAV and CardDAV (libcurl), so that calendar and contact interop tests
// check the server's side and not only the protocol's answers. Paths are
// below the server's DAV root, e.g. "alice/Calendar/personal/".
#ifndef VTEST_DAVPROBE_H
#define VTEST_DAVPROBE_H

#include <string>
#include <vector>

#include "peertestutil.h"

// One DAV request of the user: the HTTP status (0 when none came) and the body.
struct DavAnswer {
    long status = 0;
    std::string body;
};

DavAnswer DavGet(const PeerSettings &peer, const std::string &user, const std::string &password,
                 const std::string &path);
DavAnswer DavPut(const PeerSettings &peer, const std::string &user, const std::string &password,
                 const std::string &path, const std::string &contentType, const std::string &body);
DavAnswer DavDelete(const PeerSettings &peer, const std::string &user, const std::string &password,
                    const std::string &path);
// The resource paths (below the DAV root) a collection lists, itself left out.
std::vector<std::string> DavList(const PeerSettings &peer, const std::string &user, const std::string &password,
                                 const std::string &collection);

// The value of the first property of that name in an iCalendar or vCard
// text (folded lines joined; parameters after ';' ignored); "" when none.
std::string DavProperty(const std::string &text, const std::string &name);
// The whole first line of that property, its parameters included
// ("DTSTART;TZID=Etc/UTC:20261220T110000"); "" when none.
std::string DavPropertyLine(const std::string &text, const std::string &name);
// Every line of the properties of that name, parameters included.
std::vector<std::string> DavPropertyLines(const std::string &text, const std::string &name);
// Every value of the properties of that name, in order.
std::vector<std::string> DavProperties(const std::string &text, const std::string &name);
// The text of each component of that kind ("VEVENT", "VTODO") in order.
std::vector<std::string> DavComponents(const std::string &text, const std::string &kind);

#endif
