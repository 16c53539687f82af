// The engine's HTTP session over WinInet against the real ActiveSync server:
// the session headers and Basic authorization the engine sets, one
// transaction per command, and each outcome as the engine's response record
// (success for 2xx only, a failure record for anything else).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "QvEngine/foundation/transfertestutil.h"
#include "devicetrust.h"
#include "peertestutil.h"

namespace {

// Signs in as whoever the test says.
class PeerClient : public TransferClient {
public:
    DErrorCode HTTP_GetCredentials(VString *user, VString *password) override {
        DErrorCode err = user->AssignCStr(m_user.c_str(), kVStringWindows1252);
        return err != kNoError ? err : password->AssignCStr(m_password.c_str(), kVStringWindows1252);
    }
    void SignInAs(const std::string &user, const std::string &password) {
        m_user = user;
        m_password = password;
    }

private:
    std::string m_user;
    std::string m_password;
};

std::string FileText(VFile *file) {
    if (file == nullptr || file->Open(kVFileRead) != kNoError) return std::string();
    uint32_t size = 0;
    file->GetSize(&size);
    std::string text(size, '\0');
    uint32_t read = 0;
    if (size != 0) file->Read(size, &text[0], &read);
    file->Close();
    text.resize(read);
    return text;
}

// What the client saw of the response while the transaction could be read.
struct Answer {
    std::string contentType;
    std::string versions;
    std::string body;
};

// Runs once over HTTP and once over HTTPS (the account's SSL setting on,
// the server's certificate in the test device's trust store).
class PeerSessionTest : public TransferTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        TransferTest::SetUp();
        if (HasFatalFailure()) return;
        std::string why;
        if (!LoadPeerSettings(&m_peer, &why)) FAIL() << PeerNotConfigured(why);
        if (Secure()) {
            ASSERT_TRUE(vplat::DeviceTrustCertificate(m_peer.certificatePem)) << GetLastError();
            global->prefs.SetUseSSL(1);
        }
        // The fixture's session answers with fixed credentials: bind one to
        // this client instead.
        session.reset(DWinMobHTTPSession::Create(&m_client, global.get()));
        ASSERT_NE(session, nullptr);
    }

    bool Secure() const { return GetParam(); }
    const PeerSettings &Peer() const { return m_peer; }
    const PeerEndpoint &Endpoint() const { return Secure() ? m_peer.https : m_peer.http; }
    std::string HostText() const {
        return std::string(Endpoint().host.begin(), Endpoint().host.end()) + ":" + std::to_string(Endpoint().port);
    }

    // The engine's session headers, in its order, then Basic authorization.
    void SignIn(const std::string &password) {
        m_client.SignInAs(m_peer.user, password);
        const std::string host = HostText();
        const struct {
            uint32_t id;
            const char *value;
        } headers[] = {
            {kHTTPHeaderAcceptLanguage, "en-us"},   {kHTTPHeaderMSASProtocolVersion, "2.5"},
            {kHTTPHeaderConnection, "Keep-Alive"},  {kHTTPHeaderUserAgent, "Vantrel-PocketPC/2.0"},
            {kHTTPHeaderCacheControl, "no-cache"},  {kHTTPHeaderHost, host.c_str()},
        };
        for (const auto &h : headers) ASSERT_EQ(session->SetHeader(h.id, h.value, kHTTPHeaderToTerminator), kNoError);
        ASSERT_EQ(session->SetBasicAuthorization(), kNoError);
    }

    // Sends one command (none: OPTIONS) and pumps the engine's thread until
    // its outcome; returns the client's outcome lines.
    std::vector<std::string> Run(const std::string &deviceTag, const std::string &command, Answer *answer) {
        std::string path = "/Microsoft-Server-ActiveSync?User=" + m_peer.user + "&DeviceId=VIE" +
                           (Secure() ? "S" : "P") + deviceTag + "&DeviceType=VantrelClient";
        if (!command.empty()) path += "&Cmd=" + command;
        DHTTPTransaction *created = nullptr;
        EXPECT_EQ(session->CreateTransaction(&created), kNoError);
        if (created == nullptr) return {};
        std::unique_ptr<DHTTPTransaction> trx(created);
        const std::string server(Endpoint().host.begin(), Endpoint().host.end());
        trx->SetServer(server.c_str());
        trx->SetPort(Endpoint().port);
        trx->SetProtocol(Secure() ? kHTTPSchemeHttps : kHTTPSchemeHttp);
        trx->SetPath(path.c_str());
        trx->SetVerb(command.empty() ? kHTTPVerbOptions : kHTTPVerbPost);
        if (!command.empty()) {
            VFile *body = new VFile;
            body->SetFileName(u"\\request.wbxml");
            body->Create();
            body->Open(kVFileReadWrite);
            uint32_t written = 0;
            body->Write(uint32_t(kFolderSyncZero.size()), kFolderSyncZero.data(), &written);
            body->Close();
            EXPECT_EQ(trx->SetRequestData(body), kNoError);
            EXPECT_EQ(trx->SetRequestHeader(kHTTPHeaderContentType, kWbxmlType, kHTTPHeaderToTerminator), kNoError);
        }
        m_client.onResponse = [answer](DHTTPTransaction *done) {
            VString type;
            if (done->GetContentType(&type) == kNoError && type.GetNarrowText() != nullptr)
                answer->contentType = type.GetNarrowText();
            done->GetHTTPResponseHeader("MS-ASProtocolVersions", &answer->versions);
            VFile *file = nullptr;
            done->GetResponseData(&file);
            answer->body = FileText(file);
        };
        EXPECT_EQ(trx->Submit(), kNoError);
        EXPECT_TRUE(PumpUntil([this] { return !m_client.Outcomes().empty(); }));
        return m_client.Outcomes();
    }

private:
    PeerSettings m_peer;
    PeerClient m_client;
};

TEST_P(PeerSessionTest, OptionsSucceedsListingProtocol25) {
    SignIn(Peer().password);
    Answer answer;
    EXPECT_EQ(Run("OPTIONS", "", &answer), std::vector<std::string>{"response 4 status 200"});
    EXPECT_TRUE(CommaListHas(answer.versions, "2.5")) << answer.versions;
}

TEST_P(PeerSessionTest, WrongPasswordEndsInAFailureRecord) {
    SignIn(Peer().password + "-wrong");
    Answer answer;
    EXPECT_EQ(Run("WRONGPW", "FolderSync", &answer), std::vector<std::string>{"response 5 status 401"});
}

TEST_P(PeerSessionTest, FolderSyncSucceedsWithWbxml) {
    SignIn(Peer().password);
    Answer answer;
    EXPECT_EQ(Run("FOLDERSYNC", "FolderSync", &answer), std::vector<std::string>{"response 4 status 200"});
    EXPECT_EQ(answer.contentType, kWbxmlType);
    ASSERT_GT(answer.body.size(), kFolderSyncStatusOk.size());
    EXPECT_EQ(answer.body.compare(0, kFolderSyncStatusOk.size(), kFolderSyncStatusOk), 0);
}

INSTANTIATE_TEST_SUITE_P(Interop, PeerSessionTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &info) { return info.param ? "Https" : "Http"; });

}  // namespace
