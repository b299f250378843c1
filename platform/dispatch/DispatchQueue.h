// A serial dispatch queue and the main queue.
//
// Work runs one item at a time, in deadline order, equal deadlines in
// submission order: on the queue's own worker thread (created at the first
// submission), on the main thread for the main queue, or, while a VirtualTime
// scope is alive, on the thread that advances the virtual clock. Owned through
// shared_ptr by its users and by its pending work, as on the platform.
//
// Thread-safety: every operation may be called from any thread.
#pragma once

#include "platform/dispatch/Clock.h"

#include <functional>
#include <memory>
#include <string>

namespace dispatch {

class DispatchWorkItem;

namespace detail {
class QueueCore;
struct QueueAccess;
}  // namespace detail

class DispatchQueue : public std::enable_shared_from_this<DispatchQueue> {
public:
    // A new serial queue with the given label.
    [[nodiscard]] static std::shared_ptr<DispatchQueue> create(std::string label);
    // The main queue, drained by the main thread's run loop (MainRunLoop).
    [[nodiscard]] static std::shared_ptr<DispatchQueue> main();

    virtual ~DispatchQueue();
    DispatchQueue(const DispatchQueue&) = delete;
    DispatchQueue& operator=(const DispatchQueue&) = delete;

    [[nodiscard]] const std::string& label() const { return label_; }

    void async(std::function<void()> work);
    void async(std::shared_ptr<DispatchWorkItem> item);
    void asyncAfter(Seconds delay, std::function<void()> work);
    void asyncAfter(Seconds delay, std::shared_ptr<DispatchWorkItem> item);

    // Runs work on this queue after everything submitted before it that is due
    // now, and returns when it has run. Calling sync on a queue the caller
    // already runs on (directly or through an enclosing sync) would deadlock on
    // the platform; here it aborts with a message. Check isCurrent first.
    void sync(const std::function<void()>& work);

    // True while the calling code runs on this queue (the queue-specific
    // marker): destructors use it to tear down directly instead of syncing to
    // themselves.
    [[nodiscard]] bool isCurrent() const;

    // Queue-specific values: a key is any address; getSpecific answers the value
    // set on the queue the caller currently runs on, or nullptr.
    void setSpecific(const void* key, void* value);
    [[nodiscard]] static void* getSpecific(const void* key);

protected:
    DispatchQueue(std::string label, bool isMain);
    explicit DispatchQueue(std::string label) : DispatchQueue(std::move(label), false) {}

private:
    friend struct detail::QueueAccess;
    std::string label_;
    std::shared_ptr<detail::QueueCore> core_;
};

using QueuePtr = std::shared_ptr<DispatchQueue>;

}  // namespace dispatch
