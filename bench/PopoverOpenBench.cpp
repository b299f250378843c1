// The mixer popover's opening with 50 applications listed, on Qt's offscreen platform: the
// whole model on the simulated server (50 playing apps whose bundles carry their icons), a
// click on the status item, until the popover is laid out and drawn. The first opening
// builds every row; later ones reuse the rows and look every icon up again.
#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "app/BenchmarkLoginItemService.h"
#include "app/BenchmarkStateStore.h"
#include "platform/appkit/qt/BundleResources.h"
#include "platform/appkit/qt/StatusBar.h"
#include "platform/dispatch/Dispatch.h"
#include "sim/SimulatedServer.h"
#include "state/ApplicationCollaborators.h"
#include "ui/widgets/StatusItemController.h"

namespace {

using namespace tonvale;

constexpr int kApps = 50;

sim::Scenario fiftyApps() {
    sim::Scenario scenario;
    scenario.devices = {{.uid = "speakers", .name = "Speakers"},
                        {.uid = "headset", .name = "Headset", .transportType = kAudioDeviceTransportTypeUSB}};
    for (int app = 0; app < kApps; ++app) {
        const std::string number = std::to_string(app);
        const std::string bundleID = "com.example.app" + number;
        scenario.processes.push_back(
            {.pid = 10000 + app,
             .bundleID = bundleID,
             .application = sim::ScenarioApplication{bundleID, "App " + number, "App" + number + ".app"},
             .isPlaying = true});
    }
    return scenario;
}

struct Desk {
    Desk() {
        controller->start();
        time.advance(0.5);
        if (controller->rows().size() != kApps) {
            std::abort();
        }
    }

    dispatch::VirtualTime time;
    std::shared_ptr<sim::SimulatedServer> server = sim::SimulatedServer::create(fiftyApps());
    std::shared_ptr<AppStateController> controller =
        ApplicationCollaborators{
            .persistence = std::make_shared<BenchmarkStateStore>(BenchmarkStateStore::benchmarkDocument()),
            .loginItemService = std::make_shared<BenchmarkLoginItemService>()}
            .makeController();
};

void click(StatusItemController& item) {
    emit item.statusItem().button()->trayIcon().activated(QSystemTrayIcon::Trigger);
    QApplication::processEvents();
}

void popoverFirstOpening(benchmark::State& state) {
    Desk desk;
    for (auto _ : state) {
        state.PauseTiming();
        auto item = StatusItemController::create(desk.controller);
        state.ResumeTiming();
        click(*item);
        state.PauseTiming();
        item->popover()->performClose();
        item.reset();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(popoverFirstOpening)->Unit(benchmark::kMillisecond);

void popoverOpening(benchmark::State& state) {
    Desk desk;
    auto item = StatusItemController::create(desk.controller);
    click(*item);
    for (auto _ : state) {
        state.PauseTiming();
        click(*item);  // closes it
        state.ResumeTiming();
        click(*item);
    }
}
BENCHMARK(popoverOpening)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    appkit::setResourcesDirectory(std::filesystem::path(TONVALE_BUNDLE_RESOURCES));
    appkit::StatusBar::systemStatusBar().setSystemTrayPresenceForTesting(true);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
