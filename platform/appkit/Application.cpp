#include "platform/appkit/Application.h"

#include "platform/dispatch/Dispatch.h"

namespace appkit {

void Application::finishLaunching() {
    if (delegate_ != nullptr) {
        delegate_->applicationDidFinishLaunching();
    }
}

int Application::run() {
    dispatch::DispatchQueue::main()->async([this] { finishLaunching(); });
    dispatch::MainRunLoop::run();
    return exitStatus_.load();
}

void Application::terminate(int exitStatus) {
    if (isTerminating_.exchange(true)) {
        return;
    }
    if (delegate_ != nullptr) {
        delegate_->applicationWillTerminate();
    }
    exitStatus_.store(exitStatus);
    isTerminated_.store(true);
    dispatch::MainRunLoop::stop();
}

std::optional<int> Application::terminationStatus() const {
    if (!isTerminated_.load()) {
        return std::nullopt;
    }
    return exitStatus_.load();
}

}  // namespace appkit
