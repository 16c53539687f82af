#include <gtest/gtest.h>

#include "ByteOrder.h"
#include "DPtrList.h"
#include "DSimpleDBRecordFields.h"
#include "DSimpleDBVFile.h"
#include "simpledbtestutil.h"

namespace {

// Offset of the record that index entry i names, read from the file's bytes.
uint32_t OffsetOf(const std::string &file, uint32_t i) {
    return GetUInt32(reinterpret_cast<const BYTE *>(file.data()) + 16 + 8 * i + 4);
}

template <class T>
T *AddField(DSimpleDBRecord *record, uint16_t type, uint32_t id) {
    DSimpleDBRecordField *field = nullptr;
    EXPECT_EQ(record->CreateField(type, id, &field), kNoError);
    return static_cast<T *>(field);
}

template <class T>
T *Field(DSimpleDBRecord *record, uint32_t id) {
    return static_cast<T *>(record->FindField(id));
}

}  // namespace

TEST(DPtrListTest, IndexesFollowAdditionsAndRemovals) {
    int items[4] = {0, 1, 2, 3};
    DPtrList list;
    for (int &item : items) ASSERT_EQ(list.AddTail(&item), kNoError);
    int *got = nullptr;
    ASSERT_EQ(list.GetAt(3, &got), kNoError);  // remembered node beyond the next lookups
    ASSERT_EQ(list.RemoveAt(1), kNoError);
    for (uint32_t i = 0; i < 3; ++i) {
        ASSERT_EQ(list.GetAt(i, &got), kNoError);
        EXPECT_EQ(*got, int(i == 0 ? 0 : i + 1));
    }
    EXPECT_EQ(list.GetAt(3, &got), generalErrIndexOutOfRange);
    EXPECT_EQ(list.GetAt(0, static_cast<void **>(nullptr)), generalErrInvalidParameter);
    EXPECT_EQ(list.RemoveAt(3), generalErrIndexOutOfRange);
    list.RemoveAll();
    EXPECT_EQ(list.GetCount(), 0u);
}

TEST_F(SimpleDBTest, FirstRecordMovesOnceWhenTheIndexGrows) {
    DSimpleDBVFile db(&m_file);
    ASSERT_EQ(db.Create(), kNoError);
    EXPECT_EQ(Hex(Get(kDBPath)), Hex(Le().u32(16).u32(1).u32(1).u32(0)));
    EXPECT_EQ(Get(kSnapshotPath), Get(kDBPath));

    ASSERT_EQ(db.Open(kDBReadWrite, false), kNoError);
    DSimpleDBRecord *record = nullptr;
    ASSERT_EQ(db.CreateRecord(&record), kNoError);
    EXPECT_EQ(record->GetRecordID(), 1u);
    AddField<DSimpleDBRecordField_Int32>(record, kDBFieldInt32, 7)->SetValue(0x11223344);
    ASSERT_EQ(db.Save(), kNoError);

    // Written at 16 (the end of the file), then moved to 30 when the index
    // took 16-23; 24-29 keep the old copy's last six bytes.
    const std::string rec = Le().u32(14).u16(1).u32(7).u32(0x11223344);
    const std::string expected = Le().u32(16).u32(1).u32(2).u32(1).u32(1).u32(30).raw(rec.substr(8)).raw(rec);
    EXPECT_EQ(Hex(Get(kDBPath)), Hex(expected));
    EXPECT_EQ(Get(kSnapshotPath), Get(kDBPath));
}

TEST_F(SimpleDBTest, EveryFieldTypeIsStoredInItsFormAndReadBack) {
    VString utf8, wide;
    ASSERT_EQ(utf8.AssignCStr("x\xC3\xA9", kVStringUTF8), kNoError);
    ASSERT_EQ(wide.AssignWide(u"ok", kQvUnknown, kVStringUTF16LE), kNoError);
    const BYTE data[] = {0, 1, 0xFF};
    {
        DSimpleDBVFile db(&m_file);
        ASSERT_EQ(db.Open(kDBReadWrite, true), kNoError);
        DSimpleDBRecord *record = nullptr;
        ASSERT_EQ(db.CreateRecord(&record), kNoError);
        AddField<DSimpleDBRecordField_Int32>(record, kDBFieldInt32, 1)->SetValue(0xFFFFFFFE);
        AddField<DSimpleDBRecordField_NarrowString>(record, kDBFieldNarrowString, 2)->SetText("abc");
        AddField<DSimpleDBRecordField_NarrowString>(record, kDBFieldNarrowString, 3)->SetText("");
        AddField<DSimpleDBRecordField_WideString>(record, kDBFieldWideString, 4)->SetText(u"h\u00E9");
        AddField<DSimpleDBRecordField_WideString>(record, kDBFieldWideString, 5)->SetText(u"");
        AddField<DSimpleDBRecordField_Data>(record, kDBFieldData, 6)->SetBytes(data, sizeof data);
        AddField<DSimpleDBRecordField_VString>(record, kDBFieldVString, 7)->SetText(utf8);
        AddField<DSimpleDBRecordField_VString>(record, kDBFieldVString, 8)->SetText(wide);
        ASSERT_EQ(db.Save(), kNoError);
    }
    const std::string fields = Le()
                                   .u16(1).u32(1).u32(0xFFFFFFFE)
                                   .u16(2).u32(2).u32(4).raw(std::string("abc\0", 4))
                                   .u16(2).u32(3).u32(1).zeros(1)
                                   .u16(3).u32(4).u32(6).u16('h').u16(0xE9).u16(0)
                                   .u16(3).u32(5).u32(2).u16(0)
                                   .u16(4).u32(6).u32(3).raw(std::string("\0\1\xFF", 3))
                                   .u16(5).u32(7).u32(11).u32(3).raw("x\xC3\xA9")
                                   .u16(5).u32(8).u32(1).u32(4).u16('o').u16('k');
    const std::string file = Get(kDBPath);
    ASSERT_EQ(OffsetOf(file, 0) + 4 + fields.size(), file.size());
    EXPECT_EQ(Hex(file.substr(OffsetOf(file, 0))), Hex(Le().u32(4 + uint32_t(fields.size())).raw(fields)));

    for (int mode : {kDBReadWrite, kDBReadOnly}) {
        SCOPED_TRACE(mode);
        DSimpleDBVFile db(&m_file);
        ASSERT_EQ(db.Open(mode, false), kNoError);
        DSimpleDBRecord *record = nullptr;
        ASSERT_EQ(db.GetRecordByID(1, &record), kNoError);
        EXPECT_FALSE(record->IsModified());
        EXPECT_EQ(Field<DSimpleDBRecordField_Int32>(record, 1)->GetValue(), 0xFFFFFFFEu);
        EXPECT_STREQ(Field<DSimpleDBRecordField_NarrowString>(record, 2)->GetText(), "abc");
        EXPECT_STREQ(Field<DSimpleDBRecordField_NarrowString>(record, 3)->GetText(), "");
        EXPECT_EQ(std::u16string(Field<DSimpleDBRecordField_WideString>(record, 4)->GetText()), u"h\u00E9");
        EXPECT_EQ(std::u16string(Field<DSimpleDBRecordField_WideString>(record, 5)->GetText()), u"");
        auto *bytes = Field<DSimpleDBRecordField_Data>(record, 6);
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(bytes->GetBytes()), bytes->GetLength()),
                  std::string("\0\1\xFF", 3));
        VString text;
        ASSERT_EQ(Field<DSimpleDBRecordField_VString>(record, 7)->GetText(&text), kNoError);
        EXPECT_EQ(text.GetEncoding(), kVStringUTF8);
        EXPECT_STREQ(text.GetNarrowText(), "x\xC3\xA9");
        ASSERT_EQ(Field<DSimpleDBRecordField_VString>(record, 8)->GetText(&text), kNoError);
        EXPECT_EQ(text.GetEncoding(), kVStringUTF16LE);
        EXPECT_EQ(std::u16string(text.GetWideText()), u"ok");
    }
}

// A save never writes over what the stored index names (a process stopped
// in the middle must leave the old state whole): a changed record goes to
// dead bytes that hold it, else to the end, and saves keep reusing the dead
// bytes, so the file does not grow with each save.
TEST_F(SimpleDBTest, ChangedRecordsGoToDeadBytesOrTheEndNeverOverTheirStoredCopy) {
    DSimpleDBVFile db(&m_file);
    ASSERT_EQ(db.Open(kDBReadWrite, true), kNoError);
    DSimpleDBRecord *first = nullptr, *second = nullptr;
    ASSERT_EQ(db.CreateRecord(&first), kNoError);
    ASSERT_EQ(db.CreateRecord(&second), kNoError);
    AddField<DSimpleDBRecordField_NarrowString>(first, kDBFieldNarrowString, 1)->SetText("abcd");
    AddField<DSimpleDBRecordField_NarrowString>(second, kDBFieldNarrowString, 1)->SetText("x");
    ASSERT_EQ(db.Save(), kNoError);
    // The first record moved out of the grown index's way, past the second.
    std::string before = Get(kDBPath);
    ASSERT_LT(OffsetOf(before, 1), OffsetOf(before, 0));

    // Growing the record that another follows moves it to the end.
    Field<DSimpleDBRecordField_NarrowString>(second, 1)->SetText("xyzxyz");
    ASSERT_EQ(db.Save(), kNoError);
    std::string after = Get(kDBPath);
    EXPECT_EQ(OffsetOf(after, 1), before.size());
    EXPECT_EQ(OffsetOf(after, 0), OffsetOf(before, 0));

    // Shrinking it, and changing the other without growing it: the first
    // takes the dead bytes at 32-50 (what the index growth and the second's
    // move left), the second, for which no dead bytes are left, the end.
    before = after;
    Field<DSimpleDBRecordField_NarrowString>(second, 1)->SetText("y");
    Field<DSimpleDBRecordField_NarrowString>(first, 1)->SetText("dcba");
    ASSERT_EQ(db.Save(), kNoError);
    after = Get(kDBPath);
    EXPECT_EQ(OffsetOf(after, 0), 32u);
    EXPECT_EQ(OffsetOf(after, 1), before.size());

    // Many more saves of both: the file stays within the live bytes twice over
    // and the dead bytes between.
    const size_t settled = after.size();
    for (int i = 0; i < 40; ++i) {
        Field<DSimpleDBRecordField_NarrowString>(first, 1)->SetText(i % 2 ? "abcd" : "dcba");
        Field<DSimpleDBRecordField_NarrowString>(second, 1)->SetText(i % 3 ? "y" : "zz");
        ASSERT_EQ(db.Save(), kNoError);
    }
    EXPECT_LE(Get(kDBPath).size(), settled + 40);
    Field<DSimpleDBRecordField_NarrowString>(first, 1)->SetText("dcba");
    Field<DSimpleDBRecordField_NarrowString>(second, 1)->SetText("y");
    ASSERT_EQ(db.Save(), kNoError);
    db.Close();

    ASSERT_EQ(db.Open(kDBReadOnly, false), kNoError);
    DSimpleDBRecord *record = nullptr;
    ASSERT_EQ(db.GetRecordAt(0, &record), kNoError);
    EXPECT_STREQ(Field<DSimpleDBRecordField_NarrowString>(record, 1)->GetText(), "dcba");
    ASSERT_EQ(db.GetRecordAt(1, &record), kNoError);
    EXPECT_STREQ(Field<DSimpleDBRecordField_NarrowString>(record, 1)->GetText(), "y");
}

TEST_F(SimpleDBTest, EmptyRecordsAreDroppedAndAnEmptyDatabaseShrinksToItsHeader) {
    DSimpleDBVFile db(&m_file);
    ASSERT_EQ(db.Open(kDBReadWrite, true), kNoError);
    DSimpleDBRecord *kept = nullptr, *untouched = nullptr;
    ASSERT_EQ(db.CreateRecord(&untouched), kNoError);
    ASSERT_EQ(db.CreateRecord(&kept), kNoError);
    AddField<DSimpleDBRecordField_Int32>(kept, kDBFieldInt32, 1);
    ASSERT_EQ(db.Save(), kNoError);
    uint32_t count = 0;
    ASSERT_EQ(db.GetRecordCount(&count), kNoError);
    EXPECT_EQ(count, 1u);
    uint32_t index = 0;
    EXPECT_EQ(db.FindRecordIndex(2, &index), kNoError);
    EXPECT_EQ(db.FindRecordIndex(1, &index), generalErrItemNotFound);

    ASSERT_EQ(db.RemoveRecordByID(2), kNoError);
    ASSERT_EQ(db.Save(), kNoError);
    EXPECT_EQ(Hex(Get(kDBPath)), Hex(Le().u32(16).u32(1).u32(1).u32(0)));
    DSimpleDBRecord *record = nullptr;
    ASSERT_EQ(db.CreateRecord(&record), kNoError);
    EXPECT_EQ(record->GetRecordID(), 1u);
}

// 0 and 0x7FFF7FFF mean "no record" to the callers' links, so no record
// gets them: not after a wrap, not from a stored next id.
TEST_F(SimpleDBTest, NewRecordIdsSkipIdsInUseWrapAndNeverTakeTheReservedIds) {
    const struct {
        uint32_t next, inUse, first, second;
    } cases[] = {
        {0xFFFFFFFF, 0xFFFFFFFF, 1, 2},  // in use, then the wrap passes 0
        {0xFFFFFFFF, 5, 0xFFFFFFFF, 1},
        {0x7FFF7FFE, 0x7FFF7FFE, 0x7FFF8000, 0x7FFF8001},
        {0x7FFF7FFF, 1, 2, 3},  // a stored next id that is reserved
        {0, 9, 1, 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.next);
        Put(kDBPath, Le().u32(16).u32(1).u32(c.next).u32(1).u32(c.inUse).u32(24).u32(4));
        Put(kSnapshotPath, Get(kDBPath));
        DSimpleDBVFile db(&m_file);
        ASSERT_EQ(db.Open(kDBReadWrite, false), kNoError);
        DSimpleDBRecord *record = nullptr;
        ASSERT_EQ(db.CreateRecord(&record), kNoError);
        EXPECT_EQ(record->GetRecordID(), c.first);
        ASSERT_EQ(db.CreateRecord(&record), kNoError);
        EXPECT_EQ(record->GetRecordID(), c.second);
    }
}

TEST_F(SimpleDBTest, StateAndArgumentErrors) {
    DSimpleDBVFile db(&m_file);
    uint32_t count = 0;
    DSimpleDBRecord *record = nullptr;
    EXPECT_EQ(db.Open(kDBReadWrite, false), vfileErrFileNotFound);
    EXPECT_EQ(db.Open(kDBReadOnly, false), vfileErrFileNotFound);
    EXPECT_EQ(db.GetRecordCount(&count), dbIsNotReadyError);
    EXPECT_EQ(db.CreateRecord(&record), dbIsNotReadyError);
    EXPECT_EQ(db.Save(), dbIsNotReadyError);

    ASSERT_EQ(db.Create(), kNoError);
    EXPECT_EQ(db.Create(), dbErrDatabaseAlreadyExists);
    ASSERT_EQ(db.Open(kDBReadOnly, false), kNoError);
    EXPECT_EQ(db.Open(kDBReadWrite, false), dbErrDatabaseAlreadyOpen);
    EXPECT_EQ(db.Save(), dbIsNotReadyError);
    ASSERT_EQ(db.CreateRecord(&record), kNoError);
    DSimpleDBRecordField *field = nullptr;
    EXPECT_EQ(record->CreateField(0, 1, &field), dbFieldInvalidTypeError);
    EXPECT_EQ(record->CreateField(6, 1, &field), dbFieldInvalidTypeError);
    EXPECT_EQ(record->RemoveField(1), generalErrItemNotFound);
    EXPECT_EQ(db.GetRecordAt(1, &record), generalErrIndexOutOfRange);
    EXPECT_EQ(db.RemoveRecordAt(1), generalErrIndexOutOfRange);
}

TEST_F(SimpleDBTest, DeleteRemovesTheFileAndItsSnapshot) {
    DSimpleDBVFile db(&m_file);
    ASSERT_EQ(db.Open(kDBReadWrite, true), kNoError);
    ASSERT_TRUE(HostExists(kSnapshotPath));
    ASSERT_EQ(db.Delete(), kNoError);
    EXPECT_FALSE(db.IsOpen());
    EXPECT_FALSE(HostExists(kDBPath));
    EXPECT_FALSE(HostExists(kSnapshotPath));
}
