#include "platform/appkit/qt/SystemSymbols.h"

#include <algorithm>

namespace appkit {

const std::vector<SystemSymbol>& systemSymbols() {
    // Filled and outlined variants share a theme icon where the theme draws only one;
    // the colour the interface gives them still tells them apart. The heart and the lock
    // with a warning badge have no fitting standard name.
    static const std::vector<SystemSymbol> symbols = {
        {"speaker.wave.2.fill", {"audio-volume-high-symbolic"}},
        {"speaker.wave.2", {"audio-volume-medium-symbolic"}},
        {"speaker.slash.fill", {"audio-volume-muted-symbolic"}},
        {"speaker.slash", {"audio-volume-muted-symbolic"}},
        {"hifispeaker", {"audio-speakers-symbolic"}},
        {"mic", {"audio-input-microphone-symbolic"}},
        {"checkmark.circle.fill", {"emblem-ok-symbolic"}},
        {"checkmark.circle", {"emblem-ok-symbolic"}},
        {"heart.fill", {}},
        {"exclamationmark.triangle", {"dialog-warning-symbolic"}},
        {"exclamationmark.triangle.fill", {"dialog-warning-symbolic"}},
        {"xmark", {"window-close-symbolic"}},
        {"chevron.right", {"pan-end-symbolic", "go-next-symbolic"}},
        {"gearshape", {"emblem-system-symbolic", "preferences-system-symbolic"}},
        {"lock.shield", {"security-high-symbolic"}},
        {"lock.trianglebadge.exclamationmark", {}},
        {"power", {"system-shutdown-symbolic"}},
        {"app.fill", {"application-x-executable-symbolic"}},
        {"pin", {"view-pin-symbolic"}},
        {"pin.fill", {"view-pin-symbolic"}},
    };
    return symbols;
}

const SystemSymbol* systemSymbolNamed(std::string_view name) {
    const auto& symbols = systemSymbols();
    const auto found = std::find_if(symbols.begin(), symbols.end(),
                                    [name](const SystemSymbol& symbol) { return symbol.name == name; });
    return found == symbols.end() ? nullptr : &*found;
}

}  // namespace appkit
