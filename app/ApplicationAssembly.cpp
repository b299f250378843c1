#include "app/ApplicationAssembly.h"

#include "app/AppDelegate.h"
#include "app/PopoverPicture.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/servicemanagement/SMAppService.h"
#include "state/ApplicationCollaborators.h"
#include "state/LoginItemService.h"
#include "state/PersistenceStore.h"
#include "ui/widgets/StatusItemController.h"

namespace tonvale {

namespace {

std::string ownBundleIdentifier() {
    constexpr const char* kFallback = ApplicationCollaborators::kFallbackBundleIdentifier;
    const auto bundle = foundation::Bundle::main();
    return bundle ? bundle->bundleIdentifier().value_or(kFallback) : kFallback;
}

}  // namespace

void assembleApplication(AppDelegate& delegate, const ApplicationServices& services) {
    const std::shared_ptr<AppStateController> controller = ApplicationCollaborators{
        .persistence = services.makeStore(),
        .loginItemService = services.makeLoginItemService(),
        .resolver = {
            ownBundleIdentifier(), foundation::ProcessInfo::processInfo().processIdentifier(),
            LogicalAppResolver::standardRunningAppLookup}}.makeController();
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
