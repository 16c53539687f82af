#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "devicetrust.h"
#include "support/TestCertificate.h"
#include "support/TestHttpServer.h"
#include "transfertestutil.h"
#include "winfile.h"

namespace {

std::string Pattern(size_t size) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) s[i] = char('a' + (i * 7 + i / 251) % 26);
    return s;
}

// The names of a request's headers, in the order they arrived, among those
// asked for.
std::vector<std::string> NamesAmong(const TestHttpRequest &request, const std::vector<std::string> &names) {
    std::vector<std::string> out;
    for (const auto &header : request.headers)
        for (const std::string &name : names)
            if (strcasecmp(header.first.c_str(), name.c_str()) == 0) out.push_back(name);
    return out;
}

// A request body in a device file.
VFile *BodyFile(const WCHAR *path, const std::string &content) {
    VFile *file = new VFile;
    file->SetFileName(path);
    file->Create();
    file->Open(kVFileReadWrite);
    uint32_t written = 0;
    file->Write(uint32_t(content.size()), content.data(), &written);
    file->Close();
    return file;
}

class TransferHttpTest : public TransferTest {
protected:
    void SetUp() override {
        TransferTest::SetUp();
        ASSERT_EQ(session->SetBasicAuthorization(), kNoError);
        ASSERT_EQ(session->SetHeader(kHTTPHeaderMSASProtocolVersion, "2.5", kHTTPHeaderToTerminator), kNoError);
        ASSERT_EQ(session->SetHeader(kHTTPHeaderXMSPolicyKey, "0", kHTTPHeaderToTerminator), kNoError);
    }
};

TEST_F(TransferHttpTest, RequestsCarryBasicAuthAndSessionHeadersAndEndInOneRecord) {
    struct Case {
        const char *name;
        uint32_t verb;
        std::string body;
        int status;
        std::string outcome;
    } cases[] = {
        {"get", kHTTPVerbGet, "", 200, "response 4 status 200"},
        {"post", kHTTPVerbPost, "\x03\x01\x6A\x00", 200, "response 4 status 200"},
        {"unauthorised", kHTTPVerbPost, "x", 401, "response 5 status 401"},
    };
    TestHttpServer server;
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        client.events.clear();
        TestHttpReply reply;
        reply.status = c.status;
        reply.headers = {{"Content-Type", "application/vnd.ms-sync.wbxml"}, {"MS-Server-ActiveSync", "6.5"}};
        reply.body = "answer";
        server.Script(reply);
        auto trx = NewTransaction(server.Port(), c.verb, "/Microsoft-Server-ActiveSync?Cmd=Sync&User=a b");
        if (!c.body.empty()) {
            ASSERT_EQ(trx->SetRequestData(BodyFile(u"\\body.bin", c.body)), kNoError);
        }
        std::string contentType, serverHeader, body;
        client.onResponse = [&](DHTTPTransaction *done) {
            VString type;
            done->GetContentType(&type);
            contentType = type.GetNarrowText() != nullptr ? type.GetNarrowText() : "";
            done->GetHTTPResponseHeader("MS-Server-ActiveSync", &serverHeader);
            VFile *file = nullptr;
            done->GetResponseData(&file);
            body = ReadAll(file);
        };
        ASSERT_EQ(trx->Submit(), kNoError);
        ASSERT_TRUE(PumpUntilOutcome());
        EXPECT_EQ(client.Outcomes(), std::vector<std::string>{c.outcome});
        EXPECT_EQ(serverHeader, "6.5");
        EXPECT_EQ(body, "answer");
        EXPECT_EQ(contentType, c.status == 200 ? "application/vnd.ms-sync.wbxml" : "");

        ASSERT_TRUE(server.WaitForRequests(++n));
        const TestHttpRequest got = server.Requests().back();
        EXPECT_EQ(got.method, c.verb == kHTTPVerbGet ? "GET" : "POST");
        EXPECT_EQ(got.target, "/Microsoft-Server-ActiveSync?Cmd=Sync&User=a%20b");
        EXPECT_EQ(got.Header("Authorization"), "Basic dXNlcjpwYXNz");
        EXPECT_EQ(got.Header("Host"), "127.0.0.1:" + std::to_string(server.Port()));
        EXPECT_EQ(got.body, c.body);
        std::vector<std::string> order = {"Authorization", "MS-ASProtocolVersion", "X-MS-PolicyKey"};
        if (c.verb == kHTTPVerbPost) order.push_back("Content-Length");
        EXPECT_EQ(NamesAmong(got, {"Authorization", "MS-ASProtocolVersion", "X-MS-PolicyKey", "Content-Length"}),
                  order);
    }
    // Only the first request brought the connection up.
    EXPECT_EQ(vplat::ConnMgrGetCounters().establishCalls, 1u);
}

// Every 2xx answer is a success that keeps its content type and length,
// and no header value is too long to be read.
TEST_F(TransferHttpTest, EverySuccessKeepsItsHeadWhateverItsLength) {
    const std::string wbxml = "application/vnd.ms-sync.wbxml";
    const std::string longType = "text/plain; note=" + std::string(300, 'n');
    const std::string longHeader(600, 'h');
    struct Case {
        int status;
        std::string type;
        std::string body;
    } cases[] = {{200, wbxml, "answer"}, {204, wbxml, ""}, {206, wbxml, "part"}, {200, longType, "answer"}};
    TestHttpServer server;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.status);
        client.events.clear();
        server.Script({c.status, "Any", {{"Content-Type", c.type}, {"MS-Server-ActiveSync", longHeader}}, c.body});
        auto trx = NewTransaction(server.Port(), kHTTPVerbGet, "/Microsoft-Server-ActiveSync");
        std::string contentType, serverHeader;
        uint32_t contentLength = 99;
        client.onResponse = [&](DHTTPTransaction *done) {
            VString type;
            done->GetContentType(&type);
            contentType = type.GetNarrowText() != nullptr ? type.GetNarrowText() : "";
            contentLength = done->GetContentLength();
            EXPECT_EQ(done->GetHTTPResponseHeader("MS-Server-ActiveSync", &serverHeader), kNoError);
        };
        ASSERT_EQ(trx->Submit(), kNoError);
        ASSERT_TRUE(PumpUntilOutcome());
        EXPECT_EQ(client.Outcomes(), std::vector<std::string>{"response 4 status " + std::to_string(c.status)});
        EXPECT_EQ(contentType, c.type);
        EXPECT_EQ(contentLength, c.body.size());
        EXPECT_EQ(serverHeader, longHeader);
    }
}

TEST_F(TransferHttpTest, LongBodiesArriveWhole) {
    TestHttpServer server;
    int n = 0;
    for (size_t size : {size_t(65536), size_t(65537), size_t(300000)}) {
        SCOPED_TRACE(size);
        client.events.clear();
        server.Script({});
        const std::string content = Pattern(size);
        auto trx = NewTransaction(server.Port(), kHTTPVerbPost, "/Microsoft-Server-ActiveSync?Cmd=SendMail");
        ASSERT_EQ(trx->SetRequestData(BodyFile(u"\\body.bin", content)), kNoError);
        ASSERT_EQ(trx->Submit(), kNoError);
        ASSERT_TRUE(PumpUntilOutcome());
        EXPECT_EQ(client.Outcomes(), std::vector<std::string>{"response 4 status 200"});
        ASSERT_TRUE(server.WaitForRequests(++n));
        const TestHttpRequest got = server.Requests().back();
        EXPECT_EQ(got.Header("Content-Length"), std::to_string(size));
        EXPECT_TRUE(got.body == content);
    }
}

TEST_F(TransferHttpTest, LargeResponseStreamsToItsFileWithProgressOnTheEngineThread) {
    TestHttpServer server;
    const std::string content = Pattern(1500000);
    server.Script({200, "OK", {{"Content-Type", "application/vnd.ms-sync.wbxml"}}, content});
    auto trx = NewTransaction(server.Port(), kHTTPVerbPost, "/Microsoft-Server-ActiveSync?Cmd=Sync");
    VFile *response = new VFile;
    response->SetFileName(u"\\response.bin");
    ASSERT_EQ(trx->SetResponseData(response), kNoError);
    uint32_t length = 0, received = 0;
    client.onResponse = [&](DHTTPTransaction *done) {
        length = done->GetContentLength();
        received = done->GetBytesReceived();
    };
    ASSERT_EQ(trx->Submit(), kNoError);
    ASSERT_TRUE(PumpUntilOutcome());
    EXPECT_EQ(client.Outcomes(), std::vector<std::string>{"response 4 status 200"});
    EXPECT_EQ(length, content.size());
    EXPECT_EQ(received, content.size());
    EXPECT_TRUE(ReadAll(response) == content);

    ASSERT_FALSE(client.progress.empty());
    uint32_t last = 0;
    for (const auto &p : client.progress) {
        EXPECT_EQ(p.thread, GetCurrentThreadId());
        EXPECT_GE(p.done, last);
        last = p.done;
    }
    EXPECT_EQ(last, content.size());
}

TEST_F(TransferHttpTest, HttpsVerifiesTheServerAgainstTheDeviceTrustStore) {
    struct Case {
        const char *name;
        bool trusted;
        std::string outcome;
    } cases[] = {
        {"trusted", true, "response 4 status 200"},
        {"unknown certificate", false, "error " + HexCode(internetConnectSSLError)},
    };
    global->prefs.SetUseSSL(1);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        // Each server is new: so is the connection to it.
        session->CloseConnection();
        client.events.clear();
        TestCertificate cert;
        ASSERT_TRUE(cert.Valid());
        if (c.trusted) {
            ASSERT_TRUE(vplat::DeviceTrustCertificate(cert.CertificatePem()));
        }
        TestHttpServer server(&cert);
        server.Script({200, "OK", {}, "secure"});
        // The account's setting, not the transaction's scheme, asks for TLS.
        auto trx = NewTransaction(server.Port(), kHTTPVerbOptions, "/Microsoft-Server-ActiveSync", kHTTPSchemeHttp);
        ASSERT_EQ(trx->Submit(), kNoError);
        ASSERT_TRUE(PumpUntilOutcome());
        EXPECT_EQ(client.Outcomes(), std::vector<std::string>{c.outcome});
        EXPECT_EQ(server.Requests().size(), c.trusted ? 1u : 0u);
    }
}

}  // namespace
