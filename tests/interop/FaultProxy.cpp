#include "FaultProxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char **environ;

namespace {

// A socket bound to a free loopback port, or -1; *port set.
int BindAnyPort(unsigned short *port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr *>(&address), size) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size) != 0) {
        close(fd);
        return -1;
    }
    *port = ntohs(address.sin_port);
    return fd;
}

bool Accepts(unsigned short port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool ok = connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

}  // namespace

unsigned short FaultProxy::UnusedPort() {
    // Bound but never listening: the port stays taken by nobody else while
    // the socket lives, and is refused once it is closed.
    unsigned short port = 0;
    const int fd = BindAnyPort(&port);
    if (fd >= 0) close(fd);
    return port;
}

bool FaultProxy::Start(const std::string &target, const std::string &addon, const std::vector<std::string> &options,
                       std::string *why) {
    Stop();
    std::error_code ignored;
    if (!m_confDir.empty()) std::filesystem::remove_all(m_confDir, ignored);
    m_port = UnusedPort();
    char confTemplate[] = "/tmp/vfaultproxy-XXXXXX";
    if (m_port == 0 || mkdtemp(confTemplate) == nullptr) {
        *why = "no free port or temporary folder";
        return false;
    }
    m_confDir = confTemplate;
    m_logPath = m_confDir + "/mitmdump.log";

    std::vector<std::string> args = {"mitmdump",
                                     "--mode",
                                     "reverse:http://" + target,
                                     "--listen-host",
                                     "127.0.0.1",
                                     "--listen-port",
                                     std::to_string(m_port),
                                     "--set",
                                     "confdir=" + m_confDir,
                                     "-s",
                                     std::string(VANTREL_FAULT_ADDONS) + "/" + addon};
    for (const std::string &option : options) {
        args.push_back("--set");
        args.push_back(option);
    }
    std::vector<char *> argv;
    for (std::string &arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, m_logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    // Unbuffered, so that the log shows each request as it passes.
    std::vector<char *> env;
    for (char **e = environ; *e != nullptr; ++e) env.push_back(*e);
    char unbuffered[] = "PYTHONUNBUFFERED=1";
    env.push_back(unbuffered);
    env.push_back(nullptr);
    const int spawned = posix_spawnp(&m_pid, "mitmdump", &actions, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        m_pid = -1;
        *why = "mitmdump cannot be started (Debian package mitmproxy): error " + std::to_string(spawned);
        return false;
    }
    // mitmdump makes its certificates on its first start: allow it time.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < limit) {
        if (Accepts(m_port)) return true;
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            *why = "mitmdump ended at its start:\n" + Log();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    *why = "mitmdump did not listen within 30 s:\n" + Log();
    Stop();
    return false;
}

FaultProxy::~FaultProxy() {
    Stop();
    std::error_code ignored;
    if (!m_confDir.empty()) std::filesystem::remove_all(m_confDir, ignored);
}

void FaultProxy::Stop() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 100; ++i) {
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(m_pid, SIGKILL);
    waitpid(m_pid, &status, 0);
    m_pid = -1;
}

std::string FaultProxy::Log() const {
    std::ifstream in(m_logPath);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

namespace {

int Occurrences(const std::string &text, const std::string &what) {
    int count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

}  // namespace

int FaultProxy::Spoilt() const { return Occurrences(Log(), "fault: spoiling"); }

// The addons log each request's command on a line of its own.
int FaultProxy::Requests(const std::string &command) const {
    return Occurrences(Log(), "fault: request Cmd=" + command + "\n");
}
