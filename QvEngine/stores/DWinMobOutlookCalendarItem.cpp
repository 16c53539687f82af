// DWinMobOutlookCalendarItem: construction, the store binding (Load, Open,
// Close), the change-record flags and body checksum, the server id,
// Commit and Delete.
#include "DWinMobOutlookCalendarItem.h"

#include <cstring>
#include <new>

#include "ChangeNotifier.h"
#include "Checksum.h"
#include "DWinMobOutlookCalendarException.h"
#include "DWinMobOutlookCalendarPim.h"
#include "DWinMobShadowDB.h"
#include "ServerIDText.h"

namespace {

constexpr unsigned kLogLevel = 1;

}  // namespace

DWinMobOutlookCalendarItem::DWinMobOutlookCalendarItem(ILogProvider *log)
    : m_log(log),
      m_app(nullptr),
      m_shadow(nullptr),
      m_database(INVALID_HANDLE_VALUE),
      m_oid(kCalendarOidNone),
      m_zoneHeld(false) {
    std::memset(&m_zone, 0, sizeof m_zone);
}

DWinMobOutlookCalendarItem::~DWinMobOutlookCalendarItem() { DropUnsavedRecord(); }

void DWinMobOutlookCalendarItem::DropUnsavedRecord() {
    if (m_oid == kCalendarOidNew && m_record != nullptr && m_shadow != nullptr) m_shadow->DeleteRecord(m_record.get());
}

void DWinMobOutlookCalendarItem::LogCode(const char *text, DErrorCode code) const {
    if (m_log != nullptr) m_log->WriteStringHexLine(text, int32_t(code), kLogLevel, kLogAllCategories);
}

void DWinMobOutlookCalendarItem::Broadcast(WPARAM wParam) const {
    const DErrorCode err = wParam == 0 ? BroadcastChangeNotifierBegin() : BroadcastChangeNotifierEnd();
    if (err != kNoError) LogCode("DWinMobOutlookCalendarItem::Broadcast() - ERROR: notifier message not sent ", err);
}

// --- Binding ---

DErrorCode DWinMobOutlookCalendarItem::Load(DWinMobShadowDB *shadow, IPOutlookApp *application, HANDLE database,
                                            LONG objectID) {
    if (shadow == nullptr || application == nullptr) return generalErrInvalidParameter;
    DropUnsavedRecord();
    m_shadow = shadow;
    m_app = application;
    m_database = database;
    m_oid = objectID;
    m_record.reset(new (std::nothrow) DWinMobShadowRecord);
    if (m_record == nullptr) return generalErrMemoryError;

    DErrorCode err = kNoError;
    if (objectID == kCalendarOidNew) {
        err = m_shadow->NewRecord(m_record.get());
    } else {
        err = m_shadow->FindByObjectID(uint32_t(objectID), m_record.get());
        if (err == generalErrItemNotFound) {
            // An appointment without a change record gets one that names it.
            err = m_shadow->NewRecord(m_record.get());
            if (err == kNoError) err = m_record->SetOutlookObjectID(uint32_t(objectID));
        }
    }
    if (err != kNoError) {
        LogCode("DWinMobOutlookCalendarItem::Load() - ERROR: no change record ", err);
        return err;
    }
    if (objectID == kCalendarOidNew) return kNoError;
    try {
        return Read();
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
}

DErrorCode DWinMobOutlookCalendarItem::Open() { return kNoError; }

DErrorCode DWinMobOutlookCalendarItem::Close() {
    DropUnsavedRecord();
    m_oid = kCalendarOidNone;
    m_app = nullptr;
    m_database = INVALID_HANDLE_VALUE;
    return kNoError;
}

// --- Change-record flags ---

DErrorCode DWinMobOutlookCalendarItem::IsNew(bool *flag) {
    if (flag == nullptr) return generalErrInvalidParameter;
    return m_record == nullptr ? generalErrNotInitialized : m_record->IsNew(flag);
}

DErrorCode DWinMobOutlookCalendarItem::SetNew(bool flag) {
    return m_record == nullptr ? generalErrNotInitialized : m_record->SetNew(flag);
}

DErrorCode DWinMobOutlookCalendarItem::IsDeleted(bool *flag) {
    if (flag == nullptr) return generalErrInvalidParameter;
    return m_record == nullptr ? generalErrNotInitialized : m_record->IsDeleted(flag);
}

DErrorCode DWinMobOutlookCalendarItem::SetDeleted(bool) { return generalErrNotImplemented; }

DErrorCode DWinMobOutlookCalendarItem::IsSent(bool *flag) {
    if (flag == nullptr) return generalErrInvalidParameter;
    return m_record == nullptr ? generalErrNotInitialized : m_record->IsSent(flag);
}

DErrorCode DWinMobOutlookCalendarItem::SetSent(bool flag) {
    return m_record == nullptr ? generalErrNotInitialized : m_record->SetSent(flag);
}

DErrorCode DWinMobOutlookCalendarItem::IsKeptNew(bool *flag) {
    if (flag == nullptr) return generalErrInvalidParameter;
    return m_record == nullptr ? generalErrNotInitialized : m_record->IsKeepNew(flag);
}

DErrorCode DWinMobOutlookCalendarItem::SetKeptNew(bool flag) {
    return m_record == nullptr ? generalErrNotInitialized : m_record->SetKeepNew(flag);
}

DErrorCode DWinMobOutlookCalendarItem::IsModified(bool *flag) {
    if (flag == nullptr) return generalErrInvalidParameter;
    if (m_record == nullptr) return generalErrNotInitialized;
    bool deleted = false, changed = false;
    DErrorCode err = m_record->IsDeleted(&deleted);
    if (err == kNoError) err = m_record->IsModified(&changed);
    if (err == kNoError) *flag = !deleted && changed;
    return err;
}

DErrorCode DWinMobOutlookCalendarItem::ClearModified() {
    return m_record == nullptr ? generalErrNotInitialized : m_record->ClearModified();
}

// --- Body checksum ---

DErrorCode DWinMobOutlookCalendarItem::BodyChecksum(BYTE checksum[8]) const {
    DChecksumState state = {0, 0};
    if (m_fields.body && !m_fields.body->empty()) {
        const auto *bytes = reinterpret_cast<const uint8_t *>(m_fields.body->data());
        DErrorCode err = AccumulateChecksum(bytes, uint32_t(m_fields.body->size() * sizeof(char16_t)), &state, 0);
        if (err != kNoError) return err;
    }
    std::memcpy(checksum, &state, sizeof state);
    return kNoError;
}

DErrorCode DWinMobOutlookCalendarItem::IsBodyChanged(bool *flag) {
    if (flag == nullptr) return generalErrInvalidParameter;
    if (m_record == nullptr) return generalErrNotInitialized;
    *flag = false;
    uint32_t state = 0;
    DErrorCode err = m_record->GetChangeState(&state);
    if (err != kNoError || state == 0) return err;
    // No checksum kept (all zeros) counts as a change.
    BYTE stored[8] = {}, current[8] = {};
    const BYTE none[8] = {};
    err = m_record->GetBodyChecksum(stored);
    if (err == kNoError) err = BodyChecksum(current);
    if (err == kNoError) *flag = std::memcmp(stored, none, 8) == 0 || std::memcmp(stored, current, 8) != 0;
    return err;
}

// --- Server id ---

DErrorCode DWinMobOutlookCalendarItem::GetID(char *buffer, uint32_t size) {
    if (buffer == nullptr || size == 0) return generalErrBufferTooSmall;
    buffer[0] = '\0';
    // An item the server never saw has no id.
    if (!m_serverID) return generalErrNotInitialized;
    std::string narrow;
    DErrorCode err = ServerIDToNarrow(m_serverID->c_str(), &narrow);
    if (err != kNoError) return err;
    // The id goes whole with its terminator, or not at all.
    if (narrow.size() >= size) {
        LogCode("DWinMobOutlookCalendarItem::GetID() - ERROR: id does not fit ", generalErrBufferTooSmall);
        return generalErrBufferTooSmall;
    }
    std::memcpy(buffer, narrow.c_str(), narrow.size() + 1);
    return kNoError;
}

DErrorCode DWinMobOutlookCalendarItem::SetID(const char *id) {
    if (id == nullptr) {
        m_serverID.reset();
        return kNoError;
    }
    std::u16string wide;
    DErrorCode err = ServerIDToWide(id, &wide);
    if (err == kNoError) m_serverID = std::move(wide);
    return err;
}

DErrorCode DWinMobOutlookCalendarItem::MatchID(const char *, bool *) { return generalErrNotImplemented; }

// --- Commit and Delete ---

DErrorCode DWinMobOutlookCalendarItem::Commit() {
    if (m_record == nullptr) return generalErrNotInitialized;
    bool deleted = false;
    DErrorCode err = m_record->IsDeleted(&deleted);
    if (err != kNoError) return err;
    if (!deleted) return Write();
    // Deleted on the device: the appointment is gone, only its record stays.
    if (m_serverID) err = m_record->SetServerID(m_serverID->c_str());
    if (err == kNoError) err = m_shadow->WriteRecord(m_record.get());
    return err;
}

DErrorCode DWinMobOutlookCalendarItem::CommitNewItem(DActiveTaskSignal *completion) {
    const DErrorCode err = Write();
    if (completion != nullptr) completion->Signal(err);
    return err;
}

DErrorCode DWinMobOutlookCalendarItem::Delete() {
    if (!Stored()) return kNoError;
    if (m_record == nullptr || m_app == nullptr) return generalErrNotInitialized;
    Broadcast(0);
    bool deleted = false;
    DErrorCode err = m_record->IsDeleted(&deleted);
    if (err == kNoError && !deleted) {
        // The user may have removed it already: then there is nothing to delete.
        PimRef<IPimItem> item;
        HRESULT hr = m_app->GetItemFromOid(CEOID(m_oid), item.Out());
        if (SUCCEEDED(hr)) hr = item->Delete();
        if (FAILED(hr) && hr != PIM_E_NOTFOUND) err = DErrorCode(hr);
    }
    if (err == kNoError) err = m_shadow->DeleteRecord(m_record.get());
    if (err == kNoError) m_oid = kCalendarOidDeleted;
    Broadcast(WPARAM(0xFFFFFFFFu));
    if (err != kNoError) LogCode("DWinMobOutlookCalendarItem::Delete() - ERROR: ", err);
    return err;
}
