// The message folder collection's contents table, and emptying a folder in
// the store: clearing old sent items by age, and clearing every message.
// Rows are read in batches of ten; the messages to delete are collected
// over the whole walk and deleted after it, so that no deletion shifts the
// rows still to be read.
#include <new>

#include "DWinMobOutlookMessageCollection.h"
#include "MAPIPropertyHelpers.h"
#include "MailStoreCalls.h"

namespace {

constexpr LONG kRowBatch = 10;
constexpr uint64_t kFileTimeTicksPerSecond = 10000000;
constexpr uint64_t kSecondsPerDay = 86400;

// The minimum age in days of the sent items that a DeleteSentItemDateRange
// value deletes; false for a value outside the range.
bool AgeLimitOf(uint32_t dateRange, uint32_t *days) {
    static const uint32_t kLimits[] = {0, 0, 3, 7, 14, 30};
    if (dateRange >= sizeof(kLimits) / sizeof(kLimits[0])) return false;
    *days = kLimits[dateRange];
    return true;
}

uint64_t FileTimeValue(const FILETIME &time) {
    return (uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Whole days from a time to now on the device's clock (0 for a time ahead).
uint32_t AgeInDays(const FILETIME &time) {
    SYSTEMTIME nowSystem;
    GetSystemTime(&nowSystem);
    FILETIME now{};
    SystemTimeToFileTime(&nowSystem, &now);
    const uint64_t from = FileTimeValue(time), to = FileTimeValue(now);
    if (to <= from) return 0;
    return uint32_t((to - from) / kFileTimeTicksPerSecond / kSecondsPerDay);
}

}  // namespace

DErrorCode DWinMobOutlookMessageCollection::GetMAPIContentsTable(IMAPITable **table) {
    *table = nullptr;
    // Tables are snapshots: a fresh one for every walk and count.
    if (m_contents != nullptr) m_contents->Release();
    m_contents = nullptr;
    DErrorCode err = OpenFolder();
    if (err == kNoError) {
        HRESULT hr = m_folder->GetContentsTable(MAPI_UNICODE, &m_contents);
        if (FAILED(hr) || m_contents == nullptr) {
            m_contents = nullptr;
            err = FAILED(hr) ? DErrorCode(hr) : generalErrItemNotFound;
        }
    }
    if (err != kNoError) {
        LogCode("DWinMobOutlookMessageCollection::GetMAPIContentsTable() - Failed to load contents table ", err);
        return err;
    }
    *table = m_contents;
    return kNoError;
}

DErrorCode DWinMobOutlookMessageCollection::GetMAPIContentsTableRowCount(uint32_t *count) {
    *count = 0;
    IMAPITable *table = nullptr;
    DErrorCode err = GetMAPIContentsTable(&table);
    if (err != kNoError) return err;
    ULONG rows = 0;
    HRESULT hr = table->GetRowCount(0, &rows);
    if (FAILED(hr)) {
        LogCode("DWinMobOutlookMessageCollection::GetMAPIContentsTableRowCount() - Failed to load contents table ",
                DErrorCode(hr));
        return DErrorCode(hr);
    }
    *count = rows;
    return kNoError;
}

DErrorCode DWinMobOutlookMessageCollection::CollectMessages(bool withTime, uint32_t minAgeDays,
                                                            std::vector<std::vector<BYTE>> *ids) {
    IMAPITable *table = nullptr;
    DErrorCode err = GetMAPIContentsTable(&table);
    if (err != kNoError) return err;
    SizedSPropTagArray(2, columns) = {withTime ? 2u : 1u, {PR_ENTRYID, PR_LAST_MODIFICATION_TIME}};
    uint32_t rowNumber = 0;
    return WalkMAPITable(table, reinterpret_cast<LPSPropTagArray>(&columns), kRowBatch,
                         [&](const SRow *rows, ULONG batch, bool *) -> DErrorCode {
                             if (withTime) LogCount("Sent items checked: ", batch);
                             for (ULONG i = 0; i < batch; ++i, ++rowNumber) {
                                 const SRow &row = rows[i];
                                 const bool good = row.cValues == columns.cValues &&
                                                   row.lpProps[0].ulPropTag == PR_ENTRYID &&
                                                   (!withTime || row.lpProps[1].ulPropTag == PR_LAST_MODIFICATION_TIME);
                                 if (!good) {
                                     LogCount(withTime ? "***Bad property set when clearing sent msg in row "
                                                       : "***Bad property set when clearing MAPI msgs in row ",
                                              rowNumber);
                                     if (row.cValues > 0) LogCode("Prop. 0 = ", DErrorCode(row.lpProps[0].ulPropTag));
                                     if (withTime && row.cValues > 1)
                                         LogCode("Prop. 1 = ", DErrorCode(row.lpProps[1].ulPropTag));
                                     continue;
                                 }
                                 if (withTime && minAgeDays > 0 && AgeInDays(row.lpProps[1].Value.ft) < minAgeDays)
                                     continue;
                                 const SBinary &id = row.lpProps[0].Value.bin;
                                 try {
                                     ids->emplace_back(id.lpb, id.lpb + id.cb);
                                 } catch (const std::bad_alloc &) {
                                     return generalErrMemoryError;
                                 }
                             }
                             return kNoError;
                         });
}

DErrorCode DWinMobOutlookMessageCollection::DeleteMessages(const std::vector<std::vector<BYTE>> &ids) {
    if (ids.empty()) return kNoError;
    DErrorCode err = OpenFolder();
    if (err != kNoError) return err;
    std::vector<SBinary> entries;
    try {
        entries.reserve(ids.size());
        for (const std::vector<BYTE> &id : ids)
            entries.push_back(SBinary{ULONG(id.size()), const_cast<BYTE *>(id.data())});
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    ENTRYLIST list{ULONG(entries.size()), entries.data()};
    HRESULT hr = m_folder->DeleteMessages(&list, 0, nullptr, 0);
    return FAILED(hr) ? DErrorCode(hr) : kNoError;
}

DErrorCode DWinMobOutlookMessageCollection::ClearSentItems(uint32_t dateRange) {
    uint32_t minAgeDays = 0;
    if (!AgeLimitOf(dateRange, &minAgeDays)) {
        // A value the settings never offer must not empty Sent Items.
        LogCount("DWinMobOutlookMessageCollection::ClearSentItems() - Unknown DeleteSentItemDateRange, nothing "
                 "deleted: ",
                 dateRange);
        return kNoError;
    }
    if (dateRange == 0) return kNoError;
    uint32_t count = 0;
    DErrorCode err = GetMAPIContentsTableRowCount(&count);
    std::vector<std::vector<BYTE>> ids;
    if (err == kNoError) {
        LogCount("Num. of Sent items: ", count);
        if (count == 0) return kNoError;
        err = CollectMessages(true, minAgeDays, &ids);
    }
    if (err == kNoError) err = DeleteMessages(ids);
    if (err == kNoError) LogCount("Delete sent item count ", uint32_t(ids.size()));
    if (err != kNoError) LogCode("DWinMobOutlookMessageCollection::ClearSentItems() - Failed ", err);
    return err;
}

DErrorCode DWinMobOutlookMessageCollection::ClearAllMessageFromMAPIFolder() {
    uint32_t count = 0;
    DErrorCode err = GetMAPIContentsTableRowCount(&count);
    std::vector<std::vector<BYTE>> ids;
    if (err == kNoError) {
        LogCount("Num. of Sent items to clear: ", count);
        if (count == 0) return kNoError;
        err = CollectMessages(false, 0, &ids);
    }
    if (err == kNoError) err = DeleteMessages(ids);
    if (err == kNoError) LogCount("Delete messages item count ", uint32_t(ids.size()));
    if (err != kNoError) LogCode("DWinMobOutlookMessageCollection::ClearAllMessageFromMAPIFolder() - Failed ", err);
    return err;
}
