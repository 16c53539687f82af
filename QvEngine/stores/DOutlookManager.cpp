#include "DOutlookManager.h"

#include <new>

#include "DActiveTaskManager.h"

namespace {
constexpr unsigned kLogLevel = 1;

// A manager's answer to an item operation: not implemented, also through
// the completion when one is given.
DErrorCode NotAnItem(DActiveTaskSignal *completion = nullptr) {
    if (completion != nullptr) completion->Signal(generalErrNotImplemented);
    return generalErrNotImplemented;
}
}  // namespace

DOutlookManager::DOutlookManager()
    : m_context(nullptr),
      m_client(nullptr),
      m_log(nullptr),
      m_job(kJobIdle),
      m_requester(nullptr),
      m_collection(nullptr),
      m_position(0),
      m_progress(nullptr) {}

DOutlookManager::~DOutlookManager() { delete m_progress; }

DErrorCode DOutlookManager::InitForSync(IGlobalData *context, IOutlookManagerClient *client) {
    if (context == nullptr) return generalErrInvalidParameter;
    m_context = context;
    m_client = client;
    m_log = context->GetLogger();
    DActiveTaskManager *tasks = context->GetTaskManager();
    if (tasks == nullptr) return generalErrNotInitialized;
    return tasks->AddTask(this);
}

DErrorCode DOutlookManager::OpenAsync(DActiveTaskSignal *completion) {
    DErrorCode err = Open();
    if (completion != nullptr) completion->Signal(err);
    return err;
}

DErrorCode DOutlookManager::SyncCycleCompleted(DActiveTaskSignal *completion) {
    if (completion != nullptr) completion->Signal(kNoError);
    return kNoError;
}

DErrorCode DOutlookManager::CleanUpStore(DActiveTaskSignal *completion) {
    if (completion != nullptr) completion->Signal(kNoError);
    return kNoError;
}

DErrorCode DOutlookManager::DeleteAllItems(DActiveTaskSignal *completion) {
    if (completion != nullptr) completion->Signal(kNoError);
    return kNoError;
}

DErrorCode DOutlookManager::CheckIdle() const { return m_job == kJobIdle ? kNoError : activeTaskErrAlreadyActive; }

DErrorCode DOutlookManager::StartCompleteTask(DActiveTaskSignal *completion) {
    DErrorCode err = CheckIdle();
    if (err != kNoError) return err;
    m_position = 0;
    m_requester = completion;
    m_job = kJobCompleteSentItems;
    m_collection = this;
    err = ActivateAndSignal();
    if (err != kNoError) ClearJob();
    return err;
}

DErrorCode DOutlookManager::StartPurgeTask(DActiveTaskSignal *completion) {
    DErrorCode err = CheckIdle();
    if (err != kNoError) return err;
    uint32_t count = 0;
    err = GetCount(&count);
    if (err != kNoError) return err;
    m_requester = completion;
    m_job = kJobPurgeDeletedItems;
    m_collection = this;
    m_position = count;
    err = ActivateAndSignal();
    if (err != kNoError) ClearJob();
    return err;
}

DErrorCode DOutlookManager::DeleteExistingItems(DActiveTaskSignal *completion) {
    DErrorCode err = CheckIdle();
    if (err != kNoError) return err;
    DProgressStatusData *progress = new (std::nothrow) DProgressStatusData(0, 0);
    if (progress == nullptr) return generalErrMemoryError;
    uint32_t count = 0;
    err = GetCount(&count);
    if (err != kNoError) {
        delete progress;
        return err;
    }
    m_job = kJobDeleteExistingItems;
    m_requester = completion;
    m_collection = this;
    m_progress = progress;
    m_position = count;
    m_progress->SetTotal(count);
    LogCount("DOutlookManager::DeleteExistingItems() need to delete all items :", count);
    err = ActivateAndSignal();
    if (err != kNoError) ClearJob();
    return err;
}

DErrorCode DOutlookManager::RunTask() {
    const uint32_t job = m_job;
    const DErrorCode signalled = m_signal.GetCode();
    if (signalled != kNoError) return FinishTask(signalled, job);
    DErrorCode err;
    switch (job) {
        case kJobCompleteSentItems:
            err = CompleteSentItems();
            break;
        case kJobPurgeDeletedItems:
            err = PurgeDeletedItems();
            break;
        case kJobDeleteExistingItems:
            err = DeleteAllInCurrFolder();
            break;
        default:
            LogCount("DOutlookManager::RunTask() - Unknown State : ", job);
            return kNoError;
    }
    // A step that failed leaves its job running: end it here. (A step that
    // ended its job itself answers 0.)
    if (err != kNoError && m_job == job) FinishTask(err, job);
    return kNoError;
}

void DOutlookManager::CancelTask() { ClearJob(); }

void DOutlookManager::ClearJob() {
    m_job = kJobIdle;
    m_requester = nullptr;
    m_collection = nullptr;
    m_position = 0;
    delete m_progress;
    m_progress = nullptr;
}

DErrorCode DOutlookManager::FinishTask(DErrorCode result, uint32_t /*job*/) {
    DActiveTaskSignal *requester = m_requester;
    m_requester = nullptr;
    if (requester != nullptr) requester->Signal(result);
    // Deactivation drops the job through CancelTask; within a step the task
    // is waiting already, and the job is dropped here.
    Deactivate();
    ClearJob();
    return kNoError;
}

DErrorCode DOutlookManager::CompleteSentItems() {
    if (m_collection == nullptr) return FinishTask(kNoError, kJobCompleteSentItems);
    uint32_t count = 0;
    DErrorCode err = m_collection->GetCount(&count);
    if (err != kNoError) return err;
    for (; m_position < count; ++m_position) {
        IOutlookItem *item = nullptr;
        err = m_collection->GetItem(m_position, &item);
        if (err != kNoError) return err;
        bool sent = false;
        err = item->IsSent(&sent);
        if (err == kNoError && sent) {
            err = item->SetSent(false);
            if (err == kNoError) err = item->ClearModified();
            bool keptNew = false;
            if (err == kNoError) err = item->IsKeptNew(&keptNew);
            if (err == kNoError && !keptNew) err = item->SetNew(false);
            if (err == kNoError) err = item->Commit();
        }
        delete item;
        if (err != kNoError) return err;
    }
    return FinishTask(kNoError, kJobCompleteSentItems);
}

DErrorCode DOutlookManager::PurgeDeletedItems() {
    uint32_t count = 0;
    if (m_collection != nullptr) {
        DErrorCode err = m_collection->GetCount(&count);
        if (err != kNoError) return err;
    }
    if (m_position > count) m_position = count;
    while (m_position > 0) {
        IOutlookItem *item = nullptr;
        DErrorCode err = m_collection->GetItem(m_position - 1, &item);
        if (err != kNoError) return err;
        bool sent = false, deleted = false, modified = false;
        err = item->IsSent(&sent);
        if (err == kNoError) err = item->IsDeleted(&deleted);
        if (err == kNoError) err = item->IsModified(&modified);
        --m_position;
        if (err == kNoError && sent && deleted && !modified) {
            // The deletion's signal brings the next step, which goes on
            // below the deleted item.
            err = Activate();
            if (err == kNoError) err = m_collection->DeleteItem(item, GetSignal());
            delete item;
            return err;
        }
        delete item;
        if (err != kNoError) return err;
    }
    return FinishTask(kNoError, kJobPurgeDeletedItems);
}

DErrorCode DOutlookManager::DeleteAllInCurrFolder() {
    uint32_t count = 0;
    if (m_collection != nullptr) {
        DErrorCode err = m_collection->GetCount(&count);
        if (err != kNoError) return err;
    }
    if (m_position > count) m_position = count;
    if (m_position == 0) return FinishTask(kNoError, kJobDeleteExistingItems);

    // The deletion's signal, or our own after a failure, brings the next step.
    DErrorCode err = Activate();
    if (err != kNoError) return err;
    IOutlookItem *item = nullptr;
    err = m_collection->GetItem(m_position - 1, &item);
    if (err != kNoError) {
        LogCode("DOutlookManager::DeleteAllInCurrFolder() failed to get the message (ERR) : ", err);
    } else {
        err = m_collection->DeleteItem(item, GetSignal());
        if (err != kNoError)
            LogCode("DOutlookManager::DeleteAllInCurrFolder() failed to delete a message (ERR) : ", err);
    }
    // A failure never ends the job: the item is left and the walk goes on.
    if (err != kNoError) m_signal.Signal(kNoError);
    delete item;
    --m_position;

    if (m_progress != nullptr) {
        if (m_position > m_progress->GetTotal()) m_progress->SetTotal(m_position + 1);
        m_progress->SetDone(m_progress->GetTotal() - m_position);
        if (m_client != nullptr) m_client->OutlookManager_ReportStatus(m_progress, m_position);
    }
    return kNoError;
}

DErrorCode DOutlookManager::Commit() { return NotAnItem(); }
DErrorCode DOutlookManager::CommitNewItem(DActiveTaskSignal *completion) { return NotAnItem(completion); }
DErrorCode DOutlookManager::IsNew(bool *) { return NotAnItem(); }
DErrorCode DOutlookManager::SetNew(bool) { return NotAnItem(); }
DErrorCode DOutlookManager::IsDeleted(bool *) { return NotAnItem(); }
DErrorCode DOutlookManager::SetDeleted(bool) { return NotAnItem(); }
DErrorCode DOutlookManager::IsSent(bool *) { return NotAnItem(); }
DErrorCode DOutlookManager::SetSent(bool) { return NotAnItem(); }
DErrorCode DOutlookManager::IsKeptNew(bool *) { return NotAnItem(); }
DErrorCode DOutlookManager::SetKeptNew(bool) { return NotAnItem(); }
DErrorCode DOutlookManager::IsModified(bool *) { return NotAnItem(); }
DErrorCode DOutlookManager::ClearModified() { return NotAnItem(); }
DErrorCode DOutlookManager::GetID(char *, uint32_t) { return NotAnItem(); }
DErrorCode DOutlookManager::SetID(const char *) { return NotAnItem(); }
DErrorCode DOutlookManager::MatchID(const char *, bool *) { return NotAnItem(); }
DErrorCode DOutlookManager::HasMovedItems(bool *, DActiveTaskSignal *completion) { return NotAnItem(completion); }
DErrorCode DOutlookManager::GetMovedItems(DListNode<IOutlookItem> *, DActiveTaskSignal *completion) {
    return NotAnItem(completion);
}

void DOutlookManager::LogText(const char *text) {
    if (m_log != nullptr) m_log->WriteString(text, kLogLevel, kLogAllCategories);
}

void DOutlookManager::LogCount(const char *text, uint32_t count) {
    if (m_log == nullptr) return;
    m_log->WriteString(text, kLogLevel, kLogAllCategories);
    m_log->WriteNumber(int32_t(count), kLogLevel, kLogAllCategories);
    m_log->NewLine(kLogLevel, kLogAllCategories);
}

void DOutlookManager::LogCode(const char *text, DErrorCode code) {
    if (m_log != nullptr) m_log->WriteStringHexLine(text, int32_t(code), kLogLevel, kLogAllCategories);
}
