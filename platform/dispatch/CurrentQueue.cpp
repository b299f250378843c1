#include "platform/dispatch/CurrentQueue.h"

#include "platform/dispatch/QueueCore.h"

#include <cstdio>
#include <cstdlib>

namespace dispatch::detail {

namespace {
thread_local const QueueFrame* tCurrent = nullptr;
}

CurrentQueueScope::CurrentQueueScope(const QueueCore& core, const QueueFrame* caller)
    : frame_{&core, caller}, previous_(tCurrent) {
    tCurrent = &frame_;
}

CurrentQueueScope::~CurrentQueueScope() { tCurrent = previous_; }

const QueueFrame* currentFrame() { return tCurrent; }

bool isOnChain(const QueueCore& core) {
    for (const QueueFrame* frame = tCurrent; frame != nullptr; frame = frame->caller) {
        if (frame->core == &core) {
            return true;
        }
    }
    return false;
}

void checkSyncAllowed(const QueueCore& core) {
    if (!isOnChain(core)) {
        return;
    }
    std::fprintf(stderr,
                 "dispatch: sync onto queue '%s' from work already running on it would deadlock; "
                 "check isCurrent() and run the block directly\n",
                 core.label.c_str());
    std::abort();
}

void runPending(QueueCore& core, PendingWork work) {
    {
        CurrentQueueScope scope(core, work.caller);
        work.work();
        work.work = nullptr;
    }
    work.queue.reset();
}

}  // namespace dispatch::detail
