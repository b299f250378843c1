// The main run loop: run and stop, syncs from other threads, drivers, and runs in virtual time.
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

// Real threads: the main queue is drained by the test's (the process's main) thread; every
// test leaves it empty for the next. Waking a driver for new work and answering the next
// deadline are proven with the toolkit's driver in the appkit Qt tests.
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
        queue->sync(
            [this] { main_->sync([this] { log_.push_back(main_->isCurrent() ? "synced on main" : "elsewhere"); }); });
        main_->async(&MainRunLoop::stop);
    });
    MainRunLoop::run();
    worker.join();
    EXPECT_THAT(log_, ElementsAre("synced on main"));
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
