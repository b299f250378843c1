// The most recent audio calls the simulated server answered, oldest first, so tests can
// check the order in which the system creates, starts, stops and destroys its objects.
// Bounded, so a long run keeps only its latest calls.
//
// Owned by SimulatedServer, which records every call of its AudioHardwareService.
// Thread-safety: every operation may be called from any thread (one mutex).
#pragma once

#include "sim/FaultInjection.h"

#include <cstddef>
#include <deque>
#include <mutex>
#include <vector>

namespace sim {

struct LoggedCall {
    Call call = Call::getPropertyData;
    // What the call acted on: the property's object, the device of an IO call, the tap or
    // aggregate destroyed; for a creation, the object it created (0 when it failed).
    AudioObjectID object = 0;
    OSStatus status = kAudioHardwareNoError;
    bool operator==(const LoggedCall&) const = default;
};

class CallLog {
public:
    static constexpr std::size_t kCapacity = 4096;

    void record(LoggedCall call);
    [[nodiscard]] std::vector<LoggedCall> calls() const;

private:
    mutable std::mutex mutex_;
    std::deque<LoggedCall> calls_;
};

}  // namespace sim
