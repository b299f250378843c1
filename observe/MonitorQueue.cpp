#include "observe/MonitorQueue.h"

namespace tonvale {

MonitorQueue::MonitorQueue(const char* label) : queue_(dispatch::DispatchQueue::create(label)) {
    queue_->setSpecific(&key_, this);
}

bool MonitorQueue::isCurrent() const { return dispatch::DispatchQueue::getSpecific(&key_) == this; }

void MonitorQueue::runTeardown(const std::function<void()>& teardown) {
    if (isCurrent()) {
        teardown();
        return;
    }
    queue_->sync(teardown);
}

}  // namespace tonvale
