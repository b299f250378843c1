#include "platform/dispatch/VirtualScheduler.h"

#include "platform/dispatch/CurrentQueue.h"
#include "platform/dispatch/QueueCore.h"

#include <limits>

namespace dispatch::detail {

namespace {
constexpr std::uint64_t kAnySequence = std::numeric_limits<std::uint64_t>::max();
}

VirtualScheduler::VirtualScheduler(Seconds start, std::uint64_t generation) : generation_(generation), now_(start) {}

Seconds VirtualScheduler::now() const { return now_.load(); }

Ticket VirtualScheduler::submit(const QueuePtr& queue, Seconds deadline, std::function<void()> work) {
    const WorkKey key{deadline, nextSequence()};
    std::lock_guard lock(mutex_);
    pending_.emplace(key, PendingWork{std::move(work), queue, nullptr});
    return Ticket{key, generation_};
}

void VirtualScheduler::sync(const QueuePtr& queue, const std::function<void()>& work) {
    QueueCore& core = QueueAccess::core(*queue);
    checkSyncAllowed(core);
    const WorkKey limit{now(), nextSequence()};
    while (runFirstBefore(limit, &core)) {
    }
    CurrentQueueScope scope(core, currentFrame());
    work();
}

void VirtualScheduler::withdraw(const WorkKey& key) {
    std::map<WorkKey, PendingWork>::node_type removed;
    {
        std::lock_guard lock(mutex_);
        removed = pending_.extract(key);
    }
}

void VirtualScheduler::advance(Seconds seconds) {
    const Seconds end = now() + seconds;
    while (runFirstBefore(WorkKey{end, kAnySequence}, nullptr)) {
    }
    now_.store(end);
}

void VirtualScheduler::runUntilIdle() {
    while (runFirstBefore(WorkKey{now(), kAnySequence}, nullptr)) {
    }
}

bool VirtualScheduler::runNext() {
    return runFirstBefore(WorkKey{std::numeric_limits<Seconds>::infinity(), kAnySequence}, nullptr);
}

std::size_t VirtualScheduler::pendingCount() const {
    std::lock_guard lock(mutex_);
    return pending_.size();
}

std::optional<Seconds> VirtualScheduler::drain(const QueueCore& core) {
    const WorkKey limit{now(), nextSequence()};
    while (runFirstBefore(limit, &core)) {
    }
    std::lock_guard lock(mutex_);
    for (const auto& [key, work] : pending_) {
        if (&QueueAccess::core(*work.queue) == &core) {
            return key.deadline;
        }
    }
    return std::nullopt;
}

void VirtualScheduler::dropAll() {
    while (true) {
        std::map<WorkKey, PendingWork> dropped;
        {
            std::lock_guard lock(mutex_);
            dropped.swap(pending_);
        }
        if (dropped.empty()) {
            return;
        }
        for (auto& [key, work] : dropped) {
            QueueCore& core = QueueAccess::core(*work.queue);
            {
                CurrentQueueScope scope(core, nullptr);
                work.work = nullptr;
            }
            work.queue.reset();
        }
    }
}

bool VirtualScheduler::runFirstBefore(const WorkKey& limit, const QueueCore* core) {
    std::unique_lock lock(mutex_);
    auto found = pending_.begin();
    while (found != pending_.end() && found->first < limit) {
        if (core == nullptr || &QueueAccess::core(*found->second.queue) == core) {
            break;
        }
        ++found;
    }
    if (found == pending_.end() || !(found->first < limit)) {
        return false;
    }
    if (found->first.deadline > now_.load()) {
        now_.store(found->first.deadline);
    }
    PendingWork work = std::move(found->second);
    pending_.erase(found);
    lock.unlock();
    QueueCore& target = QueueAccess::core(*work.queue);
    runPending(target, std::move(work));
    return true;
}

}  // namespace dispatch::detail
