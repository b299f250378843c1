// Qt's event loop draining the main queue: deadlines, other threads, nested loops, and the application's end.
#include "platform/appkit/qt/QtEventLoop.h"

#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/appkit/Application.h"
#include "platform/dispatch/Dispatch.h"

namespace appkit {
namespace {

using dispatch::DispatchQueue;
using dispatch::Seconds;

// Runs Qt's event loop until the work under test quits it, or a generous limit passes.
class EventLoopRun {
public:
    EventLoopRun() {
        limit_.setSingleShot(true);
        QObject::connect(&limit_, &QTimer::timeout, [this] {
            didTimeOut_ = true;
            loop_.quit();
        });
    }
    void quit() { loop_.quit(); }
    // False when the limit ended the run.
    bool exec() {
        limit_.start(kLimitMilliseconds);
        loop_.exec();
        return !didTimeOut_;
    }

private:
    static constexpr int kLimitMilliseconds = 5000;
    QEventLoop loop_;
    QTimer limit_;
    bool didTimeOut_ = false;
};

class QtMainQueueDriverTest : public ::testing::Test {
protected:
    QtMainQueueDriverTest() { dispatch::MainRunLoop::setDriver(&driver_); }
    ~QtMainQueueDriverTest() override { dispatch::MainRunLoop::setDriver(nullptr); }

    QtMainQueueDriver driver_;
    EventLoopRun run_;
};

TEST_F(QtMainQueueDriverTest, DelayedWork_RunsNoEarlierThanItsDeadlineAndLeavesNothingArmed) {
    constexpr Seconds kDelay = 0.03;
    const Seconds submitted = dispatch::now();
    std::optional<Seconds> ranAt;
    DispatchQueue::main()->asyncAfter(kDelay, [&] {
        ranAt = dispatch::now();
        run_.quit();
    });
    ASSERT_TRUE(driver_.armedDeadline().has_value()) << "the submission arms one wake-up";
    EXPECT_GE(*driver_.armedDeadline(), submitted + kDelay);

    ASSERT_TRUE(run_.exec());

    ASSERT_TRUE(ranAt.has_value());
    EXPECT_GE(*ranAt, submitted + kDelay);
    EXPECT_FALSE(driver_.armedDeadline().has_value()) << "an idle main queue keeps no timer armed";
}

TEST_F(QtMainQueueDriverTest, WorkFromAnotherThread_RunsOnTheMainQueueInTheGuiThread) {
    const std::thread::id guiThread = std::this_thread::get_id();
    std::vector<std::string> log;
    std::thread worker([&] {
        DispatchQueue::main()->async([&] {
            log.push_back(std::this_thread::get_id() == guiThread && DispatchQueue::main()->isCurrent()
                              ? "first on the main queue"
                              : "elsewhere");
        });
        DispatchQueue::main()->async([&] {
            log.push_back("second");
            run_.quit();
        });
    });

    ASSERT_TRUE(run_.exec());
    worker.join();

    EXPECT_EQ(log, (std::vector<std::string>{"first on the main queue", "second"}));
    EXPECT_FALSE(driver_.armedDeadline().has_value());
}

// A modal alert runs its own loop inside a main-queue item; the items due with it and after
// it run meanwhile.
TEST_F(QtMainQueueDriverTest, ItemRunningANestedLoop_DoesNotHoldTheItemsDueWithItBack) {
    std::vector<std::string> log;
    QEventLoop nested;
    DispatchQueue::main()->async([&] {
        QTimer::singleShot(5000, &nested, &QEventLoop::quit);
        nested.exec();
        log.push_back("nested loop ended");
        run_.quit();
    });
    DispatchQueue::main()->async([&] {
        log.push_back("item due with it");
        DispatchQueue::main()->asyncAfter(0.01, [&] {
            log.push_back("item due later");
            nested.quit();
        });
    });

    ASSERT_TRUE(run_.exec());

    EXPECT_EQ(log, (std::vector<std::string>{"item due with it", "item due later", "nested loop ended"}));
    EXPECT_FALSE(driver_.armedDeadline().has_value());
}

// Ends the run from the launch callback: by terminate with a status, or by a signal.
class EndingDelegate final : public ApplicationDelegate {
public:
    EndingDelegate(Application& application, std::optional<int> signalNumber)
        : application_(application), signalNumber_(signalNumber) {}
    void applicationDidFinishLaunching() override {
        events.push_back("didFinishLaunching");
        if (signalNumber_) {
            std::raise(*signalNumber_);
            return;
        }
        DispatchQueue::main()->async([this] { application_.terminate(5); });
    }
    void applicationWillTerminate() override { events.push_back("willTerminate"); }

    std::vector<std::string> events;

private:
    Application& application_;
    std::optional<int> signalNumber_;
};

TEST(QtEventLoopTest, ApplicationOnQtsLoop_EndsThroughWillTerminateWithTheStatusOfTerminateOrZeroOnASignal) {
    // Which signals end the run is proven with the plain loop; here one arrives through Qt's.
    const std::vector<std::pair<std::optional<int>, int>> cases = {{std::nullopt, 5}, {SIGTERM, 0}};
    for (const auto& [signalNumber, expectedStatus] : cases) {
        SCOPED_TRACE(signalNumber ? strsignal(*signalNumber) : "terminate(5)");
        Application application;
        QtEventLoop loop;
        EndingDelegate delegate(application, signalNumber);
        application.setEventLoop(&loop);
        application.setDelegate(&delegate);

        EXPECT_EQ(application.run(), expectedStatus);

        EXPECT_EQ(delegate.events, (std::vector<std::string>{"didFinishLaunching", "willTerminate"}));
        EXPECT_FALSE(loop.driver().armedDeadline().has_value());
    }
}

}  // namespace
}  // namespace appkit
