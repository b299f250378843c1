// A scenario: the simulated world (devices, user aggregates, audio processes and
// the applications they belong to) and a timeline of events, read from JSON.
//
// Plain values built once at start-up and handed to SimulatedServer. The JSON
// format is documented in sim/README.md.
// Thread-safety: values; loading touches only the named file.
#pragma once

#include "audioserver/Device.h"
#include "platform/coreaudio/CoreAudioTypes.h"
#include "sim/AudioSource.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

using audioserver::StreamShape;

struct ScenarioDevice {
    std::string uid;
    std::string name;
    UInt32 transportType = kAudioDeviceTransportTypeBuiltIn;
    std::optional<AudioObjectID> objectID;
    double sampleRate = 48000.0;
    UInt32 bufferFrameSize = 512;
    UInt32 outputChannels = 2;
    UInt32 inputChannels = 0;
    StreamShape format;
    bool isAlive = true;
    bool isPlugged = true;
    // What the device's input streams hear.
    AudioSource inputSource;
    bool operator==(const ScenarioDevice&) const = default;
};

struct ScenarioSubdevice {
    std::string uid;
    std::optional<std::int64_t> outputChannels;
    std::optional<std::int64_t> driftCompensation;
    bool operator==(const ScenarioSubdevice&) const = default;
};

// An aggregate device the user made (for example a multi-output device).
struct ScenarioAggregate {
    std::string uid;
    std::string name;
    std::optional<AudioObjectID> objectID;
    std::vector<ScenarioSubdevice> subdevices;
    std::string mainSubdeviceUID;
    std::optional<std::string> clockDeviceUID;
    std::optional<bool> isStacked;
    bool operator==(const ScenarioAggregate&) const = default;
};

// A running application as the workspace lists it.
struct ScenarioApplication {
    std::optional<std::string> bundleID;
    std::optional<std::string> localizedName;
    // Relative paths are created under the server's temporary bundle folder;
    // absolute paths must exist.
    std::optional<std::string> bundlePath;
    // An image file (SVG or PNG) that a created bundle declares as its icon; without one it
    // gets a drawing of its own (its name's initial on a colour of its identifier).
    std::optional<std::string> iconPath;
    bool operator==(const ScenarioApplication&) const = default;
};

struct ScenarioProcess {
    std::int32_t pid = 0;
    std::optional<AudioObjectID> objectID;
    // The audio process's own bundle identifier property; absent = unreadable.
    std::optional<std::string> bundleID;
    std::optional<ScenarioApplication> application;
    AudioSource source;
    bool isPlaying = false;
    bool isCapturing = false;
    // Plays to this device; absent = the system default output.
    std::optional<std::string> outputUID;
    bool isLaunched = true;
    // False for a running application that never opened audio.
    bool isAudioClient = true;
    bool operator==(const ScenarioProcess&) const = default;
};

struct TimelineEvent {
    enum class Kind {
        startAudio,
        stopAudio,
        launch,
        quit,
        plug,
        unplug,
        kill,
        setDefaultOutput,
        setDefaultInput,
        restart,
        sleep,
        wake,
    };
    double at = 0.0;
    Kind kind = Kind::restart;
    std::int32_t pid = 0;
    std::string uid;
    bool operator==(const TimelineEvent&) const = default;
};

struct Scenario {
    std::vector<ScenarioDevice> devices;
    std::vector<ScenarioAggregate> aggregates;
    // Empty: the first plugged device with output (input).
    std::string defaultOutputUID;
    std::string defaultInputUID;
    std::vector<ScenarioProcess> processes;
    std::vector<TimelineEvent> timeline;
    bool operator==(const Scenario&) const = default;

    // The desk every mode runs on out of the box.
    [[nodiscard]] static Scenario embeddedDefault();
    [[nodiscard]] static std::string_view embeddedDefaultText();
};

// The outcome of loading: a scenario, or one line naming the source and the problem.
struct ScenarioResult {
    std::optional<Scenario> scenario;
    // "<source>: <problem>" when loading failed.
    std::string error;
};

// Parses and checks a scenario; sourceName is what error texts call it.
[[nodiscard]] ScenarioResult parseScenario(std::string_view json, std::string_view sourceName);
[[nodiscard]] ScenarioResult loadScenarioFile(const std::string& path);

// The JSON name of an event kind ("startAudio", ...).
[[nodiscard]] std::string_view timelineEventName(TimelineEvent::Kind kind);

}  // namespace sim
