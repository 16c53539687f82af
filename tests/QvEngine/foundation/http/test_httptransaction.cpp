#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

#include "FakeGlobalData.h"
#include "httptestutil.h"
#include "support/TestDevice.h"

namespace {

class HTTPTransactionTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        session.SetClient(&client);
    }
    std::unique_ptr<FakeTransaction> Make() {
        DHTTPTransaction *trx = nullptr;
        session.CreateTransaction(&trx);
        return std::unique_ptr<FakeTransaction>(static_cast<FakeTransaction *>(trx));
    }
    std::string Headers(DHTTPTransaction &trx) {
        std::string text;
        EXPECT_EQ(trx.BuildRequestHeaderText(&text), kNoError);
        return text;
    }

    FakeGlobalData global{nullptr, nullptr};
    RecordingClient client;
    FakeSession session{&global};
};

}  // namespace

TEST_F(HTTPTransactionTest, EscapesThePathOnce) {
    const struct {
        const char *path;
        const char *escaped;
    } cases[] = {
        {"/a b%zz%4", "/a%20b%25zz%254"},
        {"/x%2Fy%2f?q=%41", "/x%2Fy%2f?q=%41"},
        {"/Microsoft-Server-ActiveSync?User=jos\xE9&DeviceId=AB", "/Microsoft-Server-ActiveSync?User=jos%e9&DeviceId=AB"},
        {"a\nb\r\x01\x7F", "a%0ab%0d%01%7f"},
        {"%", "%25"},
        {"%%41", "%25%41"},
        {"", ""},
    };
    auto trx = Make();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        ASSERT_EQ(trx->SetPath(c.path), kNoError);
        EXPECT_STREQ(trx->GetPath(), c.escaped);
    }
}

TEST_F(HTTPTransactionTest, AddsHostWithThePortOnlyWhenItIsNotTheSchemeDefault) {
    const struct {
        uint32_t scheme;
        int32_t port;
        const char *host;
    } cases[] = {
        {kHTTPSchemeHttps, 443, "Host: mail.example.com\r\n"},
        {kHTTPSchemeHttps, 8443, "Host: mail.example.com:8443\r\n"},
        {kHTTPSchemeHttps, kHTTPSchemeDefaultPort, "Host: mail.example.com\r\n"},
        {kHTTPSchemeHttp, kHTTPSchemeDefaultPort, "Host: mail.example.com\r\n"},
        {kHTTPSchemeHttp, 443, "Host: mail.example.com:443\r\n"},
        {kHTTPSchemeFtp, 21, "Host: mail.example.com\r\n"},
        {9, 80, "Host: mail.example.com\r\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.host);
        auto trx = Make();
        trx->SetServer("mail.example.com");
        trx->SetProtocol(c.scheme);
        trx->SetPort(c.port);
        EXPECT_EQ(Headers(*trx), c.host);
    }
}

TEST_F(HTTPTransactionTest, MergesRequestHeadersOverTheSessionsInOrder) {
    const struct {
        uint32_t id;
        const char *value;
    } common[] = {
        {kHTTPHeaderAcceptLanguage, "en-us"}, {kHTTPHeaderMSASProtocolVersion, "2.5"},
        {kHTTPHeaderConnection, "Keep-Alive"}, {kHTTPHeaderUserAgent, "Vantrel-PocketPC/2.0"},
        {kHTTPHeaderHost, "mail.example.com"},
    };
    for (const auto &h : common) ASSERT_EQ(session.SetHeader(h.id, h.value, kHTTPHeaderToTerminator), kNoError);
    ASSERT_EQ(session.SetBasicAuthorization(), kNoError);

    auto trx = Make();
    trx->SetServer("other.example.com");
    trx->SetPort(8080);
    ASSERT_EQ(trx->SetRequestHeader(kHTTPHeaderXMSPolicyKey, "3942919513", kHTTPHeaderToTerminator), kNoError);
    ASSERT_EQ(trx->SetRequestHeader(kHTTPHeaderConnection, nullptr, 0), kNoError);
    ASSERT_EQ(trx->SetRequestHeader(kHTTPHeaderCacheControl, nullptr, 0), kNoError);  // not in the session
    ASSERT_EQ(trx->SetRequestHeader(kHTTPHeaderUserAgent, "Probe/1.0", kHTTPHeaderToTerminator), kNoError);
    ASSERT_EQ(trx->SetRequestHeader(kHTTPHeaderContentType, "application/vnd.ms-sync.wbxml", kHTTPHeaderToTerminator),
              kNoError);
    EXPECT_EQ(trx->SetRequestHeader(kHTTPHeaderXMSPolicyKey, "1\r\nX-Evil: 1", kHTTPHeaderToTerminator),
              generalErrInvalidParameter);

    EXPECT_EQ(Headers(*trx),
              "Accept-Language: en-us\r\n"
              "MS-ASProtocolVersion: 2.5\r\n"
              "User-Agent: Probe/1.0\r\n"
              "Host: mail.example.com\r\n"
              "Authorization: Basic dXNlcjpwYXNz\r\n"
              "X-MS-PolicyKey: 3942919513\r\n"
              "Content-Type: application/vnd.ms-sync.wbxml\r\n");
}

TEST_F(HTTPTransactionTest, SubmitSetsContentLengthAndResetsTheResponse) {
    // Content-Length: the body's size, "0" for a POST or PUT without one,
    // none for other verbs.
    const struct {
        uint32_t verb;
        const char *body;
        const char *length;
    } cases[] = {
        {kHTTPVerbPost, nullptr, "0"},
        {kHTTPVerbPut, nullptr, "0"},
        {kHTTPVerbOptions, nullptr, nullptr},
        {kHTTPVerbPost, "0123456789", "10"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(DHTTPTransaction::GetVerbName(c.verb));
        auto trx = Make();
        trx->SetVerb(c.verb);
        if (c.body != nullptr) {
            std::ofstream(Device().Host(u"\\Temp\\body.bin"), std::ios::binary) << c.body;
            VFile *body = new VFile;
            body->SetFileName(u"\\Temp\\body.bin");
            ASSERT_EQ(trx->SetRequestData(body), kNoError);
        }
        ASSERT_EQ(trx->Submit(), kNoError);
        DHTTPHeader *length = trx->GetRequestHeaders()->Find("Content-Length");
        if (c.length == nullptr) {
            EXPECT_EQ(length, nullptr);
        } else {
            ASSERT_NE(length, nullptr);
            EXPECT_STREQ(length->GetValue(), c.length);
        }
        trx->CancelTransaction();
    }

    // A response file of the caller's is emptied; one the transaction made
    // itself is deleted.
    auto trx = Make();
    std::ofstream(Device().Host(u"\\Temp\\resp.bin"), std::ios::binary) << "old response";
    VFile *response = new VFile;
    response->SetFileName(u"\\Temp\\resp.bin");
    ASSERT_EQ(trx->SetResponseData(response), kNoError);
    trx->SetResult(200, 12, 12);
    ASSERT_EQ(trx->Submit(), kNoError);
    EXPECT_EQ(trx->GetStatusCode(), 0u);
    EXPECT_EQ(trx->GetBytesReceived(), 0u);
    uint32_t size = 1;
    ASSERT_EQ(response->GetSize(&size), kNoError);
    EXPECT_EQ(size, 0u);
    trx->CancelTransaction();

    ASSERT_EQ(trx->SetResponseData(nullptr), kNoError);
    ASSERT_EQ(trx->EnsureResponseFile(), kNoError);
    VFile *temporary = nullptr;
    trx->GetResponseData(&temporary);
    WCHAR path[260];
    ASSERT_EQ(temporary->GetFileName(path, 260, nullptr, 0), kNoError);
    ASSERT_EQ(trx->Submit(), kNoError);
    trx->GetResponseData(&temporary);
    EXPECT_EQ(temporary, nullptr);
    VFile gone;
    gone.SetFileName(path);
    bool exists = true;
    gone.Exists(&exists);
    EXPECT_FALSE(exists);
}
