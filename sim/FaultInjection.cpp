#include "sim/FaultInjection.h"

namespace sim {

namespace {

bool matches(const InjectedFailure& failure, Call call, AudioObjectID object,
             std::optional<AudioObjectPropertySelector> selector) {
    if (failure.call != call) {
        return false;
    }
    if (failure.object && *failure.object != object) {
        return false;
    }
    return !failure.selector || (selector && *failure.selector == *selector);
}

}  // namespace

void FaultInjection::inject(InjectedFailure failure) {
    std::lock_guard lock(mutex_);
    failures_.push_back(failure);
}

void FaultInjection::clear() {
    std::lock_guard lock(mutex_);
    failures_.clear();
}

std::optional<OSStatus> FaultInjection::statusFor(Call call, AudioObjectID object,
                                                  std::optional<AudioObjectPropertySelector> selector) {
    std::lock_guard lock(mutex_);
    for (auto it = failures_.begin(); it != failures_.end(); ++it) {
        if (!matches(*it, call, object, selector)) {
            continue;
        }
        const OSStatus status = it->status;
        if (it->count == 1) {
            failures_.erase(it);
        } else if (it->count > 1) {
            --it->count;
        }
        return status;
    }
    return std::nullopt;
}

void FaultInjection::setCapture(Capture capture) {
    std::lock_guard lock(mutex_);
    capture_ = capture;
}

FaultInjection::Capture FaultInjection::capture() const {
    std::lock_guard lock(mutex_);
    return capture_;
}

void FaultInjection::setAggregateBehaviour(AggregateBehaviour behaviour) {
    std::lock_guard lock(mutex_);
    aggregateBehaviour_ = behaviour;
}

AggregateBehaviour FaultInjection::aggregateBehaviour() const {
    std::lock_guard lock(mutex_);
    return aggregateBehaviour_;
}

}  // namespace sim
