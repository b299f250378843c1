// Qt's event loop as the application's event loop: while it exists the main queue
// is drained by Qt (through a QtMainQueueDriver), so main-queue work, timers and
// widgets share the GUI thread. Closing the last window never ends the loop: only
// the application's terminate() does, through stop().
//
// The process's entry creates it after the QApplication and installs it with
// Application::setEventLoop; it must outlive every queue that submits main-queue work.
// Thread-safety: main (GUI) thread only.
#pragma once

#include "platform/appkit/ApplicationEventLoop.h"
#include "platform/appkit/qt/QtMainQueueDriver.h"

namespace appkit {

class QtEventLoop final : public ApplicationEventLoop {
public:
    QtEventLoop();
    ~QtEventLoop() override;
    QtEventLoop(const QtEventLoop&) = delete;
    QtEventLoop& operator=(const QtEventLoop&) = delete;

    void run() override;
    // Ends the loop and every loop nested in it (a modal alert's, say) with that status.
    void stop(int exitStatus) override;
    void activate() override;

    [[nodiscard]] const QtMainQueueDriver& driver() const { return driver_; }

private:
    QtMainQueueDriver driver_;
    bool isStopRequested_ = false;
};

}  // namespace appkit
