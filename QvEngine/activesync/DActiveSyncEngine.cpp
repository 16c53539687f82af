// The engine object: construction, initialisation, credentials and
// destruction.
#include "DActiveSyncEngine.h"

#include <new>

#include "DActiveTaskManager.h"
#include "DHTTPSession.h"
#include "DHTTPTransaction.h"
#include "DWinMobHTTPSession.h"
#include "ICorvanePreferences.h"
#include "ILogProvider.h"

DActiveSyncEngine::DActiveSyncEngine()
    : DActiveTask(kActiveTaskDefaultPriority),
      m_global(nullptr),
      m_client(nullptr),
      m_currentStep(EActiveSyncStep_None),
      m_savedStep(EActiveSyncStep_None),
      m_runFlags(kRunFlagsAll),
      m_options(0),
      m_mode(kLockModeWait),
      m_runKind(kRunKindUser),
      m_prefs(nullptr),
      m_logger(nullptr),
      m_httpSession(nullptr),
      m_currentTransaction(nullptr),
      m_dataManager(nullptr),
      m_folderInfoStore(nullptr),
      m_taskStage(kStageIdle),
      m_localChangeFlags(0),
      m_initial(0),
      m_localCalendarChanged(0),
      m_localContactsChanged(0),
      m_localTasksChanged(0),
      m_movedMailPending(0),
      m_serverCalendarChanged(0),
      m_serverContactsChanged(0),
      m_serverTasksChanged(0),
      m_connectionUp(0),
      m_connectionReady(0),
      m_moreAvailable(0),
      m_wipeOrdered(0),
      m_backOffDelay(0),
      m_backOffCount(0),
      m_folderSyncNeeded(1),
      m_firstCycle(1),
      m_emptyPing(0),
      m_statusText(nullptr),
      m_lockWaitTimer(kNoTimerId),
      m_lockRefreshTimer(kNoTimerId),
      m_retryTimer(kNoTimerId),
      m_yieldPollTimer(kNoTimerId),
      m_firstPush(1),
      m_searchResults(nullptr),
      m_searchStart(0),
      m_searchRange(0),
      m_emailFailures(0),
      m_calendarFailures(0),
      m_contactsFailures(0),
      m_tasksFailures(0),
      m_lastResult(kNoError),
      m_emailLoops(0),
      m_contactsLoops(0),
      m_tasksLoops(0),
      m_calendarLoops(0),
      m_pingStartTime(0),
      m_retryScheduled(0),
      m_nextAttempt(0),
      m_resumedAfterProvision(0) {}

DActiveSyncEngine::~DActiveSyncEngine() {
    if (IsActive()) Deactivate();
    StopLockTimers();
    StopRetryTimer();
    delete m_statusText;
    // The transaction tells its session it is gone: it goes first.
    delete m_currentTransaction;
    delete m_httpSession;
    delete m_dataManager;
}

DErrorCode DActiveSyncEngine::Initialize(IGlobalData *global, IActiveSyncClient *client) {
    if (global == nullptr || client == nullptr) return generalErrInvalidParameter;
    m_global = global;
    m_client = client;
    m_folderInfoStore = global->GetFolderInfoStore();
    m_prefs = dynamic_cast<ICorvanePreferences *>(global->GetPreferences());
    m_logger = global->GetLogger();
    DErrorCode err = m_httpSession == nullptr ? MakeHTTPSession() : kNoError;
    if (err == kNoError && m_dataManager == nullptr) err = MakeDataManager();
    if (err != kNoError) return err;
    DActiveTaskManager *manager = global->GetTaskManager();
    if (GetManager() == nullptr && manager != nullptr) err = manager->AddTask(this);
    return err;
}

void DActiveSyncEngine::SetHTTPSession(DHTTPSession *session) {
    if (session == m_httpSession) return;
    delete m_currentTransaction;
    m_currentTransaction = nullptr;
    delete m_httpSession;
    m_httpSession = session;
    if (session != nullptr) session->SetClient(this);
}

void DActiveSyncEngine::SetDataManager(IActiveSyncDataManager *manager) {
    if (manager == m_dataManager) return;
    delete m_dataManager;
    m_dataManager = manager;
}

DErrorCode DActiveSyncEngine::MakeHTTPSession() {
    m_httpSession = DWinMobHTTPSession::Create(this, m_global);
    return m_httpSession != nullptr ? kNoError : generalErrMemoryError;
}

DErrorCode DActiveSyncEngine::HTTP_GetCredentials(VString *user, VString *password) {
    if (user == nullptr || password == nullptr) return generalErrInvalidParameter;
    if (m_prefs == nullptr) return generalErrNotInitialized;
    VString domain;
    VString name;
    DErrorCode err = m_prefs->GetDomain(&domain);
    if (err == kNoError) err = m_prefs->GetUser(&name);
    if (err != kNoError) return err;
    if (domain.GetLength() != 0) {
        err = user->Assign(domain);
        if (err == kNoError) err = user->AppendNarrow("\\", kVStringWindows1252);
        if (err == kNoError) err = user->Append(name);
    } else {
        err = user->Assign(name);
    }
    if (err == kNoError) err = m_prefs->GetPassword(password);
    return err;
}

void DActiveSyncEngine::StopTimer(uint32_t *id) {
    if (*id == kNoTimerId) return;
    ITimerManager *timers = m_global != nullptr ? m_global->GetTimerManager() : nullptr;
    if (timers != nullptr) timers->StopTimer(*id);
    *id = kNoTimerId;
}

void DActiveSyncEngine::StopLockTimers() {
    StopTimer(&m_lockWaitTimer);
    StopTimer(&m_yieldPollTimer);
    StopTimer(&m_lockRefreshTimer);
}

void DActiveSyncEngine::StopRetryTimer() { StopTimer(&m_retryTimer); }

void DActiveSyncEngine::LogText(const char *text) {
    if (m_logger != nullptr) m_logger->WriteString(text, 1, kLogAllCategories);
}

void DActiveSyncEngine::LogTextCode(const char *text, DErrorCode code) {
    if (m_logger != nullptr) m_logger->WriteStringHexLine(text, int32_t(code), 1, kLogAllCategories);
}

DErrorCode DActiveSyncEngine::MakeDataManager() {
    IActiveSyncDataManager *manager = nullptr;
    DErrorCode err = CreateActiveSyncDataManager(this, m_global, &manager);
    if (err == kNoError && manager == nullptr) err = generalErrMemoryError;
    if (err == kNoError) m_dataManager = manager;
    return err;
}
