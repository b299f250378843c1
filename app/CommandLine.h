// The process arguments and the matching rules every launch mode shares.
//
// Arguments match whole and case-sensitively; an option's value is the
// argument right after its first occurrence, whatever it looks like. Numbers
// parse as whole-string decimal text independent of the user's locale.
// A plain value: copy freely; reading it is safe from any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tonvale {

class CommandLine {
public:
    // The full argument list, program path first.
    explicit CommandLine(std::vector<std::string> arguments) : arguments_(std::move(arguments)) {}

    [[nodiscard]] const std::vector<std::string>& arguments() const { return arguments_; }

    // True when some argument is exactly the text.
    [[nodiscard]] bool hasArgument(std::string_view text) const;

    // The argument after the first one exactly equal to name; nothing when the
    // option is absent or is the last argument.
    [[nodiscard]] std::optional<std::string> optionValue(std::string_view name) const;

    // The option's value as a finite decimal number, or fallback when it is
    // absent or does not parse.
    [[nodiscard]] double numberOption(std::string_view name, double fallback) const;

    // The option's value as a decimal integer with optional sign, or fallback.
    [[nodiscard]] long long integerOption(std::string_view name, long long fallback) const;

private:
    std::vector<std::string> arguments_;
};

// Whole-string, locale-independent decimal floating-point text ("0.5", "+2",
// "-1e3"). Leading white space, trailing characters and non-finite values
// (nan, inf, or a value too large for a double) do not parse.
[[nodiscard]] std::optional<double> parseDecimalNumber(std::string_view text);

// Whole-string decimal integer with an optional sign; out-of-range values do
// not parse.
[[nodiscard]] std::optional<long long> parseDecimalInteger(std::string_view text);

}  // namespace tonvale
