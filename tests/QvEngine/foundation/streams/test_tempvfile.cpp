#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "TempFileSweep.h"
#include "TempVFile.h"
#include "support/TestDevice.h"
#include "winfile.h"

namespace {

class TempVFileTest : public DeviceTest {};

std::u16string NameOf(const VFile &f) {
    WCHAR full[MAX_PATH];
    EXPECT_EQ(f.GetFileName(full, MAX_PATH, nullptr, 0), kNoError);
    return full;
}

bool FileExists(const std::u16string &path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void MakeFile(const char16_t *path) {
    HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
}

// Runs body in a child process that then ends as a killed one would (no
// destructors, no clean-up); returns the child's exit code.
template <typename Body>
int InChildProcess(Body body) {
    pid_t child = fork();
    if (child == 0) _exit(body());
    int status = -1;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Temporary files that a killed child process left: one open, one closed.
std::vector<std::u16string> LeaveStaleTempFiles() {
    int pipeFds[2];
    EXPECT_EQ(pipe(pipeFds), 0);
    int rc = InChildProcess([&] {
        auto *open = new VFile;
        auto *closed = new VFile;
        if (open->CreateTemp() != kNoError || closed->CreateTemp() != kNoError) return 1;
        closed->Close();
        for (VFile *f : {open, closed}) {
            std::u16string name = NameOf(*f);
            name.resize(MAX_PATH);
            if (write(pipeFds[1], name.data(), MAX_PATH * sizeof(WCHAR)) != MAX_PATH * sizeof(WCHAR)) return 1;
        }
        return 0;
    });
    EXPECT_EQ(rc, 0);
    std::vector<std::u16string> names;
    for (int i = 0; i < 2 && rc == 0; ++i) {
        std::u16string name(MAX_PATH, 0);
        EXPECT_EQ(read(pipeFds[0], &name[0], MAX_PATH * sizeof(WCHAR)), ssize_t(MAX_PATH * sizeof(WCHAR)));
        names.push_back(name.c_str());
    }
    close(pipeFds[0]);
    close(pipeFds[1]);
    return names;
}

TEST_F(TempVFileTest, GivesAFreshEmptyOpenTemporaryFile) {
    VFile *made = nullptr;
    ASSERT_EQ(EnsureTempVFile(&made), kNoError);
    std::unique_ptr<VFile> owned(made);
    ASSERT_NE(made, nullptr);

    VFile given;
    VFile *file = &given;
    ASSERT_EQ(EnsureTempVFile(&file), kNoError);
    EXPECT_EQ(file, &given);

    for (VFile *f : {made, &given}) {
        uint32_t size = 99;
        EXPECT_EQ(f->GetOpenMode(), kVFileReadWrite);
        ASSERT_EQ(f->GetSize(&size), kNoError);
        EXPECT_EQ(size, 0u);
    }
    WCHAR a[MAX_PATH], b[MAX_PATH];
    ASSERT_EQ(made->GetFileName(a, MAX_PATH, nullptr, 0), kNoError);
    ASSERT_EQ(given.GetFileName(b, MAX_PATH, nullptr, 0), kNoError);
    EXPECT_NE(std::u16string(a), std::u16string(b));
}

// A temporary VFile given a new temporary file deletes its old one.
TEST_F(TempVFileTest, NamingATemporaryFileAgainDeletesTheOldOne) {
    VFile f;
    ASSERT_EQ(f.CreateTemp(), kNoError);
    const std::u16string first = NameOf(f);
    ASSERT_EQ(f.Write(3, "abc", nullptr), kNoError);
    VFile *given = &f;
    ASSERT_EQ(EnsureTempVFile(&given), kNoError);
    const std::u16string second = NameOf(f);
    ASSERT_EQ(f.MakeTempName(), kNoError);
    const std::u16string third = NameOf(f);
    EXPECT_FALSE(FileExists(first));
    EXPECT_FALSE(FileExists(second));
    EXPECT_TRUE(FileExists(third));
    ASSERT_EQ(f.Release(), kNoError);
    EXPECT_FALSE(FileExists(third));
}

// The sweep takes the temporary files of ended processes, open or closed
// when they ended; files a live VFile keeps (closed, deleted and made
// again, or open) and files of other names stay.
TEST_F(TempVFileTest, SweepTakesOnlyWhatEndedProcessesLeft) {
    // The live files first: this process's own start sweep is then behind
    // it, and the child's start sweep must pass them by.
    VFile closedLive, recreatedLive, openLive;
    ASSERT_EQ(closedLive.CreateTemp(), kNoError);
    ASSERT_EQ(closedLive.Close(), kNoError);
    ASSERT_EQ(recreatedLive.CreateTemp(), kNoError);
    ASSERT_EQ(recreatedLive.Delete(), kNoError);
    ASSERT_EQ(recreatedLive.Create(), kNoError);
    ASSERT_EQ(openLive.CreateTemp(), kNoError);
    const std::vector<std::u16string> stale = LeaveStaleTempFiles();
    ASSERT_EQ(stale.size(), 2u);
    for (const auto &name : stale) ASSERT_TRUE(FileExists(name));
    const char16_t *others[] = {u"\\Temp\\$KW12345.TMP", u"\\Temp\\$KWXYZW.TMP", u"\\Temp\\KW1234.TMP",
                                u"\\Temp\\$KW1234.TXT", u"\\Temp\\report.tmp"};
    for (const char16_t *other : others) MakeFile(other);

    uint32_t removed = 0;
    ASSERT_EQ(SweepStaleTempFiles(&removed), kNoError);
    EXPECT_EQ(removed, 2u);
    for (const auto &name : stale) EXPECT_FALSE(FileExists(name));
    for (const VFile *live : {&closedLive, &recreatedLive, &openLive}) EXPECT_TRUE(FileExists(NameOf(*live)));
    for (const char16_t *other : others) EXPECT_TRUE(FileExists(other));

    // A live file can still be opened, written and removed by its VFile.
    ASSERT_EQ(closedLive.Open(kVFileReadWrite), kNoError);
    EXPECT_EQ(closedLive.Write(2, "ok", nullptr), kNoError);
    const std::u16string name = NameOf(closedLive);
    ASSERT_EQ(closedLive.Release(), kNoError);
    EXPECT_FALSE(FileExists(name));
}

// A process's first temporary file sweeps what killed processes left.
TEST_F(TempVFileTest, FirstTemporaryFileOfAProcessSweeps) {
    const std::vector<std::u16string> stale = LeaveStaleTempFiles();
    ASSERT_EQ(stale.size(), 2u);
    // A new process: its first temporary file is its start.
    int rc = InChildProcess([&] {
        VFile f;
        if (f.CreateTemp() != kNoError) return 1;
        for (const auto &name : stale)
            if (FileExists(name) && name != NameOf(f)) return 2;  // a swept name may be made again
        return 0;
    });
    EXPECT_EQ(rc, 0);
}

}  // namespace
