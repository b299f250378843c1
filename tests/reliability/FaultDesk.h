// The desk the reliability tests run on: the route desk with an input-only microphone, a
// helper of the music player that is not running yet, and a chat app that plays a tone
// of its own. The tones are multiples of 40 Hz, so that each app can be told apart on
// every device over any 25 ms.
#pragma once

#include "tests/support/ApplicationModelWorld.h"

namespace tonvale::testing {

inline constexpr std::int32_t kMusicHelperPid = 503;
inline constexpr const char* kMicrophone = "microphone";
inline const Tone kHelperTone{560.0, kMusicAmplitude};
inline const Tone kChatTone{640.0, kMusicAmplitude};

inline AppIdentity chatApp() { return {"com.example.chat", "Chatter"}; }

inline sim::Scenario faultDesk() {
    sim::Scenario scenario = routeDesk();
    scenario.devices.push_back({.uid = kMicrophone, .name = "Microphone", .outputChannels = 0, .inputChannels = 1});
    scenario.processes.push_back(
        {.pid = kMusicHelperPid,
         .bundleID = "com.example.music.helper",
         .application = sim::ScenarioApplication{"com.example.music.helper", "Melody Helper",
                                                 "Melody.app/Contents/Frameworks/Melody Helper.app"},
         .source = sim::AudioSource::sine(kHelperTone.frequency, kMusicLevelDBFS),
         .isPlaying = true,
         .isLaunched = false});
    sim::ScenarioProcess& chat = scenario.processes[1];
    chat.application = sim::ScenarioApplication{chatApp().bundleID, chatApp().displayName, "Chatter.app"};
    chat.source = sim::AudioSource::sine(kChatTone.frequency, kMusicLevelDBFS);
    return scenario;
}

}  // namespace tonvale::testing
