// A small desk for route tests on the simulated server: speakers (the default output), a
// USB headset with a microphone, an AirPlay speaker and a user aggregate over both
// wired outputs; a music player playing a tone and a silent chat application.
#pragma once

#include <cmath>
#include <string>

#include "sim/Scenario.h"

namespace tonvale::testing {

inline constexpr std::int32_t kMusicPid = 501;
inline constexpr std::int32_t kChatPid = 502;
inline constexpr double kMusicFrequency = 440.0;
inline constexpr double kMusicLevelDBFS = -12.0;
inline const double kMusicAmplitude = std::pow(10.0, kMusicLevelDBFS / 20.0);
inline constexpr const char* kSpeakers = "speakers";
inline constexpr const char* kHeadset = "headset";
inline constexpr const char* kAirPlay = "airplay";
inline constexpr const char* kMultiOutput = "multi-output";

inline sim::Scenario routeDesk() {
    sim::Scenario scenario;
    scenario.devices = {{.uid = kSpeakers, .name = "Speakers"},
                        {.uid = kHeadset,
                         .name = "Headset",
                         .transportType = kAudioDeviceTransportTypeUSB,
                         .inputChannels = 1,
                         .inputSource = sim::AudioSource::sine(1000.0, -30.0)},
                        {.uid = kAirPlay,
                         .name = "Living Room",
                         .transportType = kAudioDeviceTransportTypeAirPlay,
                         .sampleRate = 44100.0}};
    scenario.aggregates = {{.uid = kMultiOutput,
                            .name = "Multi-Output Device",
                            .subdevices = {{kSpeakers, std::nullopt, 0}, {kHeadset, std::nullopt, 1}},
                            .mainSubdeviceUID = kSpeakers,
                            .clockDeviceUID = kSpeakers,
                            .isStacked = true}};
    scenario.defaultOutputUID = kSpeakers;
    scenario.processes = {{.pid = kMusicPid,
                           .bundleID = "com.example.music",
                           .application = sim::ScenarioApplication{"com.example.music", "Melody", "Melody.app"},
                           .source = sim::AudioSource::sine(kMusicFrequency, kMusicLevelDBFS),
                           .isPlaying = true},
                          {.pid = kChatPid, .bundleID = "com.example.chat"}};
    return scenario;
}

}  // namespace tonvale::testing
