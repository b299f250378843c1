// What the interface draws for one label, button face or message: a text, a system symbol,
// the named colour both are drawn in, and the help text shown on hover. Any part may be
// empty. The presentation models produce them; the widgets draw them.
// Thread-safety: a value; copies may move freely between threads.
#pragma once

#include <string>

#include "platform/appkit/Color.h"

namespace tonvale {

struct Label {
    std::string title;
    std::string symbolName;
    appkit::Color color = appkit::Color::labelColor;
    std::string helpText;

    bool operator==(const Label&) const = default;
};

}  // namespace tonvale
