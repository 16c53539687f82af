#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DHTTPHeaderList.h"
#include "DHTTPSession.h"
#include "FakeGlobalData.h"

namespace {

std::string Text(DHTTPHeaderList &list, bool blank = false) {
    std::string text;
    EXPECT_EQ(list.BuildText(&text, blank), kNoError);
    return text;
}

// Hands out fixed credentials.
class CredentialsClient : public IHTTPClient {
public:
    CredentialsClient(const char *user, const char *password, VStringEncoding encoding = kVStringWindows1252)
        : m_user(user), m_password(password), m_encoding(encoding) {}
    DErrorCode HTTP_ReportError(DErrorCode, VString *) override { return kNoError; }
    DErrorCode HTTP_RecievedResponse(DClientResponse *) override { return kNoError; }
    DErrorCode HTTP_ReportStatus(DStatusData *) override { return kNoError; }
    DErrorCode HTTP_GetCredentials(VString *user, VString *password) override {
        DErrorCode err = user->AssignCStr(m_user, m_encoding);
        return err != kNoError ? err : password->AssignCStr(m_password, m_encoding);
    }

private:
    const char *m_user;
    const char *m_password;
    VStringEncoding m_encoding;
};

}  // namespace

TEST(HTTPHeaderList, KeepsOrderAndReplacesByNameInPlace) {
    DHTTPHeaderList list;
    ASSERT_EQ(list.Set("Content-Type", "text/plain", kHTTPHeaderToTerminator), kNoError);
    ASSERT_EQ(list.SetByID(kHTTPHeaderAcceptLanguage, "en-us", kHTTPHeaderToTerminator), kNoError);
    ASSERT_EQ(list.Set("content-type", "application/vnd.ms-sync.wbxml", kHTTPHeaderToTerminator), kNoError);
    ASSERT_EQ(list.Set("X-Empty", "abcdef", 0), kNoError);
    ASSERT_EQ(list.Set("X-Cut", "abcdef", 3), kNoError);
    EXPECT_EQ(list.GetCount(), 4u);
    EXPECT_EQ(Text(list),
              "Content-Type: application/vnd.ms-sync.wbxml\r\nAccept-Language: en-us\r\nX-Empty: \r\nX-Cut: abc\r\n");
    EXPECT_EQ(Text(list, true).substr(Text(list).size()), "\r\n");

    // Removing the header under the cursor sends the cursor back to the head.
    ASSERT_NE(list.First(), nullptr);
    ASSERT_STREQ(list.Next()->GetName(), "Accept-Language");
    ASSERT_EQ(list.Remove("ACCEPT-LANGUAGE"), kNoError);
    EXPECT_STREQ(list.Next()->GetName(), "X-Empty");
    EXPECT_EQ(list.Remove("Accept-Language"), httpErrHeaderNotFound);
    EXPECT_EQ(list.RemoveByID(kHTTPHeaderTypeCount), httpErrUnknownHeaderType);
    EXPECT_EQ(list.SetByID(49, "x", kHTTPHeaderToTerminator), httpErrUnknownHeaderType);
    EXPECT_STREQ(DHTTPHeaderList::GetHeaderName(kHTTPHeaderXMSPolicyKey), "X-MS-PolicyKey");
    EXPECT_STREQ(DHTTPHeaderList::GetHeaderName(kHTTPHeaderMSASProtocolVersion), "MS-ASProtocolVersion");
    EXPECT_EQ(DHTTPHeaderList::GetHeaderName(49), nullptr);
}

TEST(HTTPHeaderList, RefusesLineBreaksAndNulInNamesAndValues) {
    struct Case {
        const char *name;
        const char *value;
        int32_t length;
    };
    const Case cases[] = {
        {"X-MS-PolicyKey", "1\r\nX-Evil: 1", kHTTPHeaderToTerminator},
        {"X-MS-PolicyKey", "1\nX-Evil: 1", kHTTPHeaderToTerminator},
        {"X-MS-PolicyKey", "1\rX", kHTTPHeaderToTerminator},
        {"X-MS-PolicyKey", "1\0X", 3},
        {"X-Evil\r\nHost", "a", kHTTPHeaderToTerminator},
        {"X-Evil\nHost", "a", kHTTPHeaderToTerminator},
        {"", "a", kHTTPHeaderToTerminator},
        {"X-MS-PolicyKey", "a", -2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        DHTTPHeaderList list;
        ASSERT_EQ(list.Set("X-MS-PolicyKey", "42", kHTTPHeaderToTerminator), kNoError);
        EXPECT_EQ(list.Set(c.name, c.value, c.length), generalErrInvalidParameter);
        // Nothing changed: no new header, the old value stays.
        EXPECT_EQ(Text(list), "X-MS-PolicyKey: 42\r\n");
    }

    // The session's own headers go through the same check.
    FakeGlobalData global(nullptr, nullptr);
    DHTTPSession session(&global);
    EXPECT_EQ(session.SetHeader(kHTTPHeaderXMSPolicyKey, "7\r\nHost: evil", kHTTPHeaderToTerminator),
              generalErrInvalidParameter);
    EXPECT_EQ(session.GetHeaders()->GetCount(), 0u);
    EXPECT_EQ(session.SetHeader(kHTTPHeaderXMSPolicyKey, nullptr, 0), httpErrHeaderNotFound);
}

TEST(HTTPSessionAuthorization, BuildsBasicCredentialsInWindows1252) {
    struct Case {
        const char *user;
        const char *password;
        VStringEncoding encoding;
        const char *expected;
    };
    const Case cases[] = {
        {"", "", kVStringWindows1252, "Basic Og=="},
        {"DOMAIN\\user", "secret", kVStringWindows1252, "Basic RE9NQUlOXHVzZXI6c2VjcmV0"},
        // U+00E9 in UTF-8 goes out as the single byte 0xE9.
        {"jos\xC3\xA9", "p", kVStringUTF8, "Basic am9z6Tpw"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.expected);
        CredentialsClient client(c.user, c.password, c.encoding);
        FakeGlobalData global(nullptr, nullptr);
        DHTTPSession session(&global);
        session.SetClient(&client);
        ASSERT_EQ(session.SetBasicAuthorization(), kNoError);
        DHTTPHeader *auth = session.GetHeaders()->Find("Authorization");
        ASSERT_NE(auth, nullptr);
        EXPECT_STREQ(auth->GetValue(), c.expected);
    }
}
