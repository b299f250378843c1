#include "platform/appkit/Application.h"

#include "platform/appkit/TerminationSignalWatcher.h"
#include "platform/dispatch/Dispatch.h"

namespace appkit {

namespace {
Application* gSharedApplication = nullptr;
}  // namespace

Application::Application() {
    if (gSharedApplication == nullptr) {
        gSharedApplication = this;
    }
}

Application::~Application() {
    if (gSharedApplication == this) {
        gSharedApplication = nullptr;
    }
}

Application* Application::shared() { return gSharedApplication; }

void Application::activateIgnoringOtherApps(bool flag) {
    if (flag && eventLoop_ != nullptr) {
        eventLoop_->activate();
    }
}

void Application::finishLaunching() {
    if (delegate_ != nullptr) {
        delegate_->applicationDidFinishLaunching();
    }
}

int Application::run() {
    const TerminationSignalWatcher signals([this](int) { terminate(0); });
    dispatch::DispatchQueue::main()->async([this] { finishLaunching(); });
    if (eventLoop_ == nullptr) {
        dispatch::MainRunLoop::run();
        return exitStatus_.load();
    }
    eventLoop_->run();
    terminate(0);
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
    if (eventLoop_ != nullptr) {
        eventLoop_->stop(exitStatus);
        return;
    }
    dispatch::MainRunLoop::stop();
}

std::optional<int> Application::terminationStatus() const {
    if (!isTerminated_.load()) {
        return std::nullopt;
    }
    return exitStatus_.load();
}

}  // namespace appkit
