// The assembly of the running application: the store, the program's own identity, the
// device and process monitors, the login item, the lifecycle monitor and the app state
// controller, made in this order, handed to the application delegate with the status item,
// and started. The interactive application builds it on the user's settings and login item;
// the idle benchmark the same with its in-memory substitutes.
// Thread-safety: main thread only, from the delegate's launch callback.
#pragma once

#include <functional>
#include <memory>

#include "state/LoginItemServicing.h"
#include "state/StatePersisting.h"

namespace tonvale {

class AppDelegate;

struct ApplicationServices {
    std::function<std::shared_ptr<StatePersisting>()> makeStore;
    std::function<std::shared_ptr<LoginItemServicing>()> makeLoginItemService;
};

// Builds, hands over and starts the application; its icon appears in the tray.
void assembleApplication(AppDelegate& delegate, const ApplicationServices& services);

// The interactive application on the user's settings and login item. Asked for a picture of
// the popover (see PopoverPicture.h), it takes that picture and ends.
void buildInteractiveApplication(AppDelegate& delegate);

}  // namespace tonvale
