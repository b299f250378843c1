// The outcome of loading the settings document: the document, or the PersistenceError
// that stopped it. Callers must look at it; the store never throws.
// Thread-safety: a value; copies may move freely between threads.
#pragma once

#include "platform/foundation/Result.h"
#include "state/PersistenceError.h"

namespace tonvale {

template <typename Value>
using PersistenceResult = foundation::Result<Value, PersistenceError>;

}  // namespace tonvale
