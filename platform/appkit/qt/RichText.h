// An attributed string as Qt rich text: every character escaped, links as anchors,
// colours and underlining as styles, so a label shows exactly the string's text.
// Thread-safety: main thread only (resolves colours against the application's palette).
#pragma once

#include <QPalette>
#include <QString>

#include "platform/appkit/AttributedString.h"

namespace appkit {

[[nodiscard]] QString richText(const MutableAttributedString& string, const QPalette& palette);

}  // namespace appkit
