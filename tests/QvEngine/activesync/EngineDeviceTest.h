// A device for engine runs: the virtual clock from a fixed instant, and no
// connection script, set back to the real clock afterwards.
#ifndef VTEST_ENGINEDEVICETEST_H
#define VTEST_ENGINEDEVICETEST_H

#include "QvEngine/foundation/prefstestutil.h"
#include "vplatform_test.h"
#include "wintime.h"

// A fixture drops its engines and global info before it calls TearDown
// here, so that their last work still sees this device.
class EngineDeviceTest : public PrefsDeviceTest {
protected:
    void SetUp() override {
        PrefsDeviceTest::SetUp();
        vplat::ClockUseVirtual(1000, 1700000000000);
        vplat::ConnMgrResetScript();
    }
    void TearDown() override {
        vplat::ConnMgrResetScript();
        vplat::ClockUseReal();
        PrefsDeviceTest::TearDown();
    }
};

#endif
