#include "platform/dispatch/VirtualTime.h"

#include "platform/dispatch/Scheduler.h"
#include "platform/dispatch/VirtualScheduler.h"

#include <atomic>

namespace dispatch {

namespace {
std::atomic<std::uint64_t> gGeneration{0};
}

VirtualTime::VirtualTime()
    : scheduler_(std::make_unique<detail::VirtualScheduler>(kStart, gGeneration.fetch_add(1) + 1)) {
    detail::installVirtualScheduler(scheduler_.get());
}

VirtualTime::~VirtualTime() {
    // Dropped work is destroyed while virtual time still holds, so whatever its
    // destructors submit is dropped too instead of escaping to real threads.
    scheduler_->dropAll();
    detail::installVirtualScheduler(nullptr);
}

void VirtualTime::advance(Seconds seconds) { scheduler_->advance(seconds); }

void VirtualTime::runUntilIdle() { scheduler_->runUntilIdle(); }

bool VirtualTime::runNext() { return scheduler_->runNext(); }

std::size_t VirtualTime::pendingCount() const { return scheduler_->pendingCount(); }

Seconds VirtualTime::now() const { return scheduler_->now(); }

}  // namespace dispatch
