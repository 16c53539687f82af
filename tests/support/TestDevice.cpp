#include "support/TestDevice.h"

#include <cstdlib>
#include <filesystem>

#include "device.h"

TempDevice::TempDevice() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vantrel-device-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
    m_root = pattern;
    if (!DeviceOpen(m_root.c_str())) ADD_FAILURE() << "DeviceOpen failed for " << m_root;
}

TempDevice::~TempDevice() {
    DeviceClose();
    std::error_code ec;
    std::filesystem::remove_all(m_root, ec);
}

std::string TempDevice::Host(const char16_t *devicePath) const {
    std::string host;
    vplat::DeviceMapPath(devicePath, &host);
    return host;
}

void DeviceTest::SetUp() { m_device = new TempDevice; }

void DeviceTest::TearDown() {
    delete m_device;
    m_device = nullptr;
}
