// Text with attributes on ranges of it: links, a foreground colour, underlining. The
// about panel's credits take one; the desktop's widgets draw it as rich text.
// Ranges count bytes of the UTF-8 text and should fall on character boundaries.
// Thread-safety: a value; copies may move freely between threads.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/appkit/Color.h"

namespace appkit {

struct TextRange {
    std::size_t location = 0;
    std::size_t length = 0;
    bool operator==(const TextRange&) const = default;
};

enum class UnderlineStyle {
    none = 0,
    single = 1,
};

// The attributes in force over a run of text.
struct TextAttributes {
    std::optional<std::string> link;
    std::optional<Color> foregroundColor;
    UnderlineStyle underlineStyle = UnderlineStyle::none;
    bool operator==(const TextAttributes&) const = default;
};

struct AttributedRun {
    TextRange range;
    TextAttributes attributes;
    bool operator==(const AttributedRun&) const = default;
};

class MutableAttributedString {
public:
    explicit MutableAttributedString(std::string text) : text_(std::move(text)) {}

    [[nodiscard]] const std::string& string() const { return text_; }

    // A range reaching past the end of the text is cut at the end; an empty one
    // changes nothing.
    void addLink(std::string url, TextRange range) { spans_.push_back({range, std::move(url)}); }
    void addForegroundColor(Color color, TextRange range) { spans_.push_back({range, color}); }
    void addUnderlineStyle(UnderlineStyle style, TextRange range) { spans_.push_back({range, style}); }

    // The whole text as runs of equal attributes, in order (none for an empty text).
    // Where two attributes of one kind overlap, the one added later applies.
    [[nodiscard]] std::vector<AttributedRun> runs() const;

    bool operator==(const MutableAttributedString&) const = default;

private:
    struct Span {
        TextRange range;
        std::variant<std::string, Color, UnderlineStyle> value;
        bool operator==(const Span&) const = default;
    };

    std::string text_;
    std::vector<Span> spans_;
};

}  // namespace appkit
