#include "platform/appkit/qt/SystemColors.h"

namespace appkit {

namespace {

// Secondary text is the label colour at half strength, so it follows the palette.
constexpr double kSecondaryLabelAlpha = 0.55;

QColor hue(const QPalette& palette, QRgb light, QRgb dark) { return QColor(isDarkPalette(palette) ? dark : light); }

}  // namespace

bool isDarkPalette(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness();
}

QColor systemColor(Color color, const QPalette& palette) {
    switch (color) {
        case Color::labelColor:
            return palette.color(QPalette::WindowText);
        case Color::secondaryLabelColor: {
            QColor secondary = palette.color(QPalette::WindowText);
            secondary.setAlphaF(static_cast<float>(kSecondaryLabelAlpha));
            return secondary;
        }
        case Color::linkColor:
            return palette.color(QPalette::Link);
        case Color::controlAccentColor:
            return palette.color(QPalette::Highlight);
        case Color::systemRed:
            return hue(palette, qRgb(0xff, 0x3b, 0x30), qRgb(0xff, 0x45, 0x3a));
        case Color::systemGreen:
            return hue(palette, qRgb(0x28, 0xa7, 0x45), qRgb(0x32, 0xd7, 0x4b));
        case Color::systemOrange:
            return hue(palette, qRgb(0xf5, 0x8a, 0x00), qRgb(0xff, 0x9f, 0x0a));
        case Color::systemPink:
            return hue(palette, qRgb(0xff, 0x2d, 0x55), qRgb(0xff, 0x37, 0x5f));
    }
    return palette.color(QPalette::WindowText);
}

}  // namespace appkit
