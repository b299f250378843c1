// Faults the simulated server produces on demand: statuses injected into the next calls
// of an audio-layer function, refused or silent audio capture, and aggregate devices
// whose streams are late, missing or of the wrong shape. Internal to sim/, apart from
// the value types, which tests hand to SimulatedServer.
//
// Owned by SimulatedServer; read by the components that answer the audio calls.
// Thread-safety: every operation may be called from any thread (one mutex).
#pragma once

#include "platform/coreaudio/CoreAudioTypes.h"

#include <cstdint>
#include <limits>
#include <mutex>
#include <optional>
#include <vector>

namespace sim {

// The audio-layer calls a failure can be injected into.
enum class Call {
    getPropertyDataSize,
    getPropertyData,
    setPropertyData,
    addPropertyListener,
    removePropertyListener,
    createProcessTap,
    destroyProcessTap,
    createAggregateDevice,
    destroyAggregateDevice,
    createIOProcID,
    destroyIOProcID,
    deviceStart,
    deviceStop,
};

// The next `count` calls of `call` (on `object`, for `selector`, when given)
// answer `status` without doing anything; a count of 0 means until cleared.
struct InjectedFailure {
    Call call = Call::getPropertyData;
    OSStatus status = kAudioHardwareUnspecifiedError;
    std::uint32_t count = 1;
    std::optional<AudioObjectID> object;
    std::optional<AudioObjectPropertySelector> selector;
    bool operator==(const InjectedFailure&) const = default;
};

// How the platform refuses audio capture: not at all, by refusing the tap, or by
// a tap that delivers only silence while still silencing the tapped processes.
enum class CaptureDenial { none, refuseTap, silentTap };

// What is wrong with the streams of the next aggregate devices made.
enum class StreamShapeFault { none, sixteenBitTap, monoTap, nonInterleavedTap, extraInputStream };

struct AggregateBehaviour {
    // Seconds until a new aggregate's streams appear; infinity = never.
    double streamDelaySeconds = 0.005;
    bool isInputWithheld = false;
    bool isOutputWithheld = false;
    StreamShapeFault shapeFault = StreamShapeFault::none;
    // Seconds after a new aggregate's IO starts at which its IO procedures stop being
    // called, as on a destination that fails a moment into every route; infinity = never.
    double ioStallSeconds = std::numeric_limits<double>::infinity();
    bool operator==(const AggregateBehaviour&) const = default;
};

class FaultInjection {
public:
    void inject(InjectedFailure failure);
    void clear();
    // The status injected into this call, if any; counts the call against its failure.
    [[nodiscard]] std::optional<OSStatus> statusFor(Call call, AudioObjectID object,
                                                    std::optional<AudioObjectPropertySelector> selector);

    struct Capture {
        CaptureDenial denial = CaptureDenial::none;
        OSStatus refusal = kAudioHardwarePermissionDeniedError;
    };
    void setCapture(Capture capture);
    [[nodiscard]] Capture capture() const;

    void setAggregateBehaviour(AggregateBehaviour behaviour);
    [[nodiscard]] AggregateBehaviour aggregateBehaviour() const;

private:
    mutable std::mutex mutex_;
    std::vector<InjectedFailure> failures_;
    Capture capture_;
    AggregateBehaviour aggregateBehaviour_;
};

}  // namespace sim
