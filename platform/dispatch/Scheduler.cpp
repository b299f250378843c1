#include "platform/dispatch/Scheduler.h"

#include "platform/dispatch/ThreadScheduler.h"
#include "platform/dispatch/VirtualScheduler.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace dispatch::detail {

namespace {
std::atomic<VirtualScheduler*> gVirtual{nullptr};
std::atomic<std::uint64_t> gSequence{0};
}  // namespace

Scheduler& activeScheduler() {
    if (VirtualScheduler* scheduler = gVirtual.load()) {
        return *scheduler;
    }
    return ThreadScheduler::instance();
}

VirtualScheduler* installedVirtualScheduler() { return gVirtual.load(); }

void installVirtualScheduler(VirtualScheduler* scheduler) {
    VirtualScheduler* expected = nullptr;
    if (scheduler == nullptr) {
        gVirtual.store(nullptr);
        return;
    }
    if (!gVirtual.compare_exchange_strong(expected, scheduler)) {
        std::fprintf(stderr, "dispatch: only one VirtualTime may exist at a time\n");
        std::abort();
    }
}

void withdraw(QueueCore& core, const Ticket& ticket) {
    if (ticket.generation == 0) {
        ThreadScheduler::instance().withdraw(core, ticket.key);
        return;
    }
    VirtualScheduler* scheduler = gVirtual.load();
    if (scheduler != nullptr && scheduler->generation() == ticket.generation) {
        scheduler->withdraw(ticket.key);
    }
}

std::uint64_t nextSequence() { return gSequence.fetch_add(1) + 1; }

}  // namespace dispatch::detail
