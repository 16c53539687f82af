// The account's secrets stay where they belong. Whole runs of the engine,
// with its own data manager and developer-level logging into a log file on
// the device, end each way a run can end (completed, refused, failed by the
// server, provisioned, cut off); afterwards no byte of any file on the
// device and no status the client heard holds the password or the
// Authorization value, in any encoding the system writes. And a server the
// device does not trust hears nothing: the run ends with the certificate
// error, and every connection the device opened spoke TLS.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "DActiveSyncEngine.h"
#include "DLogProviderVFile.h"
#include "EngineDeviceTest.h"
#include "EngineTestSupport.h"
#include "QvEngine/foundation/prefstestutil.h"
#include "RecordingRelay.h"
#include "support/ActiveSyncWire.h"
#include "support/TestCertificate.h"
#include "support/TestHttpServer.h"
#include "vplatform_mail.h"
#include "vplatform_test.h"
#include "winfile.h"

namespace {

const char kUser[] = "alice";
const char kPassword[] = "Quokka-7rVeil-Zephyr";
// Base64 of "alice:Quokka-7rVeil-Zephyr", worked out apart from the engine.
const char kCredentials[] = "YWxpY2U6UXVva2thLTdyVmVpbC1aZXBoeXI=";
const std::string kAuthorization = std::string("Basic ") + kCredentials;

// A secret as the bytes to look for.
struct SecretForm {
    std::string name;
    std::string bytes;
};

std::string Utf16(const std::string &ascii) {
    std::string wide;
    for (char c : ascii) wide += std::string{c, '\0'};
    return wide;
}

// The password, the Base64 pair and the whole header value, each narrow
// (Windows-1252 and UTF-8 alike, all being ASCII) and UTF-16LE (registry
// texts and the wide log).
std::vector<SecretForm> SecretForms() {
    std::vector<SecretForm> forms;
    for (const SecretForm &s : {SecretForm{"password", kPassword}, SecretForm{"base64 pair", kCredentials},
                                SecretForm{"header value", kAuthorization}}) {
        forms.push_back(s);
        forms.push_back({s.name + " (UTF-16)", Utf16(s.bytes)});
    }
    return forms;
}

// The names of the secrets found in the bytes.
std::vector<std::string> SecretsIn(const std::string &bytes) {
    std::vector<std::string> found;
    for (const SecretForm &s : SecretForms())
        if (bytes.find(s.bytes) != std::string::npos) found.push_back(s.name);
    return found;
}

std::string FileBytes(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// "<file>: <secret>" for each secret in each file under the root.
std::vector<std::string> SecretsUnder(const std::string &root) {
    std::vector<std::string> found;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_regular_file()) continue;
        for (const std::string &name : SecretsIn(FileBytes(it->path())))
            found.push_back(it->path().string() + ": " + name);
    }
    EXPECT_FALSE(ec) << ec.message();
    return found;
}

// The engine's global info with a real log file on the device, where the
// application keeps it, written wide, uncapped and at every level.
class FileLogGlobal : public EngineGlobal {
public:
    FileLogGlobal() {
        for (const char16_t *folder : {u"\\Program Files", u"\\Program Files\\Vantrel", kLogsFolder})
            CreateDirectoryW(folder, nullptr);
        logFile.SetFileName(kLogPath);
        fileLog.SetEncoding(kVStringUTF16LE);
        fileLog.SetLevel(kLogAllLevels);
        fileLog.AddCategories(kLogAllCategories);
        opened = fileLog.Open(logFile, 0, kLogNoMaxSize);
    }
    ~FileLogGlobal() override { fileLog.Close(); }
    ILogProvider *GetLogger() override { return &fileLog; }

    static constexpr const char16_t *kLogsFolder = u"\\Program Files\\Vantrel\\Logs";
    static constexpr const char16_t *kLogPath = u"\\Program Files\\Vantrel\\Logs\\CorvaneLogFile.log";
    VFile logFile;
    DLogProviderVFile fileLog;
    DErrorCode opened = generalErrNotInitialized;
};

// The recording client that also keeps the detail text of each error.
class SecretsClient : public RecordingClient {
public:
    std::vector<std::string> errorTexts;

    DErrorCode ActiveSync_ReportError(DErrorCode code, VString *detail) override {
        if (detail != nullptr) errorTexts.push_back(NarrowText(*detail));
        return RecordingClient::ActiveSync_ReportError(code, detail);
    }
};

TestHttpReply Answer(int status, const char *reason, std::vector<std::pair<std::string, std::string>> headers = {},
                     const std::string &body = "") {
    TestHttpReply r;
    r.status = status;
    r.reason = reason;
    r.headers = std::move(headers);
    r.body = body;
    return r;
}

const char kFolders[] =
    "<FolderSync xmlns=\"FolderHierarchy:\"><Status>1</Status><SyncKey>F1</SyncKey><Changes><Count>2</Count>"
    "<Add><ServerId>INBOX</ServerId><ParentId>0</ParentId><DisplayName>Inbox</DisplayName><Type>2</Type></Add>"
    "<Add><ServerId>Sent</ServerId><ParentId>0</ParentId><DisplayName>Sent</DisplayName><Type>5</Type></Add>"
    "</Changes></FolderSync>";

std::string InboxSync(const std::string &key, const std::string &commands = "") {
    return "<Sync xmlns=\"AirSync:\" xmlns:E=\"Email:\"><Collections><Collection><Class>Email</Class><SyncKey>" + key +
           "</SyncKey><CollectionId>INBOX</CollectionId><Status>1</Status>" +
           (commands.empty() ? "" : "<Commands>" + commands + "</Commands>") + "</Collection></Collections></Sync>";
}

const char kOneMail[] =
    "<Add><ServerId>1</ServerId><ApplicationData><E:To>alice@example.test</E:To><E:From>bob@example.test</E:From>"
    "<E:Subject>one</E:Subject><E:DateReceived>2026-12-01T10:00:00.000Z</E:DateReceived>"
    "<E:Importance>1</E:Importance><E:Read>0</E:Read></ApplicationData></Add>";

std::string Estimate(int count) {
    return "<GetItemEstimate xmlns=\"GetItemEstimate:\"><Response><Status>1</Status><Collection><Class>Email</Class>"
           "<CollectionId>INBOX</CollectionId><Estimate>" +
           std::to_string(count) + "</Estimate></Collection></Response></GetItemEstimate>";
}

std::string PolicyAnswer(const char *key) {
    return std::string("<Provision xmlns=\"Provision:\"><Status>1</Status><Policies><Policy><PolicyType>"
                       "MS-WAP-Provisioning-XML</PolicyType><Status>1</Status><PolicyKey>") +
           key + "</PolicyKey></Policy></Policies></Provision>";
}

class EngineSecretsTest : public EngineDeviceTest {
protected:
    void SetUp() override {
        EngineDeviceTest::SetUp();
        ASSERT_EQ(vplat::MailAccountProvision(u"Vantrel"), S_OK);
        global = std::make_unique<FileLogGlobal>();
        ASSERT_EQ(global->opened, kNoError);
    }
    void TearDown() override {
        engine.reset();
        global.reset();
        EngineDeviceTest::TearDown();
    }

    // The account at that port, mail only, with developer-level logging.
    void SetAccount(unsigned short port, bool secure, bool push) {
        SetTestAccount(global->prefs, "127.0.0.1:" + std::to_string(port), kUser, kPassword, secure, false);
        global->prefs.SetVerboseLogging(2);
        global->prefs.SetPeakPushSyncEnabled(push ? 1 : 0);
        global->prefs.SetOffPeakPushSyncEnabled(push ? 1 : 0);
        ASSERT_EQ(global->prefs.SaveAll(), kNoError);
        engine = std::make_unique<DActiveSyncEngine>();
        ASSERT_EQ(engine->Initialize(global.get(), &client), kNoError);
    }
    void RunToEnd(uint32_t flags) {
        ASSERT_EQ(engine->StartSync(flags, 0, kLockModeWait, kRunKindUser), kNoError);
        ASSERT_TRUE(PumpEngineUntil(*global, [this] { return client.RunOver(); }));
    }
    // Moves the virtual clock on a second at a time, running the engine's thread.
    void Advance(uint32_t seconds) {
        for (uint32_t i = 0; i < seconds; ++i) {
            vplat::ClockAdvance(1000);
            PumpEngineUntil(*global, [] { return true; });
        }
    }
    std::string LogBytes() { return FileBytes(Device().Host(FileLogGlobal::kLogPath)); }

    // Ends the engine and the global info (their last writes land on the
    // device), then looks everywhere the secrets must not be.
    void ExpectNoSecretsLeft() {
        VString status;
        ASSERT_EQ(engine->GetStatusText(&status), kNoError);
        engine.reset();
        global.reset();
        std::vector<std::string> heard = client.statusTexts;
        heard.insert(heard.end(), client.errorTexts.begin(), client.errorTexts.end());
        heard.push_back(NarrowText(status));
        for (const std::string &text : heard) EXPECT_TRUE(SecretsIn(text).empty()) << text;
        EXPECT_EQ(SecretsUnder(Device().Root()), std::vector<std::string>{});
        // The one place the password is kept is the product key's
        // "Password": scrambled (so the scan above found none of the forms
        // there either), and read back whole by the preferences.
        RawValue stored;
        ASSERT_EQ(ReadRaw(kProductKey, u"Password", &stored), ERROR_SUCCESS);
        EXPECT_EQ(stored.type, DWORD(REG_SZ));
        DWinMobCorvanePreferences prefs;
        ASSERT_EQ(prefs.Load(TRUE), kNoError);
        VString password;
        ASSERT_EQ(prefs.GetPassword(&password), kNoError);
        EXPECT_EQ(NarrowText(password), kPassword);
    }

    std::unique_ptr<FileLogGlobal> global;
    std::unique_ptr<DActiveSyncEngine> engine;
    SecretsClient client;
};

// One way a run ends: the server's answers in order, or nothing listening.
struct RunOutcome {
    const char *name;
    std::vector<TestHttpReply> replies;
    bool refused;                       // nothing listens at the account's port
    DErrorCode error;                   // what the client hears; kNoError for none
    std::vector<std::string> commands;  // the requests that reached the server
};

void PrintTo(const RunOutcome &outcome, std::ostream *out) { *out << outcome.name; }

TestHttpReply ResetAtOnce() {
    TestHttpReply r;
    r.cutAfter = 0;
    r.reset = true;
    return r;
}

const RunOutcome kRunOutcomes[] = {
    {"Completed",
     {OptionsReply(), ActiveSyncReply(kFolders), ActiveSyncReply(InboxSync("1")), ActiveSyncReply(Estimate(1)),
      ActiveSyncReply(InboxSync("2", kOneMail))},
     false,
     kNoError,
     {"OPTIONS", "FolderSync", "Sync", "GetItemEstimate", "Sync"}},
    {"Unauthorized",
     {OptionsReply(), Answer(401, "Unauthorized", {{"WWW-Authenticate", "Basic realm=\"mail\""}}, "denied")},
     false,
     activeSyncErrTransactionFailed,
     {"OPTIONS", "FolderSync"}},
    {"ServerError",
     {OptionsReply(), ActiveSyncReply(kFolders),
      Answer(500, "Internal Server Error", {{"Content-Type", "text/html"}}, "<html>error</html>")},
     false,
     activeSyncErrTransactionFailed,
     {"OPTIONS", "FolderSync", "Sync"}},
    {"ProvisionFirst",
     {OptionsReply(), ActiveSyncReply(kFolders), Status449(), ActiveSyncReply(PolicyAnswer("3942919513")),
      ActiveSyncReply(PolicyAnswer("1307199584")), ActiveSyncReply(InboxSync("1")), ActiveSyncReply(Estimate(0))},
     false,
     kNoError,
     {"OPTIONS", "FolderSync", "Sync", "Provision", "Provision", "Sync", "GetItemEstimate"}},
    {"ConnectionReset", {OptionsReply(), ResetAtOnce()}, false, internetConnectErrConnectionLost,
     {"OPTIONS", "FolderSync"}},
    {"ConnectionRefused", {}, true, httpErrServerConnectFailed, {}},
};

class EngineSecretsRunTest : public EngineSecretsTest, public ::testing::WithParamInterface<RunOutcome> {};

TEST_P(EngineSecretsRunTest, NoFileOrStatusHoldsThePasswordOrTheAuthorization) {
    const RunOutcome &outcome = GetParam();
    TestHttpServer server;
    for (const TestHttpReply &reply : outcome.replies) server.Script(reply);
    SetAccount(outcome.refused ? TestHttpServer::ClosedPort() : server.Port(), false, false);
    RunToEnd(kRunFlagEMail);
    Advance(5);

    const std::vector<TestHttpRequest> requests = server.Requests();
    EXPECT_EQ(RequestCommands(requests), outcome.commands);
    // The forms looked for are the very ones that went out.
    for (const TestHttpRequest &request : requests) EXPECT_EQ(request.Header("Authorization"), kAuthorization);
    EXPECT_EQ(client.errors,
              outcome.error == kNoError ? std::vector<DErrorCode>{} : std::vector<DErrorCode>{outcome.error});
    // The log is the engine's, with the HTTP layer's lines and the
    // developer-level dumps of the WBXML documents.
    const std::string log = LogBytes();
    EXPECT_NE(log.find(Utf16("DWmHttpTrx::PrepWmReq() Http method = ")), std::string::npos);
    if (outcome.commands.size() > 2) {
        EXPECT_NE(log.find(Utf16("<!DOCTYPE MS-ActiveSync-Message")), std::string::npos);
    }
    ExpectNoSecretsLeft();
}

INSTANTIATE_TEST_SUITE_P(Outcomes, EngineSecretsRunTest, ::testing::ValuesIn(kRunOutcomes),
                         [](const ::testing::TestParamInfo<RunOutcome> &info) { return info.param.name; });

// A server whose certificate the device does not trust, behind a relay that
// shows what the device sent: the run ends with the certificate error, the
// server never read a request, and neither the run nor the push retries
// after it opened a connection without TLS.
TEST_F(EngineSecretsTest, AnUntrustedServerEndsTheRunWithTheCertificateErrorAndHearsNoRequest) {
    TestCertificate certificate;  // never given to the device's trust store
    ASSERT_TRUE(certificate.Valid());
    TestHttpServer server(&certificate);
    server.Script(OptionsReply());
    server.Script(ActiveSyncReply(kFolders));
    RecordingRelay relay(server.Port());
    ASSERT_NE(relay.Port(), 0);
    SetAccount(relay.Port(), true, true);

    RunToEnd(kRunFlagEMail | kRunFlagPush);
    EXPECT_EQ(client.errors, std::vector<DErrorCode>{internetConnectSSLError});
    Advance(600);  // long past any retry or push restart

    EXPECT_TRUE(server.Requests().empty());
    const std::vector<std::string> connections = relay.ClientBytes();
    ASSERT_FALSE(connections.empty());
    for (const std::string &sent : connections) {
        // A TLS handshake record opens each connection; nothing readable follows.
        ASSERT_GE(sent.size(), 3u);
        EXPECT_EQ(sent[0], '\x16');
        EXPECT_EQ(sent[1], '\x03');
        EXPECT_EQ(sent.find("HTTP/1.1"), std::string::npos);
        EXPECT_EQ(sent.find("Authorization"), std::string::npos);
        EXPECT_TRUE(SecretsIn(sent).empty());
    }
    EXPECT_EQ(client.errors, std::vector<DErrorCode>{internetConnectSSLError});
    ExpectNoSecretsLeft();
}

}  // namespace
