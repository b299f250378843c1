#include "state/ApplicationCollaborators.h"

#include "engine/RouteController.h"
#include "observe/AudioDeviceMonitor.h"
#include "observe/AudioProcessMonitor.h"
#include "observe/SystemLifecycleMonitor.h"
#include "platform/dispatch/Dispatch.h"

namespace tonvale {

std::shared_ptr<AppStateController> ApplicationCollaborators::makeController() const {
    const dispatch::QueuePtr main = dispatch::DispatchQueue::main();
    RouteReconciler::EngineFactory engines =
        engineFactory ? engineFactory : [] { return std::shared_ptr<AudioRouteEngine>(RouteController::create()); };
    return AppStateController::create({.persistence = persistence,
                                       .resolver = resolver,
                                       .deviceMonitor = AudioDeviceMonitor::create(main),
                                       .processMonitor = AudioProcessMonitor::create(main),
                                       .reconciler = RouteReconciler::create(std::move(engines)),
                                       .loginItemService = loginItemService,
                                       .lifecycleMonitor = SystemLifecycleMonitor::create(main)});
}

}  // namespace tonvale
