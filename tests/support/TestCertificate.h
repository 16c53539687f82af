// A self-signed server certificate made at test time (EC P-256, valid from an
// hour ago for a day), for the loopback test server's TLS.
#ifndef VTEST_TESTCERTIFICATE_H
#define VTEST_TESTCERTIFICATE_H

#include <string>

class TestCertificate {
public:
    // altNames in the certificate's own syntax, e.g. "DNS:localhost,IP:127.0.0.1".
    explicit TestCertificate(const std::string &altNames = "DNS:localhost,IP:127.0.0.1");

    bool Valid() const { return !m_certPem.empty() && !m_keyPem.empty(); }
    const std::string &CertificatePem() const { return m_certPem; }
    const std::string &KeyPem() const { return m_keyPem; }

private:
    std::string m_certPem;
    std::string m_keyPem;
};

#endif
