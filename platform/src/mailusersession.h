// One person's session on one message store, for the actions of
// vplatform_mailuser.h: opened by the store's display name through the
// store's public calls, and closed (store released, logged off, MAPI
// uninitialised) when the object goes. Objects it opens are handed out as
// MapiRef, released when the reference goes.
#ifndef VPLATFORM_MAILUSERSESSION_H
#define VPLATFORM_MAILUSERSESSION_H

#include <string>
#include <vector>

#include "mapix.h"

namespace vplat {

// Holds one reference to a store object.
template <class T>
class MapiRef {
public:
    MapiRef() = default;
    ~MapiRef() { Reset(); }
    MapiRef(const MapiRef &) = delete;
    MapiRef &operator=(const MapiRef &) = delete;
    T *Get() const { return m_p; }
    T *operator->() const { return m_p; }
    T **Out() {
        Reset();
        return &m_p;
    }
    void Reset() {
        if (m_p != nullptr) m_p->Release();
        m_p = nullptr;
    }

private:
    T *m_p = nullptr;
};

// A session with one store open; everything it opened goes with it.
class MailUserSession {
public:
    MailUserSession() = default;
    ~MailUserSession();
    MailUserSession(const MailUserSession &) = delete;
    MailUserSession &operator=(const MailUserSession &) = delete;

    // MAPI_E_NOT_FOUND when no store has that display name.
    HRESULT Open(const std::u16string &storeName);
    IMsgStore *Store() const { return m_store; }

    HRESULT OpenFolder(const std::vector<BYTE> &id, MapiRef<IMAPIFolder> *folder);
    HRESULT OpenMessage(const std::vector<BYTE> &id, MapiRef<IMessage> *message);
    // A binary property of an object (a special folder's id on the store,
    // PR_PARENT_ENTRYID, PR_ENTRYID).
    HRESULT BinaryProp(IMAPIProp *object, ULONG tag, std::vector<BYTE> *value);
    // Whether two entry ids name one object.
    bool Same(const std::vector<BYTE> &a, const std::vector<BYTE> &b);

private:
    HRESULT OpenEntry(const std::vector<BYTE> &id, ULONG expectedType, IUnknown **object);

    bool m_initialized = false;
    IMAPISession *m_session = nullptr;
    IMsgStore *m_store = nullptr;
};

}  // namespace vplat

#endif
