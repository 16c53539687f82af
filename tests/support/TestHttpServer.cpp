#include "support/TestHttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <chrono>
#include <cstring>

#include "support/TestCertificate.h"

namespace {

// Every wait of the server ends by this long after it started.
const std::chrono::seconds kLifetime(60);
// Longest wait for a client's next bytes.
const int kReadWaitMs = 15000;

bool SameName(const std::string &a, const std::string &b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string Trim(const std::string &s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return std::string();
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

}  // namespace

std::string TestHttpRequest::Header(const std::string &name) const {
    for (const auto &h : headers) {
        if (SameName(h.first, name)) return h.second;
    }
    return std::string();
}

bool TestHttpRequest::HasHeader(const std::string &name) const {
    return std::any_of(headers.begin(), headers.end(), [&](const auto &h) { return SameName(h.first, name); });
}

// One accepted client: plain or TLS, reads bounded by the stop pipe and a
// time limit.
struct TestHttpServer::Connection {
    int fd = -1;
    int stopFd = -1;
    SSL *ssl = nullptr;
    std::string pending;  // bytes read but not yet used

    ~Connection() {
        if (ssl != nullptr) SSL_free(ssl);
        if (fd >= 0) close(fd);
    }

    // Waits for the client's bytes; false on stop, time limit or its end.
    bool WaitReadable() {
        if (ssl != nullptr && SSL_pending(ssl) > 0) return true;
        pollfd fds[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
        int n = poll(fds, 2, kReadWaitMs);
        return n > 0 && (fds[1].revents & POLLIN) == 0;
    }

    bool ReadMore() {
        if (!WaitReadable()) return false;
        char buffer[16384];
        int n = ssl != nullptr ? SSL_read(ssl, buffer, sizeof buffer)
                               : static_cast<int>(recv(fd, buffer, sizeof buffer, 0));
        if (n <= 0) return false;
        pending.append(buffer, static_cast<size_t>(n));
        return true;
    }

    bool ReadLine(std::string *line) {
        size_t end;
        while ((end = pending.find("\r\n")) == std::string::npos) {
            if (!ReadMore()) return false;
        }
        *line = pending.substr(0, end);
        pending.erase(0, end + 2);
        return true;
    }

    bool ReadExactly(size_t n, std::string *out) {
        while (pending.size() < n) {
            if (!ReadMore()) return false;
        }
        out->append(pending, 0, n);
        pending.erase(0, n);
        return true;
    }

    bool Write(const char *data, size_t len) {
        while (len > 0) {
            int n = ssl != nullptr ? SSL_write(ssl, data, static_cast<int>(std::min<size_t>(len, 1 << 20)))
                                   : static_cast<int>(send(fd, data, len, MSG_NOSIGNAL));
            if (n <= 0) return false;
            data += n;
            len -= static_cast<size_t>(n);
        }
        return true;
    }
};

TestHttpServer::TestHttpServer(const TestCertificate *tls) {
    // TLS writes to a client that already left must fail, not kill the test.
    signal(SIGPIPE, SIG_IGN);
    if (pipe2(m_stopPipe, O_CLOEXEC) != 0) return;
    if (tls != nullptr) {
        SSL_CTX *ctx = SSL_CTX_new(TLS_server_method());
        BIO *certBio = BIO_new_mem_buf(tls->CertificatePem().data(), static_cast<int>(tls->CertificatePem().size()));
        BIO *keyBio = BIO_new_mem_buf(tls->KeyPem().data(), static_cast<int>(tls->KeyPem().size()));
        X509 *cert = PEM_read_bio_X509(certBio, nullptr, nullptr, nullptr);
        EVP_PKEY *key = PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr);
        if (ctx != nullptr && cert != nullptr && key != nullptr && SSL_CTX_use_certificate(ctx, cert) == 1 &&
            SSL_CTX_use_PrivateKey(ctx, key) == 1) {
            m_ssl = ctx;
        } else if (ctx != nullptr) {
            SSL_CTX_free(ctx);
        }
        X509_free(cert);
        EVP_PKEY_free(key);
        BIO_free(certBio);
        BIO_free(keyBio);
        if (m_ssl == nullptr) return;
    }
    m_listen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (m_listen < 0 || bind(m_listen, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        listen(m_listen, 16) != 0 || getsockname(m_listen, reinterpret_cast<sockaddr *>(&addr), &len) != 0)
        return;
    m_port = ntohs(addr.sin_port);
    m_acceptor = std::thread(&TestHttpServer::AcceptLoop, this);
}

TestHttpServer::~TestHttpServer() {
    Stop();
    if (m_listen >= 0) close(m_listen);
    for (int fd : m_stopPipe) {
        if (fd >= 0) close(fd);
    }
    if (m_ssl != nullptr) SSL_CTX_free(static_cast<SSL_CTX *>(m_ssl));
}

void TestHttpServer::Stop() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_stopping && !m_acceptor.joinable()) return;
        m_stopping = true;
    }
    m_changed.notify_all();
    if (m_stopPipe[1] >= 0) {
        char byte = 1;
        (void)!write(m_stopPipe[1], &byte, 1);
    }
    if (m_acceptor.joinable()) m_acceptor.join();
    std::vector<std::thread> workers;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        workers.swap(m_workers);
    }
    for (auto &t : workers) t.join();
}

void TestHttpServer::Script(TestHttpReply reply) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_script.push_back(std::move(reply));
}

std::vector<TestHttpRequest> TestHttpServer::Requests() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_requests;
}

bool TestHttpServer::WaitForRequests(size_t n) {
    std::unique_lock<std::mutex> guard(m_lock);
    return m_changed.wait_for(guard, kLifetime, [&] { return m_requests.size() >= n || m_stopping; }) &&
           m_requests.size() >= n;
}

bool TestHttpServer::Sleep(int ms) {
    std::unique_lock<std::mutex> guard(m_lock);
    return !m_changed.wait_for(guard, std::chrono::milliseconds(ms), [&] { return m_stopping; });
}

unsigned short TestHttpServer::ClosedPort() {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    unsigned short port = 0;
    if (bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    close(fd);  // bound but never listening: the port now refuses
    return port;
}

void TestHttpServer::AcceptLoop() {
    auto deadline = std::chrono::steady_clock::now() + kLifetime;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd fds[2] = {{m_listen, POLLIN, 0}, {m_stopPipe[0], POLLIN, 0}};
        if (poll(fds, 2, static_cast<int>(left.count())) <= 0 || (fds[1].revents & POLLIN)) break;
        int fd = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        timeval limit{kReadWaitMs / 1000, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        std::lock_guard<std::mutex> guard(m_lock);
        m_workers.emplace_back(&TestHttpServer::Serve, this, fd);
    }
    std::lock_guard<std::mutex> guard(m_lock);
    m_stopping = true;
    m_changed.notify_all();
}

void TestHttpServer::Serve(int fd) {
    Connection c;
    c.fd = fd;
    c.stopFd = m_stopPipe[0];
    if (m_ssl != nullptr) {
        c.ssl = SSL_new(static_cast<SSL_CTX *>(m_ssl));
        SSL_set_fd(c.ssl, fd);
        if (SSL_accept(c.ssl) != 1) {  // e.g. the client refused our certificate
            ERR_clear_error();
            return;
        }
    }
    for (;;) {
        TestHttpRequest request;
        if (!ReadRequest(c, &request)) return;
        TestHttpReply reply;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_requests.push_back(request);
            if (!m_script.empty()) {
                reply = std::move(m_script.front());
                m_script.pop_front();
            } else {
                reply.status = 404;
                reply.reason = "Not Found";
            }
        }
        m_changed.notify_all();
        Answer(c, reply);
        if (reply.silent || reply.cutAfter != SIZE_MAX || !reply.raw.empty() ||
            SameName(request.Header("Connection"), "close"))
            return;
    }
}

bool TestHttpServer::ReadRequest(Connection &c, TestHttpRequest *request) {
    std::string line;
    if (!c.ReadLine(&line)) return false;
    size_t a = line.find(' ');
    size_t b = line.rfind(' ');
    if (a == std::string::npos || b == a) return false;
    request->method = line.substr(0, a);
    request->target = line.substr(a + 1, b - a - 1);
    request->version = line.substr(b + 1);
    for (;;) {
        if (!c.ReadLine(&line)) return false;
        if (line.empty()) break;
        size_t colon = line.find(':');
        if (colon == std::string::npos) return false;
        request->headers.emplace_back(line.substr(0, colon), Trim(line.substr(colon + 1)));
    }
    if (SameName(request->Header("Transfer-Encoding"), "chunked")) {
        for (;;) {
            if (!c.ReadLine(&line)) return false;
            size_t size = std::stoul(line, nullptr, 16);
            if (size == 0) {
                while (c.ReadLine(&line) && !line.empty()) {
                }
                return true;
            }
            if (!c.ReadExactly(size, &request->body) || !c.ReadLine(&line)) return false;
        }
    }
    std::string length = request->Header("Content-Length");
    return length.empty() || c.ReadExactly(std::stoul(length), &request->body);
}

void TestHttpServer::Answer(Connection &c, const TestHttpReply &reply) {
    if (reply.delayMs > 0 && !Sleep(reply.delayMs)) return;
    if (reply.silent) {
        // Hold the connection until the client leaves or the server stops.
        while (c.ReadMore()) {
        }
        return;
    }
    std::string text = "HTTP/1.1 " + std::to_string(reply.status) + " " + reply.reason + "\r\n";
    bool hasLength = false;
    for (const auto &h : reply.headers) {
        text += h.first + ": " + h.second + "\r\n";
        hasLength = hasLength || SameName(h.first, "Content-Length");
    }
    if (reply.addContentLength && !hasLength) text += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
    text += "\r\n";
    text += reply.body;
    if (!reply.raw.empty()) text = reply.raw;
    size_t send = std::min(reply.cutAfter, text.size());
    c.Write(text.data(), send);
    if (reply.stall) {
        while (c.ReadMore()) {
        }
        return;
    }
    if (reply.cutAfter != SIZE_MAX && reply.reset) {
        linger hard{1, 0};
        setsockopt(c.fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    }
}
