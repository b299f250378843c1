#include "app/DiagnosticsOnceMode.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "hal/AudioDeviceCatalogue.h"
#include "hal/AudioProcessCatalogue.h"
#include "hal/DecimalText.h"
#include "hal/DiagnosticsFieldText.h"
#include "observe/LogicalAppResolver.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/ProcessInfo.h"

namespace tonvale {

namespace {

// The program's identifier when it runs outside its application bundle.
constexpr char kFallbackBundleID[] = "com.zelkor.tonvale";

std::string booleanText(bool value) { return value ? "true" : "false"; }

std::string identifierListText(const std::vector<AudioObjectID>& identifiers) {
    std::string text = "[";
    for (std::size_t index = 0; index < identifiers.size(); ++index) {
        if (index > 0) {
            text += ", ";
        }
        text += std::to_string(identifiers[index]);
    }
    return text + "]";
}

std::string infoText(const std::optional<foundation::Bundle>& bundle, std::string_view key) {
    if (!bundle) {
        return "unknown";
    }
    return bundle->infoValue(key).value_or("unknown");
}

std::string deviceLine(const AudioDeviceInfo& device) {
    return "device id=" + std::to_string(device.objectID) + " uid=" + diagnosticsFieldText(device.uid) +
           " name=" + diagnosticsFieldText(device.name) + " transport=" + device.transportTypeName() +
           " alive=" + booleanText(device.isAlive) + " input=" + booleanText(device.hasInput) +
           " output=" + booleanText(device.hasOutput) +
           " rate=" + (device.nominalSampleRate ? shortestDecimalText(*device.nominalSampleRate) : "unknown");
}

std::string processLine(const AudioProcessInfo& process) {
    return "process objectID=" + std::to_string(process.objectID) + " pid=" + std::to_string(process.pid) +
           " bundleID=" + diagnosticsFieldText(process.bundleID) +
           " name=" + diagnosticsFieldText(process.displayName) + " running=" + booleanText(process.isRunning) +
           " runningOutput=" + booleanText(process.isRunningOutput);
}

std::string logicalAppLine(const LogicalAppProcessGroup& group) {
    std::vector<AudioObjectID> objectIDs;
    objectIDs.reserve(group.processes.size());
    for (const AudioProcessInfo& process : group.processes) {
        objectIDs.push_back(process.objectID);
    }
    std::sort(objectIDs.begin(), objectIDs.end());
    return "logicalApp bundleID=" + diagnosticsFieldText(group.identity.bundleID) +
           " name=" + diagnosticsFieldText(group.identity.displayName) +
           " processObjectIDs=" + identifierListText(objectIDs) +
           " activeProcessObjectIDs=" + identifierListText(group.activeProcessObjectIDs());
}

bool fail(ConsoleOutput& console, const AudioHALError& error) {
    console.error.write("Tonvale diagnostics failed: " + error.description() + "\n");
    return false;
}

}  // namespace

bool runDiagnosticsOnce(ConsoleOutput& console) {
    const HALResult<std::vector<AudioDeviceInfo>> devices = enumerateDevices();
    if (!devices) {
        return fail(console, devices.error());
    }
    const HALResult<std::vector<AudioProcessInfo>> processes = enumerateProcesses();
    if (!processes) {
        return fail(console, processes.error());
    }

    const std::optional<foundation::Bundle> mainBundle = foundation::Bundle::main();
    const foundation::ProcessInfo& processInfo = foundation::ProcessInfo::processInfo();
    const LogicalAppResolver resolver{
        mainBundle ? mainBundle->bundleIdentifier().value_or(kFallbackBundleID) : kFallbackBundleID,
        processInfo.processIdentifier(), LogicalAppResolver::snapshotRunningAppLookup()};
    const std::vector<LogicalAppProcessGroup> groups = resolver.resolve(processes.value());

    console.printLine("Tonvale version=" + infoText(mainBundle, "CFBundleShortVersionString") +
                      " build=" + infoText(mainBundle, "CFBundleVersion"));
    console.printLine("macOS=" + processInfo.operatingSystemVersionString());
    const HALResult<AudioObjectID> defaultOutput = readDefaultOutputDevice();
    if (!defaultOutput) {
        return fail(console, defaultOutput.error());
    }
    console.printLine("defaultOutputID=" + std::to_string(defaultOutput.value()));
    const HALResult<AudioObjectID> defaultInput = readDefaultInputDevice();
    if (!defaultInput) {
        return fail(console, defaultInput.error());
    }
    console.printLine("defaultInputID=" + std::to_string(defaultInput.value()));
    for (const AudioDeviceInfo& device : devices.value()) {
        console.printLine(deviceLine(device));
    }
    for (const AudioProcessInfo& process : processes.value()) {
        console.printLine(processLine(process));
    }
    for (const LogicalAppProcessGroup& group : groups) {
        console.printLine(logicalAppLine(group));
    }
    return true;
}

}  // namespace tonvale
