// The private state behind one DispatchQueue, shared with its worker thread.
//
// Holds the queue's identity, its queue-specific values and its real-thread
// pending work. The DispatchQueue owns it; the worker thread holds it too, so
// it outlives a queue destroyed from within its own work. Private to dispatch.
//
// Thread-safety: pending work and the worker are guarded by mutex; specifics
// by their own lock.
#pragma once

#include "platform/dispatch/Scheduler.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

namespace dispatch::detail {

class QueueCore : public std::enable_shared_from_this<QueueCore> {
public:
    QueueCore(std::string queueLabel, bool isMainQueue) : label(std::move(queueLabel)), isMain(isMainQueue) {}
    QueueCore(const QueueCore&) = delete;
    QueueCore& operator=(const QueueCore&) = delete;

    void setSpecific(const void* key, void* value);
    [[nodiscard]] void* specific(const void* key) const;

    const std::string label;
    const bool isMain;

    // Real-thread state, used by ThreadScheduler and the main run loop.
    std::mutex mutex;
    std::condition_variable wakeUp;
    std::map<WorkKey, PendingWork> pending;
    std::thread worker;
    bool isStopping = false;

private:
    mutable std::mutex specificsMutex_;
    std::unordered_map<const void*, void*> specifics_;
};

}  // namespace dispatch::detail
