#include "DWinMobContactManager.h"

#include <new>

#include "DWinMobOutlookContactItem.h"

namespace {
const DPimStoreKind kContactsKind = {olFolderContacts, u"Contacts Database", kShadowContacts, kOutlookItemContact,
                                     "ERROR - Contacts Manager"};
}  // namespace

DErrorCode AllocateContactManager(DOutlookManager **manager, IGlobalData *context, IOutlookManagerClient *client) {
    if (manager == nullptr) return generalErrInvalidParameter;
    *manager = nullptr;
    DWinMobContactManager *made = new (std::nothrow) DWinMobContactManager;
    if (made == nullptr) return generalErrMemoryError;
    DErrorCode err = made->InitForSync(context, client);
    if (err != kNoError) {
        delete made;
        return err;
    }
    *manager = made;
    return kNoError;
}

DWinMobContactManager::DWinMobContactManager()
    : DWinMobPimManager<DContactManager>(kContactsKind), m_fieldListBuilt(false) {}

DWinMobContactManager::~DWinMobContactManager() = default;

DErrorCode DWinMobContactManager::Open() {
    DErrorCode err = DWinMobPimManager<DContactManager>::Open();
    if (err == kNoError) err = BuildFieldList();
    if (err != kNoError) Close();
    return err;
}

DErrorCode DWinMobContactManager::Close() {
    m_fieldList.clear();
    m_fieldListBuilt = false;
    return DWinMobPimManager<DContactManager>::Close();
}

DErrorCode DWinMobContactManager::BuildFieldList() {
    m_fieldList.clear();
    try {
        // Built back to front: the string fields, then the dates and the lists.
        for (uint32_t id : {kContactChildren, kContactCategories, kContactBirthday, kContactAnniversary})
            m_fieldList.push_front(id);
        for (uint32_t id = kContactLastString + 1; id-- > kContactFirstString;) m_fieldList.push_front(id);
    } catch (const std::bad_alloc &) {
        m_fieldList.clear();
        return generalErrMemoryError;
    }
    m_fieldListBuilt = true;
    return kNoError;
}

DErrorCode DWinMobContactManager::CreateItemForOid(LONG objectID, IOutlookItem **item) {
    return LoadItemForOid<DWinMobOutlookContactItem>(objectID, item);
}

DErrorCode DWinMobContactManager::DeleteItemObject(IOutlookItem *item) {
    auto *contact = dynamic_cast<IOutlookContact *>(item);
    return contact != nullptr ? contact->Delete() : generalErrInvalidParameter;
}
