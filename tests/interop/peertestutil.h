// Helpers of the interoperability tests. Where the real ActiveSync server
// listens and who may sign in to it come from the variables that
// scripts/test.sh (through scripts/peer.sh env) exports after bringing the
// server up. PeerTest is the fixture: a fresh device per test, and a test
// that fails (never skips) with the reason when those variables are missing.
#ifndef VTEST_INTEROP_PEERTESTUTIL_H
#define VTEST_INTEROP_PEERTESTUTIL_H

#include <string>

#include "support/TestDevice.h"

struct PeerEndpoint {
    std::u16string host;
    unsigned short port = 0;
    bool secure = false;
};

struct PeerSettings {
    PeerEndpoint http;
    PeerEndpoint https;
    std::string certificatePem;  // the server's self-signed certificate
    std::string user;
    std::string password;
    std::string smtp;  // "host:port" of the server's mail intake (new mail for its users)
    std::string imap;  // "host:port" of the server's mail store, to see what the server holds
};

// False with *why set when a variable is unset or unusable.
bool LoadPeerSettings(PeerSettings *settings, std::string *why);

// The failure text of a test that found no server: why, and how to run it.
std::string PeerNotConfigured(const std::string &why);

// True when the comma-separated header value holds token (spaces around
// items ignored), as in "MS-ASProtocolVersions: 2.5,12.0".
bool CommaListHas(const std::string &list, const std::string &token);

// The Authorization header value of Basic authentication for the pair.
std::string BasicAuthorization(const std::string &user, const std::string &password);

// FolderSync with SyncKey "0": the first hierarchy request of a partnership.
extern const std::string kFolderSyncZero;
// The start of a good answer to it: the WBXML header (03 01 6A 00), then
// FolderSync (page 7) opening with Status "1".
extern const std::string kFolderSyncStatusOk;
extern const char kWbxmlType[];

class PeerTest : public DeviceTest {
protected:
    void SetUp() override;
    const PeerSettings &Peer() const { return m_peer; }

private:
    PeerSettings m_peer;
};

#endif
