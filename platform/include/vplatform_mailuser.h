// What a person does with the mail of the device's message store: read or
// unread a message, delete it, move it, write one into the Outbox, make and
// remove folders. Each action goes through the store's ordinary calls (a
// session, the store by its display name, the folders and the message), so
// it raises the same notifications as the device's own mail program does.
// Stores are named by their display name; messages and folders by entry id.
// Results are the store's (MAPI_E_NOT_FOUND: no store of that name, or an
// object that is gone).
#ifndef VPLATFORM_VPLATFORM_MAILUSER_H
#define VPLATFORM_VPLATFORM_MAILUSER_H

#include <string>
#include <vector>

#include "mapidefs.h"

namespace vplat {

// One attached file of a message the person writes.
struct MailUserAttachment {
    std::u16string name;
    std::vector<BYTE> data;
};

// Sets or clears the message's read flag and saves it.
PLATAPI HRESULT MailUserReadMessage(const std::u16string &store, const std::vector<BYTE> &entryID, bool read);
// Moves the message into "Deleted Items"; one already there is deleted for
// good.
PLATAPI HRESULT MailUserDeleteMessage(const std::u16string &store, const std::vector<BYTE> &entryID);
// Moves the message into the folder.
PLATAPI HRESULT MailUserMoveMessage(const std::u16string &store, const std::vector<BYTE> &entryID,
                                    const std::vector<BYTE> &folderID);
// Writes a message as the device's mail program does: made in "Drafts",
// filled (class "IPM.Note", unsent and from me, subject, body, recipients,
// attachments), saved, then sent on into the Outbox. *entryID gets its id.
PLATAPI HRESULT MailUserComposeOutbox(const std::u16string &store, const std::vector<std::u16string> &to,
                                      const std::vector<std::u16string> &cc, const std::u16string &subject,
                                      const std::u16string &body, const std::vector<MailUserAttachment> &attachments,
                                      std::vector<BYTE> *entryID);
// Makes a folder in parentID; *entryID gets its id.
PLATAPI HRESULT MailUserCreateFolder(const std::u16string &store, const std::vector<BYTE> &parentID,
                                     const std::u16string &name, std::vector<BYTE> *entryID);
// Removes the folder with everything it holds.
PLATAPI HRESULT MailUserDeleteFolder(const std::u16string &store, const std::vector<BYTE> &folderID);

}  // namespace vplat

#endif
