// The system's named colours. The desktop's widgets resolve each against the palette
// in force (light or dark; see platform/appkit/qt/SystemColors.h), so code that only
// names colours, such as the interface's presentation models, stays free of Qt.
// Thread-safety: a value.
#pragma once

namespace appkit {

enum class Color {
    labelColor,
    secondaryLabelColor,
    linkColor,
    controlAccentColor,
    systemRed,
    systemGreen,
    systemOrange,
    systemPink,
};

}  // namespace appkit
