// The engine's response and request records: type numbers, what each record
// frees when its sender deletes it through the base, and the rules receivers
// rely on.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

#include "DASDP_GetItemEstimateResponse.h"
#include "DASDP_MoveItemResponse.h"
#include "DASDP_PingResponse.h"
#include "DASDP_PlainResponses.h"
#include "DASDP_PolicyResponse.h"
#include "DASDP_SearchResponse.h"
#include "DASDP_SyncResponse.h"
#include "DASDS_DataResponse.h"
#include "DASDS_GetAttachmentDataResponse.h"
#include "DAliveCounterStatusData.h"

namespace {

// A stream that counts its own deletions, so a test sees who freed it.
class CountedVFile : public VFile {
public:
    explicit CountedVFile(int *deleted) : m_deleted(deleted) {}
    ~CountedVFile() override { ++*m_deleted; }

private:
    int *m_deleted;
};

VString Narrow(const char *text) {
    VString s;
    EXPECT_EQ(kNoError, s.AssignCStr(text, kVStringUTF8));
    return s;
}

std::vector<std::string> Folders(const DASDP_PingResponse &ping) {
    std::vector<std::string> ids;
    for (const StringListNode *node = ping.GetFolders(); node != nullptr; node = node->next)
        ids.push_back(node->value->GetNarrowText());
    return ids;
}

}  // namespace

TEST(EngineRecords, EachKindCarriesItsTypeNumber) {
    struct Case {
        uint32_t type;
        std::function<DClientResponse *()> make;
    };
    const Case cases[] = {
        {6, [] { return new DASDP_CalendarSyncResponse(); }},
        {7, [] { return new DASDP_ContactsSyncResponse(); }},
        {8, [] { return new DASDP_TasksSyncResponse(); }},
        {9, [] { return new DASDP_EmailSyncResponse(); }},
        {10, [] { return new DASDP_EMailSendResponse(); }},
        {11, [] { return new DASDP_EMailGetAttachmentResponse(); }},
        {12, [] { return new DASDP_FolderCreateResponse(); }},
        {13, [] { return new DASDP_FolderSyncResponse(); }},
        {14, [] { return new DASDP_GetItemEstimateResponse(); }},
        {15, [] { return new DASDP_MoveItemResponse(); }},
        {16, [] { return new DASDS_DataResponse(); }},
        {17, [] { return new DASDS_SyncDataResponse(); }},
        {18, [] { return new DASDS_SendDataResponse(); }},
        {19, [] { return new DASDS_GetAttachmentDataResponse(); }},
        {20, [] { return new DASDS_GetMeetingResponseDataResponse(); }},
        // The answer to a meeting response: a plain record of the same type.
        {20, [] { return new DClientResponse(kResponseTypeMeetingResponse); }},
        {21, [] { return new DASDS_MoveItemDataResponse(); }},
        {22, [] { return new DASDP_PingResponse(); }},
        {23, [] { return new DASDP_PolicyResponse(); }},
        {28, [] { return new DASDM_QVMessage_TimeZoneChange(); }},
        {29, [] { return new DASDP_SearchResponse(); }},
        {30, [] { return new DASDP_WipeCompleteResponse(); }},
    };
    for (const Case &c : cases) {
        std::unique_ptr<DClientResponse> record(c.make());
        EXPECT_EQ(c.type, record->GetType());
        // The Sync kinds are read as one base, the request kinds as another.
        EXPECT_EQ(c.type >= 6 && c.type <= 9, dynamic_cast<DASDP_SyncResponse *>(record.get()) != nullptr) << c.type;
        bool request = c.type == 16 || c.type == 17 || c.type == 18 || c.type == 21 ||
                       (c.type == 20 && typeid(*record) != typeid(DClientResponse));
        EXPECT_EQ(request, dynamic_cast<DASDS_DataResponse *>(record.get()) != nullptr) << c.type;
    }

    // The data manager's alive counter travels on the status channel as kind 4
    // and counts up from 0 at each report.
    DAliveCounterStatusData alive;
    EXPECT_EQ(4u, alive.GetType());
    EXPECT_EQ(0u, alive.GetCount());
    alive.Advance();
    alive.Advance();
    EXPECT_EQ(2u, alive.GetCount());
}

TEST(EngineRecords, RequestRecordFreesOnlyABodyItStillHolds) {
    const std::function<DASDS_DataResponse *()> kinds[] = {
        [] { return new DASDS_DataResponse(); },
        [] { return new DASDS_SyncDataResponse(); },
        [] { return new DASDS_SendDataResponse(); },
        [] { return new DASDS_GetMeetingResponseDataResponse(); },
        [] { return new DASDS_MoveItemDataResponse(); },
    };
    for (const auto &make : kinds) {
        int deleted = 0;
        // Held until the sender deletes the record: freed with it.
        DASDS_DataResponse *held = make();
        held->SetBody(new CountedVFile(&deleted));
        delete static_cast<DClientResponse *>(held);
        EXPECT_EQ(1, deleted);

        // Handed to the transaction and let go of: left alone.
        DASDS_DataResponse *taken = make();
        std::unique_ptr<VFile> transactionOwned(new CountedVFile(&deleted));
        taken->SetBody(transactionOwned.get());
        taken->SetBody(nullptr);
        EXPECT_EQ(nullptr, taken->GetBody());
        delete static_cast<DClientResponse *>(taken);
        EXPECT_EQ(1, deleted);
        transactionOwned.reset();
        EXPECT_EQ(2, deleted);
    }
}

TEST(EngineRecords, RequestRecordKeepsItsOwnCopyOfTheContentType) {
    DASDS_SyncDataResponse record;
    EXPECT_STREQ("", record.GetContentType());
    char text[] = "application/vnd.ms-sync.wbxml";
    ASSERT_EQ(kNoError, record.SetContentType(text));
    std::memset(text, 'x', sizeof(text) - 1);
    EXPECT_STREQ("application/vnd.ms-sync.wbxml", record.GetContentType());
    ASSERT_EQ(kNoError, record.SetContentType(nullptr));
    EXPECT_STREQ("", record.GetContentType());
}

TEST(EngineRecords, PingRecordOwnsItsFolderListAndTheEnginesHasNone) {
    for (uint32_t status : {kPingStatusCycleStart, kPingStatusChanges}) {
        DASDP_PingResponse engineMade(status);
        EXPECT_EQ(status, engineMade.GetStatus());
        EXPECT_EQ(nullptr, engineMade.GetFolders());
    }

    auto *ping = new DASDP_PingResponse(2);
    for (const char *id : {"1", "5", "12"}) {
        VString source = Narrow(id);
        ASSERT_EQ(kNoError, ping->AddFolder(source));
    }
    EXPECT_EQ((std::vector<std::string>{"1", "5", "12"}), Folders(*ping));
    // Every node and id goes with the record (the sanitizer build sees a leak).
    delete static_cast<DClientResponse *>(ping);
}

TEST(EngineRecords, PolicyRecordOwnsAnOptionalKey) {
    auto *policy = new DASDP_PolicyResponse();
    EXPECT_EQ(nullptr, policy->GetPolicyKey());
    {
        VString key = Narrow("1307199584");
        ASSERT_EQ(kNoError, policy->SetPolicyKey(&key));
    }
    ASSERT_NE(nullptr, policy->GetPolicyKey());
    EXPECT_STREQ("1307199584", policy->GetPolicyKey()->GetNarrowText());
    // Setting the key it holds keeps it.
    ASSERT_EQ(kNoError, policy->SetPolicyKey(policy->GetPolicyKey()));
    EXPECT_STREQ("1307199584", policy->GetPolicyKey()->GetNarrowText());
    delete static_cast<DClientResponse *>(policy);

    DASDP_PolicyResponse absent;
    VString key = Narrow("1");
    ASSERT_EQ(kNoError, absent.SetPolicyKey(&key));
    ASSERT_EQ(kNoError, absent.SetPolicyKey(nullptr));
    EXPECT_EQ(nullptr, absent.GetPolicyKey());
}

TEST(EngineRecords, SearchRecordKeepsACopyOfTheResult) {
    DASDP_SearchResponse search;
    {
        VString result = Narrow("<Response/>");
        ASSERT_EQ(kNoError, search.SetResult(result));
    }
    EXPECT_STREQ("<Response/>", search.GetResult().GetNarrowText());
}

TEST(EngineRecords, AttachmentRecordFreesWhatNoOneTook) {
    int deleted = 0;
    auto *record = new DASDS_GetAttachmentDataResponse();
    record->SetAttachment(new VString(Narrow("report.doc")), new CountedVFile(&deleted));
    delete static_cast<DClientResponse *>(record);
    EXPECT_EQ(1, deleted);

    record = new DASDS_GetAttachmentDataResponse();
    record->SetAttachment(new VString(Narrow("report.doc")), new CountedVFile(&deleted));
    std::unique_ptr<VString> name(record->TakeName());
    std::unique_ptr<VFile> file(record->TakeFile());
    ASSERT_NE(nullptr, name);
    EXPECT_STREQ("report.doc", name->GetNarrowText());
    EXPECT_EQ(nullptr, record->GetName());
    EXPECT_EQ(nullptr, record->GetFile());
    delete static_cast<DClientResponse *>(record);
    EXPECT_EQ(1, deleted);
    file.reset();
    EXPECT_EQ(2, deleted);

    // Nothing to fetch: neither name nor file.
    DASDS_GetAttachmentDataResponse nothing;
    nothing.SetNothingToFetch(1);
    EXPECT_EQ(1, nothing.GetNothingToFetch());
    EXPECT_EQ(nullptr, nothing.GetName());
    EXPECT_EQ(nullptr, nothing.GetFile());
}

TEST(EngineRecords, EstimateHasChangesWhenAnyCountIsNonZero) {
    struct Case {
        uint32_t email, contacts, calendar, tasks;
        bool changes;
    };
    const Case cases[] = {
        {0, 0, 0, 0, false}, {3, 0, 0, 0, true}, {0, 1, 0, 0, true}, {0, 0, 1, 0, true}, {0, 0, 0, 1, true},
    };
    for (const Case &c : cases) {
        DASDP_GetItemEstimateResponse estimate;
        estimate.SetEmailEstimate(c.email);
        estimate.SetContactsChanges(c.contacts);
        estimate.SetCalendarChanges(c.calendar);
        estimate.SetTasksChanges(c.tasks);
        // The status does not count as a change.
        estimate.SetStatus(kEstimateStatusRestart);
        EXPECT_EQ(c.changes, estimate.HasChanges()) << c.email << c.contacts << c.calendar << c.tasks;
    }
}
