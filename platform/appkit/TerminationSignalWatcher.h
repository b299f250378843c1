// Turns SIGTERM, SIGINT and SIGHUP into work on the main queue, so that a desktop
// session's logout, a terminal's Ctrl-C or hang-up end the application through its
// normal termination sequence instead of killing it mid-route.
//
// The handler only writes the signal's number to a pipe (async-signal-safe); a thread
// of the watcher reads it and submits the callback to the main queue, which the plain
// run loop and Qt's event loop both drain. The application creates one for the time
// it runs; the previous handlers come back when it is destroyed.
// Thread-safety: create and destroy it on the main thread; one at a time.
#pragma once

#include <functional>
#include <memory>
#include <thread>

namespace appkit {

class TerminationSignalWatcher {
public:
    // onSignal runs on the main queue, once per signal received, with its number;
    // never after the watcher is gone.
    explicit TerminationSignalWatcher(std::function<void(int signalNumber)> onSignal);
    ~TerminationSignalWatcher();
    TerminationSignalWatcher(const TerminationSignalWatcher&) = delete;
    TerminationSignalWatcher& operator=(const TerminationSignalWatcher&) = delete;

private:
    struct State;
    std::shared_ptr<State> state_;
    std::thread reader_;
};

}  // namespace appkit
