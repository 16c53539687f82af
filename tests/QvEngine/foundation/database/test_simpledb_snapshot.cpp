#include <gtest/gtest.h>
#include <sys/stat.h>

#include "DSimpleDBRecordFields.h"
#include "DSimpleDBVFile.h"
#include "simpledbtestutil.h"

namespace {

constexpr WCHAR kTempCopyPath[] = u"\\Temp\\test.ro.tmp";

class SimpleDBSnapshotTest : public SimpleDBTest {
protected:
    // Adds a record holding one text field and saves.
    void AddText(DSimpleDBVFile &db, const char *text) {
        DSimpleDBRecord *record = nullptr;
        ASSERT_EQ(db.CreateRecord(&record), kNoError);
        DSimpleDBRecordField *field = nullptr;
        ASSERT_EQ(record->CreateField(kDBFieldNarrowString, 1, &field), kNoError);
        static_cast<DSimpleDBRecordField_NarrowString *>(field)->SetText(text);
        ASSERT_EQ(db.Save(), kNoError);
    }
    uint32_t Count(DSimpleDBVFile &db) {
        uint32_t count = 0;
        EXPECT_EQ(db.GetRecordCount(&count), kNoError);
        return count;
    }
    ino_t Inode(const WCHAR *path) {
        struct stat st = {};
        stat(HostPath(path).c_str(), &st);
        return st.st_ino;
    }
};

}  // namespace

TEST_F(SimpleDBSnapshotTest, SaveReplacesTheSnapshotWhole) {
    DSimpleDBVFile writer(&m_file);
    ASSERT_EQ(writer.Open(kDBReadWrite, true), kNoError);
    AddText(writer, "first");
    const std::string oldSnapshot = Get(kSnapshotPath);
    const ino_t oldInode = Inode(kSnapshotPath);
    // A copy that a crash left behind, and a reader of the old snapshot that
    // is not a handle of the device (so it does not hold the save up).
    Put(kTempCopyPath, "junk");
    std::ifstream oldReader(HostPath(kSnapshotPath), std::ios::binary);

    AddText(writer, "second");
    // The old snapshot was replaced, not rewritten: its reader still has all of it.
    EXPECT_NE(Inode(kSnapshotPath), oldInode);
    std::string seen((std::istreambuf_iterator<char>(oldReader)), std::istreambuf_iterator<char>());
    EXPECT_EQ(Hex(seen), Hex(oldSnapshot));
    EXPECT_EQ(Get(kSnapshotPath), Get(kDBPath));
    EXPECT_FALSE(HostExists(kTempCopyPath));

    // Readers load the snapshot while the writer holds the database.
    VFile name;
    name.CopyFileName(m_file);
    DSimpleDBVFile reader(&name);
    ASSERT_EQ(reader.Open(kDBReadOnly, false), kNoError);
    EXPECT_EQ(Count(reader), 2u);
}

TEST_F(SimpleDBSnapshotTest, ReadOnlyOpenRestoresAMissingSnapshot) {
    {
        DSimpleDBVFile writer(&m_file);
        ASSERT_EQ(writer.Open(kDBReadWrite, true), kNoError);
        AddText(writer, "kept");
    }
    // As after a crash between a save's write and its snapshot.
    std::remove(HostPath(kSnapshotPath).c_str());
    DSimpleDBVFile reader(&m_file);
    ASSERT_EQ(reader.Open(kDBReadOnly, false), kNoError);
    EXPECT_EQ(Count(reader), 1u);
    EXPECT_EQ(Get(kSnapshotPath), Get(kDBPath));
    EXPECT_FALSE(HostExists(kTempCopyPath));
}

TEST_F(SimpleDBSnapshotTest, ReadOnlyOpenWithCreateMakesBothFiles) {
    DSimpleDBVFile reader(&m_file);
    ASSERT_EQ(reader.Open(kDBReadOnly, true), kNoError);
    EXPECT_EQ(Count(reader), 0u);
    EXPECT_EQ(Hex(Get(kDBPath)), Hex(Le().u32(16).u32(1).u32(1).u32(0)));
    EXPECT_EQ(Get(kSnapshotPath), Get(kDBPath));
}
