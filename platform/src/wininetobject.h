// The objects behind Internet handles: the session (InternetOpenW), the
// connection to one server (InternetConnectW) and, in httprequest.h, the
// request. They share the device's handle table; each carries its own
// time-outs, which a child copies from its parent when it is made. As with
// the device's own Internet calls, closing a handle closes the handles made
// from it (a session its connections, a connection its requests), so that
// a request blocked on another thread is woken when its parent goes.
#ifndef VPLATFORM_WININETOBJECT_H
#define VPLATFORM_WININETOBJECT_H

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "handles.h"
#include "wininet.h"

namespace vplat {

class InternetObject : public KernelObject {
public:
    enum class Kind { Session, Connection, Request };

    explicit InternetObject(Kind kind) : m_kind(kind) {}
    Kind GetKind() const { return m_kind; }
    void InheritOptions(const InternetObject &parent);

    // Ties child, just inserted as `handle`, to parent: closing parent then
    // closes handle. False, with nothing tied, when parent is already closed.
    static bool Adopt(const std::shared_ptr<InternetObject> &parent, HINTERNET handle,
                      const std::shared_ptr<InternetObject> &child);
    // Closes the child handles still open and leaves the parent's list.
    void Close() override;

    // Time-outs in milliseconds; 0 and 0xFFFFFFFF mean no limit. Read by a
    // request's worker while another thread may set them.
    std::atomic<DWORD> connectTimeout{60000};
    std::atomic<DWORD> sendTimeout{3600000};
    std::atomic<DWORD> receiveTimeout{3600000};

private:
    void ForgetChild(HINTERNET handle);

    Kind m_kind;
    std::mutex m_familyLock;  // guards the fields below
    bool m_closed = false;
    HINTERNET m_handle = nullptr;
    std::weak_ptr<InternetObject> m_parent;
    std::vector<HINTERNET> m_children;  // handle values are never reused, so a stale one is harmless
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
