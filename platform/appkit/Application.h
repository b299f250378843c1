// The application object: owns the launch and termination sequence and the
// activation policy, and calls its delegate on the main thread.
//
// One exists per process (the entry creates it); tests create their own. run()
// drains the main queue until terminate() is called and answers the exit
// status, so the process ends through main's return after the delegate's
// will-terminate callback has run.
// Thread-safety: main thread only, except terminationStatus().
#pragma once

#include <atomic>
#include <optional>

namespace appkit {

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
    Application() = default;
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The delegate is not owned; it must outlive the application's run.
    void setDelegate(ApplicationDelegate* delegate) { delegate_ = delegate; }

    void setActivationPolicy(ActivationPolicy policy) { activationPolicy_ = policy; }
    [[nodiscard]] std::optional<ActivationPolicy> activationPolicy() const { return activationPolicy_; }

    // Calls the delegate's did-finish-launching callback. run() does this from
    // the main queue; tests in virtual time call it directly.
    void finishLaunching();

    // Finishes launching from the main queue, then runs the main run loop until
    // terminate(); answers the exit status.
    [[nodiscard]] int run();

    // The normal termination sequence: the delegate's will-terminate callback,
    // then the end of run() with the given exit status. Later calls do nothing.
    void terminate(int exitStatus);

    // The status terminate() was given, once it was called.
    [[nodiscard]] std::optional<int> terminationStatus() const;

private:
    ApplicationDelegate* delegate_ = nullptr;
    std::optional<ActivationPolicy> activationPolicy_;
    std::atomic<bool> isTerminating_{false};
    std::atomic<bool> isTerminated_{false};
    std::atomic<int> exitStatus_{0};
};

}  // namespace appkit
