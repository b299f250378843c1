// Which queue the calling thread runs on: a per-thread chain of frames.
//
// Running work pushes a frame for its queue; a sync block run on another
// thread links its frame to the caller's chain, so a sync back onto any queue
// up the chain is caught instead of deadlocking. Private to dispatch.
//
// Thread-safety: each thread sees only its own chain.
#pragma once

#include "platform/dispatch/Scheduler.h"

namespace dispatch::detail {

class QueueCore;

struct QueueFrame {
    const QueueCore* core = nullptr;
    const QueueFrame* caller = nullptr;
};

// Marks a queue current on this thread for the scope's lifetime.
class CurrentQueueScope {
public:
    CurrentQueueScope(const QueueCore& core, const QueueFrame* caller);
    ~CurrentQueueScope();
    CurrentQueueScope(const CurrentQueueScope&) = delete;
    CurrentQueueScope& operator=(const CurrentQueueScope&) = delete;

private:
    QueueFrame frame_;
    const QueueFrame* previous_;
};

[[nodiscard]] const QueueFrame* currentFrame();
// True when core is current on this thread or anywhere up its sync chain.
[[nodiscard]] bool isOnChain(const QueueCore& core);
// Aborts if syncing onto core from here would deadlock.
void checkSyncAllowed(const QueueCore& core);

// Runs pending work with its queue current; the closure is destroyed while the
// queue is still current (its captures' destructors may check isCurrent), the
// queue reference only afterwards (it may be the last one).
void runPending(QueueCore& core, PendingWork work);

}  // namespace dispatch::detail
