// What a test server needs to speak ActiveSync: canned WBXML answers made from
// XML text, request bodies read back into XML text, the OPTIONS and 449
// answers, and the request target's query split into its values. WBXML is made
// and read here only by the WBXML library's own ActiveSync conversion, never by
// the engine's code, so that the engine's encoder and decoder are checked
// against an independent reader and writer, not only against each other.
// A conversion error or a malformed target fails the running test and gives an
// empty result; nothing here throws or aborts.
#ifndef VTEST_ACTIVESYNCWIRE_H
#define VTEST_ACTIVESYNCWIRE_H

#include "support/TestHttpServer.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

// The ActiveSync document type line; WbxmlFromXml adds it (with an XML
// declaration) to a text that has none.
extern const char kActiveSyncDoctype[];
extern const char kActiveSyncContentType[];  // "application/vnd.ms-sync.wbxml"

// The loopback test server's OPTIONS answer, as captured (a 2.5 to 14.1 server).
extern const char kPeerProtocolVersions[];
extern const char kPeerProtocolCommands[];

// XML text in the ActiveSync language (each code page's elements carry its
// namespace, as in <Sync xmlns="AirSync:">...<Read xmlns="Email:">1</Read>)
// as WBXML 1.3 with the anonymous public id, UTF-8, no string table: the form
// servers send. White space between elements is ignored, and the library trims
// blanks at both ends of a text. "" (and a test failure) on a conversion error.
std::string WbxmlFromXml(const std::string &xml);

// WBXML bytes as compact XML text: the root element only (no declaration or
// document type), no added white space, texts exactly as sent. "" (and a test
// failure) on bytes the library cannot read.
std::string XmlFromWbxml(const std::string &bytes);

// Whether two XML texts say the same: the declaration, document type and
// comments are ignored, as are white space between elements, "<a></a>" against
// "<a/>", and the escapes that are optional in text (&quot; &apos; &gt;).
// On a difference the message shows both texts so reduced.
::testing::AssertionResult SameXml(const std::string &expected, const std::string &actual);

// A 200 (or the given status) answer carrying the XML as WBXML.
TestHttpReply ActiveSyncReply(const std::string &xml, int status = 200);
// The answer to OPTIONS: the comma-separated protocol versions and commands,
// the server version (the last of the versions), no body.
TestHttpReply OptionsReply(const std::string &versions = kPeerProtocolVersions,
                           const std::string &commands = kPeerProtocolCommands);
// The server's demand to provision first.
TestHttpReply Status449();

// The request target's path and query values, percent-decoded ('+' is a
// blank, as a server reads it). A malformed escape, a character that must be
// escaped in a query (blank, '#', controls, non-ASCII), an empty or repeated
// name fails the test; the offending text is kept undecoded.
struct ActiveSyncQuery {
    std::string path;
    std::string cmd, user, deviceId, deviceType;
    std::map<std::string, std::string> all;
};
ActiveSyncQuery ParseQuery(const TestHttpRequest &request);

// "OPTIONS" or the Cmd value of each request from the first'th on, in order.
std::vector<std::string> RequestCommands(const std::vector<TestHttpRequest> &requests, size_t first = 0);

#endif
