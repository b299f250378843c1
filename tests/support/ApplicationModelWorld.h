// The whole application model, headless, on the simulated server in virtual time: the app
// state controller with the real monitors and reconciler, assembled as the application does,
// over an in-memory store and a fake login item. start(), drive controller and server,
// advance(), measure what the devices played; stop() expects nothing of ours left.
// Create it on the test's thread; everything runs there as the test advances the clock.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "engine/RouteAggregateDescription.h"
#include "engine/RouteController.h"
#include "hal/AudioDeviceCatalogue.h"
#include "platform/dispatch/Dispatch.h"
#include "sim/SimulatedServer.h"
#include "state/ApplicationCollaborators.h"
#include "tests/engine/RouteTestWorld.h"
#include "tests/support/FakeStateServices.h"

namespace tonvale::testing {

// A sine an app plays, by which it is told apart on a device; the music player's by default.
struct Tone {
    double frequency = kMusicFrequency;
    double amplitude = kMusicAmplitude;
};

struct ApplicationModelWorld {
    static constexpr dispatch::Seconds kBufferPeriod = 512.0 / 48000.0;

    // Devices with outputs are observed, so what they play can be read back.
    explicit ApplicationModelWorld(const sim::Scenario& scenario = routeDesk())
        : server(sim::SimulatedServer::create(scenario)) {
        for (const sim::ScenarioDevice& device : scenario.devices) {
            EXPECT_TRUE(device.outputChannels == 0 || server->startObserving(device.uid)) << device.uid;
        }
        controller = ApplicationCollaborators{
            .persistence = store, .loginItemService = loginItems, .engineFactory = [this] {
                ++engineStarts;
                return RouteController::create();
            }}.makeController();
    }

    // Starts the controller; the first snapshots arrive and routes start.
    void start() {
        controller->start();
        advance(0.3);
    }
    // Stops the controller and lets every teardown finish; nothing of ours may remain.
    void stop() {
        controller->stop();
        advance(0.3);
        expectNothingOfOursLeft();
        EXPECT_EQ(server->listenerCount(), baseListenerCount) << "listeners left registered";
    }
    void advance(dispatch::Seconds seconds) { time.advance(seconds); }

    // An app's tone on a device between two past times, as a gain of its own level.
    [[nodiscard]] double gainHeard(const std::string& uid, dispatch::Seconds from, dispatch::Seconds to,
                                   Tone tone = {}) const {
        return server->played(uid, from, to).toneAmplitude(tone.frequency) / tone.amplitude;
    }
    // The same over the next stretch of time, which this plays through.
    [[nodiscard]] double gainHeardOver(const std::string& uid, dispatch::Seconds seconds = 0.5, Tone tone = {}) {
        const dispatch::Seconds from = dispatch::now();
        advance(seconds + 2 * kBufferPeriod);
        return gainHeard(uid, from, from + seconds, tone);
    }
    [[nodiscard]] RouteLifecyclePhase musicPhase() const {
        return controller->routeStatuses().at(music().bundleID).phase;
    }
    [[nodiscard]] static AppIdentity music() { return {"com.example.music", "Melody"}; }

    void expectNothingOfOursLeft() const {
        EXPECT_EQ(server->tapCount() + server->aggregateDeviceCount() + server->ioProcCount(), 0U) << "left behind";
    }
    // One tap, one aggregate device and one IO procedure per active route, nothing more.
    void expectOnlyActiveRoutesLeft() const {
        const auto active = static_cast<std::size_t>(
            std::count_if(controller->routeStatuses().begin(), controller->routeStatuses().end(),
                          [](const auto& entry) { return entry.second.phase == RouteLifecyclePhase::active; }));
        EXPECT_EQ(std::tuple(server->tapCount(), server->aggregateDeviceCount(), server->ioProcCount()),
                  std::tuple(active, active, active))
            << "taps, aggregate devices and IO procedures beyond the active routes";
    }
    // The UIDs of our routes' private aggregate devices, which the device snapshots leave out.
    [[nodiscard]] static std::vector<std::string> routeAggregateUIDs() {
        std::vector<std::string> uids;
        for (const AudioDeviceInfo& device : enumerateDevices().valueOr({})) {
            if (device.uid.starts_with(kRouteAggregateUIDPrefix)) {
                uids.push_back(device.uid);
            }
        }
        return uids;
    }

    dispatch::VirtualTime time;
    std::shared_ptr<sim::SimulatedServer> server;
    std::size_t baseListenerCount = server->listenerCount();
    std::shared_ptr<InMemoryStateStore> store = std::make_shared<InMemoryStateStore>();
    std::shared_ptr<FakeLoginItemService> loginItems = std::make_shared<FakeLoginItemService>();
    int engineStarts = 0;  // route engines made so far
    std::shared_ptr<AppStateController> controller;
};

}  // namespace tonvale::testing
