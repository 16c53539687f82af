#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "devicetrust.h"
#include "support/TestCertificate.h"
#include "support/TestDevice.h"
#include "support/TestHttpServer.h"
#include "wininettestutil.h"

namespace {

class WinInetTlsTest : public DeviceTest {};

std::string FileText(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST_F(WinInetTlsTest, TrustStoreStartsAsTheSystemBundleAndTakesCertificates) {
    std::string path;
    ASSERT_TRUE(vplat::DeviceTrustStorePath(&path));
    EXPECT_EQ(path, Device().Root() + "/certs/trust.pem");
    const std::string system = FileText("/etc/ssl/certs/ca-certificates.crt");
    EXPECT_EQ(FileText(path), system);

    TestCertificate cert;
    ASSERT_TRUE(cert.Valid());
    ASSERT_TRUE(vplat::DeviceTrustCertificate(cert.CertificatePem()));
    std::string after = FileText(path);
    EXPECT_EQ(after.compare(0, system.size(), system), 0);
    EXPECT_NE(after.find(cert.CertificatePem()), std::string::npos);

    EXPECT_FALSE(vplat::DeviceTrustCertificate("not a certificate"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
    EXPECT_EQ(FileText(path), after);
}

TEST_F(WinInetTlsTest, ServerIsVerifiedAgainstTheDeviceTrustStore) {
    struct Case {
        const char *name;
        const char *altNames;
        bool trusted;
        DWORD error;
    } cases[] = {
        {"trusted", "DNS:localhost,IP:127.0.0.1", true, 0},
        {"unknown certificate", "DNS:localhost,IP:127.0.0.1", false, ERROR_INTERNET_INVALID_CA},
        {"trusted, other name", "DNS:elsewhere.test", true, ERROR_INTERNET_SEC_CERT_CN_INVALID},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TestCertificate cert(c.altNames);
        ASSERT_TRUE(cert.Valid());
        if (c.trusted) {
            ASSERT_TRUE(vplat::DeviceTrustCertificate(cert.CertificatePem()));
        }
        TestHttpServer server(&cert);
        server.Script({200, "OK", {{"Content-Type", "application/vnd.ms-sync.wbxml"}}, "secure"});
        TestInternetRequest r(u"127.0.0.1", server.Port(), u"POST", u"/Microsoft-Server-ActiveSync?Cmd=Ping",
                              kEngineRequestFlags | INTERNET_FLAG_SECURE);
        EXPECT_EQ(r.Send("body"), c.error);
        if (c.error != 0) {
            EXPECT_TRUE(server.Requests().empty());
            continue;
        }
        std::string body;
        EXPECT_EQ(r.ReadAll(&body), 0u);
        EXPECT_EQ(body, "secure");
        ASSERT_EQ(server.Requests().size(), 1u);
        EXPECT_EQ(server.Requests()[0].body, "body");
    }
}

}  // namespace
