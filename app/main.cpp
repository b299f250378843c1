#include "app/TonvaleApp.h"
#include "platform/foundation/ProcessInfo.h"

int main(int argc, char** argv) {
    auto& processInfo = foundation::ProcessInfo::processInfo();
    processInfo.setArguments(argc, argv);
    const tonvale::EnvironmentLookup environment = [&processInfo](const std::string& name) {
        return processInfo.environmentValue(name);
    };
    return tonvale::runTonvale(tonvale::CommandLine(processInfo.arguments()), environment,
                               tonvale::standardLaunchModes(), tonvale::ConsoleOutput::standard());
}
