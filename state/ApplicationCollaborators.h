// The app state controller as the application runs it, assembled in one place: the real
// device, process and lifecycle monitors delivering on the main queue, a reconciler whose
// engines are route controllers checked every RouteReconciler::kHealthInterval, and the
// platform's default-input setter. The caller names the store and the login item (whose
// settings, whose login item) and may name the resolver's view of the program itself or
// another engine factory. The program, its benchmarks and the tests' headless application
// model assemble through it; worlds of fakes name every AppStateController::Collaborators
// field themselves.
// Thread-safety: main thread only, like the controller it makes.
#pragma once

#include <memory>

#include "observe/LogicalAppResolver.h"
#include "reconcile/RouteReconciler.h"
#include "state/AppStateController.h"
#include "state/LoginItemServicing.h"
#include "state/StatePersisting.h"

namespace tonvale {

struct ApplicationCollaborators {
    // Identifies the program when its bundle does not (it runs outside its bundle).
    static constexpr const char* kFallbackBundleIdentifier = "com.zelkor.tonvale";

    std::shared_ptr<StatePersisting> persistence;
    std::shared_ptr<LoginItemServicing> loginItemService;
    // The program itself, whose own processes are never listed.
    LogicalAppResolver resolver{kFallbackBundleIdentifier, 0, LogicalAppResolver::standardRunningAppLookup};
    RouteReconciler::EngineFactory engineFactory;  // route controllers when empty

    // The controller on these collaborators and the real monitors, not yet started.
    [[nodiscard]] std::shared_ptr<AppStateController> makeController() const;
};

}  // namespace tonvale
