#include "sim/CallLog.h"

namespace sim {

void CallLog::record(LoggedCall call) {
    std::lock_guard lock(mutex_);
    if (calls_.size() == kCapacity) {
        calls_.pop_front();
    }
    calls_.push_back(call);
}

std::vector<LoggedCall> CallLog::calls() const {
    std::lock_guard lock(mutex_);
    return {calls_.begin(), calls_.end()};
}

}  // namespace sim
