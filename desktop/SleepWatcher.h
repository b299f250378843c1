// The machine going to sleep and waking, as the login manager (login1) announces them with
// its PrepareForSleep signal on the system bus.
//
// Watches on a thread of its own, which sleeps in poll() until the bus or the watcher's
// end wakes it; the handler runs on that thread.
// Thread-safety: start and the destructor may be called from any thread but the watcher's.
#pragma once

#include <functional>
#include <memory>

namespace desktop {

class SleepWatcher {
public:
    // Called with true before the machine sleeps, with false once it woke.
    using Handler = std::function<void(bool isGoingToSleep)>;

    // A running watcher, or none where the system bus or login1 cannot be reached.
    [[nodiscard]] static std::unique_ptr<SleepWatcher> start(Handler handler);
    ~SleepWatcher();
    SleepWatcher(const SleepWatcher&) = delete;
    SleepWatcher& operator=(const SleepWatcher&) = delete;

    struct Bus;

private:
    explicit SleepWatcher(std::unique_ptr<Bus> bus);
    std::unique_ptr<Bus> bus_;
};

}  // namespace desktop
