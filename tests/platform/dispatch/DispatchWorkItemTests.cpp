#include "platform/dispatch/DispatchWorkItem.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/VirtualTime.h"

#include <gtest/gtest.h>

namespace dispatch {
namespace {

class DispatchWorkItemTest : public ::testing::Test {
protected:
    VirtualTime time_;
    QueuePtr queue_ = DispatchQueue::create("items");
    int runs_ = 0;
    std::shared_ptr<DispatchWorkItem> item_ = DispatchWorkItem::create([this] { ++runs_; });
};

TEST_F(DispatchWorkItemTest, SubmittedItem_RunsOnce) {
    queue_->asyncAfter(1.0, item_);
    time_.advance(1.0);
    EXPECT_EQ(runs_, 1);
    EXPECT_FALSE(item_->isCancelled());
}

TEST_F(DispatchWorkItemTest, ItemCancelledAfterSubmission_NeverRuns) {
    queue_->asyncAfter(1.0, item_);
    queue_->async(item_);
    item_->cancel();
    time_.advance(2.0);
    EXPECT_EQ(runs_, 0);
    EXPECT_TRUE(item_->isCancelled());
}

}  // namespace
}  // namespace dispatch
