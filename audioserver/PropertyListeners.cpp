#include "audioserver/PropertyListeners.h"

#include <utility>

namespace audioserver {

void PropertyListeners::add(AudioObjectID object, const AudioObjectPropertyAddress& address, dispatch::QueuePtr queue,
                            AudioObjectPropertyListenerBlock block) {
    listeners_.push_back(
        {object, address, std::move(queue), std::move(block), std::make_shared<std::atomic<bool>>(true)});
}

bool PropertyListeners::remove(AudioObjectID object, const AudioObjectPropertyAddress& address,
                               const AudioObjectPropertyListenerBlock& block) {
    for (auto it = listeners_.begin(); it != listeners_.end(); ++it) {
        if (it->object == object && it->address == address && it->block.get() == block.get()) {
            it->isLive->store(false);
            listeners_.erase(it);
            return true;
        }
    }
    return false;
}

void PropertyListeners::notify(AudioObjectID object, AudioObjectPropertySelector selector,
                               AudioObjectPropertyScope scope) {
    const AudioObjectPropertyAddress changed{selector, scope, kAudioObjectPropertyElementMain};
    for (const auto& listener : listeners_) {
        if (listener.object != object) {
            continue;
        }
        const auto& wanted = listener.address;
        const bool selectorMatches =
            wanted.mSelector == selector || wanted.mSelector == kAudioObjectPropertySelectorWildcard;
        const bool scopeMatches = wanted.mScope == scope || wanted.mScope == kAudioObjectPropertyScopeWildcard ||
                                  scope == kAudioObjectPropertyScopeGlobal;
        const bool elementMatches = wanted.mElement == kAudioObjectPropertyElementMain ||
                                    wanted.mElement == kAudioObjectPropertyElementWildcard;
        if (selectorMatches && scopeMatches && elementMatches) {
            pending_.push_back({listener, changed});
        }
    }
}

void PropertyListeners::drop(AudioObjectID gone) {
    std::erase_if(listeners_, [gone](const Listener& listener) {
        if (listener.object != gone) {
            return false;
        }
        listener.isLive->store(false);
        return true;
    });
}

void PropertyListeners::dropAllButSystem() {
    std::erase_if(listeners_, [](const Listener& listener) {
        if (listener.object == kAudioObjectSystemObject) {
            return false;
        }
        listener.isLive->store(false);
        return true;
    });
}

void PropertyListeners::silenceAll() {
    for (auto& listener : listeners_) {
        listener.isLive->store(false);
    }
}

std::vector<PendingNotification> PropertyListeners::takePending() {
    std::vector<PendingNotification> taken;
    taken.swap(pending_);
    return taken;
}

void PropertyListeners::deliver(std::vector<PendingNotification> notifications) {
    static const dispatch::QueuePtr fallbackQueue = dispatch::DispatchQueue::create("audioserver.listeners");
    for (auto& notification : notifications) {
        const dispatch::QueuePtr& queue = notification.listener.queue ? notification.listener.queue : fallbackQueue;
        queue->async([block = notification.listener.block, isLive = notification.listener.isLive,
                      address = notification.address] {
            if (isLive->load()) {
                (*block)(1, &address);
            }
        });
    }
}

}  // namespace audioserver
