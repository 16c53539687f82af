#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "VFile.h"
#include "support/TestDevice.h"
#include "winfile.h"

namespace {

const WCHAR kPath[] = u"\\Temp\\a.bin";
const WCHAR kOther[] = u"\\Temp\\b.bin";

class VFileTest : public DeviceTest {
protected:
    void Put(const WCHAR *path, const std::string &bytes) {
        std::ofstream(Device().Host(path), std::ios::binary) << bytes;
    }
    std::string Get(const WCHAR *path) {
        std::ifstream in(Device().Host(path), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    bool HostExists(const WCHAR *path) { return std::filesystem::exists(Device().Host(path)); }
    // A VFile over path holding bytes, opened in mode.
    void OpenWith(VFile &f, const WCHAR *path, const std::string &bytes, int mode) {
        Put(path, bytes);
        ASSERT_EQ(f.SetFileName(path), kNoError);
        ASSERT_EQ(f.Open(mode), kNoError);
    }
    static uint32_t Size(const VFile &f) {
        uint32_t v = 0;
        f.GetSize(&v);
        return v;
    }
    static uint32_t Position(const VFile &f) {
        uint32_t v = 0;
        f.GetPosition(&v);
        return v;
    }
};

TEST_F(VFileTest, OpenReportsModeAndMissingFiles) {
    VFile f;
    f.SetFileName(kPath);
    EXPECT_EQ(f.Open(1), vfileErrFileNotFound);
    f.SetFileName(u"\\NoSuchFolder\\a.bin");
    EXPECT_EQ(f.Open(2), vfileErrFileNotFound);

    Put(kPath, "hello");
    f.SetFileName(kPath);
    EXPECT_EQ(f.Open(3), vfileErrInvalidOpenMode);
    ASSERT_EQ(f.Open(1), kNoError);
    EXPECT_EQ(f.GetOpenMode(), 1);
    EXPECT_EQ(Size(f), 5u);
    EXPECT_EQ(Position(f), 0u);
    EXPECT_EQ(f.Open(2), vfileErrFileAlreadyOpen);
    f.Close();
    bool open = true;
    f.IsOpen(&open);
    EXPECT_FALSE(open);
    EXPECT_EQ(Size(f), 5u);  // the size outlives the close
}

TEST_F(VFileTest, ReadOnlyFileRefusesReadWriteButOpensForReading) {
    Put(kPath, "abc");
    ASSERT_TRUE(SetFileAttributesW(kPath, FILE_ATTRIBUTE_READONLY));
    VFile f;
    f.SetFileName(kPath);
    EXPECT_EQ(f.Open(2), vfileErrInvalidOpenMode);
    bool open = true;
    f.IsOpen(&open);
    EXPECT_FALSE(open);
    EXPECT_EQ(f.Open(1), kNoError);
    f.Close();
    // Delete clears the read-only attribute itself.
    EXPECT_EQ(f.Delete(), kNoError);
    EXPECT_FALSE(HostExists(kPath));
}

TEST_F(VFileTest, FileHeldByAnotherOpenIsAccessDenied) {
    struct Case {
        int holder, opener;
        DErrorCode expected;
    };
    const Case cases[] = {{2, 1, vfileErrFileAccesDenied},
                          {2, 2, vfileErrFileAccesDenied},
                          {1, 2, vfileErrFileAccesDenied},
                          {1, 1, kNoError}};
    Put(kPath, "abc");
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "holder " << c.holder << " opener " << c.opener);
        VFile holder, opener;
        holder.SetFileName(kPath);
        opener.SetFileName(kPath);
        ASSERT_EQ(holder.Open(c.holder), kNoError);
        EXPECT_EQ(opener.Open(c.opener), c.expected);
    }
}

TEST_F(VFileTest, AClosedFileReportsTheSizeAnotherObjectWrote) {
    VFile reader;
    OpenWith(reader, u"\\grown.bin", "abc", kVFileRead);
    ASSERT_EQ(reader.Close(), kNoError);
    Put(u"\\grown.bin", "abcdefgh");
    EXPECT_EQ(Size(reader), 8u);
}

TEST_F(VFileTest, ShortReadReturnsWhatThereIsAndEOF) {
    VFile f;
    OpenWith(f, kPath, "0123456789", 1);
    char buf[16] = {};
    uint32_t got = 0;
    ASSERT_EQ(f.Seek(0, 6), kNoError);
    EXPECT_EQ(f.Read(10, buf, &got), vfileErrEOF);
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(std::string(buf, 4), "6789");
    EXPECT_EQ(Position(f), 10u);
    EXPECT_EQ(f.Read(0, buf, &got), kNoError);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(f.Write(1, "x", &got), vfileErrReadOnly);
    EXPECT_EQ(Get(kPath), "0123456789");
}

// Flushing needs a file open for writing; a closed or read-only one says so.
TEST_F(VFileTest, FlushNeedsAFileOpenForWriting) {
    VFile f;
    ASSERT_EQ(f.SetFileName(kPath), kNoError);
    EXPECT_EQ(f.Flush(), DErrorCode(ERROR_INVALID_HANDLE));
    OpenWith(f, kPath, "ab", 1);
    EXPECT_EQ(f.Flush(), vfileErrReadOnly);
    ASSERT_EQ(f.Close(), kNoError);
    ASSERT_EQ(f.Open(2), kNoError);
    uint32_t written = 0;
    ASSERT_EQ(f.Write(1, "c", &written), kNoError);
    EXPECT_EQ(f.Flush(), kNoError);
    EXPECT_EQ(Get(kPath), "cb");
}

TEST_F(VFileTest, WriteAdvancesAndGrowsAndReadInt32HonoursByteOrder) {
    VFile f;
    OpenWith(f, kPath, "ab", 2);
    ASSERT_EQ(f.Seek(2, -1), kNoError);
    uint32_t written = 0;
    EXPECT_EQ(f.Write(4, "\x01\x02\x03\x04", &written), kNoError);
    EXPECT_EQ(written, 4u);
    EXPECT_EQ(Position(f), 5u);
    EXPECT_EQ(Size(f), 5u);
    ASSERT_EQ(f.WriteFill(3, 0x7F), kNoError);
    EXPECT_EQ(Size(f), 8u);

    int32_t v = 0;
    f.SetPosition(1);
    ASSERT_EQ(f.ReadInt32(&v), kNoError);
    EXPECT_EQ(v, 0x04030201);
    f.SetBigEndian(true);
    f.SetPosition(1);
    ASSERT_EQ(f.ReadInt32(&v), kNoError);
    EXPECT_EQ(v, 0x01020304);
    EXPECT_EQ(f.ReadInt32(&v), vfileErrEOF);  // 3 bytes left
    f.Close();
    EXPECT_EQ(Get(kPath), std::string("a\x01\x02\x03\x04\x7F\x7F\x7F"));
}

TEST_F(VFileTest, SeekBoundsAndGrowth) {
    struct Case {
        int mode, origin;
        int32_t offset;
        DErrorCode expected;
        uint32_t size;  // file size afterwards
    };
    const Case cases[] = {
        {2, 2, 10, kNoError, 15},  // beyond the end grows with zeros
        {1, 2, 10, vfileErrEOF, 5},
        {2, 0, -1, vfileErrEOF, 5},
        {1, 1, 5, kNoError, 5},  // exactly at the end
        {2, 3, 0, vfileErrInvalidSeekMode, 5},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " origin " << c.origin << " offset " << c.offset);
        VFile f;
        OpenWith(f, kPath, "hello", c.mode);
        EXPECT_EQ(f.Seek(c.origin, c.offset), c.expected);
        EXPECT_EQ(Size(f), c.size);
        f.Close();
        EXPECT_EQ(Get(kPath), std::string("hello") + std::string(c.size - 5, '\0'));
    }
}

TEST_F(VFileTest, SetSizeCutsAndExtendsKeepingThePositionInside) {
    VFile f;
    OpenWith(f, kPath, "abcdef", 2);
    f.SetPosition(5);
    ASSERT_EQ(f.SetSize(3), kNoError);
    EXPECT_EQ(Size(f), 3u);
    EXPECT_EQ(Position(f), 3u);
    ASSERT_EQ(f.SetSize(6), kNoError);
    EXPECT_EQ(Position(f), 3u);
    // The file stays held while its size changes.
    VFile other;
    other.SetFileName(kPath);
    EXPECT_EQ(other.Open(1), vfileErrFileAccesDenied);
    f.Close();
    EXPECT_EQ(Get(kPath), std::string("abc\0\0\0", 6));

    // A closed file is opened just for the change; a read-only open refuses it.
    EXPECT_EQ(f.SetSize(2), kNoError);
    EXPECT_EQ(Get(kPath), "ab");
    ASSERT_EQ(f.Open(1), kNoError);
    EXPECT_EQ(f.SetSize(1), vfileErrReadOnly);
}

TEST_F(VFileTest, InsertAndRemoveBytes) {
    VFile f;
    OpenWith(f, kPath, "abcdef", 2);
    f.SetPosition(2);
    ASSERT_EQ(f.Insert("XYZ", 3), kNoError);
    EXPECT_EQ(Position(f), 5u);
    EXPECT_EQ(Size(f), 9u);
    f.Close();
    EXPECT_EQ(Get(kPath), "abXYZcdef");

    OpenWith(f, kPath, "abcdef", 2);
    f.SetPosition(1);
    EXPECT_EQ(f.RemoveBytes(10), vfileErrEOF);
    ASSERT_EQ(f.RemoveBytes(2), kNoError);
    EXPECT_EQ(Position(f), 1u);
    EXPECT_EQ(Size(f), 4u);
    f.Close();
    EXPECT_EQ(Get(kPath), "adef");
}

// Moves across several transfer chunks, with overlapping source and target.
TEST_F(VFileTest, MoveDataKeepsOverlappingRanges) {
    struct Case {
        uint32_t size, position;
        int32_t delta;
        uint32_t length;
    };
    const uint32_t big = 2 * kVFileChunkSize + 1000;
    const Case cases[] = {
        {big, 100, 1000, kVFileToEnd},             // opens a gap, grows the file
        {big, 5000, -1000, kVFileToEnd},           // closes a gap
        {big, 10, 1000, kVFileChunkSize + 7},      // inside the file
        {big, 300000, -299990, 200000},            // far down, part of the file
        {16, 0, 16, 16},                           // right after itself
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "position " << c.position << " delta " << c.delta);
        std::string bytes(c.size, '\0');
        for (uint32_t i = 0; i < c.size; ++i) bytes[i] = static_cast<char>(i * 7 % 251);
        uint32_t length = c.length == kVFileToEnd ? c.size - c.position : c.length;
        std::string expected = bytes;
        size_t end = c.position + c.delta + length;
        if (end > expected.size()) expected.resize(end, '\0');
        expected.replace(c.position + c.delta, length, bytes, c.position, length);

        VFile f;
        OpenWith(f, kPath, bytes, 2);
        f.SetPosition(c.position);
        ASSERT_EQ(f.MoveData(c.delta, c.length), kNoError);
        EXPECT_EQ(Position(f), c.position);
        EXPECT_EQ(Size(f), expected.size());
        f.Close();
        EXPECT_TRUE(Get(kPath) == expected);
    }
}

TEST_F(VFileTest, MoveDataRefusesRangesOutsideTheFile) {
    VFile f;
    OpenWith(f, kPath, "abcdef", 2);
    f.SetPosition(2);
    EXPECT_EQ(f.MoveData(1, 5), vfileErrEOF);   // source past the end
    EXPECT_EQ(f.MoveData(-3, 2), vfileErrEOF);  // target before the start
    EXPECT_EQ(Position(f), 2u);
    f.Close();
    EXPECT_EQ(Get(kPath), "abcdef");
}

TEST_F(VFileTest, TemporaryFileIsRemovedOnRelease) {
    VFile f;
    ASSERT_EQ(f.CreateTemp(), kNoError);
    EXPECT_EQ(f.GetOpenMode(), 2);
    WCHAR full[MAX_PATH], name[MAX_PATH];
    ASSERT_EQ(f.GetFileName(full, MAX_PATH, name, MAX_PATH), kNoError);
    EXPECT_EQ(std::u16string(name).rfind(u"$KW", 0), 0u);
    EXPECT_EQ(f.Write(3, "abc", nullptr), kNoError);
    ASSERT_NE(GetFileAttributesW(full), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(f.Release(), kNoError);
    EXPECT_EQ(GetFileAttributesW(full), INVALID_FILE_ATTRIBUTES);

    {
        VFile g;
        ASSERT_EQ(g.CreateTemp(), kNoError);
        g.GetFileName(full, MAX_PATH, nullptr, 0);
    }
    EXPECT_EQ(GetFileAttributesW(full), INVALID_FILE_ATTRIBUTES);
}

TEST_F(VFileTest, CopyToReplacesDestinationAndRestoresOpenStates) {
    const std::string content(kVFileChunkSize + 123, 'q');
    Put(kOther, "old destination content");
    VFile src, dest;
    src.SetFileName(kPath);
    dest.SetFileName(kOther);
    Put(kPath, content);

    ASSERT_EQ(dest.Open(1), kNoError);
    ASSERT_EQ(src.CopyTo(dest), kNoError);
    EXPECT_EQ(src.GetOpenMode(), 0);
    EXPECT_EQ(dest.GetOpenMode(), 1);
    dest.Close();
    EXPECT_TRUE(Get(kOther) == content);

    // An open source keeps its position.
    ASSERT_EQ(src.Open(2), kNoError);
    src.SetPosition(7);
    ASSERT_EQ(src.CopyTo(dest), kNoError);
    EXPECT_EQ(src.GetOpenMode(), 2);
    EXPECT_EQ(Position(src), 7u);
    EXPECT_EQ(dest.GetOpenMode(), 0);
    src.Close();
    EXPECT_TRUE(Get(kOther) == content);
}

TEST_F(VFileTest, FailedCopyLeavesNoDestination) {
    VFile src, dest;
    src.SetFileName(u"\\Temp\\missing.bin");
    dest.SetFileName(kOther);
    Put(kOther, "old");
    EXPECT_EQ(src.CopyTo(dest), vfileErrFileNotFound);
    EXPECT_FALSE(HostExists(kOther));
}

TEST_F(VFileTest, CreateEmptiesAnExistingFileAndLeavesItClosed) {
    Put(kPath, "content");
    VFile f;
    f.SetFileName(kPath);
    bool exists = false;
    f.Exists(&exists);
    EXPECT_TRUE(exists);
    ASSERT_EQ(f.Create(), kNoError);
    EXPECT_EQ(f.GetOpenMode(), 0);
    EXPECT_EQ(Get(kPath), "");
    EXPECT_EQ(f.Delete(), kNoError);
    f.Exists(&exists);
    EXPECT_FALSE(exists);
    EXPECT_EQ(f.Delete(), kNoError);  // already gone
}

TEST_F(VFileTest, GetFileNameNeverWritesPastItsBuffers) {
    struct Case {
        uint32_t fullCapacity, nameCapacity;
        DErrorCode expected;
        const char16_t *full, *name;
    };
    // "\Temp\a.bin" is 11 units, "a.bin" 5.
    const Case cases[] = {
        {12, 6, kNoError, u"\\Temp\\a.bin", u"a.bin"},
        {11, 6, generalErrBufferTooSmall, u"", u"a.bin"},
        {12, 5, generalErrBufferTooSmall, u"\\Temp\\a.bin", u""},
    };
    VFile f;
    f.SetFileName(kPath);
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.fullCapacity << "/" << c.nameCapacity);
        WCHAR full[16], name[16];
        std::fill(std::begin(full), std::end(full), u'#');
        std::fill(std::begin(name), std::end(name), u'#');
        EXPECT_EQ(f.GetFileName(full, c.fullCapacity, name, c.nameCapacity), c.expected);
        EXPECT_EQ(std::u16string(full), c.full);
        EXPECT_EQ(std::u16string(name), c.name);
        EXPECT_EQ(full[c.fullCapacity], u'#');
        EXPECT_EQ(name[c.nameCapacity], u'#');
    }
    WCHAR untouched = u'#';
    EXPECT_EQ(f.GetFileName(&untouched, 0, nullptr, 0), generalErrBufferTooSmall);
    EXPECT_EQ(untouched, u'#');
}

}  // namespace
