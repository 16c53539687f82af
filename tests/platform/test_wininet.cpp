#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <future>
#include <string>
#include <vector>

#include "support/TestDevice.h"
#include "support/TestHttpServer.h"
#include "wininettestutil.h"

namespace {

class WinInetTest : public DeviceTest {};

std::string Pattern(size_t size) {
    std::string text(size, '\0');
    for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>((i * 131 + i / 4096) & 0xFF);
    return text;
}

// The names of the recorded headers that are among `wanted`, in arrival order.
std::vector<std::string> NamesAmong(const TestHttpRequest &request, const std::vector<std::string> &wanted) {
    std::vector<std::string> names;
    for (const auto &h : request.headers) {
        for (const auto &w : wanted) {
            if (h.first == w) names.push_back(h.first);
        }
    }
    return names;
}

TEST_F(WinInetTest, GetAndPostSendTheCallersHeadersInOrderAndNothingUnasked) {
    const std::string wbxml("\x03\x01\x6A\x00\x00\x07\x56\x52\x03\x30\x00\x01\x01", 13);
    struct Case {
        const char16_t *verb;
        std::string body;
    } cases[] = {{u"GET", ""}, {u"POST", wbxml}};
    for (const auto &c : cases) {
        TestHttpServer server;
        server.Script({200, "OK", {{"Content-Type", "text/plain"}}, "hello"});
        TestInternetRequest r(u"127.0.0.1", server.Port(), c.verb, u"/Microsoft-Server-ActiveSync?Cmd=Sync");
        std::string host = "127.0.0.1:" + std::to_string(server.Port());
        std::u16string headers = u"Authorization: Basic dXNlcjpwYXNz\r\nMS-ASProtocolVersion: 2.5\r\n"
                                 u"X-MS-PolicyKey: 0\r\nContent-Type: application/vnd.ms-sync.wbxml\r\nHost: " +
                                 std::u16string(host.begin(), host.end());
        ASSERT_TRUE(HttpAddRequestHeadersW(r.request, headers.c_str(), static_cast<DWORD>(-1), HTTP_ADDREQ_FLAG_ADD));
        ASSERT_EQ(r.Send(c.body), 0u);
        std::string body;
        EXPECT_EQ(r.ReadAll(&body), 0u);
        EXPECT_EQ(body, "hello");

        ASSERT_EQ(server.Requests().size(), 1u);
        TestHttpRequest got = server.Requests()[0];
        SCOPED_TRACE(got.method);
        EXPECT_EQ(got.method, std::string(c.verb, c.verb + (c.verb[0] == u'G' ? 3 : 4)));
        EXPECT_EQ(got.target, "/Microsoft-Server-ActiveSync?Cmd=Sync");
        EXPECT_EQ(got.version, "HTTP/1.1");
        // Host keeps the place of the request's own Host line, first.
        EXPECT_EQ(got.headers.front().first, "Host");
        std::vector<std::string> ours = {"Authorization", "MS-ASProtocolVersion", "X-MS-PolicyKey", "Content-Type"};
        EXPECT_EQ(NamesAmong(got, ours), ours);
        EXPECT_EQ(got.Header("Host"), host);
        EXPECT_EQ(got.Header("User-Agent"), "QV-WinMo-Agent");
        for (const char *unasked : {"Expect", "Accept", "Accept-Encoding", "Cookie", "Transfer-Encoding"})
            EXPECT_FALSE(got.HasHeader(unasked)) << unasked;
        int contentTypes = 0;
        for (const auto &h : got.headers) contentTypes += h.first == "Content-Type" || h.first == "content-type";
        EXPECT_EQ(contentTypes, 1);
        EXPECT_EQ(got.body, c.body);
        EXPECT_EQ(got.Header("Content-Length"), c.body.empty() ? "" : std::to_string(c.body.size()));
    }
}

TEST_F(WinInetTest, LongBodyGoesOutInPiecesWithItsLength) {
    TestHttpServer server;
    server.Script({});
    const std::string body = Pattern(2 * 65536 + 1);
    TestInternetRequest r(u"127.0.0.1", server.Port(), u"POST", u"/upload");
    INTERNET_BUFFERSW buffers = {};
    buffers.dwStructSize = sizeof buffers;
    buffers.dwBufferTotal = static_cast<DWORD>(body.size());
    ASSERT_TRUE(HttpSendRequestExW(r.request, &buffers, nullptr, 0, 0)) << GetLastError();
    for (size_t at = 0; at < body.size(); at += 65536) {
        DWORD piece = static_cast<DWORD>(std::min<size_t>(65536, body.size() - at));
        DWORD written = 0;
        ASSERT_TRUE(InternetWriteFile(r.request, body.data() + at, piece, &written)) << GetLastError();
        EXPECT_EQ(written, piece);
    }
    ASSERT_TRUE(HttpEndRequestW(r.request, nullptr, 0, 0)) << GetLastError();
    DWORD status = 0;
    EXPECT_EQ(r.QueryNumber(HTTP_QUERY_STATUS_CODE, &status), 0u);
    EXPECT_EQ(status, 200u);
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].Header("Content-Length"), std::to_string(body.size()));
    EXPECT_TRUE(server.Requests()[0].body == body);
}

TEST_F(WinInetTest, LargeResponseIsStreamedNotHeldWhole) {
    TestHttpServer server;
    const std::string big = Pattern(3 * 1024 * 1024 + 17);
    server.Script({200, "OK", {{"Content-Type", "application/octet-stream"}}, big});
    TestInternetRequest r(u"127.0.0.1", server.Port(), u"GET", u"/big");
    ASSERT_EQ(r.Send(), 0u);
    std::string body;
    DWORD largest = 0;
    ASSERT_EQ(r.ReadAll(&body, &largest), 0u);
    EXPECT_TRUE(body == big) << body.size();
    EXPECT_GT(largest, 0u);
    EXPECT_LT(largest, 1024u * 1024u);  // the client never held the whole body
    DWORD got = 1;
    char byte;
    EXPECT_TRUE(InternetReadFile(r.request, &byte, 1, &got));
    EXPECT_EQ(got, 0u);
}

TEST_F(WinInetTest, QueriesReadTheFinalResponseHead) {
    TestHttpServer server;
    server.Script({200,
                   "OK",
                   {{"Content-Type", "application/vnd.ms-sync.wbxml"},
                    {"MS-ASProtocolVersions", "2.5,12.0"},
                    {"X-Twice", "a"},
                    {"X-Twice", "b"}},
                   "0123456789"});
    TestInternetRequest r(u"127.0.0.1", server.Port(), u"OPTIONS", u"/Microsoft-Server-ActiveSync");
    std::u16string text;
    EXPECT_EQ(r.QueryText(HTTP_QUERY_STATUS_CODE, &text), static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_STATE));
    ASSERT_EQ(r.Send(), 0u);

    struct TextCase {
        DWORD level;
        const char16_t *custom;
        DWORD error;
        std::u16string value;
    } texts[] = {
        {HTTP_QUERY_STATUS_CODE, nullptr, 0, u"200"},
        {HTTP_QUERY_STATUS_TEXT, nullptr, 0, u"OK"},
        {HTTP_QUERY_CONTENT_TYPE, nullptr, 0, u"application/vnd.ms-sync.wbxml"},
        {HTTP_QUERY_CUSTOM, u"ms-asprotocolversions", 0, u"2.5,12.0"},
        {HTTP_QUERY_CUSTOM, u"X-Missing", ERROR_HTTP_HEADER_NOT_FOUND, u""},
        {HTTP_QUERY_LOCATION, nullptr, ERROR_HTTP_HEADER_NOT_FOUND, u""},
    };
    for (const auto &c : texts) {
        std::u16string value;
        EXPECT_EQ(r.QueryText(c.level, &value, c.custom), c.error) << c.level;
        if (c.error == 0) {
            EXPECT_TRUE(value == c.value) << c.level;
        }
    }
    DWORD number = 0;
    EXPECT_EQ(r.QueryNumber(HTTP_QUERY_STATUS_CODE, &number), 0u);
    EXPECT_EQ(number, 200u);
    EXPECT_EQ(r.QueryNumber(HTTP_QUERY_CONTENT_LENGTH, &number), 0u);
    EXPECT_EQ(number, 10u);
    EXPECT_EQ(r.QueryNumber(HTTP_QUERY_CONTENT_TYPE, &number), static_cast<DWORD>(ERROR_HTTP_INVALID_HEADER));

    // Repeated headers are walked by index.
    std::vector<std::u16string> twice;
    DWORD index = 0;
    for (;;) {
        char16_t buffer[64] = u"X-Twice";
        DWORD size = sizeof buffer;
        if (!HttpQueryInfoW(r.request, HTTP_QUERY_CUSTOM, buffer, &size, &index)) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_HTTP_HEADER_NOT_FOUND));
            break;
        }
        twice.emplace_back(buffer, size / 2);
    }
    EXPECT_EQ(twice, (std::vector<std::u16string>{u"a", u"b"}));

    // A short buffer tells the size needed, terminator included.
    char16_t small[4];
    DWORD size = sizeof small;
    EXPECT_FALSE(HttpQueryInfoW(r.request, HTTP_QUERY_CONTENT_TYPE, small, &size, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, (29u + 1u) * 2u);
}

TEST_F(WinInetTest, RedirectIsReportedNotFollowed) {
    TestHttpServer server;
    std::string elsewhere = "http://127.0.0.1:" + std::to_string(server.Port()) + "/elsewhere";
    server.Script({302, "Found", {{"Location", elsewhere}}, "moved"});
    server.Script({200, "OK", {}, "followed"});
    TestInternetRequest r(u"127.0.0.1", server.Port(), u"GET", u"/here");
    ASSERT_EQ(r.Send(), 0u);
    std::string body;
    EXPECT_EQ(r.ReadAll(&body), 0u);
    EXPECT_EQ(body, "moved");
    DWORD status = 0;
    EXPECT_EQ(r.QueryNumber(HTTP_QUERY_STATUS_CODE, &status), 0u);
    EXPECT_EQ(status, 302u);
    std::u16string location;
    EXPECT_EQ(r.QueryText(HTTP_QUERY_LOCATION, &location), 0u);
    EXPECT_TRUE(location == std::u16string(elsewhere.begin(), elsewhere.end()));
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(WinInetTest, TargetGoesOutExactlyAsEscaped) {
    struct Case {
        const char16_t *target;
        DWORD openError;
    } cases[] = {
        {u"/Microsoft-Server-ActiveSync?User=j%2Edoe%40example.com&DeviceId=V1&DeviceType=PocketPC&Cmd=Sync", 0},
        {u"/a/./b/../c/%2e%2e/d//e", 0},
        {u"/q?x=a%20b&y=%7E+z#frag", 0},
        {u"/with space", ERROR_INTERNET_INVALID_URL},
        {u"/x\r\nInjected: 1", ERROR_INTERNET_INVALID_URL},
        {u"/caf\u00e9", ERROR_INTERNET_INVALID_URL},
    };
    for (const auto &c : cases) {
        std::u16string wide(c.target);
        SCOPED_TRACE(std::string(wide.begin(), wide.end()));
        TestHttpServer server;
        server.Script({});
        TestInternetRequest r(u"127.0.0.1", server.Port(), u"GET", c.target);
        EXPECT_EQ(r.openError, c.openError);
        if (c.openError != 0) continue;
        ASSERT_EQ(r.Send(), 0u);
        ASSERT_EQ(server.Requests().size(), 1u);
        EXPECT_TRUE(server.Requests()[0].target == std::string(wide.begin(), wide.end()));
    }
}

TEST_F(WinInetTest, TransportFailuresGiveTheirOwnNumbers) {
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 200000\r\n\r\n";
    struct Case {
        const char *name;
        const char16_t *host;
        bool closedPort;
        TestHttpReply reply;
        DWORD receiveTimeout;
        DWORD error;
    } cases[] = {
        {"refused", u"127.0.0.1", true, {}, 0, ERROR_INTERNET_CANNOT_CONNECT},
        {"unknown name", u"no-such-host.invalid", false, {}, 0, ERROR_INTERNET_NAME_NOT_RESOLVED},
        {"closed before answering", u"127.0.0.1", false, [] { TestHttpReply r; r.cutAfter = 0; return r; }(), 0,
         ERROR_INTERNET_CONNECTION_ABORTED},
        {"closed midway", u"127.0.0.1", false,
         [&] { TestHttpReply r; r.body = Pattern(200000); r.cutAfter = head.size() + 5000; return r; }(), 0,
         ERROR_INTERNET_CONNECTION_ABORTED},
        {"reset midway", u"127.0.0.1", false,
         [&] {
             TestHttpReply r;
             r.body = Pattern(200000);
             r.cutAfter = head.size() + 5000;
             r.reset = true;
             return r;
         }(),
         0, ERROR_INTERNET_CONNECTION_RESET},
        {"silent", u"127.0.0.1", false, [] { TestHttpReply r; r.silent = true; return r; }(), 300,
         ERROR_INTERNET_TIMEOUT},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        TestHttpServer server;
        server.Script(c.reply);
        unsigned short port = c.closedPort ? TestHttpServer::ClosedPort() : server.Port();
        TestInternetRequest r(c.host, port, u"GET", u"/");
        if (c.receiveTimeout != 0) {
            ASSERT_TRUE(InternetSetOptionW(r.request, INTERNET_OPTION_RECEIVE_TIMEOUT, &c.receiveTimeout,
                                           sizeof c.receiveTimeout));
        }
        DWORD error = r.Send();
        std::string body;
        if (error == 0) error = r.ReadAll(&body);
        EXPECT_EQ(error, c.error);
        EXPECT_LT(body.size(), 200000u);
    }
}

TEST_F(WinInetTest, HeaderLinesAreCheckedAndOnlyAddedBeforeSending) {
    TestHttpServer server;
    server.Script({});
    TestInternetRequest r(u"127.0.0.1", server.Port(), u"GET", u"/");
    struct Case {
        const char16_t *text;
        DWORD modifiers;
        DWORD error;
    } cases[] = {
        {u"X-One: 1\r\nX-Two: 2", HTTP_ADDREQ_FLAG_ADD, 0},
        {u"no colon here", HTTP_ADDREQ_FLAG_ADD, ERROR_HTTP_INVALID_HEADER},
        {u"Bad Name: 1", HTTP_ADDREQ_FLAG_ADD, ERROR_HTTP_INVALID_HEADER},
        {u"X-One: again", HTTP_ADDREQ_FLAG_ADD_IF_NEW, ERROR_HTTP_HEADER_ALREADY_EXISTS},
        {u"X-Two: 22", HTTP_ADDREQ_FLAG_REPLACE, 0},
        {u"X-Gone:", HTTP_ADDREQ_FLAG_REPLACE, ERROR_HTTP_HEADER_NOT_FOUND},
    };
    for (const auto &c : cases) {
        BOOL ok = HttpAddRequestHeadersW(r.request, c.text, static_cast<DWORD>(-1), c.modifiers);
        EXPECT_EQ(ok ? 0u : GetLastError(), c.error);
    }
    ASSERT_EQ(r.Send(), 0u);
    EXPECT_FALSE(HttpAddRequestHeadersW(r.request, u"X-Late: 1", static_cast<DWORD>(-1), HTTP_ADDREQ_FLAG_ADD));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_STATE));
    ASSERT_EQ(server.Requests().size(), 1u);
    const TestHttpRequest got = server.Requests()[0];
    EXPECT_EQ(got.Header("X-One"), "1");
    EXPECT_EQ(got.Header("X-Two"), "22");
    EXPECT_EQ(NamesAmong(got, {"X-One", "X-Two", "X-Late"}), (std::vector<std::string>{"X-One", "X-Two"}));
}

TEST_F(WinInetTest, CloseFromAnotherThreadEndsABlockedCall) {
    TestHttpServer server;
    TestHttpReply silent;
    silent.silent = true;
    server.Script(silent);
    TestInternetRequest r(u"127.0.0.1", server.Port(), u"POST", u"/ping");
    HINTERNET request = r.request;
    auto worker = std::async(std::launch::async, [request] {
        char body[] = "ping";
        BOOL ok = HttpSendRequestW(request, nullptr, 0, body, 4);
        return ok ? 0u : GetLastError();
    });
    ASSERT_TRUE(server.WaitForRequests(1));
    // Past curl's own short timers of the connect, the call sleeps in a long poll.
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    auto closed = std::chrono::steady_clock::now();
    ASSERT_TRUE(InternetCloseHandle(request));
    r.request = nullptr;
    // The close wakes the call at once, not when the server gives up.
    ASSERT_EQ(worker.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_LT(std::chrono::steady_clock::now() - closed, std::chrono::seconds(2));
    EXPECT_EQ(worker.get(), static_cast<DWORD>(ERROR_INTERNET_OPERATION_CANCELLED));
    DWORD available = 0;
    EXPECT_FALSE(InternetQueryDataAvailable(request, &available, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// Closing a session or a connection closes the handles made from it, and a
// call blocked in one of those requests returns promptly.
TEST_F(WinInetTest, ClosingAParentClosesItsChildrenAndWakesTheirCalls) {
    for (bool closeSession : {false, true}) {
        SCOPED_TRACE(closeSession ? "session" : "connection");
        TestHttpServer server;
        TestHttpReply silent;
        silent.silent = true;
        server.Script(silent);
        TestInternetRequest r(u"127.0.0.1", server.Port(), u"POST", u"/ping");
        HINTERNET idle = HttpOpenRequestW(r.connect, u"GET", u"/idle", nullptr, nullptr, nullptr, 0, 0);
        ASSERT_NE(idle, nullptr);
        HINTERNET request = r.request;
        auto worker = std::async(std::launch::async, [request] {
            char body[] = "ping";
            return HttpSendRequestW(request, nullptr, 0, body, 4) ? 0u : GetLastError();
        });
        ASSERT_TRUE(server.WaitForRequests(1));
        HINTERNET &parent = closeSession ? r.session : r.connect;
        auto closed = std::chrono::steady_clock::now();
        ASSERT_TRUE(InternetCloseHandle(parent));
        parent = nullptr;
        ASSERT_EQ(worker.wait_for(std::chrono::seconds(30)), std::future_status::ready);
        EXPECT_LT(std::chrono::steady_clock::now() - closed, std::chrono::seconds(2));
        EXPECT_EQ(worker.get(), static_cast<DWORD>(ERROR_INTERNET_OPERATION_CANCELLED));

        // Every descendant is gone: closing it again is an unknown handle.
        std::vector<HINTERNET> gone = {r.request, idle};
        if (closeSession) gone.push_back(r.connect);
        for (HINTERNET h : gone) {
            EXPECT_FALSE(InternetCloseHandle(h));
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        }
        r.request = nullptr;
        if (closeSession) r.connect = nullptr;
        // The session outlives a closed connection and makes new ones.
        if (!closeSession) {
            HINTERNET again = InternetConnectW(r.session, u"127.0.0.1", server.Port(), nullptr, nullptr,
                                               INTERNET_SERVICE_HTTP, 0, 0);
            EXPECT_NE(again, nullptr);
            EXPECT_TRUE(InternetCloseHandle(again));
        }
    }
}

// A server name is a host name or an IP address and nothing else: URL syntax
// in it must neither reach a server (as credentials, a path or another port)
// nor be sent anywhere.
TEST_F(WinInetTest, ServerNameWithUrlSyntaxIsRefusedAndNothingIsSent) {
    TestHttpServer server;
    const std::string port = std::to_string(server.Port());
    const std::u16string widePort(port.begin(), port.end());
    struct Case {
        std::u16string host;
        DWORD error;
    } cases[] = {
        {u"evil@127.0.0.1", ERROR_INTERNET_INVALID_URL},
        {u"user:secret@127.0.0.1", ERROR_INTERNET_INVALID_URL},
        {u"127.0.0.1/x", ERROR_INTERNET_INVALID_URL},
        {u"127.0.0.1?x", ERROR_INTERNET_INVALID_URL},
        {u"127.0.0.1#x", ERROR_INTERNET_INVALID_URL},
        {u"127.0.0.1:" + widePort, ERROR_INTERNET_INVALID_URL},
        {u"127.0.0.1\\x", ERROR_INTERNET_INVALID_URL},
        {u"127.0.0.1 ", ERROR_INTERNET_INVALID_URL},
        {u"127.0.0.1\r\nX-Injected: 1", ERROR_INTERNET_INVALID_URL},
        {u"127.0.0.1\t", ERROR_INTERNET_INVALID_URL},
        {u"127..0.0.1", ERROR_INTERNET_INVALID_URL},
        {u"caf\u00e9.example", ERROR_INTERNET_INVALID_URL},
        {u"[::1", ERROR_INTERNET_INVALID_URL},
        {u"[127.0.0.1]", ERROR_INTERNET_INVALID_URL},
        {u"fe80::1%25eth0", ERROR_INTERNET_INVALID_URL},
        {u"", ERROR_INVALID_PARAMETER},
        {u"::1", 0},
        {u"[::1]", 0},
        {u"mail-1.example_corp.invalid.", 0},
        {u"127.0.0.1", 0},
    };
    HINTERNET session = InternetOpenW(u"QV-WinMo-Agent", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    // A host that went elsewhere must not hold the test up.
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        DWORD limit = 3000;
        ASSERT_TRUE(InternetSetOptionW(session, option, &limit, sizeof limit));
    }
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.host.begin(), c.host.end()));
        HINTERNET connect =
            InternetConnectW(session, c.host.c_str(), server.Port(), nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
        EXPECT_EQ(connect == nullptr ? GetLastError() : 0u, c.error);
        if (connect == nullptr) continue;
        // Whatever was accepted is sent; only the plain loopback address may
        // reach the listener.
        HINTERNET request = HttpOpenRequestW(connect, u"GET", u"/", nullptr, nullptr, nullptr, 0, 0);
        BOOL sent = HttpSendRequestW(request, nullptr, 0, nullptr, 0);
        if (c.host == u"127.0.0.1") {
            EXPECT_TRUE(sent) << GetLastError();
        }
        InternetCloseHandle(request);
        InternetCloseHandle(connect);
    }
    InternetCloseHandle(session);
    // Only the plain address's request arrived, without credentials.
    EXPECT_EQ(server.Requests().size(), 1u);
    for (const auto &got : server.Requests()) {
        EXPECT_FALSE(got.HasHeader("Authorization")) << got.Header("Authorization");
        EXPECT_EQ(got.Header("Host"), "127.0.0.1:" + port);
    }
}

// An answer without an HTTP status line is an invalid server response.
TEST_F(WinInetTest, AnswerThatIsNotHttpIsAnInvalidServerResponse) {
    const char *answers[] = {
        "garbage\r\n\r\n",
        "SSH-2.0-OpenSSH_9.2\r\n",
        "\x16\x03\x01\x00\x05hello",
        "HTTP/1.1 abc\r\n\r\n",
        "ICY 200 OK\r\n\r\n",
    };
    for (const char *answer : answers) {
        SCOPED_TRACE(answer);
        TestHttpServer server;
        TestHttpReply reply;
        reply.raw = answer;
        server.Script(reply);
        TestInternetRequest r(u"127.0.0.1", server.Port(), u"GET", u"/");
        EXPECT_EQ(r.Send(), static_cast<DWORD>(ERROR_HTTP_INVALID_SERVER_RESPONSE));
    }
}

// Any 2xx answer keeps its head, and a header value of any length is given
// whole to a buffer of the size the call names.
TEST_F(WinInetTest, EverySuccessHeadAndLongHeadersAreReadable) {
    const std::string longValue(5000, 'v');
    for (int status : {200, 204, 206}) {
        SCOPED_TRACE(status);
        TestHttpServer server;
        TestHttpReply reply{status, "Any", {{"Content-Type", "application/vnd.ms-sync.wbxml"}, {"X-Long", longValue}},
                            status == 204 ? "" : "part"};
        server.Script(reply);
        TestInternetRequest r(u"127.0.0.1", server.Port(), u"GET", u"/");
        ASSERT_EQ(r.Send(), 0u);
        std::u16string type;
        EXPECT_EQ(r.QueryText(HTTP_QUERY_CONTENT_TYPE, &type), 0u);
        EXPECT_TRUE(type == u"application/vnd.ms-sync.wbxml");
        DWORD length = 99;
        EXPECT_EQ(r.QueryNumber(HTTP_QUERY_CONTENT_LENGTH, &length), 0u);
        EXPECT_EQ(length, status == 204 ? 0u : 4u);

        std::vector<char16_t> buffer(512);
        std::char_traits<char16_t>::copy(buffer.data(), u"X-Long", 7);
        DWORD size = static_cast<DWORD>(buffer.size() * sizeof(char16_t));
        EXPECT_FALSE(HttpQueryInfoW(r.request, HTTP_QUERY_CUSTOM, buffer.data(), &size, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        ASSERT_EQ(size, (longValue.size() + 1) * sizeof(char16_t));
        buffer.assign(size / sizeof(char16_t), 0);
        std::char_traits<char16_t>::copy(buffer.data(), u"X-Long", 7);
        ASSERT_TRUE(HttpQueryInfoW(r.request, HTTP_QUERY_CUSTOM, buffer.data(), &size, nullptr)) << GetLastError();
        EXPECT_TRUE(std::u16string(buffer.data(), size / sizeof(char16_t)) ==
                    std::u16string(longValue.begin(), longValue.end()));
    }
}

}  // namespace
