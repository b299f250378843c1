// The app state controller with fake monitors, store, login item and route engines, in
// virtual time.
#include "state/AppStateController.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <tuple>

#include "platform/appkit/Pasteboard.h"
#include "platform/appkit/Workspace.h"
#include "state/SystemAudioSettingsLink.h"
#include "tests/reconcile/ReconcilerTestWorld.h"
#include "tests/support/FakeStateServices.h"

namespace tonvale::testing {
namespace {

using Names = std::vector<std::string>;
constexpr bool kEnginesAnswerAtOnce = true;

template <typename Monitoring>
struct FakeMonitor final : Monitoring {
    void start(typename Monitoring::Handler handler) override { handlers.push_back(std::move(handler)); }
    void stop() override { ++stops; }
    void deliver(const auto& value) const { handlers.back()(value); }

    std::vector<typename Monitoring::Handler> handlers;
    int stops = 0;
};

// One process per app, named as its bundle identifier: {object ID, app, playing}.
AudioProcessSnapshot processes(std::initializer_list<std::tuple<AudioObjectID, const char*, bool>> list) {
    AudioProcessSnapshot snapshot;
    for (const auto& [objectID, app, isPlaying] : list) {
        snapshot.processes.push_back({objectID, static_cast<std::int32_t>(objectID), app, app, true, isPlaying});
    }
    return snapshot;
}

class AppStateControllerTest : public ::testing::Test {
protected:
    AppStateControllerTest() { remake(); }

    // A controller loading what the store holds now.
    void remake() {
        auto engines = [] {
            return std::make_shared<FakeRouteEngine>(std::make_shared<EngineRecord>(), kEnginesAnswerAtOnce);
        };
        controller =
            AppStateController::create({.persistence = store,
                                        .resolver = {"com.zelkor.tonvale", 0, nullptr},
                                        .deviceMonitor = devices,
                                        .processMonitor = apps,
                                        .reconciler = RouteReconciler::create(engines),
                                        .loginItemService = loginItems,
                                        .lifecycleMonitor = lifecycle,
                                        .defaultInputSetter = [this](AudioObjectID) { return inputSetterResult; }});
    }
    void startWith(const AudioDeviceSnapshot& deviceSnapshot, const AudioProcessSnapshot& processSnapshot) {
        controller->start();
        devices->deliver(deviceSnapshot);
        apps->deliver(processSnapshot);
    }
    [[nodiscard]] Names rowNames() const {
        Names names;
        for (const AppRowState& row : controller->rows()) {
            names.push_back(row.identity.displayName);
        }
        return names;
    }

    dispatch::VirtualTime time;
    std::shared_ptr<InMemoryStateStore> store = std::make_shared<InMemoryStateStore>();
    std::shared_ptr<FakeLoginItemService> loginItems = std::make_shared<FakeLoginItemService>();
    std::shared_ptr<FakeMonitor<AudioDeviceMonitoring>> devices =
        std::make_shared<FakeMonitor<AudioDeviceMonitoring>>();
    std::shared_ptr<FakeMonitor<AudioProcessMonitoring>> apps = std::make_shared<FakeMonitor<AudioProcessMonitoring>>();
    std::shared_ptr<FakeMonitor<SystemLifecycleMonitoring>> lifecycle =
        std::make_shared<FakeMonitor<SystemLifecycleMonitoring>>();
    HALResult<void> inputSetterResult;
    std::shared_ptr<AppStateController> controller;
    const AppIdentity music{kMusic, "Melody"};
};

// Events 0.1 s apart ("stop" is the controller's): how often the monitors are stopped, whether
// they start again exactly 0.5 s after the last event, and whether snapshots from the first
// start still count.
TEST_F(AppStateControllerTest, SleepWakeAndRestartTable) {
    for (const auto& [events, suspensions, recovers] :
         std::vector<std::tuple<const char*, int, bool>>{{"wake", 0, false},
                                                         {"sleep wake", 1, true},
                                                         {"sleep restart wake", 2, true},
                                                         {"sleep sleep", 2, false},
                                                         {"restart", 1, true},
                                                         {"restart restart", 2, true},
                                                         {"restart sleep", 2, false},
                                                         {"restart stop", 2, false},
                                                         {"stop", 1, false}}) {
        SCOPED_TRACE(events);
        remake();
        startWith(desk(), {});
        const auto firstStart = devices->handlers.back();
        const auto firstProcessStart = apps->handlers.back();
        const std::size_t starts = devices->handlers.size();
        const int stops = devices->stops;
        std::istringstream stream(events);
        for (std::string event; stream >> event; time.advance(0.1)) {
            using enum SystemLifecycleEvent;
            const auto kind = event == "sleep" ? willSleep : event == "wake" ? didWake : audioServiceRestarted;
            event == "stop" ? controller->stop() : lifecycle->deliver(kind);
        }
        time.advance(0.39);
        EXPECT_EQ(devices->handlers.size(), starts);
        time.advance(0.02);
        EXPECT_EQ(devices->handlers.size(), starts + (recovers ? 1 : 0));
        EXPECT_EQ(devices->stops - stops, suspensions);
        firstStart(desk(kAirPlayID));
        firstProcessStart(processes({{1, "Stale", true}}));
        EXPECT_EQ(controller->defaultOutputName() == "airplay", suspensions == 0);
        EXPECT_EQ(rowNames(), suspensions == 0 ? Names{"Stale"} : Names{});
    }
}

TEST_F(AppStateControllerTest, AppsThatStopPlaying_StayRecentForTheirWindowAndExpireEarliestFirst) {
    controller->setRecentAppVisibilitySeconds(5);  // below the shortest window: 30 s
    startWith(desk(), processes({{1, "A", true}, {2, "B", true}, {3, "C", true}}));
    const dispatch::Seconds stoppedA = dispatch::now();
    apps->deliver(processes({{1, "A", false}, {2, "B", true}, {3, "C", false}}));
    time.advance(10.0);
    apps->deliver(processes({{2, "B", false}, {3, "C", true}}));  // C plays again
    time.advance(stoppedA + 29.99 - dispatch::now());
    EXPECT_EQ(rowNames(), (Names{"C", "A", "B"}));
    time.advance(0.02);
    EXPECT_EQ(rowNames(), (Names{"C", "B"}));
    time.advance(10.0);
    EXPECT_EQ(rowNames(), (Names{"C"}));
}

TEST_F(AppStateControllerTest, Rows_FallInTheirClassesAndSortByNameInTheUsersLanguage) {
    PersistedStateV1 document = PersistedStateV1::newDocument();
    for (const AppProfile& stored :
         {profile("Alpha", 0.5F), profile("beta", 1.0F), profile("Full", 0.9999F), profile("zed", 0.5F)}) {
        document.appProfiles.emplace(stored.bundleID, stored);
    }
    document.favoriteBundleIDs = {"beta", "Kay", "Never seen"};
    store->loadResult = document;
    remake();
    startWith(desk(), processes({{1, "Kay", false}, {2, "Delta", true}}));
    apps->deliver(processes({{3, "zed", false},
                             {4, "gamma", true},
                             {5, "Zebra", true},
                             {6, "Écran", true},
                             {7, "eclair", true},
                             {8, "apple", true}}));
    const Names ordered{"beta", "Kay", "Alpha", "zed", "apple", "eclair", "Écran", "gamma", "Zebra", "Delta"};
    EXPECT_EQ(rowNames(), ordered);
    EXPECT_EQ(controller->rows().front(),
              (AppRowState{{"beta", "beta"}, {}, true, false, false, false, RouteStatus::bypassed({})}));
    EXPECT_TRUE(controller->rows().back().isRecent);
    Names outputs;
    for (const AudioDeviceInfo& device : controller->outputDevices()) {
        outputs.push_back(device.uid);
    }
    EXPECT_EQ(outputs, (Names{kSpeakers, kHeadset})) << "no AirPlay device is offered";
}

// Without its profile, a pinned app that does not play would have no name after a relaunch.
TEST_F(AppStateControllerTest, PinnedApp_KeepsItsRowAcrossARelaunch) {
    controller->setFavorite(true, music);
    store->loadResult = store->saves.back();
    remake();
    EXPECT_EQ(rowNames(), Names{"Melody"});
}

TEST_F(AppStateControllerTest, SliderDrag_SavesOnce0_2sAfterTheLastChangeOrAtOnceWhenItEndsOrOnStop) {
    for (int step = 1; step <= 10; time.advance(0.05), ++step) {
        controller->setConfiguration({0.05F * static_cast<float>(step)}, music, false);
    }
    time.advance(0.149);
    EXPECT_TRUE(store->saves.empty());
    time.advance(0.002);
    EXPECT_EQ(store->saves.size(), 1U);
    controller->setConfiguration({0.2F}, music, false);
    controller->flushPendingPersistence();
    controller->setConfiguration({0.3F}, music, false);
    controller->setConfiguration({0.4F}, music, true);
    ASSERT_EQ(store->saves.size(), 3U);
    EXPECT_EQ(store->saves[2], controller->persistedState());
    controller->setConfiguration({0.5F}, music, false);
    controller->start();
    controller->stop();
    ASSERT_EQ(store->saves.size(), 4U);
    EXPECT_EQ(store->saves[3], controller->persistedState());
    time.advance(1.0);
    EXPECT_EQ(store->saves.size(), 4U) << "the drag's save was cancelled by the stop";
}

TEST_F(AppStateControllerTest, ADocumentTheStoreTookInstead_IsLiveAndRoutedAndTold) {
    PersistedStateV1 found = PersistedStateV1::newDocument();
    found.appProfiles.emplace(kMusic, AppProfile{kMusic, "Melody", {0.5F}});
    store->saveOutcome = {found, "Settings found at /x were loaded."};
    startWith(desk(), processes({{31, kMusic, true}}));
    controller->persistNow();
    time.advance(0.1);
    EXPECT_EQ(controller->persistedState(), found);
    EXPECT_EQ(controller->noticeMessage(), "Settings found at /x were loaded.");
    EXPECT_EQ(controller->routeStatuses().at(kMusic).phase, RouteLifecyclePhase::active);
}

TEST_F(AppStateControllerTest, EveryFailureAndNotice_IsToldInItsOwnWords) {
    store->loadResult = PersistenceError::unsupportedSchema(2);
    remake();
    EXPECT_EQ(controller->lastError(), "Tonvale settings use unsupported schema version 2.");
    store->saveError = PersistenceError::unsupportedSchema(3);
    controller->setFavorite(true, music);
    EXPECT_EQ(controller->lastError(), "Tonvale settings use unsupported schema version 3.");
    store->saveError.reset();
    controller->setFavorite(false, music);
    EXPECT_EQ(controller->lastError(), std::nullopt) << "the next save that works clears it";
    loginItems->error = LoginItemError{"Could not remove /home/u/.config/autostart/tonvale.desktop: denied"};
    const LoginItemStatus failed = LoginItemStatus::failed(loginItems->error->localizedDescription);
    controller->setLaunchAtLogin(false);
    EXPECT_EQ(controller->loginItemStatus(), failed);
    EXPECT_EQ(controller->lastError(), "Launch at Login could not be updated: " + failed.message());
    EXPECT_EQ(store->saves.back().preferences, (Preferences{false, true, 30}));
    controller->setLastError(std::nullopt);
    controller->start();  // with consent given, the stored choice is applied quietly
    EXPECT_EQ(controller->loginItemStatus(), failed);
    EXPECT_EQ(controller->lastError(), std::nullopt);

    const AudioDeviceInfo microphone{20, "mic", "Microphone", 0, false, true, true, {}};
    devices->deliver(AudioDeviceSnapshot{{microphone, desk().devices[0]}, 0, 0});
    controller->selectDefaultInput(kSpeakersID);  // not an input: nothing happens
    inputSetterResult = AudioHALError::osStatus("Set default input device", kAudioHardwareBadObjectError);
    controller->selectDefaultInput(20);
    EXPECT_EQ(controller->lastError(), inputSetterResult.error().description());
    EXPECT_EQ(controller->defaultInputID(), 0U);

    struct RefusingStore final : appkit::PasteboardStoring {
        void clear() override {}
        bool setString(const std::string&) override { return false; }
        [[nodiscard]] std::optional<std::string> string() const override { return std::nullopt; }
    };
    appkit::Pasteboard::generalPasteboard().setStore(std::make_shared<RefusingStore>());
    controller->copyMetadataDiagnostics();
    appkit::Pasteboard::generalPasteboard().setStore(nullptr);
    EXPECT_EQ(controller->lastError(), "Metadata diagnostics could not be copied.");

    int redraws = 0;
    const combine::AnyCancellable observation = controller->observeChanges([&redraws] { ++redraws; });
    controller->setLastError(std::nullopt);
    controller->setNoticeMessage("Default input changed.");
    controller->setFavorite(true, music);
    time.runUntilIdle();
    EXPECT_EQ(redraws, 1) << "the interface redraws once for all the changes of one main-queue turn";
}

TEST_F(AppStateControllerTest, SoundSettings_OpenOnlyOnDesktopsWithALinkToThemAndSayWhenTheyCannot) {
    const auto opener = std::make_shared<appkit::InMemoryURLOpener>();
    appkit::Workspace::sharedWorkspace().setURLOpener(opener);
    for (const char* desktops : {"ubuntu:GNOME", "", "X-Test:KDE"}) {
        ::setenv(kCurrentDesktopVariable, desktops, 1);
        controller->openSystemAudioPrivacySettings();
    }
    EXPECT_EQ(opener->openedURLs(), Names{"systemsettings://kcm_pulseaudio"});
    EXPECT_EQ(controller->lastError(), std::nullopt);

    struct RefusingOpener final : appkit::URLOpening {
        bool open(const std::string& /*url*/) override { return false; }
    };
    appkit::Workspace::sharedWorkspace().setURLOpener(std::make_shared<RefusingOpener>());
    controller->openSystemAudioPrivacySettings();
    ::unsetenv(kCurrentDesktopVariable);
    appkit::Workspace::sharedWorkspace().setURLOpener(nullptr);
    EXPECT_EQ(controller->lastError(), "The desktop could not open systemsettings://kcm_pulseaudio");
}

}  // namespace
}  // namespace tonvale::testing
