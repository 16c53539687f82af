// The message manager: opening and closing the account's message store,
// the named properties, and handing out the folders' collections.
#include "DWinMobMessageManager.h"

#include <new>

#include "ICorvanePreferences.h"
#include "MAPIPropertyHelpers.h"
#include "MailStoreCalls.h"
#include "PrefsRegistry.h"

namespace {

// The account's store, as the platform names it when the account is provisioned.
#ifdef VANTREL_EDITION_SMARTPHONE
const WCHAR kAccountStoreName[] = u"Vantrel E-Mail";
#else
const WCHAR kAccountStoreName[] = u"Vantrel";
#endif

}  // namespace

DWinMobMessageManager::DWinMobMessageManager()
    : m_session(nullptr),
      m_store(nullptr),
      m_mapiInitialized(false),
      m_request(nullptr),
      m_shadow(nullptr),
      m_storeOutbox(nullptr),
      m_tagServerID(0),
      m_tagParentServerID(0),
      m_tagSendType(0),
      m_tagGlobalObjID(0),
      m_tagWhere(0),
      m_tagFolderID(0) {}

DWinMobMessageManager::~DWinMobMessageManager() { Close(); }

DErrorCode AllocateMessageManager(DWinMobMessageManager **manager, IGlobalData *context,
                                  IOutlookManagerClient *client) {
    if (manager == nullptr) return generalErrInvalidParameter;
    *manager = new (std::nothrow) DWinMobMessageManager;
    if (*manager == nullptr) return generalErrMemoryError;
    DErrorCode err = (*manager)->InitForSync(context, client);
    if (err != kNoError) {
        delete *manager;
        *manager = nullptr;
    }
    return err;
}

void DWinMobMessageManager::Complete(DActiveTaskSignal *request, DErrorCode code) {
    if (request != nullptr) request->Signal(code);
}

uint32_t DWinMobMessageManager::GetDeleteSentItemDateRange() const {
    ICorvanePreferences *prefs =
        m_context != nullptr ? dynamic_cast<ICorvanePreferences *>(m_context->GetPreferences()) : nullptr;
    return prefs != nullptr ? prefs->GetDeleteSentItemDateRange() : 0;
}

// --- Open and close ---

DErrorCode DWinMobMessageManager::Open() { return generalErrNotImplemented; }

DErrorCode DWinMobMessageManager::OpenAsync(DActiveTaskSignal *completion) { return Open(completion); }

DErrorCode DWinMobMessageManager::InitializeMAPI() {
    if (m_mapiInitialized) return kNoError;
    HRESULT hr = MAPIInitialize(nullptr);
    if (FAILED(hr)) return DErrorCode(hr);
    m_mapiInitialized = true;
    return kNoError;
}

DErrorCode DWinMobMessageManager::OpenMsgStore() {
    IMAPITable *table = nullptr;
    HRESULT hr = m_session->GetMsgStoresTable(MAPI_UNICODE, &table);
    DErrorCode err = FAILED(hr) ? DErrorCode(hr) : (table == nullptr ? generalErrNULLPointer : kNoError);
    if (err == kNoError) {
        SizedSPropTagArray(2, columns) = {2, {PR_DISPLAY_NAME_W, PR_ENTRYID}};
        hr = table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0);
        if (FAILED(hr)) err = DErrorCode(hr);
    }
    std::vector<BYTE> entryID;
    while (err == kNoError && entryID.empty()) {
        LPSRowSet rows = nullptr;
        hr = table->QueryRows(1, 0, &rows);
        if (FAILED(hr)) {
            err = DErrorCode(hr);
            break;
        }
        if (rows == nullptr || rows->cRows == 0) {
            err = generalErrNULLPointer;  // no store of that name
        } else {
            const SRow &row = rows->aRow[0];
            if (row.cValues != 2 || row.lpProps[0].ulPropTag != PR_DISPLAY_NAME_W ||
                row.lpProps[1].ulPropTag != PR_ENTRYID) {
                err = generalErrUnknownError;
            } else if (row.lpProps[0].Value.lpszW != nullptr &&
                       std::u16string(row.lpProps[0].Value.lpszW) == kAccountStoreName) {
                const SBinary &bin = row.lpProps[1].Value.bin;
                try {
                    entryID.assign(bin.lpb, bin.lpb + bin.cb);
                } catch (const std::bad_alloc &) {
                    err = generalErrMemoryError;
                }
                if (err == kNoError && entryID.empty()) err = generalErrNULLPointer;
            }
        }
        if (rows != nullptr) FreeProws(rows);
    }
    if (table != nullptr) table->Release();
    if (err == kNoError) {
        hr = m_session->OpenMsgStore(0, ULONG(entryID.size()), MailEntryID(entryID), nullptr,
                                     MAPI_BEST_ACCESS | MDB_NO_DIALOG, &m_store);
        if (FAILED(hr)) {
            m_store = nullptr;
            err = DErrorCode(hr);
        } else if (m_store == nullptr) {
            err = generalErrNULLPointer;
        }
    }
    if (err != kNoError) LogCode("DWinMobMessageManager::OpenMsgStore() - Failed to open message store ", err);
    return err;
}

DErrorCode DWinMobMessageManager::CompletePrepareForSync() {
    static const struct {
        const WCHAR *name;
        ULONG type;
        ULONG DWinMobMessageManager::*tag;
        const char *failure;
    } kNames[] = {
        {kPropNameServerID, PT_UNICODE, &DWinMobMessageManager::m_tagServerID,
         "DWinMobMessageManager::CompletePrepareForSync() - GetMAPIPropertyIDFromName() Failed with error "},
        {kPropNameParentServerID, PT_UNICODE, &DWinMobMessageManager::m_tagParentServerID,
         "DWinMobMessageManager::CompletePrepareForSync() - GetMAPIPropertyIDFromName (2) Failed with error "},
        {kPropNameSendType, PT_LONG, &DWinMobMessageManager::m_tagSendType,
         "DWinMobMessageManager::CompletePrepareForSync() - GetMAPIPropertyIDFromName (3) Failed with error "},
        {kPropNameGlobalObjID, PT_BINARY, &DWinMobMessageManager::m_tagGlobalObjID,
         "DWinMobMessageManager::CompletePrepareForSync() - GetMAPIPropertyIDFromName (4) Failed with error "},
        {kPropNameWhere, PT_UNICODE, &DWinMobMessageManager::m_tagWhere,
         "DWinMobMessageManager::CompletePrepareForSync() - GetMAPIPropertyIDFromName (5) Failed with error "},
        {kPropNameFolderID, PT_LONG, &DWinMobMessageManager::m_tagFolderID,
         "DWinMobMessageManager::CompletePrepareForSync() - GetMAPIPropertyIDFromName (6) Failed with error "},
    };
    for (const auto &entry : kNames) {
        ULONG tag = 0;
        DErrorCode err = GetMAPIPropertyIDFromName(m_store, entry.name, entry.type, &tag, m_log);
        if (err != kNoError) {
            LogCode(entry.failure, err);
            return err;
        }
        this->*entry.tag = tag;
    }
    // Other components read the tag of "X-QV-BRWFolderID" from the
    // registry; it is rewritten only when it changed.
    DWORD stored = 0;
    if (QueryUserRegDWORD(kVantrelRegKey, u"FolderID", &stored) == kNoError && stored == m_tagFolderID) return kNoError;
    return SaveFolderIDSetting(m_tagFolderID);
}

DErrorCode DWinMobMessageManager::Open(DActiveTaskSignal *request) {
    if (m_store != nullptr && m_shadow != nullptr) {
        Complete(request, kNoError);
        return kNoError;
    }
    DErrorCode err = InitializeMAPI();
    if (err == kNoError && m_session == nullptr) {
        HRESULT hr = MAPILogonEx(0, nullptr, nullptr, 0, &m_session);
        if (FAILED(hr) || m_session == nullptr) {
            m_session = nullptr;
            err = FAILED(hr) ? DErrorCode(hr) : generalErrNULLPointer;
            LogCode("DWinMobMessageManager::Open() - Failed to open Session ", err);
        }
    }
    if (err == kNoError && m_store == nullptr) {
        err = OpenMsgStore();
        if (err != kNoError) LogCode("DWinMobMessageManager::Open() - Failed to open Store ", err);
    }
    if (err == kNoError && m_shadow == nullptr) {
        m_shadow = new (std::nothrow) DWinMobShadowDB;
        err = m_shadow != nullptr ? m_shadow->Open(kShadowEmail) : generalErrMemoryError;
        if (err != kNoError) {
            delete m_shadow;
            m_shadow = nullptr;
        }
    }
    if (err == kNoError) err = CompletePrepareForSync();
    Complete(request, err);
    return err;
}

DErrorCode DWinMobMessageManager::Close() {
    Deactivate();
    LogText("DWinMobMessageManager::Close().\n");
    DeleteAllCollections();
    delete m_storeOutbox;
    m_storeOutbox = nullptr;
    if (m_store != nullptr) m_store->Release();
    m_store = nullptr;
    if (m_session != nullptr) {
        m_session->Logoff(0, 0, 0);
        m_session->Release();
    }
    m_session = nullptr;
    if (m_mapiInitialized) MAPIUninitialize();
    m_mapiInitialized = false;
    m_tagServerID = m_tagParentServerID = m_tagSendType = m_tagGlobalObjID = m_tagWhere = m_tagFolderID = 0;
    if (m_shadow != nullptr) m_shadow->Close();
    delete m_shadow;
    m_shadow = nullptr;
    return kNoError;
}

// --- Collections ---

DErrorCode DWinMobMessageManager::AllocateOutlookItemCollection(DEASFolderInfoRecord *folder,
                                                                IMessagingItemCollection **collection) {
    if (folder == nullptr || collection == nullptr) return generalErrInvalidParameter;
    *collection = nullptr;
    const uint32_t type = folder->GetInt(kFolderFieldType);
    if ((type < kFolderTypeInbox || type > kFolderTypeOutbox) && type != kFolderTypeUserMail)
        return messageManagerErrUnsupportedType;
    if (folder->GetData() == nullptr || folder->GetDataSize() == 0) return generalErrItemNotFound;
    DWinMobOutlookMessageCollection *made = new (std::nothrow) DWinMobOutlookMessageCollection(this, m_store, m_log);
    if (made == nullptr) {
        LogCode("DWinMobMessageManager::AllocateOutlookItemCollection() - Failed to allocated "
                "DWinMobOutlookMessageCollection\n",
                generalErrMemoryError);
        return generalErrMemoryError;
    }
    DErrorCode err = ReinitOutlookItemCollection(folder, made);
    if (err != kNoError) {
        LogCode("DWinMobMessageManager::AllocateOutlookItemCollection() - Failed to Init "
                "DWinMobOutlookMessageCollection\n",
                err);
    } else {
        err = made->Open();
        if (err != kNoError)
            LogCode("DWinMobMessageManager::AllocateOutlookItemCollection() - Failed to Open "
                    "DWinMobOutlookMessageCollection\n",
                    err);
    }
    if (err != kNoError) {
        delete made;
        return err;
    }
    *collection = made;
    return kNoError;
}

DErrorCode DWinMobMessageManager::ReinitOutlookItemCollection(DEASFolderInfoRecord *folder,
                                                              DWinMobOutlookMessageCollection *collection) {
    if (folder == nullptr || collection == nullptr) return generalErrInvalidParameter;
    const uint32_t type = folder->GetInt(kFolderFieldType);
    // Drafts, Deleted Items and Sent Items keep no shadow records.
    const bool tracked = type == kFolderTypeInbox || type == kFolderTypeOutbox || type == kFolderTypeUserMail;
    return collection->Init(folder->GetData(), folder->GetDataSize(), folder->GetString(kFolderFieldServerID),
                            tracked ? m_shadow : nullptr);
}

DErrorCode DWinMobMessageManager::TypedCollection(uint32_t type, DWinMobOutlookMessageCollection **collection) {
    if (collection == nullptr) return generalErrInvalidParameter;
    *collection = nullptr;
    IMessagingItemCollection *found = nullptr;
    DErrorCode err = GetFolderCollectionOfType(type, &found);
    if (err != kNoError) return err;
    *collection = dynamic_cast<DWinMobOutlookMessageCollection *>(found);
    return *collection != nullptr ? kNoError : generalErrItemNotFound;
}

DErrorCode DWinMobMessageManager::GetInboxCollection(DWinMobOutlookMessageCollection **collection) {
    return TypedCollection(kFolderTypeInbox, collection);
}
DErrorCode DWinMobMessageManager::GetOutboxCollection(DWinMobOutlookMessageCollection **collection) {
    DErrorCode err = TypedCollection(kFolderTypeOutbox, collection);
    // Not every server has an Outbox of its own to name; the mail program
    // still puts outgoing mail into the store's, which must not wait there
    // for ever.
    return err == generalErrItemNotFound ? StoreOutboxCollection(collection) : err;
}

DErrorCode DWinMobMessageManager::StoreOutboxCollection(DWinMobOutlookMessageCollection **collection) {
    if (m_storeOutbox == nullptr) {
        std::vector<BYTE> entryID;
        // No store open: no Outbox, as without a server one.
        if (m_store == nullptr) return generalErrItemNotFound;
        DErrorCode err = ReadStoreEntryID(PR_IPM_OUTBOX_ENTRYID, &entryID);
        if (err != kNoError) return err;
        auto *made = new (std::nothrow) DWinMobOutlookMessageCollection(this, m_store, m_log);
        if (made == nullptr) return generalErrMemoryError;
        err = made->Init(entryID.data(), uint32_t(entryID.size()), "", m_shadow);
        if (err == kNoError) err = made->Open();
        if (err != kNoError) {
            delete made;
            return err;
        }
        m_storeOutbox = made;
    }
    *collection = m_storeOutbox;
    return kNoError;
}
DErrorCode DWinMobMessageManager::GetDraftsCollection(DWinMobOutlookMessageCollection **collection) {
    return TypedCollection(kFolderTypeDrafts, collection);
}
DErrorCode DWinMobMessageManager::GetSentItemsCollection(DWinMobOutlookMessageCollection **collection) {
    return TypedCollection(kFolderTypeSentItems, collection);
}
DErrorCode DWinMobMessageManager::GetDeletedItemsCollection(DWinMobOutlookMessageCollection **collection) {
    return TypedCollection(kFolderTypeDeletedItems, collection);
}

namespace {

// The typed getter's answer through the base's interface.
DErrorCode AsInterface(DWinMobMessageManager *manager,
                       DErrorCode (DWinMobMessageManager::*getter)(DWinMobOutlookMessageCollection **),
                       IMessagingItemCollection **out) {
    DWinMobOutlookMessageCollection *typed = nullptr;
    DErrorCode err = (manager->*getter)(&typed);
    if (out != nullptr) *out = typed;
    return err;
}

}  // namespace

DErrorCode DWinMobMessageManager::GetInboxCollection(IMessagingItemCollection **collection) {
    return AsInterface(this, &DWinMobMessageManager::GetInboxCollection, collection);
}
DErrorCode DWinMobMessageManager::GetOutboxCollection(IMessagingItemCollection **collection) {
    return AsInterface(this, &DWinMobMessageManager::GetOutboxCollection, collection);
}
DErrorCode DWinMobMessageManager::GetDraftsCollection(IMessagingItemCollection **collection) {
    return AsInterface(this, &DWinMobMessageManager::GetDraftsCollection, collection);
}
DErrorCode DWinMobMessageManager::GetSentItemsCollection(IMessagingItemCollection **collection) {
    return AsInterface(this, &DWinMobMessageManager::GetSentItemsCollection, collection);
}
DErrorCode DWinMobMessageManager::GetDeletedItemsCollection(IMessagingItemCollection **collection) {
    return AsInterface(this, &DWinMobMessageManager::GetDeletedItemsCollection, collection);
}

DErrorCode DWinMobMessageManager::GetCurrentMailFolderCollection(DWinMobOutlookMessageCollection **collection) {
    if (collection == nullptr) return generalErrInvalidParameter;
    *collection = nullptr;
    DEASFolderInfoStore *store = GetFolderStore();
    if (store == nullptr) return generalErrNotInitialized;
    DEASFolderInfoRecord *folder = nullptr;
    DErrorCode err = store->GetCurrentFlaggedFolder(&folder);
    if (err != kNoError) return err;
    const std::string serverID = folder->GetString(kFolderFieldServerID);
    return GetMailFolderCollection(serverID.c_str(), collection);
}

DErrorCode DWinMobMessageManager::GetMailFolderCollection(const char *serverID,
                                                          DWinMobOutlookMessageCollection **collection) {
    if (collection == nullptr) return generalErrInvalidParameter;
    *collection = nullptr;
    IMessagingItemCollection *found = nullptr;
    DErrorCode err = GetFolderCollection(serverID, &found);
    if (err != kNoError) return err;
    *collection = dynamic_cast<DWinMobOutlookMessageCollection *>(found);
    return *collection != nullptr ? kNoError : generalErrItemNotFound;
}

DErrorCode DWinMobMessageManager::OpenInboxAsync(DActiveTaskSignal *request) {
    DWinMobOutlookMessageCollection *inbox = nullptr;
    GetInboxCollection(&inbox);
    // The Inbox may not be known before the first FolderSync: not a failure here.
    Complete(request, kNoError);
    return kNoError;
}

DErrorCode DWinMobMessageManager::OpenInboxAsyncAlt(DActiveTaskSignal *request) { return OpenInboxAsync(request); }

DErrorCode DWinMobMessageManager::FinishSentMessage(DWinMobOutlookMessageCollection *collection,
                                                    IOutlookMessage *message, DActiveTaskSignal *request) {
    DErrorCode err = collection != nullptr && message != nullptr ? kNoError : generalErrInvalidParameter;
    if (err == kNoError && GetDeleteSentItemDateRange() == 1) {
        err = collection->DeleteItem(message, nullptr);
    } else if (err == kNoError) {
        err = message->SetRead(true);
        if (err == kNoError) err = message->Commit();
        if (err == kNoError) err = collection->MoveToSentItems(message, nullptr);
    }
    Complete(request, err);
    return err;
}

DErrorCode DWinMobMessageManager::SyncCycleCompleted(DActiveTaskSignal *request) {
    Complete(request, kNoError);
    return kNoError;
}

// --- The store as a collection of folders ---

namespace {

DErrorCode NotForTheStore(DActiveTaskSignal *completion) {
    if (completion != nullptr) completion->Signal(generalErrNotImplemented);
    return generalErrNotImplemented;
}

}  // namespace

DErrorCode DWinMobMessageManager::Reopen() { return generalErrNotImplemented; }
DErrorCode DWinMobMessageManager::GetName(VString *) { return generalErrNotImplemented; }
DErrorCode DWinMobMessageManager::Reserved() { return generalErrNotImplemented; }
DErrorCode DWinMobMessageManager::CreateNewItem(uint32_t, IOutlookItem **item, DActiveTaskSignal *completion) {
    if (item != nullptr) *item = nullptr;
    return NotForTheStore(completion);
}
DErrorCode DWinMobMessageManager::DeleteItem(IOutlookItem *, DActiveTaskSignal *completion) {
    return NotForTheStore(completion);
}
DErrorCode DWinMobMessageManager::GetChangedItems(DListNode<IOutlookItem> *, DActiveTaskSignal *completion) {
    return NotForTheStore(completion);
}
DErrorCode DWinMobMessageManager::HasChangedItems(bool *flag, DActiveTaskSignal *completion) {
    if (flag != nullptr) *flag = false;
    return NotForTheStore(completion);
}

DErrorCode DWinMobMessageManager::FindItemByID(const char *serverID, IOutlookItem **item,
                                               DActiveTaskSignal *completion) {
    DErrorCode err = GetItemByID(serverID, item);
    Complete(completion, err);
    return err == generalErrItemNotFound ? kNoError : err;
}
