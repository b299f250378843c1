#include "platform/dispatch/DispatchGroup.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

namespace dispatch {

struct DispatchGroup::State {
    std::mutex mutex;
    long outstanding = 0;
    std::vector<std::pair<QueuePtr, std::function<void()>>> waiting;
};

DispatchGroup::DispatchGroup() : state_(std::make_shared<State>()) {}

void DispatchGroup::enter() {
    std::lock_guard lock(state_->mutex);
    ++state_->outstanding;
}

void DispatchGroup::leave() {
    std::vector<std::pair<QueuePtr, std::function<void()>>> ready;
    {
        std::lock_guard lock(state_->mutex);
        if (state_->outstanding == 0) {
            std::fprintf(stderr, "dispatch: DispatchGroup left more often than entered\n");
            std::abort();
        }
        if (--state_->outstanding == 0) {
            ready.swap(state_->waiting);
        }
    }
    for (auto& [queue, work] : ready) {
        queue->async(std::move(work));
    }
}

void DispatchGroup::notify(QueuePtr queue, std::function<void()> work) {
    {
        std::lock_guard lock(state_->mutex);
        if (state_->outstanding > 0) {
            state_->waiting.emplace_back(std::move(queue), std::move(work));
            return;
        }
    }
    queue->async(std::move(work));
}

}  // namespace dispatch
