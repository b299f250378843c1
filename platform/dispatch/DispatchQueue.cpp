#include "platform/dispatch/DispatchQueue.h"

#include "platform/dispatch/CurrentQueue.h"
#include "platform/dispatch/DispatchWorkItem.h"
#include "platform/dispatch/QueueCore.h"
#include "platform/dispatch/Scheduler.h"
#include "platform/dispatch/ThreadScheduler.h"

namespace dispatch {

namespace {
// make_shared cannot reach the protected constructor.
struct ConstructibleQueue final : DispatchQueue {
    ConstructibleQueue(std::string label, bool isMain) : DispatchQueue(std::move(label), isMain) {}
};
}  // namespace

DispatchQueue::DispatchQueue(std::string label, bool isMain)
    : label_(std::move(label)), core_(std::make_shared<detail::QueueCore>(label_, isMain)) {}

DispatchQueue::~DispatchQueue() { detail::ThreadScheduler::instance().shutdown(*core_); }

std::shared_ptr<DispatchQueue> DispatchQueue::create(std::string label) {
    return std::make_shared<ConstructibleQueue>(std::move(label), false);
}

std::shared_ptr<DispatchQueue> DispatchQueue::main() {
    // Never destroyed: work may reach the main queue during static destruction.
    static auto* const mainQueue = new QueuePtr(std::make_shared<ConstructibleQueue>("main", true));
    return *mainQueue;
}

void DispatchQueue::async(std::function<void()> work) { asyncAfter(0, std::move(work)); }

void DispatchQueue::async(std::shared_ptr<DispatchWorkItem> item) { asyncAfter(0, std::move(item)); }

void DispatchQueue::asyncAfter(Seconds delay, std::function<void()> work) {
    detail::Scheduler& scheduler = detail::activeScheduler();
    scheduler.submit(shared_from_this(), scheduler.now() + detail::orderableDelay(delay), std::move(work));
}

void DispatchQueue::asyncAfter(Seconds delay, std::shared_ptr<DispatchWorkItem> item) {
    asyncAfter(delay, [item = std::move(item)] { item->perform(); });
}

void DispatchQueue::sync(const std::function<void()>& work) {
    detail::activeScheduler().sync(shared_from_this(), work);
}

bool DispatchQueue::isCurrent() const {
    const detail::QueueFrame* frame = detail::currentFrame();
    return frame != nullptr && frame->core == core_.get();
}

void DispatchQueue::setSpecific(const void* key, void* value) { core_->setSpecific(key, value); }

void* DispatchQueue::getSpecific(const void* key) {
    const detail::QueueFrame* frame = detail::currentFrame();
    return frame == nullptr ? nullptr : frame->core->specific(key);
}

}  // namespace dispatch
