#include "DavProbe.h"

#include <curl/curl.h>

namespace {

size_t Collect(char *data, size_t size, size_t count, void *user) {
    static_cast<std::string *>(user)->append(data, size * count);
    return size * count;
}

std::string Root(const PeerSettings &peer) {
    return "http://" + std::string(peer.http.host.begin(), peer.http.host.end()) + ":" +
           std::to_string(peer.http.port) + "/SOGo/dav/";
}

DavAnswer Perform(const PeerSettings &peer, const std::string &user, const std::string &password,
                  const std::string &path, const char *method, const std::string *contentType,
                  const std::string *body, const char *depth) {
    DavAnswer answer;
    CURL *curl = curl_easy_init();
    if (curl == nullptr) return answer;
    const std::string url = Root(peer) + path;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_USERNAME, user.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, password.c_str());
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 20L);
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer.body);
    curl_slist *headers = nullptr;
    if (contentType != nullptr) headers = curl_slist_append(headers, ("Content-Type: " + *contentType).c_str());
    if (depth != nullptr) headers = curl_slist_append(headers, (std::string("Depth: ") + depth).c_str());
    if (headers != nullptr) curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    if (body != nullptr) {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body->data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body->size()));
    }
    if (curl_easy_perform(curl) == CURLE_OK) curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return answer;
}

// The text's lines with folded continuations joined and CR dropped.
std::vector<std::string> Unfolded(const std::string &text) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && (line[0] == ' ' || line[0] == '\t') && !lines.empty())
            lines.back() += line.substr(1);
        else
            lines.push_back(line);
        at = end + 1;
    }
    return lines;
}

}  // namespace

DavAnswer DavGet(const PeerSettings &peer, const std::string &user, const std::string &password,
                 const std::string &path) {
    return Perform(peer, user, password, path, "GET", nullptr, nullptr, nullptr);
}

DavAnswer DavPut(const PeerSettings &peer, const std::string &user, const std::string &password,
                 const std::string &path, const std::string &contentType, const std::string &body) {
    return Perform(peer, user, password, path, "PUT", &contentType, &body, nullptr);
}

DavAnswer DavDelete(const PeerSettings &peer, const std::string &user, const std::string &password,
                    const std::string &path) {
    return Perform(peer, user, password, path, "DELETE", nullptr, nullptr, nullptr);
}

std::vector<std::string> DavList(const PeerSettings &peer, const std::string &user, const std::string &password,
                                 const std::string &collection) {
    const std::string type = "application/xml";
    const std::string query =
        "<?xml version=\"1.0\"?><D:propfind xmlns:D=\"DAV:\"><D:prop><D:getetag/></D:prop></D:propfind>";
    const DavAnswer answer = Perform(peer, user, password, collection, "PROPFIND", &type, &query, "1");
    std::vector<std::string> paths;
    // Each <D:href> (any namespace prefix) names one resource.
    const std::string prefix = "/SOGo/dav/";
    size_t at = 0;
    while ((at = answer.body.find("href>", at)) != std::string::npos) {
        at += 5;
        const size_t end = answer.body.find('<', at);
        if (end == std::string::npos) break;
        std::string href = answer.body.substr(at, end - at);
        if (href.rfind(prefix, 0) == 0) href = href.substr(prefix.size());
        if (href != collection && !href.empty()) paths.push_back(href);
        at = end;
    }
    return paths;
}

std::vector<std::string> DavPropertyLines(const std::string &text, const std::string &name) {
    std::vector<std::string> lines;
    for (const std::string &line : Unfolded(text)) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string key = line.substr(0, colon);
        const size_t semicolon = key.find(';');
        if (semicolon != std::string::npos) key.resize(semicolon);
        if (key == name) lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> DavProperties(const std::string &text, const std::string &name) {
    std::vector<std::string> values;
    for (const std::string &line : DavPropertyLines(text, name)) values.push_back(line.substr(line.find(':') + 1));
    return values;
}

std::string DavPropertyLine(const std::string &text, const std::string &name) {
    const std::vector<std::string> lines = DavPropertyLines(text, name);
    return lines.empty() ? std::string() : lines.front();
}

std::string DavProperty(const std::string &text, const std::string &name) {
    const std::vector<std::string> values = DavProperties(text, name);
    return values.empty() ? std::string() : values.front();
}

std::vector<std::string> DavComponents(const std::string &text, const std::string &kind) {
    std::vector<std::string> parts;
    const std::string begin = "BEGIN:" + kind, end = "END:" + kind;
    size_t at = 0;
    while ((at = text.find(begin, at)) != std::string::npos) {
        const size_t stop = text.find(end, at);
        if (stop == std::string::npos) break;
        parts.push_back(text.substr(at, stop + end.size() - at));
        at = stop + end.size();
    }
    return parts;
}
