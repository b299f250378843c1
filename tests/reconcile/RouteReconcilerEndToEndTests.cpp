// The reconciler with real route controllers on the simulated desk, in virtual time:
// what the devices played, and what the server still holds afterwards. A refused tap and
// stalled IO are met the same way, through the whole application, in the fault matrix.
#include "reconcile/RouteReconciler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "engine/RouteController.h"
#include "hal/AudioDeviceCatalogue.h"
#include "hal/AudioProcessCatalogue.h"
#include "platform/dispatch/Dispatch.h"
#include "sim/SimulatedServer.h"
#include "tests/engine/RouteTestWorld.h"

namespace tonvale {
namespace {

using testing::kHeadset;
using testing::kMusicAmplitude;
using testing::kMusicFrequency;
using testing::kSpeakers;

constexpr const char* kMusic = "com.example.music";
constexpr double kBufferPeriod = 512.0 / 48000.0;
constexpr double kSilence = 0.001;

double decibels(double ratio) { return 20.0 * std::log10(ratio); }

AppProfile music(float volume, bool muted = false, OutputPreference output = OutputPreference::systemDefault()) {
    return AppProfile{kMusic, "Melody", AppAudioConfiguration{volume, muted, std::move(output), std::nullopt}};
}

class ReconcilerEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server->startObserving(kSpeakers));
        ASSERT_TRUE(server->startObserving(kHeadset));
        feedDevices();
        reconciler->updateProcessGroups(resolver.resolve(enumerateProcesses().value()));
    }
    void TearDown() override {
        reconciler->stopAll();
        time.advance(0.1);
        expectNothingHeld();
    }

    // A device event, as the device monitor would report it.
    void feedDevices() {
        reconciler->updateDeviceSnapshot(AudioDeviceSnapshot{
            enumerateDevices().value(), readDefaultOutputDevice().value(), readDefaultInputDevice().value()});
    }
    void setProfile(const AppProfile& profile) {
        reconciler->updateProfile(profile);
        time.advance(0.1);
    }
    [[nodiscard]] RouteLifecyclePhase phase() const { return reconciler->statuses().at(kMusic).phase; }

    // The tone's level on a device over the next half second, read once it has all played.
    double heard(const char* uid) {
        const dispatch::Seconds from = dispatch::now();
        time.advance(0.5);
        const dispatch::Seconds to = dispatch::now();
        time.advance(2 * kBufferPeriod);
        return server->played(uid, from, to).toneAmplitude(kMusicFrequency);
    }
    void expectHeardOnlyOn(const char* uid, double gain) {
        const char* other = std::string(uid) == kSpeakers ? kHeadset : kSpeakers;
        EXPECT_NEAR(decibels(heard(uid) / (kMusicAmplitude * gain)), 0.0, 0.1) << "on " << uid;
        EXPECT_LT(heard(other), kMusicAmplitude * kSilence) << "on " << other;
    }
    void expectNothingHeld() const {
        EXPECT_EQ(server->tapCount(), 0U);
        EXPECT_EQ(server->aggregateDeviceCount(), 0U);
        EXPECT_EQ(server->ioProcCount(), 0U);
        EXPECT_EQ(server->listenerCount(), baseListenerCount);
    }

    dispatch::VirtualTime time;
    std::shared_ptr<sim::SimulatedServer> server = sim::SimulatedServer::create(testing::routeDesk());
    std::size_t baseListenerCount = server->listenerCount();
    int starts = 0;
    std::shared_ptr<RouteReconciler> reconciler = RouteReconciler::create([this] {
        ++starts;
        return RouteController::create();
    });
    LogicalAppResolver resolver{"com.zelkor.tonvale", 0, [](std::int32_t) { return std::nullopt; }};
};

TEST_F(ReconcilerEndToEndTest, VolumeMuteAndNeutral_AreHeardAsSetAndNeutralIsBypassed) {
    setProfile(music(0.25F));
    EXPECT_EQ(phase(), RouteLifecyclePhase::active);
    expectHeardOnlyOn(kSpeakers, 0.25);

    setProfile(music(0.25F, true));
    EXPECT_LT(heard(kSpeakers), kMusicAmplitude * kSilence);
    EXPECT_LT(heard(kHeadset), kMusicAmplitude * kSilence);

    setProfile(music(1.0F));
    EXPECT_EQ(reconciler->statuses().at(kMusic), RouteStatus::bypassed(OutputPreference::systemDefault()));
    expectHeardOnlyOn(kSpeakers, 1.0);
    expectNothingHeld();
    EXPECT_EQ(starts, 1);
}

TEST_F(ReconcilerEndToEndTest, PreferredHeadset_TakesTheToneAndGivesItBackWhileUnplugged) {
    const OutputPreference headset = OutputPreference::device(kHeadset, "Headset");
    setProfile(music(1.0F, false, headset));
    EXPECT_EQ(reconciler->statuses().at(kMusic), RouteStatus::active(headset, kHeadset));
    expectHeardOnlyOn(kHeadset, 1.0);

    ASSERT_TRUE(server->unplugDevice(kHeadset));
    feedDevices();
    time.advance(0.1);
    EXPECT_EQ(reconciler->statuses().at(kMusic), RouteStatus::waitingForPreferredDevice(headset, kSpeakers));
    expectHeardOnlyOn(kSpeakers, 1.0);
    expectNothingHeld();

    ASSERT_TRUE(server->plugDevice(kHeadset));
    feedDevices();
    time.advance(0.1);
    EXPECT_EQ(phase(), RouteLifecyclePhase::active);
    EXPECT_EQ(starts, 2);
    expectHeardOnlyOn(kHeadset, 1.0);
}

}  // namespace
}  // namespace tonvale
