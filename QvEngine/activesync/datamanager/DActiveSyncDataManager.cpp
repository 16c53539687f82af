// The data manager as an object: construction, the step mechanism, the error
// path, handing records over, the log helpers, and the two dispatches of the
// engine's requests by command.
#include "DActiveSyncDataManager.h"
#include "DWinMobCalendarManager.h"
#include "DWinMobContactManager.h"
#include "DWinMobTasksManager.h"

#include <new>

#include "ActiveSyncLanguage.h"
#include "DActiveTaskManager.h"
#include "DFileBase64Async.h"
#include "DOutlookManager.h"
#include "DHTTPTransaction.h"
#include "DStringStatusData.h"
#include "DWinMobMessageManager.h"
#include "IOutlookMessage.h"
#include "ICorvanePreferences.h"
#include "IResourceManager.h"

const char *const kWbxmlContentType = "application/vnd.ms-sync.wbxml";

namespace {
const char *const kRunTask = "DActiveSyncDataManager::RunTask()";
}  // namespace

DActiveSyncDataManager::DActiveSyncDataManager(IActiveSyncDataManagerClient *client, IGlobalData *global)
    : DActiveTask(kActiveTaskDefaultPriority), m_client(client), m_global(global), m_prefs(nullptr), m_log(nullptr),
      m_msg(nullptr), m_cal(nullptr), m_con(nullptr), m_tsk(nullptr), m_allocCal(&AllocateCalendarManager), m_allocCon(&AllocateContactManager),
      m_allocTsk(&AllocateTasksManager), m_currStore(nullptr), m_currItem(nullptr), m_attachment(nullptr), m_callerSignal(nullptr),
      m_callerByte(nullptr), m_encoder(nullptr), m_folders(nullptr), m_folderKind(1), m_lang(nullptr),
      m_commandList(nullptr), m_currCommand(nullptr), m_responseList(nullptr), m_response(nullptr),
      m_counter(nullptr), m_tree(nullptr), m_calWanted(1), m_conWanted(1), m_tskWanted(1), m_calChanges(0),
      m_conChanges(0), m_tskChanges(0), m_retried(0), m_itemDataSet(0), m_timeZoneChanged(0), m_firstEMail(0),
      m_firstContacts(0), m_firstTasks(0), m_firstCalendar(0), m_probe(0), mCurrASCommand(0), m_wipePhase(0),
      m_searchFirst(0), m_searchLast(0), m_foldersChanged(0), m_wipeOrdered(0), m_state(kDMIdle),
      m_itemNotSupported(false), m_movesDone(0) {
    if (m_global != nullptr) {
        m_folders = m_global->GetFolderInfoStore();
        m_prefs = dynamic_cast<ICorvanePreferences *>(m_global->GetPreferences());
        m_log = m_global->GetLogger();
        if (m_global->GetTaskManager() != nullptr) m_global->GetTaskManager()->AddTask(this);
    }
}

DActiveSyncDataManager::~DActiveSyncDataManager() {
    Deactivate();
    ReleaseParseState();
    DropResponse();
    delete m_attachment;
    m_attachmentList.Free();
    delete m_encoder;
    m_workList.Free();
    delete m_msg;
    delete m_cal;
    delete m_con;
    delete m_tsk;
}

void DActiveSyncDataManager::SetPimStoreAllocator(uint32_t kind, PimStoreAllocator allocator) {
    if (kind == kOutlookItemAppointment) m_allocCal = allocator;
    if (kind == kOutlookItemContact) m_allocCon = allocator;
    if (kind == kOutlookItemTask) m_allocTsk = allocator;
}

ICorvanePreferences *DActiveSyncDataManager::Prefs() const { return m_prefs; }

// --- The step mechanism ---

DErrorCode DActiveSyncDataManager::WaitIn(uint32_t state) {
    m_state = state;
    DErrorCode err = Activate();
    // A task already active waits for its signal all the same.
    return err == activeTaskErrAlreadyActive ? kNoError : err;
}

DErrorCode DActiveSyncDataManager::GoTo(uint32_t state) {
    DErrorCode err = WaitIn(state);
    if (err == kNoError) m_signal.Signal(kNoError);
    return err;
}

DErrorCode DActiveSyncDataManager::GatherWorkList(uint32_t state, IOutlookItemCollection *store,
                                                  const std::function<DErrorCode(DActiveTaskSignal *)> &gather) {
    m_currStore = store;
    DErrorCode err = WaitIn(state);
    if (err == kNoError) err = gather(GetSignal());
    if (err != kNoError) {
        // Nothing runs on from a gathering that failed at once.
        m_state = kDMIdle;
        m_workList.Free();
    }
    return err;
}

DErrorCode DActiveSyncDataManager::RunTask() {
    const uint32_t state = m_state;
    const DErrorCode result = m_signal.GetCode();
    m_state = kDMIdle;
    DErrorCode err = kNoError;
    if (state >= kDMFolderSyncNext && state <= kDMFolderSyncDone) {
        err = RunFolderSyncState(state, result);
    } else if ((state >= kDMPrepareCalendar && state <= kDMMovedProbeDone) ||
               (state >= kDMCleanCalendar && state <= kDMSaveFolderInfo)) {
        err = RunPrepareState(state, result);
    } else if ((state >= kDMBuildCalendarSync && state <= kDMBuildEMailSync) || state == kDMBuildMeetingResponse ||
               state == kDMBuildMoveItems) {
        err = RunRequestState(state, result);
    } else if (state == kDMDeliverRequest) {
        err = result != kNoError ? result : Deliver();
    } else if (state == kDMWriteSendHeaders || state == kDMWriteNextAttachment || state == kDMDeliverSend) {
        err = RunSendState(state, result);
    } else if (state == kDMFindAttachment || state == kDMDeliverAttachment) {
        err = RunAttachmentState(state, result);
    } else if ((state >= kDMNextMoveAnswer && state <= kDMDeliverMoves) || state == kDMMovedMessageFound) {
        err = RunMoveAnswerState(state, result);
    } else if ((state >= kDMPickTimeZone && state <= kDMDeliverParsed) ||
               (state >= kDMServerDelete && state <= kDMEMailCreated) || state == kDMAdditionalChanges) {
        err = RunSyncAnswerState(state, result);
    } else if (state != kDMIdle) {
        LogNumber("DActiveSyncDataManager::RunTask() - unexpected state : ", state);
        err = activeSyncErrUnexpectedStep;
    }
    if (err != kNoError) ChainFailed(err, state);
    return kNoError;
}

void DActiveSyncDataManager::ChainFailed(DErrorCode code, uint32_t state) {
    LogCode("DActiveSyncDataManager::RunTask() - Status Error : ", code);
    LogNumber("DActiveSyncDataManager::RunTask() - Current State : ", state);
    // The chain is over: nothing of it may run on.
    m_state = kDMIdle;
    ReleaseParseState();
    DropResponse();
    if (m_callerSignal != nullptr) {
        FinishCaller(code);
        return;
    }
    ReportError(code, kRunTask);
}

void DActiveSyncDataManager::FinishCaller(DErrorCode result) {
    DActiveTaskSignal *caller = m_callerSignal;
    m_callerSignal = nullptr;
    m_callerByte = nullptr;
    if (caller != nullptr) caller->Signal(result);
}

DErrorCode DActiveSyncDataManager::Deliver() {
    DClientResponse *record = m_response;
    m_response = nullptr;
    DErrorCode err = kNoError;
    if (record != nullptr && m_client != nullptr) err = m_client->ActiveSyncDataManager_RecievedResponse(record);
    delete record;
    delete m_counter;
    m_counter = nullptr;
    return err;
}

void DActiveSyncDataManager::DropResponse() {
    delete m_response;
    m_response = nullptr;
    delete m_counter;
    m_counter = nullptr;
}

void DActiveSyncDataManager::ReleaseCurrentItem() {
    if (m_currItem != nullptr) m_currItem->Close();
    delete m_currItem;
    m_currItem = nullptr;
}

void DActiveSyncDataManager::ReleaseParseState() {
    if (m_tree != nullptr) WbxmlDestroyTree(m_tree);
    m_tree = nullptr;
    m_commandList = nullptr;
    m_currCommand = nullptr;
    m_responseList = nullptr;
    ReleaseCurrentItem();
}

DErrorCode DActiveSyncDataManager::ReportError(DErrorCode code, const char *routine) {
    if (m_client == nullptr) return kNoError;
    VString text;
    text.AssignCStr(routine, kVStringWindows1252);
    return m_client->ActiveSyncDataManager_ReportError(code, &text);
}

// --- Abandoning a chain ---

void DActiveSyncDataManager::CancelTask() {
    // The fetch of an attachment in hand ends as cancelled for its message.
    if (m_attachment != nullptr && m_workList.item != nullptr) {
        if (auto *message = dynamic_cast<IOutlookMessage *>(m_workList.item))
            message->AttachmentDownloadComplete(m_attachment, generalErrCanceled);
    }
    ReleaseCurrentItem();
    if (m_currStore != nullptr) m_currStore->Deactivate();
    ReleaseParseState();
    delete m_attachment;
    m_attachment = nullptr;
    m_workList.Free();
    delete m_encoder;
    m_encoder = nullptr;
    m_attachmentList.Free();
    DropResponse();
    if (m_msg != nullptr) m_msg->Deactivate();
    if (m_cal != nullptr) m_cal->Deactivate();
    if (m_con != nullptr) m_con->Deactivate();
    if (m_tsk != nullptr) m_tsk->Deactivate();
    m_state = kDMIdle;
    m_callerSignal = nullptr;
    m_callerByte = nullptr;
}

DErrorCode DActiveSyncDataManager::CancelAndReset() {
    // Deactivate runs CancelTask only for an active task.
    if (IsActive())
        Deactivate();
    else
        CancelTask();
    if (m_folders != nullptr && m_folders->GetMode() == kDBReadWrite) return m_folders->Save();
    return kNoError;
}

// --- Small operations the engine calls ---

DErrorCode DActiveSyncDataManager::LoadLanguageTable() {
    if (m_lang == nullptr) m_lang = WbxmlFindLanguage(ActiveSyncLanguages(), kActiveSyncXmlPublicId);
    return m_lang != nullptr ? kNoError : generalErrMemoryError;
}

DErrorCode DActiveSyncDataManager::SetSearchParameters(const VString &storeName, const VString &query, uint32_t first,
                                                       uint32_t last) {
    DErrorCode err = m_searchStore.Assign(storeName);
    if (err == kNoError) err = m_searchQuery.Assign(query);
    m_searchFirst = first;
    m_searchLast = last;
    return err;
}

DErrorCode DActiveSyncDataManager::SetWipeOrdered(BYTE ordered) {
    m_wipeOrdered = ordered;
    return kNoError;
}

void DActiveSyncDataManager::OutlookManager_ReportStatus(DStatusData *status, uint32_t) {
    if (m_client != nullptr) m_client->ActiveSyncDataManager_ReportStatus(status);
}

// --- Dispatch of the engine's requests ---

DErrorCode DActiveSyncDataManager::CollectCommandData(uint32_t step) {
    mCurrASCommand = step;
    LogNumber("DActiveSyncDataManager::CollectCommandData() - ActiveSync command : ", step);
    DErrorCode err = LoadLanguageTable();
    if (err != kNoError) return err;
    switch (step) {
        case kCmdFirstFolderSync:
        case kCmdFolderSync:
            return BuildFolderSyncRequest();
        case kCmdFirstEMailSync:
        case kCmdFirstCalendarSync:
        case kCmdFirstContactsSync:
        case kCmdFirstTasksSync:
        case kCmdEMailSync:
        case kCmdEMailSyncPartial:
        case kCmdCalendarSync:
        case kCmdContactsSync:
        case kCmdTasksSync:
            return CollectSyncCommandData();
        case kCmdAirNotify:
            return BuildAirNotifyRequest();
        case kCmdGetItemEstimate:
            return BuildGetItemEstimateRequest();
        case kCmdSendMail:
        case kCmdSendMailAgain:
            return CollectSendMail();
        case kCmdMeetingResponse:
            return CollectMeetingResponse();
        case kCmdGetAttachment:
            return CollectAttachmentFetch();
        case kCmdPing:
            return BuildPingRequest();
        case kCmdProvision:
        case kCmdProvisionAck:
            return BuildProvisionRequest(step);
        case kCmdSearch:
            return BuildSearchRequest();
        case kCmdFolderCreate:
            return BuildFolderCreateRequest();
        case kCmdMoveItems:
            return CollectMoveItems();
        default:
            LogNumber("DActiveSyncDataManager::CollectCommandData() - unexpected ActiveSync command : ", step);
            return activeSyncErrUnexpectedStep;
    }
}

DErrorCode DActiveSyncDataManager::ProcessCommandData(uint32_t step, DHTTPTransaction *transaction, VFile *body,
                                                      DClientResponse **record) {
    if (record != nullptr) *record = nullptr;
    mCurrASCommand = step;
    // The send and attachment answers carry no WBXML to check.
    if (step == kCmdSendMail || step == kCmdSendMailAgain) return ProcessSendAnswer(transaction);
    if (step == kCmdGetAttachment) return ProcessAttachmentAnswer(transaction, body);

    // A regular Sync may be answered with no body at all: nothing changed.
    uint32_t size = 0;
    if (body != nullptr && body->GetSize(&size) != kNoError) size = 0;
    if (size == 0 && (step == kCmdEMailSync || step == kCmdCalendarSync || step == kCmdContactsSync ||
                      step == kCmdTasksSync)) {
        ReleaseParseState();
        DropResponse();
        DErrorCode err = ProcessSyncCommandAnswer();
        if (err != activeSyncErrWaitForCallback && err != kNoError) DropResponse();
        return err;
    }
    bool wbxml = false;
    if (body != nullptr && transaction != nullptr) {
        VString type;
        transaction->GetContentType(&type);
        type.ConvertTo(kVStringWindows1252);
        const char *text = type.GetNarrowText();
        wbxml = text != nullptr && std::string(text) == kWbxmlContentType;
    }
    switch (step) {
        case kCmdFirstFolderSync:
        case kCmdFolderSync:
        case kCmdFirstEMailSync:
        case kCmdEMailSync:
        case kCmdFirstCalendarSync:
        case kCmdCalendarSync:
        case kCmdFirstContactsSync:
        case kCmdContactsSync:
        case kCmdFirstTasksSync:
        case kCmdTasksSync:
        case kCmdGetItemEstimate:
        case kCmdMeetingResponse:
        case kCmdPing:
        case kCmdProvision:
        case kCmdProvisionAck:
        case kCmdSearch:
        case kCmdFolderCreate:
        case kCmdMoveItems:
            break;
        default:
            LogNumber("DActiveSyncDataManager::ProcessCommandData() - unexpected ActiveSync command : ", step);
            return activeSyncErrUnexpectedStep;
    }
    if (!wbxml) return httpErrServerConnectFailed;
    DErrorCode err = LoadLanguageTable();
    if (err != kNoError) return err;
    // A new answer replaces whatever an abandoned one left.
    ReleaseParseState();
    DropResponse();
    err = ParseResponse(body);
    if (err != kNoError) return err;
    switch (step) {
        case kCmdFirstFolderSync:
        case kCmdFolderSync:
            err = ProcessFolderSyncAnswer();
            break;
        case kCmdGetItemEstimate:
            err = ProcessGetItemEstimateAnswer();
            break;
        case kCmdMeetingResponse:
            err = ProcessMeetingResponseAnswer();
            break;
        case kCmdPing:
            err = ProcessPingAnswer(record);
            break;
        case kCmdProvision:
        case kCmdProvisionAck:
            err = ProcessProvisionAnswer(record);
            break;
        case kCmdSearch:
            err = ProcessSearchAnswer(record);
            break;
        case kCmdFolderCreate:
            err = ProcessFolderCreateAnswer();
            break;
        case kCmdMoveItems:
            err = ProcessMoveItemsAnswer();
            break;
        default:
            err = ProcessSyncCommandAnswer();
            break;
    }
    // An answer handled at once leaves nothing parsed behind; a chain keeps
    // the tree until its end.
    if (err != activeSyncErrWaitForCallback && m_state == kDMIdle) ReleaseParseState();
    if (err != kNoError && err != activeSyncErrWaitForCallback) DropResponse();
    return err;
}

// --- Log helpers ---

void DActiveSyncDataManager::LogText(const char *text) {
    if (m_log != nullptr && text != nullptr) m_log->WriteString(text, 1, kLogAllCategories);
}

void DActiveSyncDataManager::LogLine(const char *text, const char *value) {
    if (m_log == nullptr) return;
    m_log->WriteString(text, 1, kLogAllCategories);
    m_log->WriteString(value != nullptr ? value : "", 1, kLogAllCategories);
    m_log->NewLine(1, kLogAllCategories);
}

void DActiveSyncDataManager::LogNumber(const char *text, uint32_t value) {
    if (m_log == nullptr) return;
    m_log->WriteString(text, 1, kLogAllCategories);
    m_log->WriteNumber(int32_t(value), 1, kLogAllCategories);
    m_log->NewLine(1, kLogAllCategories);
}

void DActiveSyncDataManager::LogCode(const char *text, DErrorCode code) {
    if (m_log != nullptr) m_log->WriteStringHexLine(text, int32_t(code), 1, kLogAllCategories);
}

void DActiveSyncDataManager::LogResourceText(uint32_t id) {
    IResourceManager *strings = m_global != nullptr ? m_global->GetResourceManager() : nullptr;
    if (m_log == nullptr || strings == nullptr) return;
    VString *text = nullptr;
    if (strings->GetString(UINT(id), &text) == kNoError && text != nullptr)
        m_log->WriteVString(*text, 1, kLogAllCategories);
    delete text;
}

DErrorCode DActiveSyncDataManager::ReportStatus(uint32_t textId) {
    IResourceManager *strings = m_global != nullptr ? m_global->GetResourceManager() : nullptr;
    if (strings == nullptr || m_client == nullptr) return kNoError;
    VString *text = nullptr;
    DErrorCode err = strings->GetString(UINT(textId), &text);
    if (err == kNoError && text != nullptr) {
        DStringStatusData status(text);
        err = m_client->ActiveSyncDataManager_ReportStatus(&status);
    }
    delete text;
    if (err != kNoError) LogCode("DActiveSyncDataManager::ReportStatus() - Failed to report status ERR : ", err);
    return err;
}

DErrorCode CreateActiveSyncDataManager(IActiveSyncDataManagerClient *client, IGlobalData *global,
                                       IActiveSyncDataManager **out) {
    if (out == nullptr) return generalErrNULLPointer;
    *out = new (std::nothrow) DActiveSyncDataManager(client, global);
    return *out != nullptr ? kNoError : generalErrMemoryError;
}
