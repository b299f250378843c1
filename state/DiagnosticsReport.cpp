#include "state/DiagnosticsReport.h"

#include <sys/utsname.h>

#include <algorithm>
#include <set>

#include "hal/DecimalText.h"
#include "hal/DiagnosticsFieldText.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/ProcessInfo.h"

namespace tonvale {
namespace {

// One report line under construction: items "key=value" separated by single spaces.
class Line {
public:
    explicit Line(std::string& report) : report_(report) { report_ += "\n "; }

    Line& item(const char* key, const std::string& value) {
        ((report_ += ' ') += key) += '=';
        report_ += value;
        return *this;
    }
    Line& text(const char* key, const std::string& value) { return item(key, diagnosticsFieldText(value)); }
    Line& number(const char* key, std::uint64_t value) { return item(key, std::to_string(value)); }
    Line& flag(const char* key, bool value) { return item(key, value ? "true" : "false"); }
    Line& identifiers(const char* key, std::vector<AudioObjectID> ids) {
        std::sort(ids.begin(), ids.end());
        std::string list = "[";
        for (std::size_t index = 0; index < ids.size(); ++index) {
            list += (index == 0 ? "" : ", ") + std::to_string(ids[index]);
        }
        return item(key, list + "]");
    }

private:
    std::string& report_;
};

std::string infoText(const std::optional<std::string>& value) {
    return value ? diagnosticsFieldText(*value) : "unknown";
}

}  // namespace

DiagnosticsReportFacts DiagnosticsReportFacts::current() {
    DiagnosticsReportFacts facts;
    if (const std::optional<foundation::Bundle> bundle = foundation::Bundle::main()) {
        facts.appVersion = bundle->infoValue("CFBundleShortVersionString");
        facts.appBuild = bundle->infoValue("CFBundleVersion");
    }
    facts.operatingSystemVersion = foundation::ProcessInfo::processInfo().operatingSystemVersionString();
    utsname system{};
    facts.architecture = uname(&system) == 0 ? system.machine : "unknown";
    return facts;
}

std::string makeDiagnosticsReport(const std::vector<AudioDeviceInfo>& devices, AudioObjectID defaultOutputID,
                                  AudioObjectID defaultInputID, const std::vector<LogicalAppProcessGroup>& logicalApps,
                                  const std::map<std::string, RouteStatus>& routeStatuses,
                                  const std::map<std::string, AudioRouteSnapshot>& routeSnapshots,
                                  const DiagnosticsReportFacts& facts) {
    std::string report = "Tonvale diagnostics";
    report += "\nappVersion=" + infoText(facts.appVersion);
    report += "\nappBuild=" + infoText(facts.appBuild);
    report += "\nmacOS=" + diagnosticsFieldText(facts.operatingSystemVersion);
    report += "\narchitecture=" + diagnosticsFieldText(facts.architecture);
    report += "\ndefaultOutputID=" + std::to_string(defaultOutputID);
    report += "\ndefaultInputID=" + std::to_string(defaultInputID);

    report += "\ndevices:";
    for (const AudioDeviceInfo& device : devices) {
        Line(report)
            .number("id", device.objectID)
            .text("uid", device.uid)
            .text("name", device.name)
            .text("transport", device.transportTypeName())
            .flag("alive", device.isAlive)
            .flag("input", device.hasInput)
            .flag("output", device.hasOutput)
            .item("rate", device.nominalSampleRate ? shortestDecimalText(*device.nominalSampleRate) : "unknown");
    }

    report += "\nlogicalApps:";
    std::vector<const AudioProcessInfo*> processes;
    for (const LogicalAppProcessGroup& group : logicalApps) {
        std::vector<AudioObjectID> objectIDs;
        for (const AudioProcessInfo& process : group.processes) {
            objectIDs.push_back(process.objectID);
            processes.push_back(&process);
        }
        Line(report)
            .text("bundleID", group.identity.bundleID)
            .text("name", group.identity.displayName)
            .identifiers("processObjectIDs", std::move(objectIDs))
            .identifiers("activeProcessObjectIDs", group.activeProcessObjectIDs());
    }

    report += "\nprocesses:";
    std::stable_sort(processes.begin(), processes.end(), [](const AudioProcessInfo* lhs, const AudioProcessInfo* rhs) {
        return lhs->objectID < rhs->objectID;
    });
    for (const AudioProcessInfo* process : processes) {
        Line(report)
            .number("objectID", process->objectID)
            .item("pid", std::to_string(process->pid))
            .text("bundleID", process->bundleID)
            .text("name", process->displayName)
            .flag("running", process->isRunning)
            .flag("runningOutput", process->isRunningOutput);
    }

    report += "\nroutes:";
    std::set<std::string> bundleIDs;
    for (const auto& [bundleID, status] : routeStatuses) {
        bundleIDs.insert(bundleID);
    }
    for (const auto& [bundleID, snapshot] : routeSnapshots) {
        bundleIDs.insert(bundleID);
    }
    for (const std::string& bundleID : bundleIDs) {
        const auto status = routeStatuses.find(bundleID);
        const RouteStatus* const routeStatus = status == routeStatuses.end() ? nullptr : &status->second;
        const auto snapshot = routeSnapshots.find(bundleID);
        const AudioRouteSnapshot* const routeSnapshot = snapshot == routeSnapshots.end() ? nullptr : &snapshot->second;
        std::optional<std::string> destination = routeSnapshot ? routeSnapshot->destinationUID : std::nullopt;
        if (!destination && routeStatus) {
            destination = routeStatus->effectiveDestinationUID;
        }
        std::optional<std::string> message = routeStatus ? routeStatus->message : std::nullopt;
        Line(report)
            .text("bundleID", bundleID)
            .item("state", routeStatus ? std::string(rawValue(routeStatus->phase)) : "unknown")
            .text("destinationUID", destination.value_or("none"))
            .flag("fallback", routeStatus && routeStatus->isFallbackActive)
            .number("callbackCount", routeSnapshot ? routeSnapshot->callbackCount : 0)
            .number("lastCallbackHostTime", routeSnapshot ? routeSnapshot->lastCallbackHostTime : 0)
            .number("unequalFrameCallbacks", routeSnapshot ? routeSnapshot->unequalFrameCallbackCount : 0)
            .text("message", message.value_or("none"));
    }
    return report;
}

}  // namespace tonvale
