#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "DActiveTaskManager.h"
#include "DActiveTaskPump.h"
#include "DWinMobActiveTaskManagerDriver.h"
#include "support/TestDevice.h"
#include "tasktestutil.h"
#include "winthread.h"

namespace {

constexpr int kForever = 1 << 30;

// Remembers what the manager told it.
class RecordingDriver : public IActiveTaskManagerDriver {
public:
    void NoTaskReady() override { ++noTaskReady; }
    void TaskReady(int priority) override {
        ++taskReady;
        lastPriority = priority;
    }
    int taskReady = 0;
    int noTaskReady = 0;
    int lastPriority = -1;
};

struct TaskSetup {
    char name;
    int priority;
    int activateBeforeTurn;
    bool signalled;
};

struct ScheduleCase {
    const char *label;
    std::vector<TaskSetup> tasks;
    int turns;
    const char *expected;
};

TEST(ActiveTaskManager, PicksByPriorityAndLetsLowerPrioritiesRunAtTheLimit) {
    const ScheduleCase cases[] = {
        {"3 beside 1: 1 runs once after five turns of 3", {{'A', 3, 0, true}, {'B', 1, 0, true}}, 12, "AAAAABAAAAAB"},
        {"a single 3 keeps running", {{'A', 3, 0, true}}, 8, "AAAAAAAA"},
        {"4 and 2 both at the limit: 2 runs", {{'B', 2, 0, true}, {'A', 4, 5, true}}, 12, "BBBBBAAAAABA"},
        {"one priority takes turns from the tail", {{'A', 3, 0, true}, {'B', 3, 0, true}}, 4, "ABAB"},
        {"an active task without its signal is never picked", {{'C', 5, 0, false}, {'A', 1, 0, true}}, 3, "AAA"},
    };
    for (const ScheduleCase &c : cases) {
        SCOPED_TRACE(c.label);
        RecordingDriver driver;
        DActiveTaskManager manager(&driver);
        std::string log;
        std::vector<std::unique_ptr<LoggingTask>> tasks;
        for (const TaskSetup &setup : c.tasks) {
            tasks.push_back(std::make_unique<LoggingTask>(setup.priority, setup.name, &log, kForever));
            ASSERT_EQ(0u, manager.AddTask(tasks.back().get()));
        }
        for (int turn = 0; turn < c.turns; ++turn) {
            for (size_t i = 0; i < c.tasks.size(); ++i) {
                if (c.tasks[i].activateBeforeTurn != turn) continue;
                LoggingTask &task = *tasks[i];
                ASSERT_EQ(0u, c.tasks[i].signalled ? task.ActivateAndSignal() : task.Activate());
            }
            ASSERT_EQ(0u, manager.RunNextTask());
        }
        EXPECT_EQ(c.expected, log);
    }
}

TEST(ActiveTaskManager, LookAheadAfterAStepDoesNotCountAsARun) {
    RecordingDriver driver;
    DActiveTaskManager manager(&driver);
    std::string log;
    LoggingTask high(3, 'A', &log, kForever), low(1, 'B', &log, kForever);
    manager.AddTask(&high);
    manager.AddTask(&low);
    high.ActivateAndSignal();
    low.ActivateAndSignal();
    for (int turn = 0; turn < 5; ++turn) manager.RunNextTask();
    EXPECT_EQ(5u, manager.GetRunCount(3));
    EXPECT_EQ(0u, manager.GetRunCount(1));
    EXPECT_EQ(&low, manager.PeekNextTask());
    EXPECT_EQ(&low, manager.PeekNextTask());  // a peek changes nothing
    manager.RunNextTask();
    EXPECT_EQ("AAAAAB", log);
    EXPECT_EQ(0u, manager.GetRunCount(3));
    EXPECT_EQ(1u, manager.GetRunCount(1));
    EXPECT_EQ(3, driver.lastPriority);  // the turn told the driver what runs next
}

TEST(ActiveTaskManager, ActivationRulesAndErrors) {
    RecordingDriver driver;
    DActiveTaskManager manager(&driver);
    LoggingTask task(3, 'A', nullptr, 0);

    // Not attached: both activations refuse and signal nothing.
    EXPECT_EQ(activeTaskErrAlreadyActive, task.Activate());
    EXPECT_EQ(activeTaskErrAlreadyActive, task.ActivateAndSignal());
    EXPECT_FALSE(task.GetSignal()->IsReady());
    EXPECT_EQ(0u, task.Deactivate());

    ASSERT_EQ(0u, manager.AddTask(&task));
    EXPECT_EQ(generalErrItemAlreadyExists, manager.AddTask(&task));
    ASSERT_EQ(0u, task.Activate());
    EXPECT_TRUE(task.IsActive());
    EXPECT_EQ(0, driver.taskReady);  // waits for its signal

    // Activating an active task changes nothing, signalled or not.
    EXPECT_EQ(activeTaskErrAlreadyActive, task.ActivateAndSignal());
    EXPECT_FALSE(task.GetSignal()->IsReady());
    EXPECT_EQ(0, driver.taskReady);
    task.GetSignal()->Signal(0x07370C07);
    EXPECT_EQ(1, driver.taskReady);
    EXPECT_EQ(3, driver.lastPriority);
    EXPECT_EQ(activeTaskErrAlreadyActive, task.Activate());
    EXPECT_TRUE(task.GetSignal()->IsReady());
    EXPECT_EQ(0x07370C07u, task.GetSignal()->GetCode());
    EXPECT_EQ(&task, manager.PeekNextTask());
    EXPECT_EQ(1, driver.taskReady);

    // Deactivating cancels the run and tells the driver nothing is ready.
    EXPECT_EQ(0u, task.Deactivate());
    EXPECT_EQ(1, task.cancels);
    EXPECT_EQ(1, driver.noTaskReady);
    EXPECT_EQ(nullptr, manager.PeekNextTask());
    EXPECT_EQ(activeTaskErrNotFound, manager.DeactivateTask(&task));
    EXPECT_EQ(0u, task.Deactivate());
    EXPECT_EQ(1, task.cancels);

    // Activation clears an old signal.
    ASSERT_EQ(0u, task.Activate());
    EXPECT_FALSE(task.GetSignal()->IsReady());
    EXPECT_EQ(0u, task.GetSignal()->GetCode());
}

TEST(ActiveTaskManager, TurnRunsThePickAsWaitingAndReturnsItsError) {
    RecordingDriver driver;
    DActiveTaskManager manager(&driver);
    LoggingTask failing(3, 'F', nullptr, 0, 0x07370C09);
    manager.AddTask(&failing);
    failing.ActivateAndSignal();
    failing.onStep = [&] { EXPECT_FALSE(failing.IsActive()); };
    EXPECT_EQ(0x07370C09u, manager.RunNextTask());
    EXPECT_EQ(1, failing.runs);
    EXPECT_EQ(0, failing.cancels);  // the turn is not a cancellation
    EXPECT_EQ(0, driver.noTaskReady);  // a failed turn tells the driver nothing
    // The next turn finds nothing ready and says so.
    EXPECT_EQ(0u, manager.RunNextTask());
    EXPECT_EQ(1, driver.noTaskReady);
}

TEST(ActiveTaskManager, DestroyingEitherSideDetaches) {
    RecordingDriver driver;
    auto manager = std::make_unique<DActiveTaskManager>(&driver);
    auto active = std::make_unique<LoggingTask>(3, 'A', nullptr, 0);
    LoggingTask waiting(2, 'W', nullptr, 0), survivor(3, 'S', nullptr, 0);
    manager->AddTask(active.get());
    manager->AddTask(&waiting);
    manager->AddTask(&survivor);
    active->ActivateAndSignal();
    survivor.ActivateAndSignal();

    active.reset();  // leaves the ready list
    EXPECT_EQ(&survivor, manager->PeekNextTask());
    EXPECT_EQ(0u, manager->RemoveTask(&waiting));
    EXPECT_EQ(nullptr, waiting.GetManager());
    EXPECT_EQ(activeTaskErrNotFound, manager->RemoveTask(&waiting));

    manager.reset();  // the survivor outlives its manager
    EXPECT_EQ(nullptr, survivor.GetManager());
    EXPECT_FALSE(survivor.IsActive());
    survivor.GetSignal()->Signal(0);
    EXPECT_EQ(activeTaskErrAlreadyActive, survivor.Activate());
}

class DriverTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        m_message = RegisterWindowMessageW(u"QV_WINMSG_ACTIVETASK_ENABLED");
        ASSERT_NE(0u, m_message);
    }
    // Removes and counts the driver's messages waiting for the window.
    int TakePosted(HWND window) {
        int count = 0;
        MSG msg;
        while (PeekMessageW(&msg, window, m_message, m_message, PM_REMOVE)) ++count;
        return count;
    }
    UINT m_message = 0;
};

TEST_F(DriverTest, PostsOncePerEpisodeOfReadyWork) {
    TestWindow window(nullptr);
    ASSERT_NE(nullptr, window.Get());
    DWinMobActiveTaskManagerDriver driver(window.Get(), m_message);
    ASSERT_NE(nullptr, driver.GetTaskManager());
    EXPECT_EQ(GetCurrentThreadId(), driver.GetOwnerThread());

    driver.TaskReady(3);
    driver.TaskReady(3);
    driver.TaskReady(1);
    EXPECT_EQ(1, TakePosted(window.Get()));
    EXPECT_TRUE(driver.IsReady());
    EXPECT_TRUE(driver.IsPosted());
    driver.NoTaskReady();
    EXPECT_FALSE(driver.IsReady());
    EXPECT_FALSE(driver.IsPosted());
    driver.TaskReady(5);
    EXPECT_EQ(1, TakePosted(window.Get()));

    // The same through a task's signal and the turns that follow.
    driver.NoTaskReady();
    LoggingTask task(3, 'A', nullptr, 2);
    driver.GetTaskManager()->AddTask(&task);
    task.Activate();
    EXPECT_EQ(0, TakePosted(window.Get()));
    task.GetSignal()->Signal(7);
    task.GetSignal()->Signal(8);
    EXPECT_EQ(1, TakePosted(window.Get()));
    while (driver.IsPosted()) driver.RunNextTask();
    EXPECT_EQ(3, task.runs);
    EXPECT_EQ(0, TakePosted(window.Get()));
}

TEST_F(DriverTest, SignalFromAnotherThreadIsAppliedOnTheOwnerThread) {
    DWinMobActiveTaskManagerDriver driver(nullptr, m_message);
    LoggingTask task(3, 'A', nullptr, 0);
    auto doomed = std::make_unique<LoggingTask>(3, 'D', nullptr, 0);
    driver.GetTaskManager()->AddTask(&task);
    driver.GetTaskManager()->AddTask(doomed.get());
    task.Activate();
    doomed->Activate();
    DActiveTaskSignal *doomedSignal = doomed->GetSignal();

    std::thread worker([&] {
        task.GetSignal()->Signal(0x07370C07);
        doomedSignal->Signal(1);
    });
    worker.join();
    // Nothing changed on this thread until it takes its messages.
    EXPECT_FALSE(task.GetSignal()->IsReady());
    EXPECT_FALSE(driver.IsPosted());
    doomed.reset();  // its carried signal must not touch it
    PumpPending();
    EXPECT_TRUE(task.GetSignal()->IsReady());
    EXPECT_EQ(0x07370C07u, task.GetSignal()->GetCode());
    EXPECT_TRUE(driver.IsPosted());
    driver.RunNextTask();
    EXPECT_EQ(0x07370C07u, task.lastCode);
    EXPECT_FALSE(driver.IsPosted());
}

// A signal made on another thread for one activation is still on its way
// when the owner gives that activation up (Deactivate) and activates the
// task anew for other work: it must not complete the later activation,
// which only a signal of its own completes.
TEST_F(DriverTest, CarriedSignalOfAnEarlierActivationIsDropped) {
    DWinMobActiveTaskManagerDriver driver(nullptr, m_message);
    LoggingTask task(3, 'A', nullptr, 0);
    driver.GetTaskManager()->AddTask(&task);
    auto signalFromWorker = [&](DErrorCode code) {
        std::thread worker([&] { task.GetSignal()->Signal(code); });
        worker.join();
    };
    ASSERT_EQ(kNoError, task.Activate());
    signalFromWorker(1);  // queued, not applied yet
    ASSERT_EQ(kNoError, task.Deactivate());
    ASSERT_EQ(kNoError, task.Activate());
    PumpPending();
    EXPECT_FALSE(task.GetSignal()->IsReady());
    while (driver.IsPosted()) driver.RunNextTask();
    EXPECT_EQ(0, task.runs);

    signalFromWorker(2);
    PumpPending();
    while (driver.IsPosted()) driver.RunNextTask();
    EXPECT_EQ(1, task.runs);
    EXPECT_EQ(2u, task.lastCode);
}

TEST_F(DriverTest, WorkerSignalsWhileTheOwnerTurnsAreNeverLost) {
    constexpr DErrorCode kSignals = 3000;
    TestWindow window(nullptr);
    DWinMobActiveTaskManagerDriver driver(window.Get(), m_message);
    // The task waits for its signal again after every step.
    LoggingTask task(3, 'A', nullptr, 0);
    task.onStep = [&] { task.Activate(); };
    driver.GetTaskManager()->AddTask(&task);
    task.Activate();

    int lostWakeUps = 0;
    DActiveTaskPump pump(&driver, [&](long) {
        // All messages handled: a signalled active task must have its turn coming.
        if (task.IsActive() && task.GetSignal()->IsReady() && !driver.IsPosted()) ++lostWakeUps;
        return false;
    });
    std::atomic<bool> finished(false);
    std::thread worker([&] {
        for (DErrorCode code = 1; code <= kSignals; ++code) task.GetSignal()->Signal(code);
        finished.store(true);
    });
    while (!finished.load()) {
        pump.Run();
        std::this_thread::yield();
    }
    worker.join();
    pump.Run();
    EXPECT_EQ(0, lostWakeUps);
    EXPECT_EQ(kSignals, task.lastCode);
    EXPECT_GE(task.runs, 1);
    EXPECT_FALSE(task.GetSignal()->IsReady());
    EXPECT_FALSE(driver.IsPosted());
    EXPECT_EQ(0, TakePosted(window.Get()));
}

}  // namespace
