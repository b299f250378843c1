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
    sim::ScenarioDevice speakers;
    speakers.uid = kSpeakers;
    speakers.name = "Speakers";
    sim::ScenarioDevice headset;
    headset.uid = kHeadset;
    headset.name = "Headset";
    headset.transportType = kAudioDeviceTransportTypeUSB;
    headset.inputChannels = 1;
    headset.inputSource = sim::AudioSource::sine(1000.0, -30.0);
    sim::ScenarioDevice airPlay;
    airPlay.uid = kAirPlay;
    airPlay.name = "Living Room";
    airPlay.transportType = kAudioDeviceTransportTypeAirPlay;
    airPlay.sampleRate = 44100.0;
    scenario.devices = {speakers, headset, airPlay};
    sim::ScenarioAggregate multi;
    multi.uid = kMultiOutput;
    multi.name = "Multi-Output Device";
    multi.subdevices = {{kSpeakers, std::nullopt, 0}, {kHeadset, std::nullopt, 1}};
    multi.mainSubdeviceUID = kSpeakers;
    multi.clockDeviceUID = kSpeakers;
    multi.isStacked = true;
    scenario.aggregates = {multi};
    scenario.defaultOutputUID = kSpeakers;
    sim::ScenarioProcess music;
    music.pid = kMusicPid;
    music.bundleID = "com.example.music";
    music.application = sim::ScenarioApplication{"com.example.music", "Melody", "Melody.app"};
    music.source = sim::AudioSource::sine(kMusicFrequency, kMusicLevelDBFS);
    music.isPlaying = true;
    sim::ScenarioProcess chat;
    chat.pid = kChatPid;
    chat.bundleID = "com.example.chat";
    scenario.processes = {music, chat};
    return scenario;
}

}  // namespace tonvale::testing
