// The real test server's mail store as the benchmarks fill and empty it: a
// user's Inbox over IMAP (libcurl), one connection for the whole fill. The
// benchmark's messages carry a header of their own, so that emptying takes
// exactly them and nothing else the user holds.
#ifndef VBENCH_PEERMAILBOX_H
#define VBENCH_PEERMAILBOX_H

#include <curl/curl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

class PeerMailbox {
public:
    static constexpr const char *kMark = "X-Vantrel-Bench";

    // imap is "host:port"; the user's Inbox is the mailbox.
    PeerMailbox(std::string imap, std::string user, std::string password)
        : m_url("imap://" + imap + "/INBOX"), m_user(std::move(user)), m_password(std::move(password)) {
        m_curl = curl_easy_init();
    }
    ~PeerMailbox() {
        if (m_curl != nullptr) curl_easy_cleanup(m_curl);
    }
    PeerMailbox(const PeerMailbox &) = delete;
    PeerMailbox &operator=(const PeerMailbox &) = delete;

    // Appends one whole message (CR LF lines).
    bool Append(const std::string &message) {
        if (m_curl == nullptr) return false;
        Upload up{message.data(), message.size()};
        Reset();
        curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(m_curl, CURLOPT_READFUNCTION, Read);
        curl_easy_setopt(m_curl, CURLOPT_READDATA, &up);
        curl_easy_setopt(m_curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(message.size()));
        return curl_easy_perform(m_curl) == CURLE_OK;
    }

    // The Inbox's message count; -1 when it cannot be asked.
    long Count() {
        std::string out;
        if (!Command("STATUS INBOX (MESSAGES)", &out)) return -1;
        const char *messages = std::strstr(out.c_str(), "(MESSAGES ");
        return messages == nullptr ? -1 : std::strtol(messages + 10, nullptr, 10);
    }

    // Removes every message that carries the benchmark's header.
    bool RemoveMarked() {
        std::string found;
        if (!Command(std::string("UID SEARCH HEADER ") + kMark + " \"\"", &found)) return false;
        // Only the search's own line: the selection's lines come first.
        const size_t at = found.find("* SEARCH");
        const size_t end = at == std::string::npos ? at : found.find('\n', at);
        std::string uids;
        for (size_t i = at == std::string::npos ? found.size() : at + 8; i < std::min(end, found.size()); ++i) {
            const char c = found[i];
            if (c >= '0' && c <= '9') {
                uids += c;
            } else if (!uids.empty() && uids.back() != ',') {
                uids += ',';
            }
        }
        while (!uids.empty() && uids.back() == ',') uids.pop_back();
        if (uids.empty()) return true;
        std::string out;
        // CLOSE expunges without a line per message (EXPUNGE's can outgrow
        // what libcurl takes) and ends the selection: that connection goes.
        if (!Command("UID STORE " + uids + " +FLAGS.SILENT (\\Deleted)", &out)) return false;
        m_closing = true;
        const bool closed = Command("CLOSE", &out);
        m_closing = false;
        return closed;
    }

private:
    struct Upload {
        const char *data;
        size_t left;
    };
    static size_t Read(char *buffer, size_t size, size_t count, void *user) {
        Upload *up = static_cast<Upload *>(user);
        const size_t n = std::min(size * count, up->left);
        std::memcpy(buffer, up->data, n);
        up->data += n;
        up->left -= n;
        return n;
    }
    static size_t Collect(char *data, size_t size, size_t count, void *user) {
        static_cast<std::string *>(user)->append(data, size * count);
        return size * count;
    }
    void Reset() {
        curl_easy_reset(m_curl);
        curl_easy_setopt(m_curl, CURLOPT_URL, m_url.c_str());
        curl_easy_setopt(m_curl, CURLOPT_USERNAME, m_user.c_str());
        curl_easy_setopt(m_curl, CURLOPT_PASSWORD, m_password.c_str());
        curl_easy_setopt(m_curl, CURLOPT_TIMEOUT, 120L);
        curl_easy_setopt(m_curl, CURLOPT_FORBID_REUSE, m_closing ? 1L : 0L);
        if (std::getenv("VANTREL_BENCH_VERBOSE") != nullptr) curl_easy_setopt(m_curl, CURLOPT_VERBOSE, 1L);
    }
    // A command in the Inbox; its untagged lines in *out.
    bool Command(const std::string &command, std::string *out) {
        if (m_curl == nullptr) return false;
        Reset();
        curl_easy_setopt(m_curl, CURLOPT_CUSTOMREQUEST, command.c_str());
        curl_easy_setopt(m_curl, CURLOPT_HEADERFUNCTION, Collect);
        curl_easy_setopt(m_curl, CURLOPT_HEADERDATA, out);
        curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, Collect);
        curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, out);
        return curl_easy_perform(m_curl) == CURLE_OK;
    }

    std::string m_url, m_user, m_password;
    CURL *m_curl = nullptr;
    bool m_closing = false;
};

#endif
