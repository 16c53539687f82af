// The device's Internet calls against the real ActiveSync server, sending
// what the engine sends: its session headers in order, Basic authorization,
// and the query string of each command.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "devicetrust.h"
#include "peertestutil.h"
#include "platform/wininettestutil.h"

namespace {

std::u16string Wide(const std::string &text) { return std::u16string(text.begin(), text.end()); }
std::string Narrow(const std::u16string &text) { return std::string(text.begin(), text.end()); }

// Runs once over HTTP and once over HTTPS; for HTTPS the server's own
// certificate is added to the test device's trust store first.
class PeerWinInetTest : public PeerTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        PeerTest::SetUp();
        if (HasFatalFailure()) return;
        if (Secure()) {
            ASSERT_TRUE(vplat::DeviceTrustCertificate(Peer().certificatePem)) << GetLastError();
        }
    }

    bool Secure() const { return GetParam(); }
    const PeerEndpoint &Endpoint() const { return Secure() ? Peer().https : Peer().http; }

    // A request as the engine makes it: session headers, then the
    // authorization and, with a body, its content type.
    std::unique_ptr<TestInternetRequest> Open(const char16_t *verb, const std::string &deviceId,
                                              const std::string &command, const std::string &password,
                                              bool wbxmlBody) {
        std::string target = "/Microsoft-Server-ActiveSync?User=" + Peer().user + "&DeviceId=" + deviceId +
                             "&DeviceType=VantrelClient";
        if (!command.empty()) target += "&Cmd=" + command;
        std::u16string wideTarget = Wide(target);
        auto request = std::make_unique<TestInternetRequest>(
            Endpoint().host.c_str(), Endpoint().port, verb, wideTarget.c_str(),
            kEngineRequestFlags | (Secure() ? INTERNET_FLAG_SECURE : 0));
        EXPECT_NE(request->request, nullptr) << request->openError;
        std::string headers = "Accept-Language: en-us\r\nMS-ASProtocolVersion: 2.5\r\nConnection: Keep-Alive\r\n"
                              "User-Agent: Vantrel-PocketPC/2.0\r\nCache-Control: no-cache\r\nHost: " +
                              Narrow(Endpoint().host) + ":" + std::to_string(Endpoint().port) +
                              "\r\nAuthorization: " + BasicAuthorization(Peer().user, password);
        if (wbxmlBody) headers += std::string("\r\nContent-Type: ") + kWbxmlType;
        std::u16string wideHeaders = Wide(headers);
        EXPECT_TRUE(HttpAddRequestHeadersW(request->request, wideHeaders.c_str(), static_cast<DWORD>(-1),
                                           HTTP_ADDREQ_FLAG_ADD))
            << GetLastError();
        return request;
    }

    std::string DeviceId(const char *tag) const { return std::string("VI") + (Secure() ? "S" : "P") + tag; }
};

TEST_P(PeerWinInetTest, OptionsListsProtocol25) {
    auto r = Open(u"OPTIONS", DeviceId("OPTIONS"), "", Peer().password, false);
    ASSERT_EQ(r->Send(), 0u);
    DWORD status = 0;
    ASSERT_EQ(r->QueryNumber(HTTP_QUERY_STATUS_CODE, &status), 0u);
    EXPECT_EQ(status, 200u);
    std::u16string versions;
    ASSERT_EQ(r->QueryText(HTTP_QUERY_CUSTOM, &versions, u"MS-ASProtocolVersions"), 0u);
    EXPECT_TRUE(CommaListHas(Narrow(versions), "2.5")) << Narrow(versions);
    std::string body;
    EXPECT_EQ(r->ReadAll(&body), 0u);
}

TEST_P(PeerWinInetTest, WrongPasswordIsRefused) {
    auto r = Open(u"POST", DeviceId("WRONGPW"), "FolderSync", Peer().password + "-wrong", true);
    ASSERT_EQ(r->Send(kFolderSyncZero), 0u);
    DWORD status = 0;
    ASSERT_EQ(r->QueryNumber(HTTP_QUERY_STATUS_CODE, &status), 0u);
    EXPECT_EQ(status, 401u);
    std::string body;
    EXPECT_EQ(r->ReadAll(&body), 0u);
}

TEST_P(PeerWinInetTest, FolderSyncAnswersWbxml) {
    auto r = Open(u"POST", DeviceId("FOLDERSYNC"), "FolderSync", Peer().password, true);
    ASSERT_EQ(r->Send(kFolderSyncZero), 0u);
    DWORD status = 0;
    ASSERT_EQ(r->QueryNumber(HTTP_QUERY_STATUS_CODE, &status), 0u);
    EXPECT_EQ(status, 200u);
    std::u16string type;
    ASSERT_EQ(r->QueryText(HTTP_QUERY_CONTENT_TYPE, &type), 0u);
    EXPECT_EQ(Narrow(type), kWbxmlType);
    std::string body;
    ASSERT_EQ(r->ReadAll(&body), 0u);
    ASSERT_GT(body.size(), kFolderSyncStatusOk.size());
    EXPECT_EQ(body.compare(0, kFolderSyncStatusOk.size(), kFolderSyncStatusOk), 0);
}

INSTANTIATE_TEST_SUITE_P(Interop, PeerWinInetTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &info) { return info.param ? "Https" : "Http"; });

}  // namespace
