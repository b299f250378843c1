// Serial queues, the main queue, work items, timer sources, groups and time.
//
// The stand-in for the platform's dispatch library. Every queue is serial. Work
// runs either on real threads (one worker per queue, the main queue drained by
// the main thread's run loop) or, while a VirtualTime scope is alive, in
// virtual time: every queue, timer and the main queue then run in deadline
// order on the thread that advances the clock.
//
// Thread-safety: every operation may be called from any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace dispatch {

// Seconds of the monotonic clock; the clock's zero is arbitrary.
using Seconds = double;

class DispatchWorkItem;

// A serial queue. Work submitted to it runs one item at a time, in deadline
// order, equal deadlines in submission order.
class DispatchQueue : public std::enable_shared_from_this<DispatchQueue> {
public:
    // A new serial queue with the given label.
    [[nodiscard]] static std::shared_ptr<DispatchQueue> create(std::string label);
    // The main queue, drained by the main thread's run loop (MainRunLoop).
    [[nodiscard]] static std::shared_ptr<DispatchQueue> main();

    virtual ~DispatchQueue() = default;
    DispatchQueue(const DispatchQueue&) = delete;
    DispatchQueue& operator=(const DispatchQueue&) = delete;

    [[nodiscard]] const std::string& label() const { return label_; }

    void async(std::function<void()> work);
    void async(std::shared_ptr<DispatchWorkItem> item);
    void asyncAfter(Seconds delay, std::function<void()> work);
    void asyncAfter(Seconds delay, std::shared_ptr<DispatchWorkItem> item);

    // Runs work on this queue after everything submitted before it that is due
    // now, and returns when it has run. Calling sync on the queue one is
    // already running on deadlocks, as on the platform: check isCurrent first.
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
    explicit DispatchQueue(std::string label) : label_(std::move(label)) {}

private:
    friend class detail_access;
    std::string label_;
};

using QueuePtr = std::shared_ptr<DispatchQueue>;

// A block of work that can be cancelled before it runs; a cancelled item never
// runs. Keep pending items as members and cancel them before replacing them.
class DispatchWorkItem {
public:
    [[nodiscard]] static std::shared_ptr<DispatchWorkItem> create(std::function<void()> work);

    void cancel();
    [[nodiscard]] bool isCancelled() const;
    // Runs the work unless cancelled; used by the queues.
    void perform();

    explicit DispatchWorkItem(std::function<void()> work);

private:
    std::function<void()> work_;
    struct State;
    std::shared_ptr<State> state_;
};

// A repeating timer on a queue: first fires at the deadline, then every
// interval, with zero leeway, until cancelled. Created suspended; resume()
// starts it. Cancelling is final; the handler is released on cancel.
class DispatchSourceTimer {
public:
    [[nodiscard]] static std::shared_ptr<DispatchSourceTimer> create(QueuePtr queue);
    virtual ~DispatchSourceTimer() = default;

    // deadline is seconds from now; interval 0 means fire once.
    virtual void schedule(Seconds deadlineFromNow, Seconds interval) = 0;
    virtual void setEventHandler(std::function<void()> handler) = 0;
    virtual void resume() = 0;
    virtual void cancel() = 0;
    [[nodiscard]] virtual bool isCancelled() const = 0;
};

// Counts outstanding work; notify runs its block once the count drops to zero.
class DispatchGroup {
public:
    DispatchGroup();
    void enter();
    void leave();
    // Runs work on queue once every enter has been matched by a leave (at once
    // if none is outstanding).
    void notify(QueuePtr queue, std::function<void()> work);

private:
    struct State;
    std::shared_ptr<State> state_;
};

// The one monotonic clock for deadlines. In virtual time it answers the
// virtual clock.
[[nodiscard]] Seconds now();
// The host clock in nanoseconds, monotonic (AudioGetCurrentHostTime builds on it).
[[nodiscard]] std::uint64_t hostTimeNanoseconds();

// What drains the main queue. The plain loop blocks the main thread; the
// interactive application installs a driver that lets Qt's event loop drain it.
class MainQueueDriver {
public:
    virtual ~MainQueueDriver() = default;
    // Called from any thread when the main queue got work due at the given
    // monotonic time (now or later). The driver then calls MainRunLoop::drain
    // on the main thread at or after that time.
    virtual void wake(Seconds due) = 0;
};

// The main thread's run loop.
class MainRunLoop {
public:
    // Runs the main queue on the calling thread until stop() is called.
    static void run();
    // Makes run() return after the item it is running; callable from any thread.
    static void stop();
    // Runs every main-queue item that is due now; answers the deadline of the
    // next pending item, if any. For drivers.
    static std::optional<Seconds> drain();
    // Installs a driver (nullptr restores the plain loop).
    static void setDriver(MainQueueDriver* driver);
};

// Virtual time for tests. While one is alive, every queue, timer and the main
// queue run on the thread that calls advance/runUntilIdle, in deadline order,
// and now() answers the virtual clock. Only one may exist at a time; create it
// before the components under test and destroy it after them.
class VirtualTime {
public:
    VirtualTime();
    ~VirtualTime();
    VirtualTime(const VirtualTime&) = delete;
    VirtualTime& operator=(const VirtualTime&) = delete;

    // Runs everything due up to now + seconds, moving the clock to each item's
    // deadline before running it, and ends with the clock at now + seconds.
    void advance(Seconds seconds);
    // Runs what is due now, without moving the clock.
    void runUntilIdle();
    // Advances to the next deadline and runs it; false when nothing is pending.
    bool runNext();
    [[nodiscard]] std::size_t pendingCount() const;
    [[nodiscard]] Seconds now() const;
};

// Wraps a member closure so that it holds its owner weakly: when it runs after
// the owner is gone it does nothing.
template <typename Owner, typename Fn>
[[nodiscard]] std::function<void()> weakly(const std::shared_ptr<Owner>& owner, Fn fn) {
    return [weak = std::weak_ptr<Owner>(owner), fn = std::move(fn)]() mutable {
        if (auto strong = weak.lock()) {
            fn(*strong);
        }
    };
}

template <typename Owner, typename Fn>
[[nodiscard]] std::function<void()> weakly(const std::weak_ptr<Owner>& owner, Fn fn) {
    return [weak = owner, fn = std::move(fn)]() mutable {
        if (auto strong = weak.lock()) {
            fn(*strong);
        }
    };
}

}  // namespace dispatch
