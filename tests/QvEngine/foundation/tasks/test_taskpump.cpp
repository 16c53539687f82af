#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DActiveTaskPump.h"
#include "DWinMobActiveTaskManagerDriver.h"
#include "support/TestDevice.h"
#include "tasktestutil.h"

namespace {

constexpr UINT kPoke = WM_APP + 1;

class TaskPumpTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        m_message = RegisterWindowMessageW(u"QV_WINMSG_ACTIVETASK_ENABLED");
        ASSERT_NE(0u, m_message);
    }
    UINT m_message = 0;
};

TEST_F(TaskPumpTest, RunsTasksToTheEndBetweenMessagesAndIdleWork) {
    std::string log;
    std::vector<long> idleCounts;
    DWinMobActiveTaskManagerDriver *driver = nullptr;
    DActiveTaskPump *pump = nullptr;
    int pumps = 0;
    // The owner's window: the driver's message runs the pump.
    TestWindow window([&](UINT message, WPARAM, LPARAM) {
        if (message == m_message) {
            ++pumps;
            pump->Run();
            return true;
        }
        if (message == kPoke) {
            log += 'm';
            return true;
        }
        return false;
    });
    DWinMobActiveTaskManagerDriver owner(window.Get(), m_message);
    driver = &owner;
    DActiveTaskPump taskPump(driver, [&](long count) {
        idleCounts.push_back(count);
        return count < 1;
    });
    pump = &taskPump;

    LoggingTask a(3, 'A', &log, 2), b(3, 'B', &log, 1);
    LoggingTask failing(5, 'F', &log, 0, 0x07370C09);
    a.onStep = [&] {
        if (a.runs == 1) PostMessageW(window.Get(), kPoke, 0, 0);
    };
    for (DActiveTask *task : {static_cast<DActiveTask *>(&a), static_cast<DActiveTask *>(&b),
                              static_cast<DActiveTask *>(&failing)}) {
        driver->GetTaskManager()->AddTask(task);
        task->ActivateAndSignal();
    }

    MSG msg;
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    DispatchMessageW(&msg);
    // A failed step does not stop the pump; a posted message is handled
    // before the next step.
    EXPECT_EQ("FAmBABA", log);
    EXPECT_EQ(1, pumps);
    EXPECT_FALSE(driver->IsPosted());
    EXPECT_FALSE(driver->IsReady());
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
    // Idle work ran before every turn and once more at the end.
    ASSERT_EQ(14u, idleCounts.size());
    for (size_t i = 0; i < idleCounts.size(); ++i) EXPECT_EQ(static_cast<long>(i % 2), idleCounts[i]);

    // A lone task that asks for step after step is one episode: one message,
    // one pump, no pump started inside it.
    log.clear();
    LoggingTask lone(3, 'L', &log, 49);
    driver->GetTaskManager()->AddTask(&lone);
    lone.ActivateAndSignal();
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    DispatchMessageW(&msg);
    EXPECT_EQ(std::string(50, 'L'), log);
    EXPECT_EQ(2, pumps);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
}

TEST_F(TaskPumpTest, QuitMessageEndsThePumpAndIsPostedAgain) {
    DWinMobActiveTaskManagerDriver driver(nullptr, m_message);
    std::string log;
    LoggingTask task(3, 'A', &log, 1);
    driver.GetTaskManager()->AddTask(&task);
    task.ActivateAndSignal();
    PostQuitMessage(7);

    DActiveTaskPump pump(&driver);
    bool quit = false;
    EXPECT_EQ(0u, pump.Run(&quit));
    EXPECT_TRUE(quit);
    EXPECT_EQ("", log);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(static_cast<UINT>(WM_QUIT), msg.message);
    EXPECT_EQ(7u, msg.wParam);

    // Taken away, the work goes on.
    EXPECT_EQ(0u, pump.Run(&quit));
    EXPECT_FALSE(quit);
    EXPECT_EQ("AA", log);
    EXPECT_EQ(generalErrNULLPointer, DActiveTaskPump(nullptr).Run(&quit));
}

}  // namespace
