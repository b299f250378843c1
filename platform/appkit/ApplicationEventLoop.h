// The event loop an application runs on instead of the plain main run loop. The
// interactive application installs the desktop's (platform/appkit/qt/QtEventLoop.h),
// which drains the main queue as part of its own event handling.
//
// The application does not own it; it must outlive the application's run.
// Thread-safety: main thread only.
#pragma once

namespace appkit {

class ApplicationEventLoop {
public:
    virtual ~ApplicationEventLoop() = default;
    // Runs until stop(); returns at once when stop() came first.
    virtual void run() = 0;
    // Ends run(), and every loop nested in it, so that run() returns.
    virtual void stop(int exitStatus) = 0;
    // Brings the application's windows in front of other applications' windows.
    virtual void activate() = 0;
};

}  // namespace appkit
