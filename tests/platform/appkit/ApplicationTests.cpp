#include "platform/appkit/Application.h"

#include <gtest/gtest.h>

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
        events_.push_back("willTerminate status=" +
                          std::to_string(application_.terminationStatus().value_or(-1)));
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

}  // namespace
}  // namespace appkit
