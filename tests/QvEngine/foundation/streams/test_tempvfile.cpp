#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "TempVFile.h"
#include "support/TestDevice.h"

namespace {

class TempVFileTest : public DeviceTest {};

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

}  // namespace
