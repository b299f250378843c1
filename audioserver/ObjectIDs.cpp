#include "audioserver/ObjectIDs.h"

namespace audioserver {

AudioObjectID ObjectIDs::allocate() {
    AudioObjectID id = next_++;
    while (reserved_.contains(id) || id <= kAudioObjectSystemObject) {
        id = next_++;
    }
    return id;
}

}  // namespace audioserver
