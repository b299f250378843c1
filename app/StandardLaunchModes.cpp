#include "app/TonvaleApp.h"

#include "app/DiagnosticsOnceMode.h"
#include "app/InputSelectionTestMode.h"

namespace tonvale {

LaunchModes standardLaunchModes() {
    LaunchModes modes;
    modes.initializer.diagnosticsOnce = runDiagnosticsOnce;
    modes.initializer.inputSelectionTest = runInputSelectionTest;
    return modes;
}

}  // namespace tonvale
