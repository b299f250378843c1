// "--route-benchmark": runs up to eight identical silent routes of one application to
// one output at once, then reports the spread of their callback counts and the
// unequal-frame total, stops them all and ends the process; it passes only when every
// route ran cleanly. Started from the delegate's launch callback; every step runs on the
// main queue and keeps the route controllers in the delegate's benchmarkControllers.
// Thread-safety: main thread only.
#pragma once

namespace tonvale {

class AppDelegate;

void startRouteBenchmark(AppDelegate& delegate);

}  // namespace tonvale
