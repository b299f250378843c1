// The application object: owns the launch and termination sequence and the
// activation policy, and calls its delegate on the main thread.
//
// One exists per process (the entry creates it); tests create their own. run()
// drains the main queue, with the plain run loop or an installed event loop,
// until terminate() is called and answers the exit status, so the process ends
// through main's return after the delegate's will-terminate callback has run.
// While it runs, SIGTERM, SIGINT and SIGHUP terminate it with status 0.
// Thread-safety: main thread only, except terminationStatus().
#pragma once

#include <atomic>
#include <optional>

#include "platform/appkit/ApplicationEventLoop.h"

namespace appkit {

// Accessory: no taskbar entry and no main window; the application runs until it
// terminates, whatever windows it opens and closes.
enum class ActivationPolicy {
    regular = 0,
    accessory = 1,
    prohibited = 2,
};

// Receives the application's launch and termination callbacks, on the main thread.
class ApplicationDelegate {
public:
    virtual ~ApplicationDelegate() = default;
    virtual void applicationDidFinishLaunching() = 0;
    virtual void applicationWillTerminate() = 0;
};

class Application {
public:
    Application();
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The process's application: the first one created that still exists.
    [[nodiscard]] static Application* shared();

    // The delegate is not owned; it must outlive the application's run.
    void setDelegate(ApplicationDelegate* delegate) { delegate_ = delegate; }

    // Not owned; it must outlive the application's run. nullptr: the plain run loop.
    void setEventLoop(ApplicationEventLoop* eventLoop) { eventLoop_ = eventLoop; }

    void setActivationPolicy(ActivationPolicy policy) { activationPolicy_ = policy; }
    [[nodiscard]] std::optional<ActivationPolicy> activationPolicy() const { return activationPolicy_; }

    // Brings the application's windows to the front (nothing on the plain run loop,
    // which has no windows).
    void activateIgnoringOtherApps(bool flag);

    // Calls the delegate's did-finish-launching callback. run() does this from
    // the main queue; tests in virtual time call it directly.
    void finishLaunching();

    // Finishes launching from the main queue, then runs the event loop until
    // terminate(); answers the exit status. An installed event loop that ends by
    // other means still runs the termination sequence, with status 0.
    [[nodiscard]] int run();

    // The normal termination sequence: the delegate's will-terminate callback,
    // then the end of run() with the given exit status. Later calls do nothing.
    void terminate(int exitStatus);

    // The status terminate() was given, once it was called.
    [[nodiscard]] std::optional<int> terminationStatus() const;

private:
    ApplicationDelegate* delegate_ = nullptr;
    ApplicationEventLoop* eventLoop_ = nullptr;
    std::optional<ActivationPolicy> activationPolicy_;
    std::atomic<bool> isTerminating_{false};
    std::atomic<bool> isTerminated_{false};
    std::atomic<int> exitStatus_{0};
};

}  // namespace appkit
