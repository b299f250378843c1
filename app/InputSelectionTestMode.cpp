#include "app/InputSelectionTestMode.h"

#include <algorithm>
#include <string>
#include <vector>

#include "hal/AudioDeviceCatalogue.h"

namespace tonvale {

namespace {

bool fail(ConsoleOutput& console, const std::string& reason) {
    console.error.write("input-selection-test failed: " + reason + "\n");
    return false;
}

}  // namespace

bool runInputSelectionTest(ConsoleOutput& console) {
    const HALResult<AudioObjectID> current = readDefaultInputDevice();
    if (!current) {
        return fail(console, current.error().description());
    }
    const HALResult<std::vector<AudioDeviceInfo>> devices = enumerateDevices();
    if (!devices) {
        return fail(console, devices.error().description());
    }
    const bool isAvailable =
        std::any_of(devices.value().begin(), devices.value().end(), [&current](const AudioDeviceInfo& device) {
            return device.objectID == current.value() && device.isAlive && device.hasInput;
        });
    if (!isAvailable) {
        return fail(console, "current input is unavailable");
    }
    // Only ever the device that is already the default: a failing run leaves nothing changed.
    const HALResult<void> selected = setDefaultInputDevice(current.value());
    if (!selected) {
        return fail(console, selected.error().description());
    }
    const HALResult<AudioObjectID> after = readDefaultInputDevice();
    if (!after) {
        return fail(console, after.error().description());
    }
    if (after.value() != current.value()) {
        return fail(console, "default input changed unexpectedly");
    }
    console.printLine("input-selection-test passed currentDeviceID=" + std::to_string(current.value()));
    return true;
}

}  // namespace tonvale
