#include "SmtpDelivery.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>

namespace {

struct Source {
    const std::string *text;
    size_t at;
};

size_t ReadSource(char *buffer, size_t size, size_t count, void *user) {
    auto *source = static_cast<Source *>(user);
    const size_t n = std::min(size * count, source->text->size() - source->at);
    std::memcpy(buffer, source->text->data() + source->at, n);
    source->at += n;
    return n;
}

}  // namespace

bool SmtpDeliver(const std::string &smtp, const std::string &to, const std::string &message) {
    Source source = {&message, 0};
    CURL *curl = curl_easy_init();
    if (curl == nullptr) return false;
    curl_slist *rcpt = curl_slist_append(nullptr, ("<" + to + ">").c_str());
    const std::string url = "smtp://" + smtp;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, "<bob@example.test>");
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, rcpt);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 20L);
    curl_easy_setopt(curl, CURLOPT_READDATA, &source);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, ReadSource);
    const CURLcode result = curl_easy_perform(curl);
    curl_slist_free_all(rcpt);
    curl_easy_cleanup(curl);
    return result == CURLE_OK;
}

std::string PlainMailFromBob(const std::string &to, const std::string &subject, const std::string &body) {
    return "From: bob@example.test\r\nTo: " + to + "\r\nSubject: " + subject + "\r\nMessage-ID: <" + subject +
           "@example.test>\r\n\r\n" + body + "\r\n";
}
