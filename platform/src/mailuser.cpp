// The person's actions of vplatform_mailuser.h, each one session on the
// store and nothing but the store's public calls.
#include "vplatform_mailuser.h"

#include <algorithm>

#include "mailusersession.h"

namespace vplat {
namespace {

const WCHAR kNoteClass[] = u"IPM.Note";

SPropValue Prop(ULONG tag) {
    SPropValue v = {};
    v.ulPropTag = tag;
    return v;
}

SPropValue LongProp(ULONG tag, LONG value) {
    SPropValue v = Prop(tag);
    v.Value.l = value;
    return v;
}

SPropValue TextProp(ULONG tag, const WCHAR *text) {
    SPropValue v = Prop(tag);
    v.Value.lpszW = const_cast<WCHAR *>(text);
    return v;
}

HRESULT SetAll(IMAPIProp *object, std::vector<SPropValue> props) {
    LPSPropProblemArray problems = nullptr;
    HRESULT hr = object->SetProps(static_cast<ULONG>(props.size()), props.data(), &problems);
    bool refused = problems != nullptr && problems->cProblem != 0;
    MAPIFreeBuffer(problems);
    return FAILED(hr) ? hr : (refused ? MAPI_E_CALL_FAILED : S_OK);
}

// Writes bytes as the whole of a stream property, committed.
HRESULT WriteStream(IMAPIProp *object, ULONG tag, const void *data, size_t size) {
    MapiRef<IUnknown> unknown;
    HRESULT hr = object->OpenProperty(tag, &IID_IStream, STGM_CREATE | STGM_READWRITE, MAPI_CREATE | MAPI_MODIFY,
                                      unknown.Out());
    if (FAILED(hr)) return hr;
    if (unknown.Get() == nullptr) return MAPI_E_CALL_FAILED;
    auto *stream = static_cast<IStream *>(unknown.Get());
    const BYTE *at = static_cast<const BYTE *>(data);
    while (size > 0) {
        ULONG piece = static_cast<ULONG>(std::min<size_t>(size, 1u << 20)), written = 0;
        hr = stream->Write(at, piece, &written);
        if (FAILED(hr)) return hr;
        if (written == 0) return STG_E_MEDIUMFULL;
        at += written;
        size -= written;
    }
    return stream->Commit(STGC_DEFAULT);
}

HRESULT MoveBetween(MailUserSession &session, const std::vector<BYTE> &message, const std::vector<BYTE> &from,
                    const std::vector<BYTE> &to) {
    MapiRef<IMAPIFolder> source, destination;
    HRESULT hr = session.OpenFolder(from, &source);
    if (SUCCEEDED(hr)) hr = session.OpenFolder(to, &destination);
    if (FAILED(hr)) return hr;
    SBinary id = {static_cast<ULONG>(message.size()), const_cast<BYTE *>(message.data())};
    ENTRYLIST list = {1, &id};
    return source->CopyMessages(&list, nullptr, destination.Get(), 0, nullptr, MESSAGE_MOVE);
}

// The folder that holds an object.
HRESULT ParentOf(MailUserSession &session, const std::vector<BYTE> &id, ULONG type, std::vector<BYTE> *parent) {
    if (type == MAPI_MESSAGE) {
        MapiRef<IMessage> message;
        HRESULT hr = session.OpenMessage(id, &message);
        return FAILED(hr) ? hr : session.BinaryProp(message.Get(), PR_PARENT_ENTRYID, parent);
    }
    MapiRef<IMAPIFolder> folder;
    HRESULT hr = session.OpenFolder(id, &folder);
    return FAILED(hr) ? hr : session.BinaryProp(folder.Get(), PR_PARENT_ENTRYID, parent);
}

HRESULT AddRecipients(IMessage *message, const std::vector<std::u16string> &to, const std::vector<std::u16string> &cc) {
    const size_t count = to.size() + cc.size();
    if (count == 0) return S_OK;
    LPADRLIST list = nullptr;
    if (MAPIAllocateBuffer(static_cast<ULONG>(CbNewADRLIST(count)), reinterpret_cast<LPVOID *>(&list)) != S_OK) {
        return MAPI_E_NOT_ENOUGH_MEMORY;
    }
    list->cEntries = 0;
    HRESULT hr = S_OK;
    for (size_t i = 0; i < count && SUCCEEDED(hr); ++i) {
        const std::u16string &address = i < to.size() ? to[i] : cc[i - to.size()];
        ADRENTRY &entry = list->aEntries[i];
        entry = ADRENTRY{};
        if (MAPIAllocateBuffer(3 * sizeof(SPropValue), reinterpret_cast<LPVOID *>(&entry.rgPropVals)) != S_OK) {
            hr = MAPI_E_NOT_ENOUGH_MEMORY;
            break;
        }
        ++list->cEntries;
        entry.cValues = 3;
        entry.rgPropVals[0] = LongProp(PR_RECIPIENT_TYPE, i < to.size() ? MAPI_TO : MAPI_CC);
        entry.rgPropVals[1] = TextProp(PR_EMAIL_ADDRESS_W, address.c_str());
        entry.rgPropVals[2] = TextProp(PR_DISPLAY_NAME_W, address.c_str());
    }
    if (SUCCEEDED(hr)) hr = message->ModifyRecipients(MODRECIP_ADD, list);
    FreePadrlist(list);
    return hr;
}

HRESULT AddAttachment(IMessage *message, const MailUserAttachment &file) {
    ULONG number = 0;
    MapiRef<IAttach> attach;
    HRESULT hr = message->CreateAttach(nullptr, 0, &number, attach.Out());
    if (FAILED(hr)) return hr;
    if (attach.Get() == nullptr) return MAPI_E_CALL_FAILED;
    hr = SetAll(attach.Get(), {LongProp(PR_ATTACH_METHOD, ATTACH_BY_VALUE),
                               TextProp(PR_ATTACH_FILENAME_W, file.name.c_str()),
                               LongProp(PR_ATTACH_SIZE, static_cast<LONG>(file.data.size()))});
    if (SUCCEEDED(hr)) hr = WriteStream(attach.Get(), PR_ATTACH_DATA_BIN, file.data.data(), file.data.size());
    if (SUCCEEDED(hr)) hr = attach->SaveChanges(0);
    return hr;
}

// Fills a new message and saves it.
HRESULT FillNote(IMessage *message, const std::vector<std::u16string> &to, const std::vector<std::u16string> &cc,
                 const std::u16string &subject, const std::u16string &body,
                 const std::vector<MailUserAttachment> &attachments) {
    const bool attached = !attachments.empty();
    SPropValue hasAttach = Prop(PR_HASATTACH);
    hasAttach.Value.b = attached ? 1 : 0;
    ULONG flags = MSGFLAG_UNSENT | MSGFLAG_FROMME | (attached ? MSGFLAG_HASATTACH : 0);
    HRESULT hr = SetAll(message, {TextProp(PR_MESSAGE_CLASS_W, kNoteClass), TextProp(PR_SUBJECT_W, subject.c_str()),
                                  LongProp(PR_MESSAGE_FLAGS, static_cast<LONG>(flags)), hasAttach});
    if (SUCCEEDED(hr)) hr = WriteStream(message, PR_BODY_W, body.data(), body.size() * sizeof(WCHAR));
    if (SUCCEEDED(hr)) hr = AddRecipients(message, to, cc);
    for (size_t i = 0; i < attachments.size() && SUCCEEDED(hr); ++i) hr = AddAttachment(message, attachments[i]);
    if (SUCCEEDED(hr)) hr = message->SaveChanges(0);
    return hr;
}

}  // namespace

PLATAPI HRESULT MailUserReadMessage(const std::u16string &store, const std::vector<BYTE> &entryID, bool read) {
    MailUserSession session;
    HRESULT hr = session.Open(store);
    MapiRef<IMessage> message;
    if (SUCCEEDED(hr)) hr = session.OpenMessage(entryID, &message);
    if (FAILED(hr)) return hr;
    SizedSPropTagArray(1, tags) = {1, {PR_MESSAGE_FLAGS}};
    ULONG count = 0;
    LPSPropValue props = nullptr;
    hr = message->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, &props);
    if (FAILED(hr)) return hr;
    ULONG flags = count == 1 && props[0].ulPropTag == PR_MESSAGE_FLAGS ? props[0].Value.ul : 0;
    MAPIFreeBuffer(props);
    flags = read ? (flags | MSGFLAG_READ) : (flags & ~MSGFLAG_READ);
    hr = SetAll(message.Get(), {LongProp(PR_MESSAGE_FLAGS, static_cast<LONG>(flags))});
    return FAILED(hr) ? hr : message->SaveChanges(0);
}

PLATAPI HRESULT MailUserDeleteMessage(const std::u16string &store, const std::vector<BYTE> &entryID) {
    MailUserSession session;
    HRESULT hr = session.Open(store);
    std::vector<BYTE> parent, wastebasket;
    if (SUCCEEDED(hr)) hr = ParentOf(session, entryID, MAPI_MESSAGE, &parent);
    if (SUCCEEDED(hr)) hr = session.BinaryProp(session.Store(), PR_IPM_WASTEBASKET_ENTRYID, &wastebasket);
    if (FAILED(hr)) return hr;
    if (!session.Same(parent, wastebasket)) return MoveBetween(session, entryID, parent, wastebasket);
    MapiRef<IMAPIFolder> folder;
    hr = session.OpenFolder(parent, &folder);
    if (FAILED(hr)) return hr;
    SBinary id = {static_cast<ULONG>(entryID.size()), const_cast<BYTE *>(entryID.data())};
    ENTRYLIST list = {1, &id};
    return folder->DeleteMessages(&list, 0, nullptr, 0);
}

PLATAPI HRESULT MailUserMoveMessage(const std::u16string &store, const std::vector<BYTE> &entryID,
                                    const std::vector<BYTE> &folderID) {
    MailUserSession session;
    HRESULT hr = session.Open(store);
    std::vector<BYTE> parent;
    if (SUCCEEDED(hr)) hr = ParentOf(session, entryID, MAPI_MESSAGE, &parent);
    return FAILED(hr) ? hr : MoveBetween(session, entryID, parent, folderID);
}

PLATAPI HRESULT MailUserComposeOutbox(const std::u16string &store, const std::vector<std::u16string> &to,
                                      const std::vector<std::u16string> &cc, const std::u16string &subject,
                                      const std::u16string &body, const std::vector<MailUserAttachment> &attachments,
                                      std::vector<BYTE> *entryID) {
    if (entryID == nullptr) return MAPI_E_INVALID_PARAMETER;
    MailUserSession session;
    HRESULT hr = session.Open(store);
    std::vector<BYTE> drafts, outbox, id;
    if (SUCCEEDED(hr)) hr = session.BinaryProp(session.Store(), PR_CE_IPM_DRAFTS_ENTRYID, &drafts);
    if (SUCCEEDED(hr)) hr = session.BinaryProp(session.Store(), PR_IPM_OUTBOX_ENTRYID, &outbox);
    if (FAILED(hr)) return hr;
    {
        MapiRef<IMAPIFolder> folder;
        MapiRef<IMessage> message;
        hr = session.OpenFolder(drafts, &folder);
        if (SUCCEEDED(hr)) hr = folder->CreateMessage(nullptr, 0, message.Out());
        if (SUCCEEDED(hr) && message.Get() == nullptr) hr = MAPI_E_CALL_FAILED;
        if (SUCCEEDED(hr)) hr = session.BinaryProp(message.Get(), PR_ENTRYID, &id);
        if (SUCCEEDED(hr)) hr = FillNote(message.Get(), to, cc, subject, body, attachments);
    }
    // Sending is what puts it into the Outbox: a move, as on the device.
    if (SUCCEEDED(hr)) hr = MoveBetween(session, id, drafts, outbox);
    if (SUCCEEDED(hr)) *entryID = id;
    return hr;
}

PLATAPI HRESULT MailUserCreateFolder(const std::u16string &store, const std::vector<BYTE> &parentID,
                                     const std::u16string &name, std::vector<BYTE> *entryID) {
    if (entryID == nullptr) return MAPI_E_INVALID_PARAMETER;
    MailUserSession session;
    HRESULT hr = session.Open(store);
    MapiRef<IMAPIFolder> parent, folder;
    if (SUCCEEDED(hr)) hr = session.OpenFolder(parentID, &parent);
    if (FAILED(hr)) return hr;
    std::u16string folderName = name;
    hr = parent->CreateFolder(FOLDER_GENERIC, &folderName[0], nullptr, nullptr, MAPI_UNICODE, folder.Out());
    if (SUCCEEDED(hr) && folder.Get() == nullptr) hr = MAPI_E_CALL_FAILED;
    return FAILED(hr) ? hr : session.BinaryProp(folder.Get(), PR_ENTRYID, entryID);
}

PLATAPI HRESULT MailUserDeleteFolder(const std::u16string &store, const std::vector<BYTE> &folderID) {
    MailUserSession session;
    HRESULT hr = session.Open(store);
    std::vector<BYTE> parentID;
    MapiRef<IMAPIFolder> parent;
    if (SUCCEEDED(hr)) hr = ParentOf(session, folderID, MAPI_FOLDER, &parentID);
    if (SUCCEEDED(hr)) hr = session.OpenFolder(parentID, &parent);
    if (FAILED(hr)) return hr;
    return parent->DeleteFolder(static_cast<ULONG>(folderID.size()), reinterpret_cast<LPENTRYID>(
                                    const_cast<BYTE *>(folderID.data())), 0, nullptr, DEL_FOLDERS | DEL_MESSAGES);
}

}  // namespace vplat
