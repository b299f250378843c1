// The system's named colours (platform/appkit/Color.h) as the desktop draws them:
// palette roles where the palette has one, fixed hues otherwise, each in a light and
// a dark variant chosen by the palette's window colour.
// Thread-safety: main thread only (reads the application's palette by default).
#pragma once

#include <QColor>
#include <QGuiApplication>
#include <QPalette>

#include "platform/appkit/Color.h"

namespace appkit {

// Whether the palette draws light text on dark windows.
[[nodiscard]] bool isDarkPalette(const QPalette& palette);

[[nodiscard]] QColor systemColor(Color color, const QPalette& palette = QGuiApplication::palette());

}  // namespace appkit
