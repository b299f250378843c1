// "--route-test": routes one application to one output for a while, optionally sweeping
// the gain to silence and back, prints the renderer's counters, tears the route down and
// ends the process. Started from the delegate's launch callback; every step runs on the
// main queue and keeps its route controller in the delegate's routeTestController.
// Thread-safety: main thread only.
#pragma once

namespace tonvale {

class AppDelegate;

void startRouteTest(AppDelegate& delegate);

}  // namespace tonvale
