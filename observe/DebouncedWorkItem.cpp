#include "observe/DebouncedWorkItem.h"

#include <utility>

namespace tonvale {

DebouncedWorkItem::DebouncedWorkItem(dispatch::QueuePtr queue, dispatch::Seconds delay)
    : queue_(std::move(queue)), delay_(delay) {}

DebouncedWorkItem::~DebouncedWorkItem() { cancel(); }

void DebouncedWorkItem::schedule(std::function<void()> work) {
    cancel();
    pending_ = dispatch::DispatchWorkItem::create(std::move(work));
    queue_->asyncAfter(delay_, pending_);
}

void DebouncedWorkItem::cancel() {
    if (pending_) {
        pending_->cancel();
        pending_.reset();
    }
}

}  // namespace tonvale
