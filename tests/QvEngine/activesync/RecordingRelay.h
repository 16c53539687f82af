// A loopback relay for tests that must see the raw bytes a client sends: it
// accepts on 127.0.0.1, passes each connection on to a target port, and keeps
// every byte the client sent, one record per connection. A TLS test server
// behind it shows only what it could decrypt; the relay shows whether a
// connection spoke TLS at all. Waits are bounded; the destructor stops it.
#ifndef VTEST_RECORDINGRELAY_H
#define VTEST_RECORDINGRELAY_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class RecordingRelay {
public:
    explicit RecordingRelay(unsigned short target) : m_target(target) {
        m_listen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr = Loopback(0);
        socklen_t length = sizeof addr;
        if (m_listen < 0 || bind(m_listen, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
            listen(m_listen, 8) != 0 || getsockname(m_listen, reinterpret_cast<sockaddr *>(&addr), &length) != 0)
            return;
        m_port = ntohs(addr.sin_port);
        m_acceptor = std::thread([this] { AcceptLoop(); });
    }
    ~RecordingRelay() {
        m_stop = true;
        if (m_acceptor.joinable()) m_acceptor.join();
        for (std::thread &t : m_workers) t.join();
        if (m_listen >= 0) close(m_listen);
    }
    RecordingRelay(const RecordingRelay &) = delete;
    RecordingRelay &operator=(const RecordingRelay &) = delete;

    unsigned short Port() const { return m_port; }
    // The bytes each client sent, one entry per connection in accept order.
    std::vector<std::string> ClientBytes() const {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_sent;
    }

private:
    static sockaddr_in Loopback(unsigned short port) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(port);
        return addr;
    }

    void AcceptLoop() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!m_stop && std::chrono::steady_clock::now() < deadline) {
            pollfd p = {m_listen, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            const int client = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) continue;
            size_t index = 0;
            {
                std::lock_guard<std::mutex> hold(m_lock);
                index = m_sent.size();
                m_sent.emplace_back();
            }
            m_workers.emplace_back([this, client, index] { Relay(client, index); });
        }
    }

    // Copies both ways until either side ends, keeping the client's bytes.
    void Relay(int client, size_t index) {
        const int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in addr = Loopback(m_target);
        if (server >= 0 && connect(server, reinterpret_cast<const sockaddr *>(&addr), sizeof addr) == 0) {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            char buffer[16384];
            bool open = true;
            while (open && !m_stop && std::chrono::steady_clock::now() < deadline) {
                pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
                if (poll(p, 2, 50) <= 0) continue;
                for (int side = 0; side < 2 && open; ++side) {
                    if ((p[side].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
                    const ssize_t n = recv(p[side].fd, buffer, sizeof buffer, 0);
                    if (n <= 0) {
                        open = false;
                        break;
                    }
                    if (side == 0) {
                        std::lock_guard<std::mutex> hold(m_lock);
                        m_sent[index].append(buffer, size_t(n));
                    }
                    open = send(p[1 - side].fd, buffer, size_t(n), MSG_NOSIGNAL) == n;
                }
            }
        }
        if (server >= 0) close(server);
        close(client);
    }

    unsigned short m_target;
    unsigned short m_port = 0;
    int m_listen = -1;
    std::atomic<bool> m_stop{false};
    std::thread m_acceptor;
    std::vector<std::thread> m_workers;  // touched by the acceptor only, joined after it
    mutable std::mutex m_lock;
    std::vector<std::string> m_sent;
};

#endif
