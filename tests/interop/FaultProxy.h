// A man in the middle between the device and the real server: mitmdump in
// reverse-proxy mode in front of one of the server's endpoints, with one
// fault addon of tests/interop/faults and its options. The test starts it
// like the server itself and it is stopped when the object goes. The addon
// spoils the requests its options choose and lets the others through.
#ifndef VTEST_INTEROP_FAULTPROXY_H
#define VTEST_INTEROP_FAULTPROXY_H

#include <sys/types.h>

#include <string>
#include <vector>

#include "peertestutil.h"

class FaultProxy {
public:
    FaultProxy() = default;
    FaultProxy(const FaultProxy &) = delete;
    FaultProxy &operator=(const FaultProxy &) = delete;
    ~FaultProxy();

    // Starts mitmdump in front of target ("host:port", plain HTTP) with the
    // addon (a file name of the faults folder) and its "name=value" options,
    // and waits until it takes connections; false with *why.
    bool Start(const std::string &target, const std::string &addon, const std::vector<std::string> &options,
               std::string *why);
    // The same in front of the real server's HTTP endpoint.
    bool StartBefore(const PeerSettings &peer, const std::string &addon, const std::vector<std::string> &options,
                     std::string *why) {
        const PeerEndpoint &endpoint = peer.http;
        return Start(std::string(endpoint.host.begin(), endpoint.host.end()) + ":" + std::to_string(endpoint.port),
                     addon, options, why);
    }
    // Ends mitmdump (TERM, then KILL) and keeps what it printed.
    void Stop();

    unsigned short Port() const { return m_port; }
    // What mitmdump printed so far.
    std::string Log() const;
    // How many requests the addon spoilt so far.
    int Spoilt() const;
    // How many requests of the ActiveSync command reached the addon so far.
    int Requests(const std::string &command) const;

    // A loopback port nothing listens on: a connection to it is refused.
    static unsigned short UnusedPort();

private:
    pid_t m_pid = -1;
    unsigned short m_port = 0;
    std::string m_logPath;
    std::string m_confDir;
};

#endif
