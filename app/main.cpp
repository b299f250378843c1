#include "app/TonvaleApp.h"
#include "desktop/DesktopServers.h"
#include "platform/foundation/ProcessInfo.h"
#include "sim/SimulatedServer.h"

#include <cstdio>
#include <string>

namespace {

// Brings up the audio server the program runs on: TONVALE_AUDIO=pipewire (the desktop's
// PipeWire server) or TONVALE_AUDIO=sim (the simulated server); without it, the simulation
// when TONVALE_SCENARIO names one of its worlds, else PipeWire when one answers, else the
// simulation. A server that was asked for and cannot be reached ends the process with one
// line on standard error and status 1.
int startAudioServer(const std::optional<std::string>& choice, const std::optional<std::string>& scenario) {
    std::string chosen = choice.value_or("");
    if (chosen.empty() && !scenario.value_or("").empty()) {
        chosen = "sim";
    }
    if (chosen == "pipewire" || chosen.empty()) {
        const std::optional<std::string> error = desktop::DesktopServers::startShared();
        if (!error) {
            return 0;
        }
        if (!chosen.empty()) {
            std::fprintf(stderr, "tonvale: PipeWire: %s\n", error->c_str());
            return 1;
        }
    } else if (chosen != "sim") {
        std::fprintf(stderr, "tonvale: TONVALE_AUDIO must be pipewire or sim, not \"%s\"\n", chosen.c_str());
        return 1;
    }
    // The simulated server ends the process with one line on standard error when its
    // scenario cannot be loaded.
    sim::SimulatedServer::startShared();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    auto& processInfo = foundation::ProcessInfo::processInfo();
    processInfo.setArguments(argc, argv);
    if (startAudioServer(processInfo.environmentValue("TONVALE_AUDIO"),
                         processInfo.environmentValue("TONVALE_SCENARIO")) != 0) {
        std::fflush(stderr);
        return 1;
    }
    const tonvale::EnvironmentLookup environment = [&processInfo](const std::string& name) {
        return processInfo.environmentValue(name);
    };
    return tonvale::runTonvale(tonvale::CommandLine(processInfo.arguments()), environment,
                               tonvale::standardLaunchModes(), tonvale::ConsoleOutput::standard());
}
