#include "app/TonvaleApp.h"

#include "app/DiagnosticsOnceMode.h"
#include "app/InputSelectionTestMode.h"
#include "app/RouteBenchmarkMode.h"
#include "app/RouteTestMode.h"

namespace tonvale {

LaunchModes standardLaunchModes() {
    LaunchModes modes;
    modes.initializer.diagnosticsOnce = runDiagnosticsOnce;
    modes.initializer.inputSelectionTest = runInputSelectionTest;
    modes.delegate.routeTest = startRouteTest;
    modes.delegate.routeBenchmark = startRouteBenchmark;
    return modes;
}

}  // namespace tonvale
