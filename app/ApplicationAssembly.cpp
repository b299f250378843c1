#include "app/ApplicationAssembly.h"

#include "app/AppDelegate.h"
#include "app/PopoverPicture.h"
#include "engine/RouteController.h"
#include "hal/AudioDeviceCatalogue.h"
#include "observe/AudioDeviceMonitor.h"
#include "observe/AudioProcessMonitor.h"
#include "observe/SystemLifecycleMonitor.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/servicemanagement/SMAppService.h"
#include "reconcile/RouteReconciler.h"
#include "state/AppStateController.h"
#include "state/LoginItemService.h"
#include "state/PersistenceStore.h"
#include "ui/widgets/StatusItemController.h"

namespace tonvale {

namespace {

constexpr dispatch::Seconds kHealthInterval = 2.0;

std::string ownBundleIdentifier() {
    const auto bundle = foundation::Bundle::main();
    return bundle ? bundle->bundleIdentifier().value_or(kFallbackBundleIdentifier) : kFallbackBundleIdentifier;
}

}  // namespace

void assembleApplication(AppDelegate& delegate, const ApplicationServices& services) {
    const dispatch::QueuePtr main = dispatch::DispatchQueue::main();
    std::shared_ptr<StatePersisting> persistence = services.makeStore();
    const std::string ownBundleID = ownBundleIdentifier();
    const std::int32_t ownPID = foundation::ProcessInfo::processInfo().processIdentifier();
    std::shared_ptr<AudioDeviceMonitor> deviceMonitor = AudioDeviceMonitor::create(main);
    std::shared_ptr<AudioProcessMonitor> processMonitor = AudioProcessMonitor::create(main);
    std::shared_ptr<LoginItemServicing> loginItemService = services.makeLoginItemService();
    std::shared_ptr<SystemLifecycleMonitor> lifecycleMonitor = SystemLifecycleMonitor::create(main);
    auto controller =
        AppStateController::create({std::move(persistence),
                                    {ownBundleID, ownPID, LogicalAppResolver::standardRunningAppLookup},
                                    std::move(deviceMonitor),
                                    std::move(processMonitor),
                                    RouteReconciler::create([] { return RouteController::create(); }, kHealthInterval),
                                    std::move(loginItemService),
                                    std::move(lifecycleMonitor),
                                    AppStateController::kLifecycleRecoveryDelay,
                                    setDefaultInputDevice});
    delegate.appStateController = controller;
    delegate.statusItemController = StatusItemController::create(controller);
    controller->start();
}

void buildInteractiveApplication(AppDelegate& delegate) {
    assembleApplication(
        delegate,
        {[] { return std::make_shared<PersistenceStore>(foundation::UserDefaults::standardUserDefaults()); },
         [] { return std::make_shared<LoginItemService>(servicemanagement::SMAppService::mainAppService()); }});
    const EnvironmentLookup& environment = delegate.environment();
    if (const auto picture = environment ? environment(kPopoverPictureEnvironmentKey) : std::nullopt) {
        takePopoverPicture(delegate, *picture);
    }
}

}  // namespace tonvale
