// The object identifiers a server hands out: every new object gets one never given before
// in this run, so an identifier a client kept can never name a different object later.
// Identifiers a world declares up front are reserved and handed only to their own objects.
//
// Owned by an ObjectModel and guarded by its mutex.
// Thread-safety: none of its own; callers hold the model's mutex.
#pragma once

#include "platform/coreaudio/CoreAudioTypes.h"

#include <set>

namespace audioserver {

class ObjectIDs {
public:
    // A fresh identifier: above the system object, never reserved, never handed out before.
    [[nodiscard]] AudioObjectID allocate();
    // Keeps id for the object that declared it.
    void reserve(AudioObjectID id) { reserved_.insert(id); }

private:
    AudioObjectID next_ = 40;
    std::set<AudioObjectID> reserved_;
};

}  // namespace audioserver
