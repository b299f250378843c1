// What devices actually play, measured on the read-back, where the engine's route tests do
// not reach: a silent tap, a stopped but not yet destroyed route, a new default output,
// the recording, and IO on real threads.
#include "sim/SimulatedServer.h"

#include "platform/coreaudio/CoreAudio.h"
#include "platform/dispatch/Dispatch.h"
#include "tests/sim/SimTestWorld.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <sndfile.h>
#include <thread>

namespace sim {
namespace {

using namespace sim::testing;

const double kMusicAmplitude = std::pow(10.0, kMusicLevel / 20.0);
constexpr double kTolerance = 0.01;

class RoutePlaybackTest : public ::testing::Test {
protected:
    void SetUp() override {
        server = SimulatedServer::create(smallDesk());
        ASSERT_TRUE(server->startObserving("speakers"));
        ASSERT_TRUE(server->startObserving("headset"));
    }

    // Over the next second, the music is heard on one device at its own level and not on the other.
    void expectMusicOnlyOn(const std::string& uid, const std::string& otherUID) {
        const dispatch::Seconds from = dispatch::now();
        time.advance(1.0);
        EXPECT_NEAR(server->played(uid, from, dispatch::now()).toneAmplitude(kMusicFrequency), kMusicAmplitude, kTolerance)
            << uid;
        EXPECT_LT(server->played(otherUID, from, dispatch::now()).toneAmplitude(kMusicFrequency), kTolerance) << otherUID;
    }

    // Tap the music player, build an aggregate on the headset and run an IO
    // procedure that copies the tap to the output.
    void route() {
        std::string tapUID;
        tap = tapProcess(server->processObjectID(kMusicPid).value_or(0), &tapUID);
        aggregate = createAggregate("test.route", "headset", tapUID);
        ASSERT_NE(aggregate, 0U);
        time.advance(0.02);
        probe.copiesInput = true;
        ASSERT_EQ(AudioDeviceCreateIOProcID(aggregate, &probeIOProc, &probe, &proc), kAudioHardwareNoError);
        ASSERT_EQ(AudioDeviceStart(aggregate, proc), kAudioHardwareNoError);
        time.advance(0.1);
    }

    void tearDownRoute() {
        EXPECT_EQ(AudioDeviceStop(aggregate, proc), kAudioHardwareNoError);
        EXPECT_EQ(AudioDeviceDestroyIOProcID(aggregate, proc), kAudioHardwareNoError);
        EXPECT_EQ(AudioHardwareDestroyAggregateDevice(aggregate), kAudioHardwareNoError);
        EXPECT_EQ(AudioHardwareDestroyProcessTap(tap), kAudioHardwareNoError);
    }

    dispatch::VirtualTime time;
    std::shared_ptr<SimulatedServer> server;
    AudioObjectID tap = 0;
    AudioObjectID aggregate = 0;
    AudioDeviceIOProcID proc = nullptr;
    IOProbe probe;
};

TEST_F(RoutePlaybackTest, SilentTapDenial_SilencesTheProcessEverywhere) {
    server->setCaptureDenial(CaptureDenial::silentTap);
    route();
    const dispatch::Seconds from = dispatch::now();
    time.advance(1.0);
    EXPECT_LT(server->played("headset", from, dispatch::now()).toneAmplitude(kMusicFrequency), kTolerance);
    EXPECT_LT(server->played("speakers", from, dispatch::now()).toneAmplitude(kMusicFrequency), kTolerance);
    EXPECT_GT(probe.calls.load(), 0U);
    tearDownRoute();
}

TEST_F(RoutePlaybackTest, StoppedRoute_GivesTheProcessBackAtOnce) {
    route();
    EXPECT_EQ(AudioDeviceStop(aggregate, proc), kAudioHardwareNoError);
    expectMusicOnlyOn("speakers", "headset");
    tearDownRoute();
}

TEST_F(RoutePlaybackTest, DefaultOutputChange_MovesUntappedPlayback) {
    ASSERT_TRUE(server->setDefaultOutputDevice("headset"));
    expectMusicOnlyOn("headset", "speakers");
}

// Recording writes, per physical output that played, what it played from the server's start.
TEST(SimulatedServerRecordingTest, PlayingDevices_WriteFloatWavFromTheStart) {
    const auto folder = std::filesystem::temp_directory_path() /
                        ("tonvale-sim-record-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    {
        dispatch::VirtualTime time;
        Scenario scenario = smallDesk();
        scenario.devices[0].uid = "Speakers:Main/1";
        scenario.defaultOutputUID = "Speakers:Main/1";
        auto server = SimulatedServer::create(scenario, {.readBackSeconds = 0.25, .recordingFolder = folder});
        time.advance(1.0);
        server.reset();
    }
    const auto file = folder / "Speakers_Main_1.wav";
    ASSERT_TRUE(std::filesystem::exists(file));
    EXPECT_FALSE(std::filesystem::exists(folder / "headset.wav"));
    SF_INFO info{};
    SNDFILE* sound = sf_open(file.c_str(), SFM_READ, &info);
    ASSERT_NE(sound, nullptr);
    EXPECT_EQ(info.samplerate, 48000);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_NEAR(static_cast<double>(info.frames), 48000.0, 512.0);
    PlayedAudio audio{48000.0, 2, std::vector<float>(static_cast<std::size_t>(info.frames) * 2)};
    sf_readf_float(sound, audio.samples.data(), info.frames);
    sf_close(sound);
    // The tone runs from the first frame: the first cycle is not lost to silence.
    EXPECT_NE(audio.samples[2], 0.0F);
    EXPECT_NEAR(audio.toneAmplitude(kMusicFrequency), kMusicAmplitude, kTolerance);
    std::filesystem::remove_all(folder);
}

// The one test on real threads and the real clock: a device's IO thread runs for
// a second with a started IO procedure.
TEST(SimulatedServerRealTimeTest, StartedDevice_CallsItsProcedureOncePerBufferPeriod) {
    auto server = SimulatedServer::create(smallDesk());
    const AudioObjectID headset = server->deviceID("headset").value_or(0);
    IOProbe probe;
    probe.spanToSignalNanos = 1'000'000'000;
    AudioDeviceIOProcID proc = nullptr;
    ASSERT_EQ(AudioDeviceCreateIOProcID(headset, &probeIOProc, &probe, &proc), kAudioHardwareNoError);
    ASSERT_EQ(AudioDeviceStart(headset, proc), kAudioHardwareNoError);
    // Blocks until the IO thread itself reports a second of calls.
    probe.hasSpannedEnough.wait(false);
    ASSERT_EQ(AudioDeviceStop(headset, proc), kAudioHardwareNoError);
    const auto calls = probe.calls.load();
    // Measured between the first and the latest call, so that a busy machine's
    // delay in starting or stopping the thread does not count as missed cycles.
    const double ran = static_cast<double>(probe.lastCallNanos - probe.firstCallNanos) * 1e-9;
    EXPECT_GE(ran, 1.0);
    const double expected = ran * 48000.0 / 512.0 + 1.0;
    EXPECT_NEAR(static_cast<double>(calls), expected, expected * 0.05);
    // Once stop has returned no cycle may call in, up to the server's end.
    EXPECT_EQ(AudioDeviceDestroyIOProcID(headset, proc), kAudioHardwareNoError);
    server.reset();
    EXPECT_EQ(probe.calls.load(), calls);
}

// Control calls from another thread while a route's IO thread runs: no data race
// (checked under ThreadSanitizer), no call after a stop, nothing left behind.
TEST(SimulatedServerRealTimeTest, ControlCallsDuringIO_LeaveTheServerConsistent) {
    auto server = SimulatedServer::create(smallDesk());
    ASSERT_TRUE(server->startObserving("headset"));
    std::string tapUID;
    const AudioObjectID tap = tapProcess(server->processObjectID(kMusicPid).value_or(0), &tapUID);
    server->setAggregateBehaviour({.streamDelaySeconds = 0.0});
    const AudioObjectID aggregate = createAggregate("test.concurrent", "headset", tapUID);
    IOProbe probe;
    probe.copiesInput = true;
    AudioDeviceIOProcID proc = nullptr;
    ASSERT_EQ(AudioDeviceCreateIOProcID(aggregate, &probeIOProc, &probe, &proc), kAudioHardwareNoError);
    ASSERT_EQ(AudioDeviceStart(aggregate, proc), kAudioHardwareNoError);
    std::thread control([&] {
        for (int i = 0; probe.calls.load() < 20 || i < 50; ++i) {
            EXPECT_EQ(readIDs(kAudioObjectSystemObject, kAudioHardwarePropertyDevices).size(), i % 2 == 0 ? 4U : 3U);
            static_cast<void>(i % 2 == 0 ? server->unplugDevice("speakers") : server->plugDevice("speakers"));
            static_cast<void>(i % 3 == 0 ? server->stopAudio(kMusicPid) : server->startAudio(kMusicPid));
            static_cast<void>(server->played("headset", dispatch::now() - 0.1, dispatch::now()));
            std::this_thread::yield();
        }
    });
    control.join();
    ASSERT_EQ(AudioDeviceStop(aggregate, proc), kAudioHardwareNoError);
    const auto calls = probe.calls.load();
    EXPECT_EQ(AudioDeviceDestroyIOProcID(aggregate, proc), kAudioHardwareNoError);
    EXPECT_EQ(AudioHardwareDestroyAggregateDevice(aggregate), kAudioHardwareNoError);
    EXPECT_EQ(AudioHardwareDestroyProcessTap(tap), kAudioHardwareNoError);
    EXPECT_EQ(probe.calls.load(), calls);
    EXPECT_EQ(server->ioProcCount(), 0U);
    EXPECT_TRUE(server->stopObserving("headset"));
    EXPECT_EQ(server->runningIOCount(), 0U);
}

}  // namespace
}  // namespace sim
