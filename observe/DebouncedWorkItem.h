// Work that waits until a burst of triggers has settled: each schedule cancels the pending
// work item and posts a new one to the queue after the delay. Owned by a monitor as a
// member and used only on that monitor's queue; the pending item is cancelled when it goes.
// Thread-safety: not thread-safe; call from the queue it posts to.
#pragma once

#include <functional>
#include <memory>

#include "platform/dispatch/Dispatch.h"

namespace tonvale {

class DebouncedWorkItem {
public:
    DebouncedWorkItem(dispatch::QueuePtr queue, dispatch::Seconds delay);
    ~DebouncedWorkItem();
    DebouncedWorkItem(const DebouncedWorkItem&) = delete;
    DebouncedWorkItem& operator=(const DebouncedWorkItem&) = delete;

    // The work should hold its owner weakly: a cancelled item is still kept by the queue
    // until its time comes.
    void schedule(std::function<void()> work);
    void cancel();

private:
    const dispatch::QueuePtr queue_;
    const dispatch::Seconds delay_;
    std::shared_ptr<dispatch::DispatchWorkItem> pending_;
};

}  // namespace tonvale
