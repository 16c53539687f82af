// A scripted HTTP(S) server on loopback for tests. Each request it receives
// is recorded exactly as it arrived (method, target, headers in order, body)
// and answered by the next scripted reply (404 once the script is used up).
// A reply can be slow, silent, cut midway (closed or reset), or carry any
// status, headers and body. With a certificate it speaks TLS. It only
// listens on 127.0.0.1, bounds every wait, and stops by itself after a
// minute if a test forgets it; the destructor stops it at once.
#ifndef VTEST_TESTHTTPSERVER_H
#define VTEST_TESTHTTPSERVER_H

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

class TestCertificate;

struct TestHttpRequest {
    std::string method;
    std::string target;
    std::string version;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    // The first value of a header (name case-insensitive); "" when absent.
    std::string Header(const std::string &name) const;
    bool HasHeader(const std::string &name) const;
};

struct TestHttpReply {
    int status = 200;
    std::string reason = "OK";
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    bool addContentLength = true;  // unless the headers already hold one
    int delayMs = 0;               // wait before answering
    bool silent = false;           // never answer; hold on until the client leaves
    size_t cutAfter = SIZE_MAX;    // end the connection after this many bytes of the answer
    bool reset = false;            // end a cut connection with a reset, not an orderly close
    bool stall = false;            // after cutAfter bytes fall silent (hold on) instead of ending
    std::string raw{};             // when set, the whole answer as these bytes (status, headers and body ignored)
};

class TestHttpServer {
public:
    // With a certificate (which must outlive the server) it serves HTTPS.
    explicit TestHttpServer(const TestCertificate *tls = nullptr);
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer &) = delete;
    TestHttpServer &operator=(const TestHttpServer &) = delete;

    unsigned short Port() const { return m_port; }
    void Script(TestHttpReply reply);
    std::vector<TestHttpRequest> Requests() const;
    // Waits (for at most the server's lifetime) until n requests arrived.
    bool WaitForRequests(size_t n);
    void Stop();

    // A loopback port where nothing listens: connecting is refused.
    static unsigned short ClosedPort();

private:
    struct Connection;

    void AcceptLoop();
    void Serve(int fd);
    bool ReadRequest(Connection &c, TestHttpRequest *request);
    void Answer(Connection &c, const TestHttpReply &reply);
    bool Sleep(int ms);

    int m_listen = -1;
    int m_stopPipe[2] = {-1, -1};
    unsigned short m_port = 0;
    void *m_ssl = nullptr;  // SSL_CTX when serving TLS
    std::thread m_acceptor;

    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_stopping = false;
    std::deque<TestHttpReply> m_script;
    std::vector<TestHttpRequest> m_requests;
    std::vector<std::thread> m_workers;
};

#endif
