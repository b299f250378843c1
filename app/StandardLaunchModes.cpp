#include "app/TonvaleApp.h"

#include "app/ApplicationAssembly.h"
#include "app/DiagnosticsOnceMode.h"
#include "app/IdleBenchmarkMode.h"
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
    modes.delegate.idleBenchmark = startIdleBenchmark;
    modes.delegate.interactive = buildInteractiveApplication;
    modes.desktop = makeQtDesktopSession;
    return modes;
}

}  // namespace tonvale
