// A block of work that can be cancelled before it runs.
//
// A cancelled item never runs. Owners keep pending items as members and
// cancel them before replacing them and when they go.
//
// Thread-safety: cancel and isCancelled may be called from any thread, also
// while the item runs.
#pragma once

#include <atomic>
#include <functional>
#include <memory>

namespace dispatch {

class DispatchWorkItem {
public:
    [[nodiscard]] static std::shared_ptr<DispatchWorkItem> create(std::function<void()> work);

    explicit DispatchWorkItem(std::function<void()> work);

    void cancel();
    [[nodiscard]] bool isCancelled() const;
    // Runs the work unless cancelled; used by the queues.
    void perform();

private:
    std::function<void()> work_;
    std::atomic<bool> isCancelled_{false};
};

}  // namespace dispatch
