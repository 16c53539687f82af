// The shadow change-tracking databases: the change-state rules, sequence
// numbers, the record format, and two processes changing one record.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <set>
#include <vector>

#include "DWinMobShadowDB.h"
#include "ShadowRecordIO.h"
#include "support/TestDevice.h"
#include "winfile.h"

namespace {

// A Smartphone's device has its "\Storage" folder, where the volume goes.
class ShadowDBTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
#ifdef VANTREL_EDITION_SMARTPHONE
        ASSERT_TRUE(CreateDirectoryW(u"\\Storage", nullptr));
#endif
    }
};

// A record's raw change state, as a recorder or an earlier sync left it.
void PutState(DWinMobShadowDB &db, DWinMobShadowRecord &r, uint32_t state) {
    ASSERT_EQ(ShadowWriteUInt(db.GetHandle(), r.GetObjectID(), kShadowPropState, state), kNoError);
}

uint32_t State(const DWinMobShadowRecord &r) {
    uint32_t state = 99;
    EXPECT_EQ(r.GetChangeState(&state), kNoError);
    return state;
}

std::vector<CEOID> Scan(DWinMobShadowDB &db) {
    uint32_t count = 0;
    CEOID *list = nullptr;
    EXPECT_EQ(db.ScanChanged(&count, &list), kNoError);
    std::vector<CEOID> oids(list, list + count);
    std::free(list);
    return oids;
}

TEST_F(ShadowDBTest, ChangeStatesMoveByTheRules) {
    DWinMobShadowDB db;
    ASSERT_EQ(db.Open(kShadowCalendar), kNoError);
    enum Op { kMark, kClear, kScan };
    const struct {
        uint32_t from;
        Op op;
        uint32_t to;
    } cases[] = {
        {0, kMark, 1}, {1, kMark, 1}, {2, kMark, 3}, {3, kMark, 3},      // a recorder's change
        {1, kScan, 2}, {2, kScan, 2}, {3, kScan, 3}, {0, kScan, 0},      // the engine's scan
        {3, kClear, 1}, {2, kClear, 0}, {1, kClear, 0}, {0, kClear, 0},  // completion
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.from << " op " << c.op);
        DWinMobShadowRecord r;
        ASSERT_EQ(db.NewRecord(&r), kNoError);
        PutState(db, r, c.from);
        if (c.op == kMark) {
            ASSERT_EQ(r.MarkModified(), kNoError);
        } else if (c.op == kClear) {
            ASSERT_EQ(r.ClearModified(), kNoError);
        }
        if (c.op == kScan) {
            const std::vector<CEOID> found = Scan(db);
            EXPECT_EQ(std::count(found.begin(), found.end(), r.GetObjectID()), c.from != 0 ? 1 : 0);
        }
        EXPECT_EQ(State(r), c.to);
        ASSERT_EQ(db.DeleteRecord(&r), kNoError);
        EXPECT_EQ(r.GetObjectID(), kShadowOidDeleted);
    }

    // A record changed twice during one sync is picked up again by the next.
    DWinMobShadowRecord r;
    ASSERT_EQ(db.NewRecord(&r), kNoError);
    ASSERT_EQ(r.MarkModified(), kNoError);
    EXPECT_EQ(Scan(db), std::vector<CEOID>{r.GetObjectID()});
    ASSERT_EQ(r.MarkModified(), kNoError);
    ASSERT_EQ(r.MarkModified(), kNoError);
    ASSERT_EQ(r.ClearModified(), kNoError);
    EXPECT_EQ(Scan(db), std::vector<CEOID>{r.GetObjectID()});
    EXPECT_EQ(State(r), 2u);
}

TEST_F(ShadowDBTest, RecordsKeepTheirFormat) {
    DWinMobShadowDB db;
    EXPECT_EQ(db.Open(4), generalErrNotImplemented);
    EXPECT_FALSE(db.IsOpen());
    ASSERT_EQ(db.Open(kShadowEmail), kNoError);

    // Sequence numbers: 0 first, then the last plus one whatever went below.
    DWinMobShadowRecord a, b, c;
    ASSERT_EQ(db.NewRecord(&a), kNoError);
    ASSERT_EQ(db.NewRecord(&b), kNoError);
    ASSERT_EQ(db.DeleteRecord(&a), kNoError);
    ASSERT_EQ(db.NewRecord(&c), kNoError);
    uint32_t seq = 99;
    ASSERT_EQ(ShadowReadUInt(db.GetHandle(), b.GetObjectID(), kShadowPropSequence, &seq), kNoError);
    EXPECT_EQ(seq, 1u);
    ASSERT_EQ(ShadowReadUInt(db.GetHandle(), c.GetObjectID(), kShadowPropSequence, &seq), kNoError);
    EXPECT_EQ(seq, 2u);

    // Identity round trip, flags bit by bit, folder walks.
    const BYTE entry[] = {1, 2, 3, 4, 5};
    const std::vector<BYTE> inbox = {9, 9};
    ASSERT_EQ(b.SetServerID(u"5:17"), kNoError);
    ASSERT_EQ(b.SetLocalID(entry, sizeof entry), kNoError);
    ASSERT_EQ(b.SetFlag(kShadowFlagNew | kShadowFlagRead, true), kNoError);
    ASSERT_EQ(db.WriteRecord(&b), kNoError);
    ASSERT_EQ(b.SetSent(true), kNoError);
    ASSERT_EQ(b.SetRead(false), kNoError);
    ASSERT_EQ(b.SetFolderID(inbox.data(), uint32_t(inbox.size())), kNoError);
    DWinMobShadowRecord found;
    ASSERT_EQ(db.FindByServerID(u"5:17", &found), kNoError);
    EXPECT_EQ(found.GetObjectID(), b.GetObjectID());
    EXPECT_EQ(found.LocalID(), std::vector<BYTE>(entry, entry + sizeof entry));
    uint32_t flags = 0;
    ASSERT_EQ(found.GetFlags(&flags), kNoError);
    EXPECT_EQ(flags, kShadowFlagNew | kShadowFlagSent);
    EXPECT_EQ(db.FindByServerID(u"5:1", &found), generalErrItemNotFound);
    uint32_t position = kShadowOidNone;
    bool more = false;
    ASSERT_EQ(db.NextSent(&position, &found, &more), kNoError);
    EXPECT_TRUE(more);
    EXPECT_EQ(found.GetObjectID(), b.GetObjectID());
    ASSERT_EQ(db.NextSent(&position, &found, &more), kNoError);
    EXPECT_FALSE(more);
    uint32_t inFolder = 0;
    ASSERT_EQ(db.CountInFolder(inbox, &inFolder), kNoError);
    EXPECT_EQ(inFolder, 1u);
    EXPECT_EQ(db.GetRecordInFolder(1, inbox, &found), generalErrIndexOutOfRange);

    // A body checksum sent with a change counts only once the answer is in.
    const BYTE before[8] = {1, 0, 0, 0, 1, 0, 0, 0}, sentSum[8] = {7, 0, 0, 0, 2, 0, 0, 0};
    BYTE now[8] = {};
    ASSERT_EQ(b.SetBodyChecksum(before), kNoError);
    ASSERT_EQ(b.SetSentBodyChecksum(sentSum), kNoError);
    ASSERT_EQ(db.GetRecordByOID(b.GetObjectID(), &found), kNoError);
    ASSERT_EQ(found.GetBodyChecksum(now), kNoError);
    EXPECT_EQ(std::vector<BYTE>(now, now + 8), std::vector<BYTE>(before, before + 8));
    ASSERT_EQ(found.PromoteSentBodyChecksum(), kNoError);
    ASSERT_EQ(found.GetBodyChecksum(now), kNoError);
    EXPECT_EQ(std::vector<BYTE>(now, now + 8), std::vector<BYTE>(sentSum, sentSum + 8));
    ASSERT_EQ(b.SetBodyChecksum(before), kNoError);
    ASSERT_EQ(found.PromoteSentBodyChecksum(), kNoError);  // taken once only
    ASSERT_EQ(found.GetBodyChecksum(now), kNoError);
    EXPECT_EQ(std::vector<BYTE>(now, now + 8), std::vector<BYTE>(before, before + 8));

    // A record with a property outside the format does not load.
    CEPROPVAL odd = {};
    odd.propid = (0x0300u << 16) | CEVT_UI4;
    ASSERT_EQ(ShadowWriteProps(db.GetHandle(), c.GetObjectID(), 1, &odd), kNoError);
    EXPECT_EQ(db.GetRecordByOID(c.GetObjectID(), &found), generalErrUnknownError);

    // A record that is not stored takes no write, and says so.
    DWinMobShadowRecord unbound;
    EXPECT_EQ(unbound.SetSent(true), generalErrItemNotFound);
    EXPECT_EQ(unbound.MarkModified(), generalErrItemNotFound);
    bool sent = true;
    EXPECT_EQ(unbound.IsSent(&sent), kNoError);
    EXPECT_FALSE(sent);

    ASSERT_EQ(db.DeleteAll(), kNoError);
    uint32_t count = 99;
    ASSERT_EQ(db.GetRecordCount(&count), kNoError);
    EXPECT_EQ(count, 0u);
}

// The Smartphone edition keeps the databases in their own volume, mounted
// while a database is open; the Pocket PC edition in the object store.
TEST_F(ShadowDBTest, DatabasesLiveWhereTheEditionKeepsThem) {
    DWinMobShadowDB db;
    ASSERT_EQ(db.Open(kShadowEmail), kNoError);
    DWinMobShadowRecord r;
    ASSERT_EQ(db.NewRecord(&r), kNoError);
    ASSERT_EQ(db.Close(), kNoError);
    CEOID oid = 0;
    HANDLE inObjectStore = CeOpenDatabaseEx2(nullptr, &oid, const_cast<WCHAR *>(u"QV_email_shadow"), nullptr, 0, nullptr);
    const bool volumeMade = GetFileAttributesW(kShadowVolume) != INVALID_FILE_ATTRIBUTES;
#ifdef VANTREL_EDITION_SMARTPHONE
    EXPECT_EQ(inObjectStore, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(volumeMade);
#else
    EXPECT_NE(inObjectStore, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(volumeMade);
#endif
    if (inObjectStore != INVALID_HANDLE_VALUE) CloseHandle(inObjectStore);
    // Opened again, the record is there.
    ASSERT_EQ(db.Open(kShadowEmail), kNoError);
    uint32_t count = 0;
    ASSERT_EQ(db.GetRecordCount(&count), kNoError);
    EXPECT_EQ(count, 1u);
}

// A store that cannot be opened is an error, and a closed database takes no record.
TEST_F(ShadowDBTest, AFailedOpenIsReturned) {
    {
        std::ofstream garbage(Device().Root() + "/objectstore.db", std::ios::binary);
        garbage << std::string(4096, 'x');
    }
    DWinMobShadowDB db;
    EXPECT_NE(db.Open(kShadowEmail), kNoError);
    EXPECT_FALSE(db.IsOpen());
    DWinMobShadowRecord r;
    EXPECT_NE(db.NewRecord(&r), kNoError);
    EXPECT_EQ(r.SetSent(true), generalErrItemNotFound);
}

// Processes that change flags and states of one record, and add records,
// all at once lose none of it.
TEST_F(ShadowDBTest, ProcessesChangingOneRecordAtOnceLoseNothing) {
    DWinMobShadowDB db;
    ASSERT_EQ(db.Open(kShadowContacts), kNoError);
    DWinMobShadowRecord shared;
    ASSERT_EQ(db.NewRecord(&shared), kNoError);
    const CEOID oid = shared.GetObjectID();
    constexpr int kProcesses = 4;
    constexpr int kRounds = 40;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        pid_t child = fork();
        if (child == 0) {
            DWinMobShadowDB mine;
            DWinMobShadowRecord r;
            if (mine.Open(kShadowContacts) != kNoError || mine.GetRecordByOID(oid, &r) != kNoError) _exit(1);
            const uint32_t bit = 1u << (p + 4);
            for (int i = 0; i < kRounds; ++i) {
                DWinMobShadowRecord added;
                if (r.SetFlag(bit, i % 2 == 0) != kNoError || mine.NewRecord(&added) != kNoError) _exit(2);
            }
            _exit(r.SetFlag(bit, true) == kNoError ? 0 : 3);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = -1;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    uint32_t flags = 0;
    ASSERT_EQ(shared.GetFlags(&flags), kNoError);
    EXPECT_EQ(flags, 0xF0u);
    uint32_t count = 0;
    ASSERT_EQ(db.GetRecordCount(&count), kNoError);
    EXPECT_EQ(count, 1u + kProcesses * kRounds);
    std::set<uint32_t> sequences;
    for (uint32_t i = 0; i < count; ++i) {
        DWinMobShadowRecord r;
        ASSERT_EQ(db.GetRecordAt(i, &r), kNoError);
        uint32_t seq = 0;
        ASSERT_EQ(ShadowReadUInt(db.GetHandle(), r.GetObjectID(), kShadowPropSequence, &seq), kNoError);
        sequences.insert(seq);
    }
    EXPECT_EQ(sequences.size(), count);
}

}  // namespace
