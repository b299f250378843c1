// The desktop's clipboard as the general pasteboard's store: text put on the pasteboard
// can be pasted in any other application. The interactive application installs it with
// Pasteboard::setStore.
// Main thread only, like the pasteboard; needs the QGuiApplication.
#pragma once

#include <optional>
#include <string>

#include "platform/appkit/Pasteboard.h"

namespace appkit {

class DesktopClipboardStore final : public PasteboardStoring {
public:
    void clear() override;
    bool setString(const std::string& text) override;
    // None when the clipboard holds no text.
    [[nodiscard]] std::optional<std::string> string() const override;
};

}  // namespace appkit
