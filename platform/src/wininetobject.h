// The objects behind Internet handles: the session (InternetOpenW), the
// connection to one server (InternetConnectW) and, in httprequest.h, the
// request. They share the device's handle table; each carries its own
// time-outs, which a child copies from its parent when it is made.
#ifndef VPLATFORM_WININETOBJECT_H
#define VPLATFORM_WININETOBJECT_H

#include <atomic>
#include <string>

#include "handles.h"
#include "wininet.h"

namespace vplat {

class InternetObject : public KernelObject {
public:
    enum class Kind { Session, Connection, Request };

    explicit InternetObject(Kind kind) : m_kind(kind) {}
    Kind GetKind() const { return m_kind; }
    void InheritOptions(const InternetObject &parent);

    // Time-outs in milliseconds; 0 and 0xFFFFFFFF mean no limit. Read by a
    // request's worker while another thread may set them.
    std::atomic<DWORD> connectTimeout{60000};
    std::atomic<DWORD> sendTimeout{3600000};
    std::atomic<DWORD> receiveTimeout{3600000};

private:
    Kind m_kind;
};

class InternetSession : public InternetObject {
public:
    explicit InternetSession(std::string agent) : InternetObject(Kind::Session), agent(std::move(agent)) {}
    const std::string agent;  // sent as User-Agent unless a request sets its own
};

class InternetConnection : public InternetObject {
public:
    InternetConnection(std::string agent, std::string host, INTERNET_PORT port)
        : InternetObject(Kind::Connection), agent(std::move(agent)), host(std::move(host)), port(port) {}
    const std::string agent;
    const std::string host;
    const INTERNET_PORT port;  // 0: the scheme's default
};

// Latin-1 forms of wide header text (HTTP header bytes are octets; every
// unit above 0xFF is refused rather than guessed).
bool WideToLatin1(const char16_t *text, size_t len, std::string *out);
std::u16string Latin1ToWide(const std::string &text);

}  // namespace vplat

#endif
