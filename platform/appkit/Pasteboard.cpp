#include "platform/appkit/Pasteboard.h"

#include <utility>

namespace appkit {

Pasteboard& Pasteboard::generalPasteboard() {
    static Pasteboard pasteboard;
    return pasteboard;
}

void Pasteboard::clearContents() { store_->clear(); }

bool Pasteboard::setString(const std::string& text) { return store_->setString(text); }

std::optional<std::string> Pasteboard::string() const { return store_->string(); }

void Pasteboard::setStore(std::shared_ptr<PasteboardStoring> store) {
    store_ = store ? std::move(store) : std::make_shared<InMemoryPasteboardStore>();
}

}  // namespace appkit
