#include "peertestutil.h"

#include <cstdlib>
#include <memory>
#include <fstream>
#include <sstream>

#include "Base64.h"

namespace {

bool Variable(const char *name, std::string *value, std::string *why) {
    const char *text = std::getenv(name);
    if (text == nullptr || *text == '\0') {
        *why = std::string(name) + " is not set";
        return false;
    }
    *value = text;
    return true;
}

// "http://host:port" or "https://host:port", a trailing "/" allowed.
bool ParsePeerUrl(const std::string &url, PeerEndpoint *endpoint) {
    std::string rest;
    if (url.rfind("http://", 0) == 0) {
        endpoint->secure = false;
        rest = url.substr(7);
    } else if (url.rfind("https://", 0) == 0) {
        endpoint->secure = true;
        rest = url.substr(8);
    } else {
        return false;
    }
    if (!rest.empty() && rest.back() == '/') rest.pop_back();
    size_t colon = rest.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == rest.size()) return false;
    unsigned long port = 0;
    for (size_t i = colon + 1; i < rest.size(); ++i) {
        if (rest[i] < '0' || rest[i] > '9') return false;
        port = port * 10 + static_cast<unsigned long>(rest[i] - '0');
        if (port > 65535) return false;
    }
    if (port == 0) return false;
    std::string host = rest.substr(0, colon);
    endpoint->host.assign(host.begin(), host.end());
    endpoint->port = static_cast<unsigned short>(port);
    return true;
}

}  // namespace

const std::string kFolderSyncZero("\x03\x01\x6A\x00\x00\x07\x56\x52\x03\x30\x00\x01\x01", 13);
const std::string kFolderSyncStatusOk("\x03\x01\x6A\x00\x00\x07\x56\x4C\x03\x31\x00\x01", 12);
const char kWbxmlType[] = "application/vnd.ms-sync.wbxml";

bool CommaListHas(const std::string &list, const std::string &token) {
    std::istringstream items(list);
    std::string item;
    while (std::getline(items, item, ',')) {
        size_t first = item.find_first_not_of(' ');
        size_t last = item.find_last_not_of(' ');
        if (first != std::string::npos && item.compare(first, last - first + 1, token) == 0) return true;
    }
    return false;
}

bool LoadPeerSettings(PeerSettings *settings, std::string *why) {
    std::string httpUrl, httpsUrl, certPath;
    if (!Variable("VANTREL_PEER_URL", &httpUrl, why) || !Variable("VANTREL_PEER_HTTPS_URL", &httpsUrl, why) ||
        !Variable("VANTREL_PEER_CERT", &certPath, why) || !Variable("VANTREL_PEER_USER", &settings->user, why) ||
        !Variable("VANTREL_PEER_PASSWORD", &settings->password, why) ||
        !Variable("VANTREL_PEER_SMTP", &settings->smtp, why) || !Variable("VANTREL_PEER_IMAP", &settings->imap, why)) {
        return false;
    }
    if (!ParsePeerUrl(httpUrl, &settings->http) || settings->http.secure) {
        *why = "VANTREL_PEER_URL is not an http://host:port address: " + httpUrl;
        return false;
    }
    if (!ParsePeerUrl(httpsUrl, &settings->https) || !settings->https.secure) {
        *why = "VANTREL_PEER_HTTPS_URL is not an https://host:port address: " + httpsUrl;
        return false;
    }
    std::ifstream in(certPath, std::ios::binary);
    std::ostringstream pem;
    pem << in.rdbuf();
    settings->certificatePem = pem.str();
    if (!in || settings->certificatePem.find("-----BEGIN CERTIFICATE-----") == std::string::npos) {
        *why = "VANTREL_PEER_CERT names no readable PEM certificate: " + certPath;
        return false;
    }
    return true;
}

std::string PeerNotConfigured(const std::string &why) {
    return "the ActiveSync test server is not configured (" + why +
           "). Run scripts/test.sh, which brings it up and sets its variables, or run "
           "scripts/peer.sh up and eval \"$(scripts/peer.sh env)\" before these tests.";
}

void PeerTest::SetUp() {
    DeviceTest::SetUp();
    std::string why;
    if (!LoadPeerSettings(&m_peer, &why)) FAIL() << PeerNotConfigured(why);
}

std::string BasicAuthorization(const std::string &user, const std::string &password) {
    std::string pair = user + ":" + password;
    uint32_t length = 0;
    std::unique_ptr<char[]> encoded(
        Base64Encode(reinterpret_cast<const BYTE *>(pair.data()), static_cast<uint32_t>(pair.size()), &length));
    return "Basic " + std::string(encoded.get(), length);
}
