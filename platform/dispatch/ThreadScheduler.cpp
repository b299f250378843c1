#include "platform/dispatch/ThreadScheduler.h"

#include "platform/dispatch/CurrentQueue.h"
#include "platform/dispatch/MainRunLoop.h"
#include "platform/dispatch/QueueCore.h"

#include <sys/syscall.h>
#include <unistd.h>
#include <chrono>
#include <future>

namespace dispatch::detail {

namespace {

bool isProcessMainThread() { return ::syscall(SYS_gettid) == ::getpid(); }

void runWorker(std::shared_ptr<QueueCore> core) {
    std::unique_lock lock(core->mutex);
    while (!core->isStopping) {
        if (core->pending.empty()) {
            core->wakeUp.wait(lock);
            continue;
        }
        auto first = core->pending.begin();
        if (first->first.deadline > monotonicNow()) {
            core->wakeUp.wait_until(lock, steadyTimePoint(first->first.deadline));
            continue;
        }
        PendingWork work = std::move(first->second);
        core->pending.erase(first);
        lock.unlock();
        runPending(*core, std::move(work));
        lock.lock();
    }
}

}  // namespace

ThreadScheduler& ThreadScheduler::instance() {
    static ThreadScheduler scheduler;
    return scheduler;
}

Seconds ThreadScheduler::now() const { return monotonicNow(); }

Ticket ThreadScheduler::submit(const QueuePtr& queue, Seconds deadline, std::function<void()> work) {
    const WorkKey key{deadline, nextSequence()};
    enqueue(queue, key, PendingWork{std::move(work), queue, nullptr});
    return Ticket{key, 0};
}

void ThreadScheduler::sync(const QueuePtr& queue, const std::function<void()>& work) {
    QueueCore& core = QueueAccess::core(*queue);
    checkSyncAllowed(core);
    if (core.isMain && isProcessMainThread()) {
        // The main thread is not draining the main queue right now (it would be
        // on the chain), so nobody else will: run the block here, in order.
        runDueBefore(core, WorkKey{monotonicNow(), nextSequence()});
        CurrentQueueScope scope(core, currentFrame());
        work();
        return;
    }
    std::promise<void> done;
    auto block = [&work, &done] {
        work();
        done.set_value();
    };
    enqueue(queue, WorkKey{monotonicNow(), nextSequence()}, PendingWork{block, queue, currentFrame()});
    done.get_future().wait();
}

void ThreadScheduler::enqueue(const QueuePtr& queue, const WorkKey& key, PendingWork work) {
    QueueCore& core = QueueAccess::core(*queue);
    bool isFirst = false;
    {
        std::lock_guard lock(core.mutex);
        core.pending.emplace(key, std::move(work));
        isFirst = core.pending.begin()->first == key;
        if (!core.isMain && !core.worker.joinable() && !core.isStopping) {
            core.worker = std::thread(runWorker, core.shared_from_this());
        }
    }
    if (!isFirst) {
        return;
    }
    core.wakeUp.notify_all();
    if (!core.isMain) {
        return;
    }
    if (MainQueueDriver* driver = installedMainDriver()) {
        driver->wake(key.deadline);
    }
}

void ThreadScheduler::withdraw(QueueCore& core, const WorkKey& key) {
    std::map<WorkKey, PendingWork>::node_type removed;
    {
        std::lock_guard lock(core.mutex);
        removed = core.pending.extract(key);
    }
    // removed is destroyed here, outside the lock: it may hold the last
    // reference to the queue.
}

void ThreadScheduler::shutdown(QueueCore& core) {
    std::thread worker;
    {
        std::lock_guard lock(core.mutex);
        core.isStopping = true;
        worker = std::move(core.worker);
    }
    core.wakeUp.notify_all();
    if (!worker.joinable()) {
        return;
    }
    if (worker.get_id() == std::this_thread::get_id()) {
        worker.detach();
        return;
    }
    worker.join();
}

void ThreadScheduler::runMain(QueueCore& main, std::atomic<bool>& isStopRequested) {
    std::unique_lock lock(main.mutex);
    while (!isStopRequested.exchange(false)) {
        if (main.pending.empty()) {
            main.wakeUp.wait(lock);
            continue;
        }
        auto first = main.pending.begin();
        if (first->first.deadline > monotonicNow()) {
            main.wakeUp.wait_until(lock, steadyTimePoint(first->first.deadline));
            continue;
        }
        PendingWork work = std::move(first->second);
        main.pending.erase(first);
        lock.unlock();
        runPending(main, std::move(work));
        lock.lock();
    }
}

void ThreadScheduler::wakeMain(QueueCore& main) {
    // Taking the lock orders the caller's flag change before the loop's next
    // check, so the wake-up cannot slip between its check and its wait.
    { std::lock_guard lock(main.mutex); }
    main.wakeUp.notify_all();
}

std::optional<Seconds> ThreadScheduler::drainMain(QueueCore& main) {
    runDueBefore(main, WorkKey{monotonicNow(), nextSequence()});
    return nextDeadline(main);
}

std::optional<Seconds> ThreadScheduler::nextDeadline(QueueCore& core) {
    std::lock_guard lock(core.mutex);
    if (core.pending.empty()) {
        return std::nullopt;
    }
    return core.pending.begin()->first.deadline;
}

void ThreadScheduler::runDueBefore(QueueCore& core, const WorkKey& key) {
    std::unique_lock lock(core.mutex);
    while (!core.pending.empty() && core.pending.begin()->first < key) {
        PendingWork work = std::move(core.pending.begin()->second);
        core.pending.erase(core.pending.begin());
        lock.unlock();
        runPending(core, std::move(work));
        lock.lock();
    }
}

}  // namespace dispatch::detail
