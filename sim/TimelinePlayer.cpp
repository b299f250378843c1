#include "sim/TimelinePlayer.h"

#include "sim/WorldControl.h"

namespace sim {

void TimelinePlayer::schedule(const std::vector<TimelineEvent>& timeline, const std::weak_ptr<WorldControl>& control) {
    for (const auto& event : timeline) {
        eventQueue_->asyncAfter(event.at, [control, event] {
            if (const std::shared_ptr<WorldControl> alive = control.lock()) {
                apply(*alive, event);
            }
        });
    }
}

void TimelinePlayer::apply(WorldControl& control, const TimelineEvent& event) {
    bool isKnown = true;
    switch (event.kind) {
        case TimelineEvent::Kind::startAudio:
            isKnown = control.startAudio(event.pid);
            break;
        case TimelineEvent::Kind::stopAudio:
            isKnown = control.stopAudio(event.pid);
            break;
        case TimelineEvent::Kind::launch:
            isKnown = control.launchProcess(event.pid);
            break;
        case TimelineEvent::Kind::quit:
            isKnown = control.quitProcess(event.pid);
            break;
        case TimelineEvent::Kind::plug:
            isKnown = control.plugDevice(event.uid);
            break;
        case TimelineEvent::Kind::unplug:
            isKnown = control.unplugDevice(event.uid);
            break;
        case TimelineEvent::Kind::kill:
            isKnown = control.killDevice(event.uid);
            break;
        case TimelineEvent::Kind::setDefaultOutput:
            isKnown = control.setDefaultOutputDevice(event.uid);
            break;
        case TimelineEvent::Kind::setDefaultInput:
            isKnown = control.setDefaultInputDevice(event.uid);
            break;
        case TimelineEvent::Kind::restart:
            control.restartAudioService();
            break;
        case TimelineEvent::Kind::sleep:
            control.sleep();
            break;
        case TimelineEvent::Kind::wake:
            control.wake();
            break;
    }
    // The scenario's checks guarantee known names; a miss here is ignored like any stale event.
    (void)isKnown;
}

}  // namespace sim
