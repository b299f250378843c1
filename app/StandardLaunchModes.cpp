#include "app/TonvaleApp.h"

namespace tonvale {

LaunchModes standardLaunchModes() {
    return LaunchModes{};
}

}  // namespace tonvale
