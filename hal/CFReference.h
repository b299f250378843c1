// Ownership of one CoreFoundation reference: released when the holder goes, retained when
// copied. Holds what property reads and Create functions hand to their caller.
// Thread-safety: like the value it holds; retain and release are atomic.
#pragma once

#include <utility>

#include "platform/coreaudio/CoreFoundation.h"

namespace tonvale {

template <typename Reference>
class CFReference {
public:
    CFReference() = default;
    // Takes over a reference the caller already owns (from a Create or Copy function).
    explicit CFReference(Reference owned) : reference_(owned) {}
    CFReference(const CFReference& other) : reference_(other.reference_) {
        if (reference_ != nullptr) {
            CFRetain(reference_);
        }
    }
    CFReference(CFReference&& other) noexcept : reference_(std::exchange(other.reference_, nullptr)) {}
    CFReference& operator=(CFReference other) noexcept {
        std::swap(reference_, other.reference_);
        return *this;
    }
    ~CFReference() {
        if (reference_ != nullptr) {
            CFRelease(reference_);
        }
    }

    [[nodiscard]] Reference get() const { return reference_; }
    explicit operator bool() const { return reference_ != nullptr; }

private:
    Reference reference_ = nullptr;
};

}  // namespace tonvale
