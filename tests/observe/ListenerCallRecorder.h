// Test helper: an audio server that passes every call on to the simulated server and
// records the listener registrations and removals made through it, with the virtual time
// of each, so a test can tell exactly which objects a monitor touched.
// Installed in place of the server for the life of a fixture; owned by the fixture.
// Thread-safety: the record is guarded; calls may arrive from any queue.
#pragma once

#include <algorithm>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/dispatch/Dispatch.h"
#include "tests/platform/coreaudio/ForwardingService.h"

namespace tonvale::testing {

struct ListenerCall {
    bool isAddition = true;
    AudioObjectID object = kAudioObjectUnknown;
    AudioObjectPropertySelector selector = 0;
    dispatch::Seconds time = 0;
};

class ListenerCallRecorder final : public ForwardingService {
public:
    using ForwardingService::ForwardingService;

    // The calls so far, those for `selector` only when given.
    [[nodiscard]] std::vector<ListenerCall> calls(AudioObjectPropertySelector selector = 0) const {
        const std::lock_guard lock(mutex_);
        std::vector<ListenerCall> found;
        std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(found),
                     [selector](const ListenerCall& call) { return selector == 0 || call.selector == selector; });
        return found;
    }
    void clear() {
        const std::lock_guard lock(mutex_);
        calls_.clear();
    }

    OSStatus addPropertyListenerBlock(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                      dispatch::QueuePtr queue, AudioObjectPropertyListenerBlock listener) override {
        record(true, object, address);
        return ForwardingService::addPropertyListenerBlock(object, address, std::move(queue), std::move(listener));
    }
    OSStatus removePropertyListenerBlock(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                         dispatch::QueuePtr queue,
                                         const AudioObjectPropertyListenerBlock& listener) override {
        record(false, object, address);
        return ForwardingService::removePropertyListenerBlock(object, address, std::move(queue), listener);
    }

private:
    void record(bool isAddition, AudioObjectID object, const AudioObjectPropertyAddress& address) {
        const std::lock_guard lock(mutex_);
        calls_.push_back({isAddition, object, address.mSelector, dispatch::now()});
    }

    mutable std::mutex mutex_;
    std::vector<ListenerCall> calls_;
};

}  // namespace tonvale::testing
