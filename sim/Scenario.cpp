#include "sim/Scenario.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace sim {

namespace detail {
// Generated at build time from sim/scenarios/default.json.
extern const char* const kDefaultScenarioJSON;
}  // namespace detail

namespace {

using nlohmann::json;

constexpr std::int64_t kMaxChannels = 64;
constexpr std::int64_t kMaxBufferFrames = 16384;
constexpr double kMaxSampleRate = 768000.0;
constexpr double kMaxEventSeconds = 10'000'000.0;

// A problem in the scenario, named by the JSON path of the offending entry.
struct Problem {
    std::string text;
};

const json* member(const json& object, const char* key) {
    auto it = object.find(key);
    return it == object.end() || it->is_null() ? nullptr : &*it;
}

std::string path(const std::string& parent, const char* key) { return parent + "." + key; }

std::string requireString(const json& object, const char* key, const std::string& where) {
    const json* value = member(object, key);
    if (value == nullptr) {
        throw Problem{path(where, key) + " is missing"};
    }
    if (!value->is_string()) {
        throw Problem{path(where, key) + " must be a text"};
    }
    return value->get<std::string>();
}

std::optional<std::string> optionalString(const json& object, const char* key, const std::string& where) {
    const json* value = member(object, key);
    if (value == nullptr) {
        return std::nullopt;
    }
    if (!value->is_string()) {
        throw Problem{path(where, key) + " must be a text"};
    }
    return value->get<std::string>();
}

std::optional<double> optionalNumber(const json& object, const char* key, const std::string& where) {
    const json* value = member(object, key);
    if (value == nullptr) {
        return std::nullopt;
    }
    if (!value->is_number()) {
        throw Problem{path(where, key) + " must be a number"};
    }
    return value->get<double>();
}

std::optional<std::int64_t> optionalInteger(const json& object, const char* key, const std::string& where) {
    const json* value = member(object, key);
    if (value == nullptr) {
        return std::nullopt;
    }
    if (!value->is_number_integer()) {
        throw Problem{path(where, key) + " must be an integer"};
    }
    return value->get<std::int64_t>();
}

bool optionalBool(const json& object, const char* key, const std::string& where, bool fallback) {
    const json* value = member(object, key);
    if (value == nullptr) {
        return fallback;
    }
    if (!value->is_boolean()) {
        throw Problem{path(where, key) + " must be true or false"};
    }
    return value->get<bool>();
}

// A count within [0 or 1, limit]; the limits keep every buffer the server makes small.
UInt32 bounded(std::optional<std::int64_t> value, UInt32 fallback, const std::string& where, bool mustBePositive,
               std::int64_t limit) {
    if (!value) {
        return fallback;
    }
    if (*value < 0 || (mustBePositive && *value == 0)) {
        throw Problem{where + (mustBePositive ? " must be positive" : " must not be negative")};
    }
    if (*value > limit) {
        throw Problem{where + " must be at most " + std::to_string(limit)};
    }
    return static_cast<UInt32>(*value);
}

const json& requireArray(const json& object, const char* key, const std::string& where, const json& empty) {
    const json* value = member(object, key);
    if (value == nullptr) {
        return empty;
    }
    if (!value->is_array()) {
        throw Problem{path(where, key) + " must be a list"};
    }
    return *value;
}

void requireObject(const json& value, const std::string& where) {
    if (!value.is_object()) {
        throw Problem{where + " must be an object"};
    }
}

std::optional<AudioObjectID> objectIDOf(const json& object, const std::string& where) {
    auto id = optionalInteger(object, "objectID", where);
    if (!id) {
        return std::nullopt;
    }
    if (*id <= static_cast<std::int64_t>(kAudioObjectSystemObject) || *id > 0xFFFFFFFFLL) {
        throw Problem{path(where, "objectID") + " must be above 1"};
    }
    return static_cast<AudioObjectID>(*id);
}

UInt32 transportOf(const json& object, const std::string& where) {
    const json* value = member(object, "transport");
    if (value == nullptr) {
        return kAudioDeviceTransportTypeBuiltIn;
    }
    if (value->is_number_unsigned()) {
        return value->get<UInt32>();
    }
    if (!value->is_string() || value->get<std::string>().size() != 4) {
        throw Problem{path(where, "transport") + " must be a four-character code such as \"usb \""};
    }
    const std::string code = value->get<std::string>();
    return (static_cast<UInt32>(static_cast<unsigned char>(code[0])) << 24) |
           (static_cast<UInt32>(static_cast<unsigned char>(code[1])) << 16) |
           (static_cast<UInt32>(static_cast<unsigned char>(code[2])) << 8) |
           static_cast<UInt32>(static_cast<unsigned char>(code[3]));
}

AudioSource sourceOf(const json& object, const char* key, const std::string& where) {
    const json* value = member(object, key);
    if (value == nullptr) {
        return AudioSource::silence();
    }
    const std::string at = path(where, key);
    requireObject(*value, at);
    const std::string kind = requireString(*value, "kind", at);
    const double level = optionalNumber(*value, "level", at).value_or(-12.0);
    if (level > 0.0) {
        throw Problem{path(at, "level") + " must be at most 0 dBFS"};
    }
    if (kind == "silence") {
        return AudioSource::silence();
    }
    if (kind == "noise") {
        return AudioSource::noise(level);
    }
    if (kind == "sine") {
        const auto frequency = optionalNumber(*value, "frequency", at);
        if (!frequency || *frequency <= 0.0) {
            throw Problem{path(at, "frequency") + " must be a positive number"};
        }
        return AudioSource::sine(*frequency, level);
    }
    throw Problem{path(at, "kind") + " must be \"sine\", \"noise\" or \"silence\""};
}

ScenarioDevice deviceOf(const json& value, const std::string& where) {
    requireObject(value, where);
    ScenarioDevice device;
    device.uid = requireString(value, "uid", where);
    if (device.uid.empty()) {
        throw Problem{path(where, "uid") + " must not be empty"};
    }
    device.name = requireString(value, "name", where);
    device.transportType = transportOf(value, where);
    device.objectID = objectIDOf(value, where);
    if (auto rate = optionalNumber(value, "sampleRate", where)) {
        if (!(*rate > 0.0)) {
            throw Problem{path(where, "sampleRate") + " must be positive"};
        }
        if (*rate > kMaxSampleRate) {
            throw Problem{path(where, "sampleRate") + " must be at most 768000"};
        }
        device.sampleRate = *rate;
    }
    device.bufferFrameSize = bounded(optionalInteger(value, "bufferFrameSize", where), 512,
                                     path(where, "bufferFrameSize"), true, kMaxBufferFrames);
    device.outputChannels =
        bounded(optionalInteger(value, "outputChannels", where), 2, path(where, "outputChannels"), false, kMaxChannels);
    device.inputChannels =
        bounded(optionalInteger(value, "inputChannels", where), 0, path(where, "inputChannels"), false, kMaxChannels);
    if (const json* format = member(value, "format")) {
        const std::string at = path(where, "format");
        requireObject(*format, at);
        device.format.bitsPerChannel = bounded(optionalInteger(*format, "bits", at), 32, path(at, "bits"), true, 32);
        device.format.isFloat = optionalBool(*format, "float", at, true);
        device.format.isInterleaved = optionalBool(*format, "interleaved", at, true);
        if (device.format.bitsPerChannel % 8 != 0 || device.format.bitsPerChannel > 32) {
            throw Problem{path(at, "bits") + " must be 8, 16, 24 or 32"};
        }
    }
    device.isAlive = optionalBool(value, "alive", where, true);
    device.isPlugged = optionalBool(value, "plugged", where, true);
    device.inputSource = sourceOf(value, "inputSource", where);
    return device;
}

ScenarioAggregate aggregateOf(const json& value, const std::string& where) {
    requireObject(value, where);
    ScenarioAggregate aggregate;
    aggregate.uid = requireString(value, "uid", where);
    if (aggregate.uid.empty()) {
        throw Problem{path(where, "uid") + " must not be empty"};
    }
    aggregate.name = requireString(value, "name", where);
    aggregate.objectID = objectIDOf(value, where);
    const json empty = json::array();
    const json& list = requireArray(value, "subdevices", where, empty);
    for (std::size_t i = 0; i < list.size(); ++i) {
        const std::string at = path(where, "subdevices") + "[" + std::to_string(i) + "]";
        requireObject(list[i], at);
        ScenarioSubdevice subdevice;
        subdevice.uid = requireString(list[i], "uid", at);
        subdevice.outputChannels = optionalInteger(list[i], "channels-out", at);
        subdevice.driftCompensation = optionalInteger(list[i], "drift", at);
        aggregate.subdevices.push_back(subdevice);
    }
    if (aggregate.subdevices.empty()) {
        throw Problem{path(where, "subdevices") + " must list at least one device"};
    }
    aggregate.mainSubdeviceUID = optionalString(value, "master", where).value_or(aggregate.subdevices.front().uid);
    aggregate.clockDeviceUID = optionalString(value, "clock", where);
    if (const json* stacked = member(value, "stacked")) {
        if (!stacked->is_boolean()) {
            throw Problem{path(where, "stacked") + " must be true or false"};
        }
        aggregate.isStacked = stacked->get<bool>();
    }
    return aggregate;
}

ScenarioProcess processOf(const json& value, const std::string& where) {
    requireObject(value, where);
    ScenarioProcess process;
    const auto pid = optionalInteger(value, "pid", where);
    if (!pid) {
        throw Problem{path(where, "pid") + " is missing"};
    }
    if (*pid <= 0 || *pid > 0x7FFFFFFF) {
        throw Problem{path(where, "pid") + " must be positive"};
    }
    process.pid = static_cast<std::int32_t>(*pid);
    process.objectID = objectIDOf(value, where);
    process.bundleID = optionalString(value, "bundleID", where);
    if (const json* app = member(value, "app")) {
        const std::string at = path(where, "app");
        requireObject(*app, at);
        ScenarioApplication application;
        application.bundleID = optionalString(*app, "bundleID", at);
        if (!application.bundleID) {
            application.bundleID = process.bundleID;
        }
        application.localizedName = optionalString(*app, "name", at);
        application.bundlePath = optionalString(*app, "bundle", at);
        if (application.bundlePath) {
            const std::filesystem::path bundle(*application.bundlePath);
            if (application.bundlePath->empty()) {
                throw Problem{path(at, "bundle") + " must not be empty"};
            }
            if (bundle.is_absolute()) {
                std::error_code error;
                if (!std::filesystem::is_directory(bundle, error)) {
                    throw Problem{path(at, "bundle") +
                                  " names a folder that does not exist: " + *application.bundlePath};
                }
            } else if (bundle.lexically_normal().string().starts_with("..")) {
                throw Problem{path(at, "bundle") + " must stay inside the bundle folder"};
            }
        }
        application.iconPath = optionalString(*app, "icon", at);
        if (application.iconPath) {
            std::error_code error;
            if (!std::filesystem::is_regular_file(*application.iconPath, error)) {
                throw Problem{path(at, "icon") + " names a file that does not exist: " + *application.iconPath};
            }
        }
        process.application = application;
    }
    process.source = sourceOf(value, "source", where);
    process.isPlaying = optionalBool(value, "playing", where, false);
    process.isCapturing = optionalBool(value, "capturing", where, false);
    process.outputUID = optionalString(value, "output", where);
    process.isLaunched = optionalBool(value, "launched", where, true);
    process.isAudioClient = optionalBool(value, "audioClient", where, true);
    return process;
}

constexpr TimelineEvent::Kind kAllEventKinds[] = {
    TimelineEvent::Kind::startAudio,
    TimelineEvent::Kind::stopAudio,
    TimelineEvent::Kind::launch,
    TimelineEvent::Kind::quit,
    TimelineEvent::Kind::plug,
    TimelineEvent::Kind::unplug,
    TimelineEvent::Kind::kill,
    TimelineEvent::Kind::setDefaultOutput,
    TimelineEvent::Kind::setDefaultInput,
    TimelineEvent::Kind::restart,
    TimelineEvent::Kind::sleep,
    TimelineEvent::Kind::wake,
};

bool takesPid(TimelineEvent::Kind kind) {
    switch (kind) {
        case TimelineEvent::Kind::startAudio:
        case TimelineEvent::Kind::stopAudio:
        case TimelineEvent::Kind::launch:
        case TimelineEvent::Kind::quit:
            return true;
        case TimelineEvent::Kind::plug:
        case TimelineEvent::Kind::unplug:
        case TimelineEvent::Kind::kill:
        case TimelineEvent::Kind::setDefaultOutput:
        case TimelineEvent::Kind::setDefaultInput:
        case TimelineEvent::Kind::restart:
        case TimelineEvent::Kind::sleep:
        case TimelineEvent::Kind::wake:
            return false;
    }
    return false;
}

bool takesUID(TimelineEvent::Kind kind) {
    switch (kind) {
        case TimelineEvent::Kind::plug:
        case TimelineEvent::Kind::unplug:
        case TimelineEvent::Kind::kill:
        case TimelineEvent::Kind::setDefaultOutput:
        case TimelineEvent::Kind::setDefaultInput:
            return true;
        case TimelineEvent::Kind::startAudio:
        case TimelineEvent::Kind::stopAudio:
        case TimelineEvent::Kind::launch:
        case TimelineEvent::Kind::quit:
        case TimelineEvent::Kind::restart:
        case TimelineEvent::Kind::sleep:
        case TimelineEvent::Kind::wake:
            return false;
    }
    return false;
}

TimelineEvent eventOf(const json& value, const std::string& where) {
    requireObject(value, where);
    TimelineEvent event;
    const auto at = optionalNumber(value, "at", where);
    if (!at || *at < 0.0 || *at > kMaxEventSeconds) {
        throw Problem{path(where, "at") + " must be a time in seconds from 0 to 10000000"};
    }
    event.at = *at;
    const std::string name = requireString(value, "event", where);
    bool known = false;
    for (const auto kind : kAllEventKinds) {
        if (timelineEventName(kind) == name) {
            event.kind = kind;
            known = true;
        }
    }
    if (!known) {
        throw Problem{path(where, "event") + " names an unknown event \"" + name + "\""};
    }
    if (takesPid(event.kind)) {
        const auto pid = optionalInteger(value, "pid", where);
        if (!pid) {
            throw Problem{path(where, "pid") + " is missing"};
        }
        event.pid = static_cast<std::int32_t>(*pid);
    }
    if (takesUID(event.kind)) {
        event.uid = requireString(value, "uid", where);
    }
    return event;
}

// Consistency of the whole world, after every entry parsed on its own.
void check(const Scenario& scenario) {
    std::set<std::string> uids;
    std::set<AudioObjectID> objectIDs;
    std::set<std::int32_t> pids;
    auto claimID = [&](const std::optional<AudioObjectID>& id, const std::string& owner) {
        if (id && !objectIDs.insert(*id).second) {
            throw Problem{owner + " reuses object identifier " + std::to_string(*id)};
        }
    };
    for (const auto& device : scenario.devices) {
        if (!uids.insert(device.uid).second) {
            throw Problem{"device UID \"" + device.uid + "\" is used twice"};
        }
        claimID(device.objectID, "device \"" + device.uid + "\"");
    }
    for (const auto& aggregate : scenario.aggregates) {
        if (!uids.insert(aggregate.uid).second) {
            throw Problem{"device UID \"" + aggregate.uid + "\" is used twice"};
        }
        claimID(aggregate.objectID, "aggregate \"" + aggregate.uid + "\"");
        for (const auto& subdevice : aggregate.subdevices) {
            bool found = false;
            for (const auto& device : scenario.devices) {
                found = found || device.uid == subdevice.uid;
            }
            if (!found) {
                throw Problem{"aggregate \"" + aggregate.uid + "\" names an unknown sub-device \"" + subdevice.uid +
                              "\""};
            }
        }
        bool mainListed = false;
        for (const auto& subdevice : aggregate.subdevices) {
            mainListed = mainListed || subdevice.uid == aggregate.mainSubdeviceUID;
        }
        if (!mainListed) {
            throw Problem{"aggregate \"" + aggregate.uid + "\" has a main sub-device \"" + aggregate.mainSubdeviceUID +
                          "\" that it does not list"};
        }
    }
    for (const auto& process : scenario.processes) {
        if (!pids.insert(process.pid).second) {
            throw Problem{"process id " + std::to_string(process.pid) + " is used twice"};
        }
        claimID(process.objectID, "process " + std::to_string(process.pid));
        if (process.outputUID && !uids.contains(*process.outputUID)) {
            throw Problem{"process " + std::to_string(process.pid) + " plays to an unknown device \"" +
                          *process.outputUID + "\""};
        }
    }
    auto deviceWith = [&](const std::string& uid) -> const ScenarioDevice* {
        for (const auto& device : scenario.devices) {
            if (device.uid == uid) {
                return &device;
            }
        }
        return nullptr;
    };
    if (!scenario.defaultOutputUID.empty()) {
        const ScenarioDevice* device = deviceWith(scenario.defaultOutputUID);
        bool isAggregate = false;
        for (const auto& aggregate : scenario.aggregates) {
            isAggregate = isAggregate || aggregate.uid == scenario.defaultOutputUID;
        }
        if (!isAggregate && (device == nullptr || device->outputChannels == 0 || !device->isPlugged)) {
            throw Problem{"the default output device \"" + scenario.defaultOutputUID + "\" does not exist"};
        }
    }
    if (!scenario.defaultInputUID.empty()) {
        const ScenarioDevice* device = deviceWith(scenario.defaultInputUID);
        if (device == nullptr || device->inputChannels == 0 || !device->isPlugged) {
            throw Problem{"the default input device \"" + scenario.defaultInputUID + "\" does not exist"};
        }
    }
    for (const auto& event : scenario.timeline) {
        if (takesPid(event.kind) && !pids.contains(event.pid)) {
            throw Problem{"timeline event \"" + std::string(timelineEventName(event.kind)) + "\" names unknown pid " +
                          std::to_string(event.pid)};
        }
        if (takesUID(event.kind) && !uids.contains(event.uid)) {
            throw Problem{"timeline event \"" + std::string(timelineEventName(event.kind)) +
                          "\" names unknown device \"" + event.uid + "\""};
        }
    }
}

Scenario scenarioOf(const json& root) {
    requireObject(root, "the scenario");
    Scenario scenario;
    const json empty = json::array();
    const json& devices = requireArray(root, "devices", "", empty);
    for (std::size_t i = 0; i < devices.size(); ++i) {
        scenario.devices.push_back(deviceOf(devices[i], "devices[" + std::to_string(i) + "]"));
    }
    const json& aggregates = requireArray(root, "aggregates", "", empty);
    for (std::size_t i = 0; i < aggregates.size(); ++i) {
        scenario.aggregates.push_back(aggregateOf(aggregates[i], "aggregates[" + std::to_string(i) + "]"));
    }
    scenario.defaultOutputUID = optionalString(root, "defaultOutput", "").value_or("");
    scenario.defaultInputUID = optionalString(root, "defaultInput", "").value_or("");
    const json& processes = requireArray(root, "processes", "", empty);
    for (std::size_t i = 0; i < processes.size(); ++i) {
        scenario.processes.push_back(processOf(processes[i], "processes[" + std::to_string(i) + "]"));
    }
    const json& timeline = requireArray(root, "timeline", "", empty);
    for (std::size_t i = 0; i < timeline.size(); ++i) {
        scenario.timeline.push_back(eventOf(timeline[i], "timeline[" + std::to_string(i) + "]"));
    }
    check(scenario);
    return scenario;
}

// nlohmann's messages start with "[json.exception.parse_error.101] "; the rest is ours to show.
std::string withoutExceptionTag(std::string text) {
    if (!text.empty() && text.front() == '[') {
        const auto end = text.find("] ");
        if (end != std::string::npos) {
            text.erase(0, end + 2);
        }
    }
    for (char& c : text) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    return text;
}

std::string trimmedPath(std::string text) {
    // Paths are built as ".key"; a top-level entry shows without the dot.
    if (!text.empty() && text.front() == '.') {
        text.erase(0, 1);
    }
    return text;
}

}  // namespace

std::string_view timelineEventName(TimelineEvent::Kind kind) {
    switch (kind) {
        case TimelineEvent::Kind::startAudio:
            return "startAudio";
        case TimelineEvent::Kind::stopAudio:
            return "stopAudio";
        case TimelineEvent::Kind::launch:
            return "launch";
        case TimelineEvent::Kind::quit:
            return "quit";
        case TimelineEvent::Kind::plug:
            return "plug";
        case TimelineEvent::Kind::unplug:
            return "unplug";
        case TimelineEvent::Kind::kill:
            return "kill";
        case TimelineEvent::Kind::setDefaultOutput:
            return "setDefaultOutput";
        case TimelineEvent::Kind::setDefaultInput:
            return "setDefaultInput";
        case TimelineEvent::Kind::restart:
            return "restart";
        case TimelineEvent::Kind::sleep:
            return "sleep";
        case TimelineEvent::Kind::wake:
            return "wake";
    }
    return "unknown";
}

ScenarioResult parseScenario(std::string_view text, std::string_view sourceName) {
    ScenarioResult result;
    json root;
    try {
        root = json::parse(text.begin(), text.end());
    } catch (const json::exception& error) {
        result.error = std::string(sourceName) + ": not valid JSON: " + withoutExceptionTag(error.what());
        return result;
    }
    try {
        result.scenario = scenarioOf(root);
    } catch (const Problem& problem) {
        result.error = std::string(sourceName) + ": " + trimmedPath(problem.text);
    } catch (const json::exception& error) {
        result.error = std::string(sourceName) + ": " + withoutExceptionTag(error.what());
    }
    return result;
}

ScenarioResult loadScenarioFile(const std::string& filePath) {
    std::error_code error;
    if (!std::filesystem::exists(filePath, error)) {
        return {std::nullopt, filePath + ": the scenario file does not exist"};
    }
    if (std::filesystem::is_directory(filePath, error)) {
        return {std::nullopt, filePath + ": the scenario is a folder, not a file"};
    }
    std::ifstream file(filePath, std::ios::binary);
    std::stringstream contents;
    contents << file.rdbuf();
    if (!file || file.bad()) {
        return {std::nullopt, filePath + ": the scenario file cannot be read"};
    }
    return parseScenario(contents.str(), filePath);
}

std::string_view Scenario::embeddedDefaultText() { return detail::kDefaultScenarioJSON; }

Scenario Scenario::embeddedDefault() {
    ScenarioResult result = parseScenario(embeddedDefaultText(), "embedded default scenario");
    if (!result.scenario) {
        // The build embeds a checked file; a broken one is a build defect, not a user error.
        std::fprintf(stderr, "tonvale: %s\n", result.error.c_str());
        std::abort();
    }
    return *result.scenario;
}

}  // namespace sim
