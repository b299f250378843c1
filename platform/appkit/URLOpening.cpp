#include "platform/appkit/URLOpening.h"

namespace appkit {

bool InMemoryURLOpener::open(const std::string& url) {
    std::lock_guard lock(mutex_);
    opened_.push_back(url);
    return true;
}

std::vector<std::string> InMemoryURLOpener::openedURLs() const {
    std::lock_guard lock(mutex_);
    return opened_;
}

}  // namespace appkit
