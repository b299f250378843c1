// The app state controller as the interface sees it, started on fake monitors, store, login item
// and route engines, with a desk of speakers, USB and Bluetooth headsets and a microphone delivered.
// Virtual time unless asked otherwise; create it on the test's thread, where everything then runs.
#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/dispatch/Dispatch.h"
#include "state/AppStateController.h"
#include "tests/reconcile/ReconcilerTestWorld.h"
#include "tests/support/FakeStateServices.h"

namespace tonvale::testing {

template <typename Monitoring>
struct FakeUiMonitor final : Monitoring {
    void start(typename Monitoring::Handler handler) override { handler_ = std::move(handler); }
    void stop() override {}
    void deliver(const auto& value) const { handler_(value); }
    typename Monitoring::Handler handler_;
};

inline constexpr AudioObjectID kMicrophoneID = 20;
inline constexpr AudioObjectID kBluetoothID = 21;

struct MixerTestWorld {
    explicit MixerTestWorld(PersistedStateV1 document = PersistedStateV1::newDocument(), bool isVirtualTime = true)
        : time(isVirtualTime ? std::make_unique<dispatch::VirtualTime>() : nullptr) {
        store->loadResult = std::move(document);
        controller =
            AppStateController::create({.persistence = store,
                                        .resolver = {"com.zelkor.tonvale", 0, nullptr},
                                        .deviceMonitor = devices,
                                        .processMonitor = apps,
                                        .reconciler = RouteReconciler::create([this] {
                                            engines.push_back(std::make_shared<EngineRecord>());
                                            return std::make_shared<FakeRouteEngine>(engines.back(), answersAtOnce);
                                        }),
                                        .loginItemService = loginItems,
                                        .lifecycleMonitor = lifecycle,
                                        .defaultInputSetter = [this](AudioObjectID device) {
                                            inputSelections.push_back(device);
                                            return HALResult<void>();
                                        }});
        controller->start();
        deliverDesk(kMicrophoneID);
    }

    ~MixerTestWorld() {
        controller.reset();
        // Answers never given still hold their engines.
        for (const auto& record : engines) {
            record->pending.clear();
        }
    }
    MixerTestWorld(const MixerTestWorld&) = delete;
    MixerTestWorld& operator=(const MixerTestWorld&) = delete;

    // The desk with the given default input and Bluetooth transport.
    void deliverDesk(AudioObjectID defaultInputID, std::uint32_t bluetooth = kAudioDeviceTransportTypeBluetooth) {
        AudioDeviceSnapshot snapshot = desk();
        snapshot.devices[1].hasInput = true;
        snapshot.devices.push_back(
            {kMicrophoneID, "microphone", "Microphone", kAudioDeviceTransportTypeBuiltIn, false, true, true, 48000.0});
        snapshot.devices.push_back(
            {kBluetoothID, "bluetooth", "Bluetooth Headset", bluetooth, true, true, true, 48000.0});
        snapshot.defaultInputID = defaultInputID;
        devices->deliver(snapshot);
        settle();
    }
    // One process per app, named as its bundle identifier: {app, playing}.
    void play(std::initializer_list<std::pair<const char*, bool>> list) {
        AudioProcessSnapshot snapshot;
        AudioObjectID objectID = 100;
        for (const auto& [app, isPlaying] : list) {
            snapshot.processes.push_back({objectID, static_cast<std::int32_t>(objectID), app, app, true, isPlaying});
            ++objectID;
        }
        apps->deliver(snapshot);
        settle();
    }
    // Runs what is due now, in virtual time.
    void settle() const {
        if (time) {
            time->runUntilIdle();
        }
    }
    [[nodiscard]] const AppAudioConfiguration& stored(const std::string& bundleID) const {
        return controller->persistedState().appProfiles.at(bundleID).defaultConfiguration;
    }

    const std::unique_ptr<dispatch::VirtualTime> time;
    // Whether engines answer their starts and stops at once; otherwise the test answers
    // through their records.
    bool answersAtOnce = true;
    std::vector<std::shared_ptr<EngineRecord>> engines;
    std::shared_ptr<InMemoryStateStore> store = std::make_shared<InMemoryStateStore>();
    std::shared_ptr<FakeLoginItemService> loginItems = std::make_shared<FakeLoginItemService>();
    std::shared_ptr<FakeUiMonitor<AudioDeviceMonitoring>> devices =
        std::make_shared<FakeUiMonitor<AudioDeviceMonitoring>>();
    std::shared_ptr<FakeUiMonitor<AudioProcessMonitoring>> apps =
        std::make_shared<FakeUiMonitor<AudioProcessMonitoring>>();
    std::shared_ptr<FakeUiMonitor<SystemLifecycleMonitoring>> lifecycle =
        std::make_shared<FakeUiMonitor<SystemLifecycleMonitoring>>();
    std::vector<AudioObjectID> inputSelections;
    std::shared_ptr<AppStateController> controller;
};

}  // namespace tonvale::testing
