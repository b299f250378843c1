#include "platform/appkit/AttributedString.h"

#include <algorithm>
#include <set>

namespace appkit {

namespace {

template <class... Visitors>
struct Overloaded : Visitors... {
    using Visitors::operator()...;
};
template <class... Visitors>
Overloaded(Visitors...) -> Overloaded<Visitors...>;

}  // namespace

std::vector<AttributedRun> MutableAttributedString::runs() const {
    const std::size_t size = text_.size();
    const auto end = [size](const TextRange& range) {
        return range.location >= size ? size : range.location + std::min(range.length, size - range.location);
    };
    std::set<std::size_t> boundaries{0, size};
    for (const Span& span : spans_) {
        boundaries.insert(std::min(span.range.location, size));
        boundaries.insert(end(span.range));
    }

    std::vector<AttributedRun> runs;
    for (auto start = boundaries.begin(); start != boundaries.end() && *start < size; ++start) {
        const std::size_t location = *start;
        const std::size_t next = *std::next(start);
        TextAttributes attributes;
        for (const Span& span : spans_) {
            if (span.range.location > location || end(span.range) < next || span.range.location >= end(span.range)) {
                continue;
            }
            std::visit(Overloaded{
                           [&](const std::string& url) { attributes.link = url; },
                           [&](Color color) { attributes.foregroundColor = color; },
                           [&](UnderlineStyle style) { attributes.underlineStyle = style; },
                       },
                       span.value);
        }
        if (!runs.empty() && runs.back().attributes == attributes) {
            runs.back().range.length += next - location;
            continue;
        }
        runs.push_back({{location, next - location}, std::move(attributes)});
    }
    return runs;
}

}  // namespace appkit
