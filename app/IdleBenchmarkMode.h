// "--idle-benchmark": the whole interactive application, status item included, on an
// in-memory store and an inert login item, for "--duration" seconds (300 by default, at
// least 0.25), so that its idle cost can be measured from outside without touching the
// user's settings or login item; then it ends through the normal termination sequence.
// Started from the delegate's launch callback.
// Thread-safety: main thread only.
#pragma once

namespace tonvale {

class AppDelegate;

void startIdleBenchmark(AppDelegate& delegate);

}  // namespace tonvale
