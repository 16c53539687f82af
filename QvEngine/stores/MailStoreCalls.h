// Small wrappers over the message store's calls that the folder collection
// and the message manager make again and again: opening a folder by entry
// id, reading one string or binary property, and the entry id views the
// store's calls take. Each returns the store's own result (S_OK, or a
// failure; MAPI_E_NOT_FOUND when the property is missing).
#ifndef QV_MAILSTORECALLS_H
#define QV_MAILSTORECALLS_H

#include <string>
#include <vector>

#include "mapi.h"

// The entry id bytes as the store's calls take them.
inline LPENTRYID MailEntryID(const std::vector<BYTE> &id) {
    return reinterpret_cast<LPENTRYID>(const_cast<BYTE *>(id.data()));
}

// Opens a folder of the store (read/write); *folder is the caller's reference.
HRESULT MailOpenFolder(IMsgStore *store, const std::vector<BYTE> &entryID, IMAPIFolder **folder);
HRESULT MailGetString(IMAPIProp *object, ULONG tag, std::u16string *text);
HRESULT MailGetBinary(IMAPIProp *object, ULONG tag, std::vector<BYTE> *bytes);
// Sets one property; a problem the store reports for it is its result.
HRESULT MailSetProp(IMAPIProp *object, SPropValue *value);

#endif
