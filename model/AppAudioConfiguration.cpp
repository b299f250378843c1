#include "model/AppAudioConfiguration.h"

namespace tonvale {

bool AppAudioConfiguration::isCustomized() const noexcept {
    // Written as "not at full volume" so that NaN, which fails every comparison, is
    // customised rather than taken for full volume.
    const bool isFullVolume = volume >= kFullVolumeThreshold;
    return muted || !isFullVolume || output.kind() == OutputPreference::Kind::device || processingProfileID.has_value();
}

}  // namespace tonvale
