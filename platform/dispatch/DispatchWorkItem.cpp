#include "platform/dispatch/DispatchWorkItem.h"

namespace dispatch {

std::shared_ptr<DispatchWorkItem> DispatchWorkItem::create(std::function<void()> work) {
    return std::make_shared<DispatchWorkItem>(std::move(work));
}

DispatchWorkItem::DispatchWorkItem(std::function<void()> work) : work_(std::move(work)) {}

void DispatchWorkItem::cancel() { isCancelled_.store(true); }

bool DispatchWorkItem::isCancelled() const { return isCancelled_.load(); }

void DispatchWorkItem::perform() {
    if (isCancelled_.load() || !work_) {
        return;
    }
    work_();
}

}  // namespace dispatch
