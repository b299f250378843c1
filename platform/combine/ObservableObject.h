// An object whose published fields announce every change through one publisher, so that
// a view subscribes once per object and redraws when it next gets the chance (the
// announcement comes before the write, so a redraw is deferred, not done in the handler).
// The object derives from ObservableObject and declares its fields as Published<T>.
// Thread-safety: main thread only; no locks.
#pragma once

#include "platform/combine/PassthroughSubject.h"

namespace combine {

using ObservableObjectPublisher = PassthroughSubject<>;

template <typename T>
class Published;

class ObservableObject {
public:
    ObservableObject(const ObservableObject&) = delete;
    ObservableObject& operator=(const ObservableObject&) = delete;

    // Fires before each write of any of the object's published fields.
    [[nodiscard]] Publisher<>& objectWillChange() noexcept { return objectWillChange_; }

protected:
    ObservableObject() = default;
    ~ObservableObject() = default;

private:
    template <typename T>
    friend class Published;

    ObservableObjectPublisher objectWillChange_;
};

}  // namespace combine
