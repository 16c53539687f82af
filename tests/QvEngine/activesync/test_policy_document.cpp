// The provisioning policy document: what a document says (a table of
// documents as servers send them, well-formed or not) and what parsing a
// Provision answer's policy leaves in the preferences and the IT-policy store.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DASPolicyDocument.h"
#include "DWinMobCorvanePreferences.h"
#include "DWinMobITPolicyManager.h"
#include "QvEngine/foundation/prefstestutil.h"

namespace {

const char16_t *const kPolicyKey = u"Software\\Brellow\\Vantrel\\ITPolicy";

// A policy as an Exchange server of protocol 2.5 sends it.
const char kServerPolicy[] =
    "<wap-provisioningdoc>"
    "<characteristic type=\"SecurityPolicy\"><parm name=\"4131\" value=\"0\"/><parm name=\"4133\" value=\"1\"/>"
    "</characteristic>"
    "<characteristic type=\"Registry\">"
    "<characteristic type=\"HKLM\\Comm\\Security\\Policy\\LASSD\\AE\\{50C13377-C66D-400C-889E-C316FC4AB374}\">"
    "<parm name=\"AEFrequencyType\" value=\"1\"/><parm name=\"AEFrequencyValue\" value=\"15\"/></characteristic>"
    "<characteristic type=\"HKLM\\Comm\\Security\\Policy\\LASSD\">"
    "<parm name=\"DeviceWipeThreshold\" value=\"8\"/></characteristic>"
    "<characteristic type=\"HKLM\\Comm\\Security\\Policy\\LASSD\">"
    "<parm name=\"CodewordFrequency\" value=\"4\"/></characteristic>"
    "<characteristic type=\"HKLM\\Comm\\Security\\Policy\\LASSD\\LAP\\lap_pw\">"
    "<parm name=\"MinimumPasswordLength\" value=\"6\"/><parm name=\"PasswordComplexity\" value=\"0\"/>"
    "</characteristic></characteristic></wap-provisioningdoc>";

struct Expected {
    bool isXml;
    bool inForce;
    DWORD type, value, wipe, codeword, length, complexity;
};

struct DocCase {
    const char *what;
    std::string text;
    Expected expected;
};

std::string Policy(const std::string &securityParms, const std::string &registryParms) {
    return "<wap-provisioningdoc><characteristic type=\"SecurityPolicy\">" + securityParms +
           "</characteristic><characteristic type=\"Registry\"><characteristic type=\"X\">" + registryParms +
           "</characteristic></characteristic></wap-provisioningdoc>";
}

std::vector<DocCase> Documents() {
    const Expected server = {true, true, 1, 15, 8, 4, 6, 0};
    const Expected none = {true, false, 0, 0, 0, 0, 0, 0};
    const Expected notXml = {false, false, 0, 0, 0, 0, 0, 0};
    const std::string full(kServerPolicy);
    return {
        {"the server's policy", full, server},
        {"byte-order mark, declaration, white space",
         "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n" + full + "\r\n\n", server},
        {"white space before the mark, a trailing zero byte", std::string(" \n\xEF\xBB\xBF") + full + '\0', server},
        {"the document inside CDATA", "<![CDATA[" + full + "]]>", server},
        {"CDATA inside a parameter", Policy("<parm name=\"4131\" value=\"0\"><![CDATA[x<y]]></parm>",
                                           "<parm name=\"MinimumPasswordLength\" value=\"5\"/>"),
         {true, true, 0, 0, 0, 0, 5, 0}},
        {"truncated", full.substr(0, full.size() / 2), notXml},
        // The parser takes a lead byte's whole sequence at once: these must
        // end at the text's end, not run on past it.
        {"cut inside a UTF-8 sequence of a value", full.substr(0, 113) + "\xEF", notXml},
        {"cut inside a UTF-8 sequence of a name", "<wap-provisioningdoc><characteristic\xF0\x9F", notXml},
        {"cut inside a UTF-8 sequence of text", "<wap-provisioningdoc>&amp;\xE2\x82", notXml},
        {"empty", "", notXml},
        {"not XML at all", "MS-WAP-Provisioning-XML", notXml},
        {"an empty value reads 0",
         Policy("<parm name=\"4131\" value=\"\"/>", "<parm name=\"MinimumPasswordLength\" value=\"\"/>"
                                                     "<parm name=\"MinimumPasswordLength\" value=\"4\"/>"),
         {true, true, 0, 0, 0, 0, 4, 0}},
        {"parameters of no known name are passed over",
         Policy("<parm name=\"4131\" value=\"0\"/><parm name=\"4141\" value=\"9\"/>",
                "<parm name=\"AllowSimplePassword\" value=\"1\"/><parm name=\"passwordcomplexity\" value=\"2\"/>"
                "<parm value=\"3\"/><other name=\"DeviceWipeThreshold\" value=\"3\"/>"),
         {true, true, 0, 0, 3, 0, 0, 2}},
        {"4131 and 4133 both 1: no policy", Policy("<parm name=\"4131\" value=\"1\"/><parm name=\"4133\" value=\"1\"/>",
                                                   "<parm name=\"MinimumPasswordLength\" value=\"6\"/>"),
         {true, false, 0, 0, 0, 0, 6, 0}},
        {"the first non-zero of two values counts",
         Policy("<parm name=\"4131\" value=\"0\"/>", "<parm name=\"MinimumPasswordLength\" value=\"0\"/>"
                                                     "<parm name=\"MinimumPasswordLength\" value=\"6\"/>"
                                                     "<parm name=\"AEFrequencyValue\" value=\"4\"/>"
                                                     "<parm name=\"AEFrequencyValue\" value=\"6\"/>"),
         {true, true, 0, 4, 0, 0, 6, 0}},
        {"a negative threshold wraps", Policy("", "<parm name=\"DeviceWipeThreshold\" value=\"-1\"/>"),
         {true, true, 0, 0, 0xFFFFFFFF, 0, 0, 0}},
        {"type in lower case",
         "<wap-provisioningdoc><characteristic type=\"securitypolicy\"><parm name=\"4131\" value=\"1\"/>"
         "<parm name=\"4133\" value=\"0\"/></characteristic></wap-provisioningdoc>",
         {true, true, 0, 0, 0, 0, 0, 0}},
        {"no SecurityPolicy",
         "<wap-provisioningdoc><characteristic type=\"Registry\"><characteristic type=\"X\">"
         "<parm name=\"MinimumPasswordLength\" value=\"6\"/></characteristic></characteristic></wap-provisioningdoc>",
         {true, false, 0, 0, 0, 0, 6, 0}},
        {"another root", "<provisioningdoc>" + full.substr(21, full.size() - 43) + "</provisioningdoc>", none},
        {"Characteristic is not the first characteristic",
         "<wap-provisioningdoc><Characteristic type=\"SecurityPolicy\"><parm name=\"4131\" value=\"0\"/>"
         "</Characteristic></wap-provisioningdoc>",
         none},
    };
}

TEST(PolicyDocumentRead, DocumentsAsServersSendThem) {
    for (const DocCase &c : Documents()) {
        SCOPED_TRACE(c.what);
        DASPolicyDocumentValues v;
        v.minimumPasswordLength = 99;  // Read starts from nothing
        DASPolicyDocument::Read(c.text, &v);
        const Expected &e = c.expected;
        EXPECT_EQ(v.isXml, e.isXml);
        EXPECT_EQ(v.inForce, e.inForce);
        EXPECT_EQ(std::vector<DWORD>({v.frequencyType, v.frequencyValue, v.deviceWipeThreshold, v.codewordFrequency,
                                      v.minimumPasswordLength, v.passwordComplexity}),
                  std::vector<DWORD>({e.type, e.value, e.wipe, e.codeword, e.length, e.complexity}));
    }
}

// Keeps what is logged.
class CaptureLog : public ILogProvider {
public:
    DErrorCode WriteNumber(int32_t value, unsigned, uint32_t) override {
        text += std::to_string(value);
        return kNoError;
    }
    DErrorCode WriteString(const char *s, unsigned, uint32_t) override {
        text += s;
        return kNoError;
    }
    DErrorCode WriteVString(const VString &, unsigned, uint32_t) override { return kNoError; }
    DErrorCode WriteHex(int32_t, unsigned, uint32_t) override { return kNoError; }
    DErrorCode NewLine(unsigned, uint32_t) override {
        text += "\n";
        return kNoError;
    }
    DErrorCode GetTextLength(uint32_t *out) override {
        *out = static_cast<uint32_t>(text.size());
        return kNoError;
    }
    DErrorCode ReadText(uint32_t, uint32_t, VString *) override { return kNoError; }
    std::string text;
};

class PolicyDocumentTest : public PrefsDeviceTest {
protected:
    void SetUp() override {
        PrefsDeviceTest::SetUp();
        ASSERT_EQ(m_prefs.Load(FALSE), kNoError);
    }
    DErrorCode Parse(const std::string &document, const char *key) {
        VString doc, policyKey;
        EXPECT_EQ(doc.AssignNarrow(document.data(), static_cast<uint32_t>(document.size()), kVStringUTF8), kNoError);
        EXPECT_EQ(policyKey.AssignCStr(key, kVStringWindows1252), kNoError);
        DASPolicyDocument parser(&m_prefs, &m_log);
        return parser.ParsePolicy(doc, policyKey);
    }
    void SetStoredPolicyKey(const char *key) {
        VString text;
        ASSERT_EQ(text.AssignCStr(key, kVStringWindows1252), kNoError);
        ASSERT_EQ(m_prefs.SetEASPolicyKey(text), kNoError);
    }

    DWinMobCorvanePreferences m_prefs;
    CaptureLog m_log;
};

TEST_F(PolicyDocumentTest, APolicyInForceIsStoredAndWaitsForEnforcement) {
    SetStoredPolicyKey("0");
    EXPECT_EQ(Parse(kServerPolicy, "3101740659"), ASDataManagerErrITPolicyNotSatisfied);
    EXPECT_EQ(m_prefs.GetITPolicyEnabled(), 1);
    EXPECT_EQ(Raw(kProductKey, u"ITPolicyEnabled"), DwordValue(1));
    EXPECT_EQ(Raw(kPolicyKey, u"RequiredKey"), TextValue(u"3101740659"));
    EXPECT_EQ(Raw(kPolicyKey, u"SatisfiedKey"), TextValue(u"0"));
    EXPECT_EQ(Raw(kPolicyKey, u"FrequencyType"), DwordValue(1));
    EXPECT_EQ(Raw(kPolicyKey, u"FrequencyValue"), DwordValue(15));
    EXPECT_EQ(Raw(kPolicyKey, u"DeviceWipeThreshold"), DwordValue(8));
    EXPECT_EQ(Raw(kPolicyKey, u"CodewordFrequency"), DwordValue(4));
    EXPECT_EQ(Raw(kPolicyKey, u"MinimumPasswordLength"), DwordValue(6));
    EXPECT_EQ(Raw(kPolicyKey, u"PasswordComplexity"), DwordValue(0));
    EXPECT_EQ(Raw(kPolicyKey, u"IsFirstEnforcement"), DwordValue(1));
    EXPECT_EQ(m_log.text, "");

    // Enforced; the server then sends the same policy under the same key.
    DWinMobITPolicyManager applet;
    ASSERT_EQ(applet.MarkPolicySatisfied(), kNoError);
    SetStoredPolicyKey("3101740659");
    EXPECT_EQ(Parse(kServerPolicy, "3101740659"), kNoError);
    EXPECT_EQ(Raw(kPolicyKey, u"IsFirstEnforcement"), DwordValue(0));
}

TEST_F(PolicyDocumentTest, AnUnparsablePolicyIsLoggedAndAcknowledgedWithoutAPolicy) {
    SetStoredPolicyKey("0");
    ASSERT_EQ(Parse(kServerPolicy, "11"), ASDataManagerErrITPolicyNotSatisfied);
    const std::string truncated = std::string(kServerPolicy).substr(0, 120);
    EXPECT_EQ(Parse(truncated, "12"), ASDataManagerErrITPolicyDisabled);
    EXPECT_EQ(m_prefs.GetITPolicyEnabled(), 0);
    EXPECT_EQ(Raw(kProductKey, u"ITPolicyEnabled"), DwordValue(0));
    // The key is stored for the acknowledgement; the earlier values stay.
    EXPECT_EQ(Raw(kPolicyKey, u"RequiredKey"), TextValue(u"12"));
    EXPECT_EQ(Raw(kPolicyKey, u"MinimumPasswordLength"), DwordValue(6));
    EXPECT_NE(m_log.text.find("ERROR"), std::string::npos) << m_log.text;
    EXPECT_EQ(m_log.text.find("<"), std::string::npos) << "server bytes reached the log: " << m_log.text;
}

TEST_F(PolicyDocumentTest, AStorePolicyThatCannotBeReadIsReturnedAndKept) {
    ASSERT_EQ(Parse(kServerPolicy, "11"), ASDataManagerErrITPolicyNotSatisfied);
    WriteRaw(kPolicyKey, u"DeviceWipeThreshold", TextValue(u"8"));
    EXPECT_EQ(Parse(kServerPolicy, "12"), static_cast<DErrorCode>(ERROR_INVALID_DATA));
    EXPECT_EQ(Raw(kPolicyKey, u"RequiredKey"), TextValue(u"11"));
    EXPECT_EQ(Raw(kPolicyKey, u"DeviceWipeThreshold"), TextValue(u"8"));
}

}  // namespace
