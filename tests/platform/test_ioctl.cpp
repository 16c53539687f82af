#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

#include "support/TestDevice.h"
#include "winerror.h"
#include "winioctl.h"

namespace {

class KernelIoControlTest : public DeviceTest {
protected:
    void Configure(const std::string &text) { std::ofstream(Device().Root() + "/deviceid") << text; }
};

TEST_F(KernelIoControlTest, AnswersWithThePresetIdAfterTheHeader) {
    Configure("01 02 03\n04");
    BYTE record[64];
    memset(record, 0xEE, sizeof record);
    DWORD returned = 0;
    ASSERT_TRUE(KernelIoControl(IOCTL_HAL_GET_DEVICEID, nullptr, 0, record, sizeof record, &returned));
    DEVICE_ID header;
    memcpy(&header, record, sizeof header);
    EXPECT_EQ(returned, 24u);
    EXPECT_EQ(header.dwSize, 24u);
    EXPECT_EQ(header.dwPresetIDOffset, 20u);
    EXPECT_EQ(header.dwPresetIDBytes, 4u);
    EXPECT_EQ(header.dwPlatformIDOffset, 24u);
    EXPECT_EQ(header.dwPlatformIDBytes, 0u);
    const BYTE id[] = {1, 2, 3, 4, 0xEE};
    EXPECT_EQ(memcmp(record + 20, id, sizeof id), 0);
}

TEST_F(KernelIoControlTest, TooSmallBufferTellsTheSizeNeeded) {
    Configure(std::string(42, 'a'));  // 21 bytes: 41 with the header
    BYTE record[40] = {};
    DWORD returned = 99;
    SetLastError(0);
    EXPECT_FALSE(KernelIoControl(IOCTL_HAL_GET_DEVICEID, nullptr, 0, record, sizeof record, &returned));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    DWORD size;
    memcpy(&size, record, sizeof size);
    EXPECT_EQ(size, 41u);
    EXPECT_EQ(returned, 0u);
    for (size_t i = sizeof size; i < sizeof record; ++i) EXPECT_EQ(record[i], 0) << i;

    BYTE tiny[2] = {0x55, 0x55};
    EXPECT_FALSE(KernelIoControl(IOCTL_HAL_GET_DEVICEID, nullptr, 0, tiny, sizeof tiny, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(tiny[0], 0x55);
}

TEST_F(KernelIoControlTest, RefusesBadConfigurationAndOtherCodes) {
    BYTE record[40];
    for (const char *bad : {"abc", "0x12", "12-34"}) {
        Configure(bad);
        SetLastError(0);
        EXPECT_FALSE(KernelIoControl(IOCTL_HAL_GET_DEVICEID, nullptr, 0, record, sizeof record, nullptr)) << bad;
        EXPECT_NE(GetLastError(), DWORD(ERROR_SUCCESS));
    }
    EXPECT_FALSE(KernelIoControl(0x01010000, nullptr, 0, record, sizeof record, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_SUPPORTED));
}

}  // namespace
