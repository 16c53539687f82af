// The device's mail account service as the platform's own programs and the
// tests reach it: an account's message store is made when the account is
// provisioned, with its folder tree and special folders bound to the
// store's properties, and removed with the account.
#ifndef VPLATFORM_VPLATFORM_MAIL_H
#define VPLATFORM_VPLATFORM_MAIL_H

#include "mapidefs.h"

namespace vplat {

// Makes the message store of the mail account displayName unless it
// exists (one store per name, also when processes provision at once): a
// root folder, an IPM subtree under it, and "Inbox", "Outbox", "Drafts",
// "Sent Items" and "Deleted Items" under the subtree.
PLATAPI HRESULT MailAccountProvision(const WCHAR *displayName);
// Removes the account's store with everything in it; MAPI_E_NOT_FOUND when
// there is none.
PLATAPI HRESULT MailAccountRemove(const WCHAR *displayName);

}  // namespace vplat

#endif
