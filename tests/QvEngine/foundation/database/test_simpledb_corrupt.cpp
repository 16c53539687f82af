#include <gtest/gtest.h>

#include <cstdio>

#include "DEASFolderInfoStore.h"
#include "DSimpleDBVFile.h"
#include "simpledbtestutil.h"

namespace {

// A file of one record whose bytes follow the index at 24.
std::string OneRecord(const std::string &record) {
    return Le().u32(16).u32(1).u32(2).u32(1).u32(1).u32(24).raw(record);
}

// A record of one field: its u16 type, u32 id 7, then value bytes.
std::string RecordOf(uint16_t type, const std::string &value) {
    return Le().u32(4 + 6 + uint32_t(value.size())).u16(type).u32(7).raw(value);
}

}  // namespace

using SimpleDBCorruptTest = SimpleDBTest;

// Lengths, counts, offsets and texts are checked against the file before
// they are used; nothing is read out of range or allocated from a bad
// length (the tests run under AddressSanitizer too).
TEST_F(SimpleDBCorruptTest, MalformedFilesAreRefused) {
    const std::string valid = OneRecord(RecordOf(1, Le().u32(5)));
    const struct {
        const char *name;
        std::string bytes;
        DErrorCode error;
    } cases[] = {
        {"file shorter than its header", Le().u32(16).u32(1).u32(1), dbFieldSerialzeInError},
        {"header length past the end", Le().u32(0xFFFFFFF0).u32(1).u32(1).u32(0), dbFieldSerialzeInError},
        {"header length inside the header", Le().u32(8).u32(1).u32(1).u32(0), dbFieldSerialzeInError},
        {"huge entry count", Le().u32(16).u32(1).u32(1).u32(0x20000000).zeros(64), dbFieldSerialzeInError},
        {"record offset past the end", Le().u32(16).u32(1).u32(2).u32(1).u32(1).u32(1000), dbFieldSerialzeInError},
        {"record offset inside the index", Le().u32(16).u32(1).u32(2).u32(1).u32(1).u32(20).zeros(8),
         dbFieldSerialzeInError},
        {"two entries with one id", Le().u32(16).u32(1).u32(2).u32(2).u32(1).u32(32).u32(1).u32(32).u32(4),
         dbFieldSerialzeInError},
        {"file cut inside the record", valid.substr(0, valid.size() - 3), dbFieldSerialzeInError},
        {"record length past the end", OneRecord(Le().u32(0xFFFFFFFF).u16(1).u32(7).u32(5)), dbFieldSerialzeInError},
        {"record length below its own size", OneRecord(Le().u32(2).zeros(10)), dbFieldSerialzeInError},
        {"field cut short by the record", OneRecord(Le().u32(10).u16(1).u32(7).u32(5)), dbFieldSerialzeInError},
        {"one stray byte after the fields", OneRecord(Le().u32(5).u16(1)), dbFieldSerialzeInError},
        {"text length past the record", OneRecord(RecordOf(2, Le().u32(100).raw("ab"))), dbFieldSerialzeInError},
        {"text without its NUL", OneRecord(RecordOf(2, Le().u32(3).raw("abc"))), dbFieldSerialzeInError},
        {"empty text without its NUL", OneRecord(RecordOf(2, Le().u32(0))), dbFieldSerialzeInError},
        {"wide text without its 0 unit", OneRecord(RecordOf(3, Le().u32(4).u16('a').u16('b'))),
         dbFieldSerialzeInError},
        {"wide text of odd length", OneRecord(RecordOf(3, Le().u32(3).u16('a').zeros(1))), dbFieldSerialzeInError},
        {"data length past the record", OneRecord(RecordOf(4, Le().u32(0xFFFFFFF0).raw("ab"))),
         dbFieldSerialzeInError},
        {"tagged text length past the record", OneRecord(RecordOf(5, Le().u32(11).u32(50).raw("ab"))),
         dbFieldSerialzeInError},
        {"unknown field type", OneRecord(RecordOf(9, Le().u32(5))), dbFieldInvalidTypeError},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Put(kDBPath, c.bytes);
        Put(kSnapshotPath, c.bytes);
        DSimpleDBVFile db(&m_file);
        EXPECT_EQ(db.Open(kDBReadOnly, false), c.error);
        EXPECT_FALSE(db.IsOpen());

        // Read/write, records are read when first asked for.
        DErrorCode err = db.Open(kDBReadWrite, false);
        DSimpleDBRecord *record = nullptr;
        if (err == kNoError) err = db.GetRecordAt(0, &record);
        EXPECT_EQ(err, c.error);
        EXPECT_EQ(record, nullptr);
        db.Close();
    }

    // The untouched file reads well, so each case fails by its own fault.
    Put(kDBPath, valid);
    Put(kSnapshotPath, valid);
    DSimpleDBVFile db(&m_file);
    ASSERT_EQ(db.Open(kDBReadOnly, false), kNoError);
}

TEST_F(SimpleDBCorruptTest, MalformedFolderSyncKeysAreRefused) {
    const struct {
        const char *name;
        std::string bytes;
    } cases[] = {
        {"key length past the end", Le().u32(20).u32(1).u32(1).u32(0).u32(0xFFFFFFF0).raw("ab")},
        {"key without its NUL", Le().u32(23).u32(1).u32(1).u32(0).u32(3).raw("abc")},
        {"header length short of the key", Le().u32(20).u32(1).u32(1).u32(0).u32(2).raw(std::string("0\0", 2))},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Put(kDBPath, c.bytes);
        Put(kSnapshotPath, c.bytes);
        DEASFolderInfoStore store(&m_file);
        EXPECT_EQ(store.Open(kDBReadOnly, false), dbFieldSerialzeInError);
        EXPECT_EQ(store.Open(kDBReadWrite, false), dbFieldSerialzeInError);
    }
}

// A file that cannot be read as a database (empty as a create stopped
// early left it, cut short) is rebuilt from a snapshot that reads well;
// with none, an open with create begins it again and one without refuses.
TEST_F(SimpleDBCorruptTest, AnUnreadableFileIsRebuiltFromItsSnapshotOrBegunAgain) {
    const std::string good = OneRecord(RecordOf(1, Le().u32(5)));
    const std::string empty = Le().u32(16).u32(1).u32(1).u32(0);
    for (const std::string &bad : {std::string(), good.substr(0, 10), good.substr(0, good.size() - 3)}) {
        SCOPED_TRACE(bad.size());
        Put(kDBPath, bad);
        Put(kSnapshotPath, good);
        DSimpleDBVFile db(&m_file);
        ASSERT_EQ(db.Open(kDBReadWrite, false), kNoError);
        uint32_t count = 0;
        EXPECT_EQ(db.GetRecordCount(&count), kNoError);
        EXPECT_EQ(count, 1u);
        db.Close();
        EXPECT_EQ(Hex(Get(kDBPath)), Hex(good));

        Put(kDBPath, bad);
        std::remove(HostPath(kSnapshotPath).c_str());
        EXPECT_EQ(db.Open(kDBReadWrite, false), dbFieldSerialzeInError);
        ASSERT_EQ(db.Open(kDBReadWrite, true), kNoError);
        EXPECT_EQ(db.GetRecordCount(&count), kNoError);
        EXPECT_EQ(count, 0u);
        db.Close();
        EXPECT_EQ(Hex(Get(kDBPath)), Hex(empty));
        EXPECT_EQ(Get(kSnapshotPath), Get(kDBPath));
    }
}

// A folder stored with record id 0x7FFF7FFF (the links' "no parent") is not
// the parent of every top-level folder: removing its tree removes it alone.
TEST_F(SimpleDBCorruptTest, AFolderWithTheNoParentIdIsNobodysParent) {
    auto folder = [](const char *serverID) {
        return Le().u32(36).u16(1).u32(0).u32(kFolderTypeUserMail).u16(2).u32(1).u32(2).raw(std::string(serverID, 2))
            .u16(1).u32(5).u32(kQvUnknown);
    };
    const std::string file = Le().u32(20).u32(1).u32(2).u32(2).u32(0).u32(kQvUnknown).u32(36).u32(1).u32(72)
                                 .raw(folder("a")).raw(folder("b"));
    Put(kDBPath, file);
    Put(kSnapshotPath, file);
    DEASFolderInfoStore store(&m_file);
    ASSERT_EQ(store.Open(kDBReadWrite, false), kNoError);
    DEASFolderInfoRecord *a = nullptr, *child = nullptr;
    ASSERT_EQ(store.FindFolderByServerID("a", &a), kNoError);
    EXPECT_EQ(store.FindNextChild(a, &child), generalErrItemNotFound);
    ASSERT_EQ(store.RemoveFolderTree(a), kNoError);
    uint32_t count = 0;
    EXPECT_EQ(store.GetRecordCount(&count), kNoError);
    EXPECT_EQ(count, 1u);
}
