// The data manager's test bench: a fresh device whose mail account is
// provisioned, the engine's global info (preferences, memory log, resource
// texts, task manager, folder-info store opened read/write), the data manager
// over it, and a client that keeps every record it is handed (each record is
// copied out as the test needs it: its type, and the request body's bytes
// turned back into XML by the WBXML library's own conversion).
#ifndef VTEST_DATAMANAGERFIXTURE_H
#define VTEST_DATAMANAGERFIXTURE_H

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "AnsweredTransaction.h"
#include "DASDS_DataResponse.h"
#include "DActiveSyncDataManager.h"
#include "EngineTestSupport.h"
#include "IActiveSyncDataManagerClient.h"
#include "QvEngine/foundation/prefstestutil.h"
#include "support/ActiveSyncWire.h"
#include "support/TestDevice.h"
#include "vplatform_mail.h"

#ifdef VANTREL_EDITION_SMARTPHONE
inline const char16_t *const kDataManagerMailStore = u"Vantrel E-Mail";
#else
inline const char16_t *const kDataManagerMailStore = u"Vantrel";
#endif

// One record as the data manager handed it over.
struct HandedRecord {
    uint32_t type = 0;
    // Request bodies: the content type, the body as XML (WBXML bodies), the raw bytes, and *more*.
    std::string contentType;
    std::string xml;
    std::string bytes;
    int more = -1;
};

// Keeps what the data manager reports.
class RecordingDataClient : public IActiveSyncDataManagerClient {
public:
    std::vector<HandedRecord> records;
    std::vector<DErrorCode> errors;
    std::vector<uint32_t> statuses;
    // Called with each record while it is valid.
    std::function<void(DClientResponse *)> onRecord;

    DErrorCode ActiveSyncDataManager_ReportError(DErrorCode code, VString *) override {
        errors.push_back(code);
        return kNoError;
    }
    DErrorCode ActiveSyncDataManager_RecievedResponse(DClientResponse *response) override {
        HandedRecord kept;
        kept.type = response->GetType();
        if (auto *data = dynamic_cast<DASDS_DataResponse *>(response)) {
            kept.contentType = data->GetContentType();
            kept.bytes = ReadAll(data->GetBody());
            if (kept.contentType == kWbxmlContentType && !kept.bytes.empty()) kept.xml = XmlFromWbxml(kept.bytes);
            if (auto *sync = dynamic_cast<DASDS_SyncDataResponse *>(response)) kept.more = sync->GetMore();
            if (auto *move = dynamic_cast<DASDS_MoveItemDataResponse *>(response)) kept.more = move->GetMore();
        }
        if (onRecord) onRecord(response);
        records.push_back(kept);
        return kNoError;
    }
    DErrorCode ActiveSyncDataManager_ReportStatus(DStatusData *status) override {
        statuses.push_back(status->GetType());
        return kNoError;
    }

    static std::string ReadAll(VFile *file) {
        if (file == nullptr) return {};
        bool open = false;
        file->IsOpen(&open);
        if (!open && file->Open(kVFileRead) != kNoError) return {};
        file->Seek(kVFileSeekStart, 0);
        std::string bytes;
        char buffer[4096];
        for (;;) {
            uint32_t got = 0;
            // The last piece comes with vfileErrEOF.
            const DErrorCode err = file->Read(sizeof buffer, buffer, &got);
            bytes.append(buffer, got);
            if (err != kNoError || got == 0) break;
        }
        file->Close();
        return bytes;
    }
};

// A finished transaction whose answer has a content type.
class TypedAnswer : public AnsweredTransaction {
public:
    TypedAnswer(IGlobalData *global, const std::string &body, const char *contentType = kWbxmlContentType)
        : AnsweredTransaction(global, 200, body) {
        m_contentType.AssignCStr(contentType, kVStringWindows1252);
    }
    VFile *Body() {
        VFile *file = nullptr;
        GetResponseData(&file);
        return file;
    }
};

class DataManagerTest : public PrefsDeviceTest {
protected:
    void SetUp() override {
        PrefsDeviceTest::SetUp();
#ifdef VANTREL_EDITION_SMARTPHONE
        ASSERT_TRUE(CreateDirectoryW(u"\\Storage", nullptr));
#endif
        global = std::make_unique<EngineGlobal>();
        SetTestAccount(global->prefs, "127.0.0.1:1", "alice", "secret1", false, false);
        ASSERT_EQ(global->folders.Open(kDBReadWrite, true), kNoError);
        if (provisionMail) {
            ASSERT_EQ(vplat::MailAccountProvision(kDataManagerMailStore), S_OK);
        }
        data = std::make_unique<DActiveSyncDataManager>(&client, global.get());
    }
    void TearDown() override {
        data.reset();
        global.reset();
        PrefsDeviceTest::TearDown();
    }

    // Runs the task manager until the chain is over: the task idle and no
    // longer active (its signal stays ready after the last step, so
    // readiness tells nothing). False when it never ended.
    bool Pump() {
        return PumpEngineUntil(*global, [this] { return data->GetState() == kDMIdle && !data->IsActive(); });
    }

    // Starts a chain with a waiting caller and pumps until it signalled.
    DErrorCode RunChain(const std::function<DErrorCode(DActiveTaskSignal *)> &start) {
        Caller caller(global->GetTaskManager());
        DErrorCode err = start(caller.GetSignal());
        if (err != kNoError) return err;
        EXPECT_TRUE(PumpEngineUntil(*global, [&] { return caller.done; })) << "the chain never signalled";
        return caller.result;
    }

    // Feeds the answer (XML made WBXML) for the step; pumps a chain it starts.
    DErrorCode Answer(uint32_t step, const std::string &xml, DClientResponse **record = nullptr) {
        TypedAnswer answer(global.get(), WbxmlFromXml(xml));
        DClientResponse *kept = nullptr;
        DErrorCode err = data->ProcessCommandData(step, &answer, answer.Body(), &kept);
        if (err == activeSyncErrWaitForCallback) {
            EXPECT_TRUE(Pump()) << "the chain never ended";
        }
        if (record != nullptr)
            *record = kept;
        else
            delete kept;
        return err;
    }

    // The folder in the folder-info store (parent "0": the root).
    DEASFolderInfoRecord *AddFolder(uint32_t type, const char *serverID, const char *syncKey = "0",
                                    uint32_t flags = 0, const char *parentID = "0") {
        DEASFolderInfoRecord *folder = nullptr;
        EXPECT_EQ(global->folders.AddFolder(&folder, type, serverID, serverID, syncKey, nullptr, 0, kQvUnknown, flags),
                  kNoError);
        if (folder != nullptr) {
            EXPECT_EQ(folder->SetParentServerID(&global->folders, parentID), kNoError);
        }
        return folder;
    }
    DEASFolderInfoRecord *Folder(const char *serverID) {
        DEASFolderInfoRecord *folder = nullptr;
        global->folders.FindFolderByServerID(serverID, &folder);
        return folder;
    }
    ICorvanePreferences &Prefs() { return global->prefs; }
    const std::string &Log() const { return global->log.text; }

    // Set false in a derived fixture's constructor for a device without a mail account.
    bool provisionMail = true;
    std::unique_ptr<EngineGlobal> global;
    RecordingDataClient client;
    std::unique_ptr<DActiveSyncDataManager> data;

private:
    // A task standing in for the engine: it notes when its signal fires.
    struct Caller : DActiveTask {
        explicit Caller(DActiveTaskManager *tasks) : DActiveTask(kActiveTaskDefaultPriority) {
            tasks->AddTask(this);
            Activate();
        }
        DErrorCode RunTask() override {
            done = true;
            result = m_signal.GetCode();
            return kNoError;
        }
        void CancelTask() override {}
        bool done = false;
        DErrorCode result = kNoError;
    };
};

#endif
