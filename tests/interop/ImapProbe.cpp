#include "ImapProbe.h"

#include <curl/curl.h>

#include <sstream>

namespace {

size_t Collect(char *data, size_t size, size_t count, void *user) {
    static_cast<std::string *>(user)->append(data, size * count);
    return size * count;
}

// Runs one request; the body (and for custom commands the untagged lines, which libcurl hands to the header
// callback) in *out.
bool Perform(const PeerSettings &peer, const std::string &user, const std::string &password, const std::string &url,
             const std::string &command, std::string *out) {
    CURL *curl = curl_easy_init();
    if (curl == nullptr) return false;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_USERNAME, user.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, password.c_str());
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 20L);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, out);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    if (!command.empty()) {
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, command.c_str());
        curl_easy_setopt(curl, CURLOPT_HEADERDATA, out);
        curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, Collect);
    }
    const CURLcode result = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    (void)peer;
    return result == CURLE_OK;
}

std::string MailboxUrl(const PeerSettings &peer, const std::string &mailbox) {
    std::string url = "imap://" + peer.imap + "/";
    char *escaped = curl_easy_escape(nullptr, mailbox.c_str(), int(mailbox.size()));
    if (escaped != nullptr) {
        url += escaped;
        curl_free(escaped);
    }
    return url;
}

}  // namespace

std::string ImapRun(const PeerSettings &peer, const std::string &user, const std::string &password,
                    const std::string &mailbox, const std::string &command, bool *ok) {
    std::string out;
    const bool done = Perform(peer, user, password, MailboxUrl(peer, mailbox), command, &out);
    if (ok != nullptr) *ok = done;
    return done ? out : std::string();
}

std::vector<unsigned> ImapSearch(const PeerSettings &peer, const std::string &user, const std::string &password,
                                 const std::string &mailbox, const std::string &criteria) {
    std::vector<unsigned> uids;
    const std::string answer = ImapRun(peer, user, password, mailbox, "UID SEARCH " + criteria);
    const size_t at = answer.find("* SEARCH");
    if (at == std::string::npos) return uids;
    std::istringstream words(answer.substr(at + 8, answer.find('\n', at) - at - 8));
    for (unsigned uid = 0; words >> uid;) uids.push_back(uid);
    return uids;
}

std::string ImapFetchMessage(const PeerSettings &peer, const std::string &user, const std::string &password,
                             const std::string &mailbox, unsigned uid) {
    std::string out;
    const std::string url = MailboxUrl(peer, mailbox) + "/;UID=" + std::to_string(uid);
    return Perform(peer, user, password, url, "", &out) ? out : std::string();
}

int ImapMessageCount(const PeerSettings &peer, const std::string &mailbox) {
    bool ok = false;
    const std::string answer = ImapRun(peer, peer.user, peer.password, mailbox, "UID SEARCH ALL", &ok);
    if (!ok || answer.find("* SEARCH") == std::string::npos) return -1;
    return int(ImapSearch(peer, peer.user, peer.password, mailbox, "ALL").size());
}
