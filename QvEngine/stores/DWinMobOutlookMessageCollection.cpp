// The message folder collection: binding to a folder, opening it, and the
// folder's own identity and name.
#include "DWinMobOutlookMessageCollection.h"

#include <cstdlib>
#include <cstring>

#include "MailStoreCalls.h"

DWinMobOutlookMessageCollection::DWinMobOutlookMessageCollection(DWinMobMessageManager *manager, IMsgStore *store,
                                                                 ILogProvider *log)
    : m_manager(manager),
      m_store(store),
      m_log(log),
      m_item(log),
      m_shadow(nullptr),
      m_folder(nullptr),
      m_contents(nullptr),
      m_opened(false),
      m_changed(nullptr),
      m_changedCount(0),
      m_haveChangedList(false),
      m_question(kQuestionNone),
      m_walkNext(0),
      m_walkPosition(0),
      m_walkOid(0) {}

DWinMobOutlookMessageCollection::~DWinMobOutlookMessageCollection() {
    CloseFolder();
    FreeChangedList();
}

DErrorCode DWinMobOutlookMessageCollection::Init(const BYTE *entryID, uint32_t size, const char *serverID,
                                                 DWinMobShadowDB *shadow) {
    if (entryID == nullptr || size == 0) return generalErrInvalidParameter;
    CloseFolder();
    FreeChangedList();
    m_opened = false;
    DErrorCode err = m_item.SetEntryID(entryID, size);
    if (err == kNoError) err = m_item.SetID(serverID);
    if (err == kNoError) m_shadow = shadow;
    return err;
}

DErrorCode DWinMobOutlookMessageCollection::OpenFolder() {
    if (m_folder != nullptr) return kNoError;
    if (m_store == nullptr || !m_item.HasEntryID()) return generalErrItemNotFound;
    HRESULT hr = MailOpenFolder(m_store, m_item.GetEntryID(), &m_folder);
    return hr == S_OK ? kNoError : DErrorCode(hr);
}

void DWinMobOutlookMessageCollection::CloseFolder() {
    if (m_contents != nullptr) m_contents->Release();
    m_contents = nullptr;
    if (m_folder != nullptr) m_folder->Release();
    m_folder = nullptr;
}

IMAPIFolder *DWinMobOutlookMessageCollection::GetMAPIFolder() {
    return OpenFolder() == kNoError ? m_folder : nullptr;
}

DErrorCode DWinMobOutlookMessageCollection::Open() {
    DErrorCode err = OpenFolder();
    if (err == kNoError) m_opened = true;
    return err;
}

DErrorCode DWinMobOutlookMessageCollection::Close() {
    CloseFolder();
    m_opened = false;
    return kNoError;
}

DErrorCode DWinMobOutlookMessageCollection::Reopen() {
    if (m_opened || m_folder != nullptr) Close();
    return Open();
}

// --- The folder as an item: only its server id means something ---

DErrorCode DWinMobOutlookMessageCollection::Commit() { return generalErrNotImplemented; }
DErrorCode DWinMobOutlookMessageCollection::CommitNewItem(DActiveTaskSignal *completion) {
    if (completion != nullptr) completion->Signal(generalErrNotImplemented);
    return generalErrNotImplemented;
}
DErrorCode DWinMobOutlookMessageCollection::IsNew(bool *) { return generalErrNotImplemented; }
DErrorCode DWinMobOutlookMessageCollection::SetNew(bool) { return generalErrNotImplemented; }
DErrorCode DWinMobOutlookMessageCollection::IsDeleted(bool *) { return generalErrNotImplemented; }
DErrorCode DWinMobOutlookMessageCollection::SetDeleted(bool) { return generalErrNotImplemented; }
DErrorCode DWinMobOutlookMessageCollection::IsSent(bool *) { return generalErrNotImplemented; }
DErrorCode DWinMobOutlookMessageCollection::SetSent(bool) { return generalErrNotImplemented; }
DErrorCode DWinMobOutlookMessageCollection::IsKeptNew(bool *) { return generalErrNotImplemented; }
DErrorCode DWinMobOutlookMessageCollection::SetKeptNew(bool) { return generalErrNotImplemented; }
DErrorCode DWinMobOutlookMessageCollection::IsModified(bool *) { return generalErrNotImplemented; }
DErrorCode DWinMobOutlookMessageCollection::ClearModified() { return generalErrNotImplemented; }

DErrorCode DWinMobOutlookMessageCollection::GetID(char *buffer, uint32_t size) { return m_item.GetID(buffer, size); }
DErrorCode DWinMobOutlookMessageCollection::SetID(const char *id) { return m_item.SetID(id); }
DErrorCode DWinMobOutlookMessageCollection::MatchID(const char *id, bool *equal) { return m_item.MatchID(id, equal); }

DErrorCode DWinMobOutlookMessageCollection::Reserved() { return messageManagerErrAccessDenied; }

DErrorCode DWinMobOutlookMessageCollection::GetCount(uint32_t *count) {
    if (count == nullptr) return generalErrInvalidParameter;
    *count = 0;
    if (m_shadow != nullptr) return m_shadow->CountInFolder(GetFolderEntryID(), count);
    return GetMAPIContentsTableRowCount(count);
}

DErrorCode DWinMobOutlookMessageCollection::IsEmpty(bool *empty) {
    if (empty == nullptr) return generalErrInvalidParameter;
    *empty = true;
    if (m_shadow == nullptr) return IOutlookItemCollection::IsEmpty(empty);
    // The first record of the folder answers it: the rest are not read.
    uint32_t position = 0;
    DWinMobShadowRecord record;
    bool found = false;
    DErrorCode err = m_shadow->NextInFolder(GetFolderEntryID(), &position, &record, &found);
    *empty = err == kNoError && !found;
    return err;
}

DErrorCode DWinMobOutlookMessageCollection::GetName(VString *name) {
    if (name == nullptr) return generalErrInvalidParameter;
    DErrorCode err = OpenFolder();
    if (err != kNoError) return err;
    std::u16string text;
    HRESULT hr = MailGetString(m_folder, PR_DISPLAY_NAME_W, &text);
    if (hr == MAPI_E_NOT_FOUND) {
        LogText("DWinMobOutlookMessageCollection::GetName() - Display Name property not found.\n");
        return generalErrItemNotFound;
    }
    if (hr != S_OK) {
        LogCode("DWinMobOutlookMessageCollection::GetName() - GetProps error ", DErrorCode(hr));
        return DErrorCode(hr);
    }
    return name->AssignWide(text.c_str(), uint32_t(text.size()), kVStringUTF16LE);
}

// --- Log lines ---

namespace {
constexpr unsigned kLogLevel = 1;
}

void DWinMobOutlookMessageCollection::LogText(const char *text) {
    if (m_log != nullptr) m_log->WriteString(text, kLogLevel, kLogAllCategories);
}

void DWinMobOutlookMessageCollection::LogCode(const char *text, DErrorCode code) {
    if (m_log != nullptr) m_log->WriteStringHexLine(text, int32_t(code), kLogLevel, kLogAllCategories);
}

void DWinMobOutlookMessageCollection::LogCount(const char *text, uint32_t count) {
    if (m_log == nullptr) return;
    m_log->WriteString(text, kLogLevel, kLogAllCategories);
    m_log->WriteNumber(int32_t(count), kLogLevel, kLogAllCategories);
    m_log->NewLine(kLogLevel, kLogAllCategories);
}
