// New mail for the real server's users, handed to its SMTP intake (libcurl),
// as another sender's mail would reach them.
#ifndef VTEST_SMTPDELIVERY_H
#define VTEST_SMTPDELIVERY_H

#include <string>

// Sends the whole message text (headers, blank line, body; CR LF line ends)
// from bob to one recipient; true when the server took it.
bool SmtpDeliver(const std::string &smtp, const std::string &to, const std::string &message);
// A plain text mail from bob with a Message-ID made from the subject.
std::string PlainMailFromBob(const std::string &to, const std::string &subject, const std::string &body);

#endif
