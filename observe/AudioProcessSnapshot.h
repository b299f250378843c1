// The audio client processes at one moment, as the process monitor reads them on its
// queue and hands them to its owner. A plain value.
// Thread-safety: a value; copies may move freely between threads.
#pragma once

#include <vector>

#include "hal/AudioProcessInfo.h"

namespace tonvale {

struct AudioProcessSnapshot {
    std::vector<AudioProcessInfo> processes;  // in the process reader's order

    bool operator==(const AudioProcessSnapshot&) const = default;
};

}  // namespace tonvale
