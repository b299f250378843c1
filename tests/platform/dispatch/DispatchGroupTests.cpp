#include "platform/dispatch/DispatchGroup.h"

#include "platform/dispatch/VirtualTime.h"

#include <gtest/gtest.h>

namespace dispatch {
namespace {

class DispatchGroupTest : public ::testing::Test {
protected:
    VirtualTime time_;
    QueuePtr queue_ = DispatchQueue::create("group");
    DispatchGroup group_;
    int notified_ = 0;
    std::function<void()> countNotify() {
        return [this] {
            EXPECT_TRUE(queue_->isCurrent());
            ++notified_;
        };
    }
};

TEST_F(DispatchGroupTest, Notify_RunsOnceAfterTheLastLeave) {
    group_.enter();
    group_.enter();
    group_.notify(queue_, countNotify());

    group_.leave();
    time_.runUntilIdle();
    EXPECT_EQ(notified_, 0);

    group_.leave();
    time_.runUntilIdle();
    EXPECT_EQ(notified_, 1);

    group_.enter();
    group_.leave();
    time_.runUntilIdle();
    EXPECT_EQ(notified_, 1);
}

}  // namespace
}  // namespace dispatch
