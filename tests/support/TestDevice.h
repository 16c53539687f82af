// A fresh temporary device for each test: DeviceTest opens one in SetUp and
// removes it in TearDown; TempDevice does the same for code outside a fixture.
#ifndef VTEST_TESTDEVICE_H
#define VTEST_TESTDEVICE_H

#include <gtest/gtest.h>

#include <string>

class TempDevice {
public:
    TempDevice();
    ~TempDevice();
    TempDevice(const TempDevice &) = delete;
    TempDevice &operator=(const TempDevice &) = delete;

    const std::string &Root() const { return m_root; }
    // Host path of a device path such as u"\\Temp\\x.txt".
    std::string Host(const char16_t *devicePath) const;

private:
    std::string m_root;
};

class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    TempDevice &Device() { return *m_device; }

private:
    TempDevice *m_device = nullptr;
};

#endif
