// The main thread's run loop, which drains the main queue.
//
// The plain loop (run/stop) blocks the calling thread, normally the process's
// main thread, for the command-line modes and tests. The interactive
// application installs a MainQueueDriver so that its event loop drains the
// main queue instead. In virtual time run() advances the virtual clock.
//
// Thread-safety: stop, setDriver and the driver's wake may be used from any
// thread; run and drain belong to the main thread.
#pragma once

#include "platform/dispatch/Clock.h"

#include <optional>

namespace dispatch {

class MainQueueDriver {
public:
    virtual ~MainQueueDriver() = default;
    // Called from any thread when the main queue got work due at the given
    // monotonic time (now or later). The driver then calls MainRunLoop::drain
    // on the main thread at or after that time.
    virtual void wake(Seconds due) = 0;
};

class MainRunLoop {
public:
    // Runs the main queue on the calling thread until stop() is called. In
    // virtual time it runs every queue's work in deadline order, moving the
    // virtual clock, and also returns once nothing is pending.
    static void run();
    // Makes run() return after the item it is running; callable from any
    // thread. A stop that arrives while no run() is active ends the next run()
    // at once, so a stop racing with the start of run() is never lost.
    static void stop();
    // Runs every main-queue item that is due now and was submitted before the
    // call; answers the deadline of the next pending item, if any. For drivers.
    static std::optional<Seconds> drain();
    // Installs a driver (nullptr restores the plain loop). The driver must
    // outlive its installation.
    static void setDriver(MainQueueDriver* driver);
};

}  // namespace dispatch
