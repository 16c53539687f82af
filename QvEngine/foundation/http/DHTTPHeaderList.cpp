#include "DHTTPHeaderList.h"

#include <strings.h>

#include <new>

namespace {

const char *const kHeaderNames[kHTTPHeaderTypeCount] = {
    "Accept", "Accept-Charset", "Accept-Encoding", "Accept-Language", "Accept-Ranges", "Age", "Allow",
    "Authorization", "Cache-Control", "Connection", "Content-Encoding", "Content-Language", "Content-Length",
    "Content-Location", "Content-MD5", "Content-Range", "Content-Type", "Date", "ETag", "Expect", "Expires", "From",
    "Host", "If-Match", "If-Modified-Since", "If-None-Match", "If-Range", "If-Unmodified-Since", "Last-Modified",
    "Location", "Max-Forwards", "Pragma", "Proxy-Authenticate", "Proxy-Authorization", "Range", "Referer",
    "Retry-After", "Server", "TE", "Trailer", "Transfer-Encoding", "Upgrade", "User-Agent", "Vary", "Via", "Warning",
    "WWW-Authenticate", "MS-ASProtocolVersion", "X-MS-PolicyKey",
};

}  // namespace

const char *DHTTPHeaderList::GetHeaderName(uint32_t id) {
    return id < kHTTPHeaderTypeCount ? kHeaderNames[id] : nullptr;
}

DHTTPHeaderList::List::iterator DHTTPHeaderList::FindPosition(const char *name) {
    if (name == nullptr) return m_headers.end();
    for (auto it = m_headers.begin(); it != m_headers.end(); ++it)
        if (strcasecmp((*it)->GetName(), name) == 0) return it;
    return m_headers.end();
}

DHTTPHeader *DHTTPHeaderList::Find(const char *name) const {
    if (name == nullptr) return nullptr;
    for (const auto &header : m_headers)
        if (strcasecmp(header->GetName(), name) == 0) return header.get();
    return nullptr;
}

DErrorCode DHTTPHeaderList::Set(const char *name, const char *value, int32_t length) {
    auto it = FindPosition(name);
    if (it != m_headers.end()) return (*it)->SetValue(value, length);
    std::unique_ptr<DHTTPHeader> header(new (std::nothrow) DHTTPHeader);
    if (!header) return generalErrMemoryError;
    DErrorCode err = header->SetName(name);
    if (err == kNoError) err = header->SetValue(value, length);
    if (err != kNoError) return err;
    try {
        m_headers.push_back(std::move(header));
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    return kNoError;
}

DErrorCode DHTTPHeaderList::Remove(const char *name) {
    auto it = FindPosition(name);
    if (it == m_headers.end()) return httpErrHeaderNotFound;
    const bool underCursor = it == m_cursor;
    m_headers.erase(it);
    if (underCursor) m_cursor = m_headers.begin();
    return kNoError;
}

DErrorCode DHTTPHeaderList::SetByID(uint32_t id, const char *value, int32_t length) {
    const char *name = GetHeaderName(id);
    return name == nullptr ? httpErrUnknownHeaderType : Set(name, value, length);
}

DErrorCode DHTTPHeaderList::RemoveByID(uint32_t id) {
    const char *name = GetHeaderName(id);
    return name == nullptr ? httpErrUnknownHeaderType : Remove(name);
}

DHTTPHeader *DHTTPHeaderList::First() {
    m_cursor = m_headers.begin();
    return m_cursor == m_headers.end() ? nullptr : m_cursor->get();
}

DHTTPHeader *DHTTPHeaderList::Next() {
    if (m_cursor == m_headers.end()) return nullptr;
    ++m_cursor;
    return m_cursor == m_headers.end() ? nullptr : m_cursor->get();
}

DErrorCode DHTTPHeaderList::BuildText(std::string *text, bool addBlankLine) const {
    if (text == nullptr) return generalErrNULLPointer;
    try {
        std::string built;
        size_t size = addBlankLine ? 2 : 0;
        for (const auto &header : m_headers) size += header->GetNameLength() + header->GetValueLength() + 4;
        built.reserve(size);
        for (const auto &header : m_headers) {
            built.append(header->GetName(), header->GetNameLength());
            built.append(": ");
            if (header->HasValue()) built.append(header->GetValue(), header->GetValueLength());
            built.append("\r\n");
        }
        if (addBlankLine) built.append("\r\n");
        *text = std::move(built);
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    return kNoError;
}
