#include "platform/dispatch/MainRunLoop.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/VirtualTime.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace dispatch {
namespace {

using ::testing::ElementsAre;

class RecordingDriver : public MainQueueDriver {
public:
    void wake(Seconds due) override { dues.push_back(due); }
    std::vector<Seconds> dues;
};

// Real threads: the main queue is drained by the test's (the process's main)
// thread. Every test leaves the main queue empty for the next.
class MainRunLoopTest : public ::testing::Test {
protected:
    void TearDown() override {
        MainRunLoop::setDriver(nullptr);
        EXPECT_FALSE(MainRunLoop::drain().has_value());
    }

    QueuePtr main_ = DispatchQueue::main();
    std::vector<std::string> log_;
};

TEST_F(MainRunLoopTest, Run_DrainsTheMainQueueUntilStopAndLeavesLaterWorkPending) {
    MainRunLoop::stop();
    MainRunLoop::run();  // a stop before the run ends the next run at once
    main_->async([this] { log_.push_back(main_->isCurrent() ? "on main" : "elsewhere"); });
    main_->async(&MainRunLoop::stop);
    main_->async([this] { log_.push_back("after stop"); });

    MainRunLoop::run();
    EXPECT_THAT(log_, ElementsAre("on main"));

    EXPECT_FALSE(MainRunLoop::drain().has_value());
    EXPECT_THAT(log_, ElementsAre("on main", "after stop"));
}

TEST_F(MainRunLoopTest, SyncFromAWorkerThread_RunsOnTheMainQueueWhileRunDrainsIt) {
    std::thread worker([this] {
        auto queue = DispatchQueue::create("worker");
        queue->sync([this] {
            main_->sync([this] { log_.push_back(main_->isCurrent() ? "synced on main" : "elsewhere"); });
        });
        main_->async(&MainRunLoop::stop);
    });
    MainRunLoop::run();
    worker.join();
    EXPECT_THAT(log_, ElementsAre("synced on main"));
}

TEST_F(MainRunLoopTest, Driver_IsWokenForNewWorkAndDrainAnswersTheNextDeadline) {
    RecordingDriver driver;
    MainRunLoop::setDriver(&driver);
    const Seconds before = now();
    main_->async([this] { log_.push_back("due now"); });
    main_->asyncAfter(0.02, [this] {
        log_.push_back("later");
        MainRunLoop::stop();
    });
    ASSERT_EQ(driver.dues.size(), 1U);
    EXPECT_GE(driver.dues[0], before);
    EXPECT_LE(driver.dues[0], now());

    auto next = MainRunLoop::drain();

    EXPECT_THAT(log_, ElementsAre("due now"));
    ASSERT_TRUE(next.has_value());
    EXPECT_GE(*next, before + 0.02);
    MainRunLoop::run();
    EXPECT_THAT(log_, ElementsAre("due now", "later"));
}

TEST_F(MainRunLoopTest, InstallingADriver_WakesItForWorkAlreadyWaiting) {
    main_->async([this] { log_.push_back("waiting"); });
    RecordingDriver driver;
    MainRunLoop::setDriver(&driver);
    EXPECT_EQ(driver.dues.size(), 1U);
    EXPECT_FALSE(MainRunLoop::drain().has_value());
    EXPECT_THAT(log_, ElementsAre("waiting"));
}

TEST_F(MainRunLoopTest, RunInVirtualTime_AdvancesEveryQueueUntilStop) {
    VirtualTime time;
    auto queue = DispatchQueue::create("worker");
    queue->asyncAfter(2.0, [this] { log_.push_back("worker at 2"); });
    main_->asyncAfter(5.0, [this] {
        log_.push_back("stop at 5");
        MainRunLoop::stop();
    });
    main_->asyncAfter(7.0, [this] { log_.push_back("after stop"); });

    MainRunLoop::run();

    EXPECT_THAT(log_, ElementsAre("worker at 2", "stop at 5"));
    EXPECT_EQ(time.now(), VirtualTime::kStart + 5.0);
    EXPECT_EQ(MainRunLoop::drain(), VirtualTime::kStart + 7.0);
}

}  // namespace
}  // namespace dispatch
