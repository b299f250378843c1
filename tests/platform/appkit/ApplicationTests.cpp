// The application object: its launch and termination sequence, ended by terminate, a signal or its event loop.
#include "platform/appkit/Application.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch/Dispatch.h"

namespace appkit {
namespace {

// Records the callbacks and, when asked, terminates from the launch callback.
class RecordingDelegate final : public ApplicationDelegate {
public:
    RecordingDelegate(Application& application, std::vector<std::string>& events)
        : application_(application), events_(events) {}

    void applicationDidFinishLaunching() override {
        events_.push_back("didFinishLaunching");
        dispatch::DispatchQueue::main()->async([this] { application_.terminate(7); });
    }
    void applicationWillTerminate() override {
        events_.push_back("willTerminate status=" + std::to_string(application_.terminationStatus().value_or(-1)));
        // A terminate from inside will-terminate must not run it again.
        application_.terminate(3);
    }

private:
    Application& application_;
    std::vector<std::string>& events_;
};

TEST(ApplicationTest, Run_LaunchesOnMainQueueAndReturnsStatusAfterWillTerminate) {
    Application application;
    std::vector<std::string> events;
    RecordingDelegate delegate(application, events);
    application.setDelegate(&delegate);
    EXPECT_EQ(application.run(), 7);
    EXPECT_EQ(events, (std::vector<std::string>{"didFinishLaunching", "willTerminate status=-1"}));
    EXPECT_EQ(application.terminationStatus(), 7);
}

// Records the callbacks and, when given a signal, raises it from the launch callback, as a
// session's logout would send one.
class SignalledDelegate final : public ApplicationDelegate {
public:
    explicit SignalledDelegate(std::optional<int> signalNumber = std::nullopt) : signalNumber_(signalNumber) {}
    void applicationDidFinishLaunching() override {
        events.push_back("didFinishLaunching");
        if (signalNumber_) {
            std::raise(*signalNumber_);
        }
    }
    void applicationWillTerminate() override { events.push_back("willTerminate"); }

    std::vector<std::string> events;

private:
    std::optional<int> signalNumber_;
};

TEST(ApplicationTest, TerminationSignals_EndTheRunThroughWillTerminateWithStatusZero) {
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(signalNumber));
        struct sigaction before {};
        ::sigaction(signalNumber, nullptr, &before);
        Application application;
        SignalledDelegate delegate(signalNumber);
        application.setDelegate(&delegate);

        EXPECT_EQ(application.run(), 0);

        EXPECT_EQ(delegate.events, (std::vector<std::string>{"didFinishLaunching", "willTerminate"}));
        struct sigaction after {};
        ::sigaction(signalNumber, nullptr, &after);
        EXPECT_EQ(after.sa_handler, before.sa_handler) << "the previous handler is back after the run";
    }
}

// An event loop that runs the main queue once and then ends by itself, as a desktop
// session that quits the toolkit's loop would.
class EndingEventLoop final : public ApplicationEventLoop {
public:
    void run() override { (void)dispatch::MainRunLoop::drain(); }
    void stop(int exitStatus) override { stops.push_back(exitStatus); }
    void activate() override {}

    std::vector<int> stops;
};

TEST(ApplicationTest, EventLoopThatEndsByItself_StillRunsTheTerminationSequence) {
    Application application;
    EndingEventLoop loop;
    SignalledDelegate delegate;
    application.setEventLoop(&loop);
    application.setDelegate(&delegate);

    EXPECT_EQ(application.run(), 0);

    EXPECT_EQ(delegate.events, (std::vector<std::string>{"didFinishLaunching", "willTerminate"}));
    EXPECT_EQ(loop.stops, std::vector<int>{0});
}

}  // namespace
}  // namespace appkit
