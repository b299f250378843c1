#include "app/TonvaleApp.h"
#include "platform/foundation/ProcessInfo.h"
#include "sim/SimulatedServer.h"

int main(int argc, char** argv) {
    auto& processInfo = foundation::ProcessInfo::processInfo();
    processInfo.setArguments(argc, argv);
    // The simulated audio server stands in for the machine's audio hardware: it
    // comes up with its scenario before any mode runs, and ends the process with
    // one line on standard error when the scenario cannot be loaded.
    sim::SimulatedServer::startShared();
    const tonvale::EnvironmentLookup environment = [&processInfo](const std::string& name) {
        return processInfo.environmentValue(name);
    };
    return tonvale::runTonvale(tonvale::CommandLine(processInfo.arguments()), environment,
                               tonvale::standardLaunchModes(), tonvale::ConsoleOutput::standard());
}
