// What the real server's mail store holds, asked over IMAP (libcurl), so that
// interop tests check the server's side and not only the protocol's answers.
#ifndef VTEST_IMAPPROBE_H
#define VTEST_IMAPPROBE_H

#include <string>
#include <vector>

#include "peertestutil.h"

// The untagged answer of one IMAP command run in a mailbox of the user (the
// mailbox selected first; "" runs it without one), or "" with *ok false.
std::string ImapRun(const PeerSettings &peer, const std::string &user, const std::string &password,
                    const std::string &mailbox, const std::string &command, bool *ok = nullptr);
// The UIDs of the mailbox's messages that the search criteria match ("ALL",
// "SUBJECT \"x\"", "SEEN SUBJECT \"x\""); empty on failure too.
std::vector<unsigned> ImapSearch(const PeerSettings &peer, const std::string &user, const std::string &password,
                                 const std::string &mailbox, const std::string &criteria);
// The whole message of that UID as the server keeps it (headers and body).
std::string ImapFetchMessage(const PeerSettings &peer, const std::string &user, const std::string &password,
                             const std::string &mailbox, unsigned uid);
// The message count of a mailbox of the test user; -1 when it cannot be asked.
int ImapMessageCount(const PeerSettings &peer, const std::string &mailbox);

#endif
