#include "app/CommandLine.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace tonvale {

bool CommandLine::hasArgument(std::string_view text) const {
    return std::any_of(arguments_.begin(), arguments_.end(),
                       [text](const std::string& argument) { return argument == text; });
}

std::optional<std::string> CommandLine::optionValue(std::string_view name) const {
    const auto found = std::find(arguments_.begin(), arguments_.end(), name);
    if (found == arguments_.end() || std::next(found) == arguments_.end()) {
        return std::nullopt;
    }
    return *std::next(found);
}

double CommandLine::numberOption(std::string_view name, double fallback) const {
    const auto value = optionValue(name);
    if (!value) {
        return fallback;
    }
    return parseDecimalNumber(*value).value_or(fallback);
}

long long CommandLine::integerOption(std::string_view name, long long fallback) const {
    const auto value = optionValue(name);
    if (!value) {
        return fallback;
    }
    return parseDecimalInteger(*value).value_or(fallback);
}

namespace {

// from_chars takes no '+'; a single leading plus is accepted like a minus.
std::string_view withoutLeadingPlus(std::string_view text) {
    if (text.size() > 1 && text.front() == '+' && text[1] != '-' && text[1] != '+') {
        text.remove_prefix(1);
    }
    return text;
}

}  // namespace

std::optional<double> parseDecimalNumber(std::string_view text) {
    text = withoutLeadingPlus(text);
    if (text.empty()) {
        return std::nullopt;
    }
    double value = 0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (error != std::errc{} || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<long long> parseDecimalInteger(std::string_view text) {
    text = withoutLeadingPlus(text);
    if (text.empty()) {
        return std::nullopt;
    }
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace tonvale
