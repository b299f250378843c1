// The idle benchmark's login item: always off, and switching it or opening the desktop's list
// of login items does nothing, so a benchmark run never touches the user's autostart entry.
// Owned by the benchmark's app state controller.
// Thread-safety: holds no state; any thread may call it.
#pragma once

#include "state/LoginItemServicing.h"

namespace tonvale {

class BenchmarkLoginItemService final : public LoginItemServicing {
public:
    [[nodiscard]] LoginItemStatus status() const override { return LoginItemStatus::disabled(); }
    [[nodiscard]] std::optional<LoginItemError> setEnabled(bool) override { return std::nullopt; }
    void openSystemSettingsLoginItems() override {}
};

}  // namespace tonvale
