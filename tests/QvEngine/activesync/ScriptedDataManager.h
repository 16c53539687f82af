// A data manager for whole-run traces: it builds each request body as the
// ActiveSync XML of its command (made WBXML by the WBXML library's own
// conversion), reads each answer back the same way, and keeps the
// folder-info store as a real one would (folders from FolderSync, sync keys
// from each Sync, the FolderSync key); its outbox holds the mail the send
// steps take. Everything it hands the engine, body records, response records
// and chain signals, arrives later from its own task, as from the real one,
// never inside the engine's call. Every call is recorded as a line of text.
#ifndef VTEST_SCRIPTEDDATAMANAGER_H
#define VTEST_SCRIPTEDDATAMANAGER_H

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "ActiveSyncEngineConstants.h"
#include "DASDP_GetItemEstimateResponse.h"
#include "DASDP_PingResponse.h"
#include "DASDP_PlainResponses.h"
#include "DASDP_PolicyResponse.h"
#include "DASDP_SearchResponse.h"
#include "DASDP_SyncResponse.h"
#include "DASDS_DataResponse.h"
#include "DActiveTaskManager.h"
#include "DEASFolderInfoStore.h"
#include "EngineTestSupport.h"
#include "IActiveSyncDataManager.h"
#include "IActiveSyncDataManagerClient.h"
#include "ICorvanePreferences.h"
#include "TempVFile.h"
#include "support/ActiveSyncWire.h"

class ScriptedDataManager : public IActiveSyncDataManager, public DActiveTask {
public:
    std::vector<std::string> calls;
    std::vector<std::string> answers;  // each answer's XML, in order
    std::vector<std::string> sentAnswers;  // the bytes of each send's answer
    BYTE calendarChanges = 0, contactsChanges = 0, tasksChanges = 0, movedMail = 0;
    BYTE pendingMail = 0;  // CheckPendingItems' answer while the outbox is empty
    // Mail waiting to go out, first first: each send step takes one (its
    // MIME text, and the message the engine asks about a reply or forward;
    // null for a plain message, which stays the test's).
    struct OutgoingMail {
        std::string mime;
        IOutlookMessage *message;
    };
    std::deque<OutgoingMail> outbox;
    // The Ping's folders (server ids); empty: the Inbox.
    std::vector<std::string> pingFolders;

    explicit ScriptedDataManager(EngineGlobal *global) : DActiveTask(kActiveTaskDefaultPriority), m_global(global) {
        global->GetTaskManager()->AddTask(this);
    }
    ~ScriptedDataManager() override {
        for (Delivery &d : m_queue) delete d.record;
    }
    void SetEngine(IActiveSyncDataManagerClient *engine) { m_engine = engine; }

    // --- chains: each signals from this task's next turn ---
    DErrorCode PrepareForSync(DActiveTaskSignal *s) override { return Chain("PrepareForSync", s); }
    DErrorCode ProbeCalendarChanges(DActiveTaskSignal *s, BYTE *c) override {
        *c = calendarChanges;
        return Chain("ProbeCalendarChanges", s);
    }
    DErrorCode ProbeContactsChanges(DActiveTaskSignal *s, BYTE *c) override {
        *c = contactsChanges;
        return Chain("ProbeContactsChanges", s);
    }
    DErrorCode ProbeTasksChanges(DActiveTaskSignal *s, BYTE *c) override {
        *c = tasksChanges;
        return Chain("ProbeTasksChanges", s);
    }
    DErrorCode ProbeEMailChanges(DActiveTaskSignal *s) override { return Chain("ProbeEMailChanges", s); }
    DErrorCode ProbeAttachmentDownloads(DActiveTaskSignal *s) override { return Chain("ProbeAttachmentDownloads", s); }
    DErrorCode ProbeMeetingResponses(DActiveTaskSignal *s) override { return Chain("ProbeMeetingResponses", s); }
    DErrorCode ProbeMovedMail(DActiveTaskSignal *s, BYTE *moved) override {
        *moved = movedMail;
        return Chain("ProbeMovedMail", s);
    }
    DErrorCode EndOfRunCleanup(DActiveTaskSignal *s) override { return Chain("EndOfRunCleanup", s); }
    DErrorCode PrepareSendOnly(DActiveTaskSignal *s) override { return Chain("PrepareSendOnly", s); }
    DErrorCode StartRemoteWipe(uint32_t step, DActiveTaskSignal *s) override {
        return Chain("StartRemoteWipe " + std::to_string(step), s);
    }

    // --- answers ---
    DErrorCode CheckPendingItems(BYTE *pending) override {
        *pending = !outbox.empty() ? 1 : pendingMail;
        return kNoError;
    }
    DErrorCode NeedsFirstSync(BYTE *needed) override {
        // Only the types of the user's choice count.
        *needed = 0;
        ICorvanePreferences *prefs = dynamic_cast<ICorvanePreferences *>(m_global->GetPreferences());
        const struct {
            uint32_t type;
            BYTE chosen;
        } types[] = {{kFolderTypeInbox, prefs->GetUserSyncEMail()},
                     {kFolderTypeCalendar, prefs->GetUserSyncCalendar()},
                     {kFolderTypeContacts, prefs->GetUserSyncContacts()},
                     {kFolderTypeTasks, prefs->GetUserSyncTasks()}};
        for (const auto &t : types)
            if (t.chosen != 0 && (FolderKey(t.type).empty() || FolderKey(t.type) == "0")) *needed = 1;
        return kNoError;
    }
    DErrorCode HasMovedMailToSend(BYTE *canSend) override {
        *canSend = movedMail;
        return kNoError;
    }
    DErrorCode LoadLanguageTable() override { return Note("LoadLanguageTable"); }
    DErrorCode SetSearchParameters(const VString &store, const VString &query, uint32_t first,
                                   uint32_t last) override {
        m_searchStore = Narrow(store);
        m_searchQuery = Narrow(query);
        m_searchRange = std::to_string(first) + "-" + std::to_string(last);
        return Note("SetSearchParameters");
    }
    DErrorCode SetWipeOrdered(BYTE ordered) override { return Note("SetWipeOrdered " + std::to_string(ordered)); }
    DErrorCode FinishAttachmentWork() override { return Note("FinishAttachmentWork"); }
    DErrorCode FinishMeetingResponses() override { return Note("FinishMeetingResponses"); }
    DErrorCode FinishMovedMail() override { return Note("FinishMovedMail"); }
    DErrorCode CancelAndReset() override {
        for (Delivery &d : m_queue) delete d.record;
        m_queue.clear();
        if (IsActive()) Deactivate();
        return Note("CancelAndReset");
    }

    // --- request bodies ---
    DErrorCode CollectCommandData(uint32_t step) override {
        calls.push_back("CollectCommandData " + std::to_string(step));
        std::string xml;
        DASDS_DataResponse *record = nullptr;
        switch (step) {
        case EActiveSyncStep_FirstFolderSyncCmd:
        case EActiveSyncStep_FolderSyncCmd: {
            const char *key = "0";
            m_global->folders.GetFolderSyncKey(&key);
            xml = "<FolderSync xmlns=\"FolderHierarchy:\"><SyncKey>" + std::string(key != nullptr ? key : "0") +
                  "</SyncKey></FolderSync>";
            break;
        }
        case EActiveSyncStep_FirstEMailSyncCmd:
        case EActiveSyncStep_EMailSyncCmd:
            xml = SyncXml("Email", kFolderTypeInbox);
            break;
        case EActiveSyncStep_FirstCalendarSyncCmd:
        case EActiveSyncStep_CalendarSyncCmd:
            xml = SyncXml("Calendar", kFolderTypeCalendar);
            break;
        case EActiveSyncStep_FirstContactsSyncCmd:
        case EActiveSyncStep_ContactsSyncCmd:
            xml = SyncXml("Contacts", kFolderTypeContacts);
            break;
        case EActiveSyncStep_FirstTasksSyncCmd:
        case EActiveSyncStep_TasksSyncCmd:
            xml = SyncXml("Tasks", kFolderTypeTasks);
            break;
        case EActiveSyncStep_GetItemEstimateCmd:
            xml = "<GetItemEstimate xmlns=\"GetItemEstimate:\"><Collections><Collection><Class>Email"
                  "</Class><SyncKey xmlns=\"AirSync:\">" + FolderKey(kFolderTypeInbox) + "</SyncKey><CollectionId>" +
                  FolderId(kFolderTypeInbox) + "</CollectionId></Collection></Collections></GetItemEstimate>";
            break;
        case EActiveSyncStep_PingCmd: {
            ICorvanePreferences *prefs = dynamic_cast<ICorvanePreferences *>(m_global->GetPreferences());
            xml = "<Ping xmlns=\"Ping:\"><HeartbeatInterval>" + std::to_string(prefs->GetQVHeartbeat()) +
                  "</HeartbeatInterval><Folders>";
            std::vector<std::string> ids = pingFolders;
            if (ids.empty()) ids.push_back(FolderId(kFolderTypeInbox));
            for (const std::string &id : ids)
                xml += "<Folder><Id>" + id + "</Id><Class>Email</Class></Folder>";
            xml += "</Folders></Ping>";
            break;
        }
        case EActiveSyncStep_ProvisionCmd:
            xml = "<Provision xmlns=\"Provision:\"><Policies><Policy><PolicyType>MS-WAP-Provisioning-XML</PolicyType>"
                  "</Policy></Policies></Provision>";
            break;
        case EActiveSyncStep_AcknowledgeProvisionCmd:
            xml = "<Provision xmlns=\"Provision:\"><Policies><Policy><PolicyType>MS-WAP-Provisioning-XML</PolicyType>"
                  "<PolicyKey>" + PolicyKey() + "</PolicyKey><Status>1</Status></Policy></Policies></Provision>";
            break;
        case EActiveSyncStep_EMailSendCmd:
        case EActiveSyncStep_EMailSmartSendCmd: {
            if (outbox.empty()) return generalErrIndexOutOfRange;  // nothing waits
            auto *send = new DASDS_SendDataResponse;
            send->SetMessage(outbox.front().message);
            send->SetContentType("message/rfc822");
            send->SetBody(BodyFile(outbox.front().mime));
            outbox.pop_front();
            Deliver(send);
            return kNoError;
        }
        case EActiveSyncStep_SearchCmd:
            xml = "<Search xmlns=\"Search:\"><Store><Name>" + m_searchStore + "</Name><Query>" + m_searchQuery +
                  "</Query><Options><Range>" + m_searchRange + "</Range></Options></Store></Search>";
            break;
        default:
            return generalErrIndexOutOfRange;  // nothing to send for this step
        }
        const bool sync = step == EActiveSyncStep_EMailSyncCmd || step == EActiveSyncStep_FirstEMailSyncCmd ||
                          (step >= EActiveSyncStep_FirstCalendarSyncCmd && step <= EActiveSyncStep_FirstTasksSyncCmd) ||
                          (step >= EActiveSyncStep_CalendarSyncCmd && step <= EActiveSyncStep_TasksSyncCmd);
        record = sync ? new DASDS_SyncDataResponse : new DASDS_DataResponse;
        record->SetContentType(kActiveSyncContentType);
        record->SetBody(BodyFile(WbxmlFromXml(xml)));
        Deliver(record);
        return kNoError;
    }

    // --- answers to commands ---
    DErrorCode ProcessCommandData(uint32_t step, DHTTPTransaction *, VFile *body, DClientResponse **record) override {
        calls.push_back("ProcessCommandData " + std::to_string(step));
        *record = nullptr;
        if (step == EActiveSyncStep_EMailSendCmd || step == EActiveSyncStep_EMailSmartSendCmd) {
            // The server took the message (its answer has no body): it is
            // filed as sent.
            sentAnswers.push_back(ReadAll(body));
            Deliver(new DASDP_EMailSendResponse);
            return activeSyncErrWaitForCallback;
        }
        const std::string xml = XmlFromWbxml(ReadAll(body));
        answers.push_back(xml);
        const uint32_t status = Number(xml, "Status", 1);
        switch (step) {
        case EActiveSyncStep_FirstFolderSyncCmd:
        case EActiveSyncStep_FolderSyncCmd:
            ReadFolders(xml);
            Deliver(new DASDP_FolderSyncResponse);
            return activeSyncErrWaitForCallback;
        case EActiveSyncStep_FirstEMailSyncCmd:
        case EActiveSyncStep_EMailSyncCmd:
            return SyncAnswer(xml, status, kFolderTypeInbox, new DASDP_EmailSyncResponse);
        case EActiveSyncStep_FirstCalendarSyncCmd:
        case EActiveSyncStep_CalendarSyncCmd:
            return SyncAnswer(xml, status, kFolderTypeCalendar, new DASDP_CalendarSyncResponse);
        case EActiveSyncStep_FirstContactsSyncCmd:
        case EActiveSyncStep_ContactsSyncCmd:
            return SyncAnswer(xml, status, kFolderTypeContacts, new DASDP_ContactsSyncResponse);
        case EActiveSyncStep_FirstTasksSyncCmd:
        case EActiveSyncStep_TasksSyncCmd:
            return SyncAnswer(xml, status, kFolderTypeTasks, new DASDP_TasksSyncResponse);
        case EActiveSyncStep_GetItemEstimateCmd: {
            auto *estimate = new DASDP_GetItemEstimateResponse;
            estimate->SetStatus(status);
            estimate->SetEmailEstimate(Number(xml, "Estimate", 0));
            // Mail waiting on the server makes the Inbox sync.
            DEASFolderInfoRecord *inbox = nullptr;
            if (estimate->GetEmailEstimate() != 0 &&
                m_global->folders.FindFirstFolderOfType(kFolderTypeInbox, &inbox) == kNoError && inbox != nullptr)
                inbox->SetFlag(0x08, true);
            Deliver(estimate);
            return activeSyncErrWaitForCallback;
        }
        case EActiveSyncStep_PingCmd: {
            auto *ping = new DASDP_PingResponse;
            ping->SetStatus(status);
            ping->SetHeartbeat(uint16_t(Number(xml, "HeartbeatInterval", 0)));
            ping->SetFolderLimit(Number(xml, "MaxFolders", 0));
            for (const std::string &id : All(xml, "Folder")) ping->AddFolder(Wide(id));
            *record = ping;
            return status == 1 || status == 2 ? kNoError : ASDataManagerErrBadStatus;
        }
        case EActiveSyncStep_ProvisionCmd:
        case EActiveSyncStep_AcknowledgeProvisionCmd: {
            auto *policy = new DASDP_PolicyResponse;
            const std::vector<std::string> statuses = All(xml, "Status");
            policy->SetStatus(statuses.size() > 1 ? std::stoul(statuses[1]) : status);
            const std::vector<std::string> keys = All(xml, "PolicyKey");
            if (!keys.empty()) {
                VString key = Wide(keys[0]);
                policy->SetPolicyKey(&key);
            }
            policy->SetWipe(xml.find("RemoteWipe") != std::string::npos);
            *record = policy;
            return kNoError;
        }
        case EActiveSyncStep_SearchCmd: {
            auto *search = new DASDP_SearchResponse;
            search->SetStatus(status);
            search->SetResult(Wide(xml));
            *record = search;
            return status == 1 ? kNoError : ASDataManagerErrBadStatus;
        }
        default:
            return kNoError;
        }
    }

    // Delivers one queued record (or signal) per turn.
    DErrorCode RunTask() override {
        if (m_queue.empty()) return kNoError;
        Delivery d = m_queue.front();
        m_queue.pop_front();
        if (!m_queue.empty()) ActivateAndSignal();
        if (d.signal != nullptr) {
            d.signal->Signal(kNoError);
        } else if (m_engine != nullptr) {
            // A body record's stream belongs to the transaction once taken.
            m_engine->ActiveSyncDataManager_RecievedResponse(d.record);
            delete d.record;
        }
        return kNoError;
    }
    void CancelTask() override {}

    // The server id and sync key of the first folder of the type ("" when none).
    std::string FolderId(uint32_t type) { return FolderField(type, true); }
    std::string FolderKey(uint32_t type) { return FolderField(type, false); }

private:
    struct Delivery {
        DClientResponse *record;
        DActiveTaskSignal *signal;
    };

    DErrorCode Note(const std::string &call) {
        calls.push_back(call);
        return kNoError;
    }
    DErrorCode Chain(const std::string &call, DActiveTaskSignal *signal) {
        calls.push_back(call);
        m_queue.push_back({nullptr, signal});
        if (!IsActive()) ActivateAndSignal();
        return kNoError;
    }
    void Deliver(DClientResponse *record) {
        m_queue.push_back({record, nullptr});
        if (!IsActive()) ActivateAndSignal();
    }

    std::string SyncXml(const char *cls, uint32_t type) {
        const std::string key = FolderKey(type).empty() ? "0" : FolderKey(type);
        std::string xml = "<Sync xmlns=\"AirSync:\"><Collections><Collection><Class>" + std::string(cls) +
                          "</Class><SyncKey>" + key + "</SyncKey><CollectionId>" + FolderId(type) + "</CollectionId>";
        if (key != "0") xml += "<DeletesAsMoves/><GetChanges/><WindowSize>5</WindowSize>";
        return xml + "</Collection></Collections></Sync>";
    }
    DErrorCode SyncAnswer(const std::string &xml, uint32_t status, uint32_t type, DASDP_SyncResponse *response) {
        const std::vector<std::string> keys = All(xml, "SyncKey");
        DEASFolderInfoRecord *folder = nullptr;
        if (!keys.empty() && m_global->folders.FindFirstFolderOfType(type, &folder) == kNoError && folder != nullptr) {
            folder->SetString(kFolderFieldSyncKey, keys[0].c_str());
            m_global->folders.Save();
        }
        response->SetStatus(status);
        response->SetMoreAvailable(xml.find("<MoreAvailable") != std::string::npos);
        response->SetResetLoopCounter(!keys.empty());
        Deliver(response);
        return activeSyncErrWaitForCallback;
    }
    void ReadFolders(const std::string &xml) {
        for (size_t at = xml.find("<Add>"); at != std::string::npos; at = xml.find("<Add>", at + 1)) {
            const size_t end = xml.find("</Add>", at);
            if (end == std::string::npos) break;
            const std::string one = xml.substr(at, end - at);
            const std::string id = First(one, "ServerId");
            DEASFolderInfoRecord *existing = nullptr;
            if (m_global->folders.FindFolderByServerID(id.c_str(), &existing) == kNoError && existing != nullptr)
                continue;
            DEASFolderInfoRecord *folder = nullptr;
            m_global->folders.AddFolder(&folder, Number(one, "Type", 1), id.c_str(), First(one, "DisplayName").c_str(),
                                        "0", nullptr, 0, 0, 0);
        }
        const std::vector<std::string> keys = All(xml, "SyncKey");
        if (!keys.empty()) m_global->folders.SetFolderSyncKey(keys[0].c_str());
        m_global->folders.Save();
    }
    std::string FolderField(uint32_t type, bool id) {
        DEASFolderInfoRecord *folder = nullptr;
        if (m_global->folders.FindFirstFolderOfType(type, &folder) != kNoError || folder == nullptr) return "";
        const char *text = folder->GetString(id ? kFolderFieldServerID : kFolderFieldSyncKey);
        return text != nullptr ? text : "";
    }
    std::string PolicyKey() {
        ICorvanePreferences *prefs = dynamic_cast<ICorvanePreferences *>(m_global->GetPreferences());
        VString key;
        prefs->GetEASPolicyKey(&key);
        return Narrow(key);
    }

    // The texts of every <tag> (with or without attributes) whose content is
    // text only, in order.
    static std::vector<std::string> All(const std::string &xml, const std::string &tag) {
        std::vector<std::string> out;
        const std::string close = "</" + tag + ">";
        for (size_t at = xml.find("<" + tag); at != std::string::npos; at = xml.find("<" + tag, at + 1)) {
            const char after = at + 1 + tag.size() < xml.size() ? xml[at + 1 + tag.size()] : '\0';
            if (after != '>' && after != ' ') continue;
            const size_t start = xml.find('>', at);
            const size_t end = start == std::string::npos ? start : xml.find('<', start);
            if (end == std::string::npos || xml.compare(end, close.size(), close) != 0) continue;
            out.push_back(xml.substr(start + 1, end - start - 1));
        }
        return out;
    }
    static std::string First(const std::string &xml, const std::string &tag) {
        const std::vector<std::string> all = All(xml, tag);
        return all.empty() ? "" : all[0];
    }
    static uint32_t Number(const std::string &xml, const std::string &tag, uint32_t otherwise) {
        const std::string text = First(xml, tag);
        return text.empty() ? otherwise : uint32_t(std::stoul(text));
    }
    static std::string Narrow(const VString &s) {
        VString copy;
        copy.Assign(s);
        copy.ConvertTo(kVStringWindows1252);
        return copy.GetNarrowText() != nullptr ? copy.GetNarrowText() : "";
    }
    static VString Wide(const std::string &s) {
        VString v;
        v.AssignCStr(s.c_str(), kVStringUTF8);
        return v;
    }
    static std::string ReadAll(VFile *file) {
        std::string out;
        if (file == nullptr) return out;
        bool open = false;
        file->IsOpen(&open);
        if (!open && file->Open(kVFileRead) != kNoError) return out;
        uint32_t size = 0;
        file->GetSize(&size);
        out.resize(size);
        uint32_t got = 0;
        if (size != 0 && (file->Seek(kVFileSeekStart, 0) != kNoError || file->Read(size, &out[0], &got) != kNoError))
            got = 0;
        out.resize(got);
        file->Seek(kVFileSeekStart, 0);
        if (!open) file->Close();
        return out;
    }
    static VFile *BodyFile(const std::string &bytes) {
        VFile *file = nullptr;
        EnsureTempVFile(&file);
        bool open = false;
        file->IsOpen(&open);
        if (!open) file->Open(kVFileReadWrite);
        uint32_t written = 0;
        if (!bytes.empty()) file->Write(uint32_t(bytes.size()), bytes.data(), &written);
        file->Close();
        return file;
    }

    EngineGlobal *m_global;
    IActiveSyncDataManagerClient *m_engine = nullptr;
    std::deque<Delivery> m_queue;
    std::string m_searchStore, m_searchQuery, m_searchRange;
};

#endif
