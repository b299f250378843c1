#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include "hal/DecimalText.h"

namespace tonvale {
namespace {

CommandLine commandLine(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "/Applications/Tonvale.app/Contents/MacOS/tonvale");
    return CommandLine(std::move(arguments));
}

TEST(CommandLineTest, HasArgument_MatchesWholeCaseSensitiveArgumentsOnly) {
    const auto line = commandLine({"--route-test", "--gain", "0.5"});
    EXPECT_TRUE(line.hasArgument("--route-test"));
    EXPECT_FALSE(line.hasArgument("--route"));
    EXPECT_FALSE(line.hasArgument("--ROUTE-TEST"));
    EXPECT_FALSE(commandLine({"--route-test=1"}).hasArgument("--route-test"));
}

TEST(CommandLineTest, OptionValue_FirstOccurrenceWinsAndLastArgumentHasNone) {
    EXPECT_EQ(commandLine({"--gain", "0.25", "--gain", "0.75"}).optionValue("--gain"), "0.25");
    // The value is whatever follows, even another option.
    const auto line = commandLine({"--duration", "--gain", "0.3"});
    EXPECT_EQ(line.optionValue("--duration"), "--gain");
    EXPECT_EQ(line.optionValue("--gain"), "0.3");
    EXPECT_EQ(commandLine({"--route-test", "--gain"}).optionValue("--gain"), std::nullopt);
    EXPECT_EQ(commandLine({"--route-test"}).optionValue("--gain"), std::nullopt);
    // The program path itself is an argument and can be an option's name.
    EXPECT_EQ(CommandLine({"--gain"}).optionValue("--gain"), std::nullopt);
    EXPECT_EQ(CommandLine({}).optionValue("--gain"), std::nullopt);
}

TEST(CommandLineTest, NumberOption_FallsBackWhenAbsentUnparsableOrNotFinite) {
    EXPECT_DOUBLE_EQ(commandLine({"--gain", "0.3"}).numberOption("--gain", 0.5), 0.3);
    EXPECT_DOUBLE_EQ(commandLine({}).numberOption("--gain", 0.5), 0.5);
    EXPECT_DOUBLE_EQ(commandLine({"--gain", "nan"}).numberOption("--gain", 0.5), 0.5);
    EXPECT_DOUBLE_EQ(commandLine({"--duration", "inf"}).numberOption("--duration", 5), 5);
    EXPECT_EQ(commandLine({"--route-count", "+3"}).integerOption("--route-count", 8), 3);
    EXPECT_EQ(commandLine({"--route-count", "3.0"}).integerOption("--route-count", 8), 8);
}

TEST(DecimalNumberParsingTest, AcceptsWholeDecimalTextOnly) {
    EXPECT_EQ(parseDecimalNumber("+2.5"), 2.5);
    EXPECT_EQ(parseDecimalNumber(".5"), 0.5);
    EXPECT_EQ(parseDecimalNumber("1E-2"), 0.01);
    for (const char* text : {"", " 0.5", "0.5 ", "0.5s", "0,5", "+", "++1", "0x10", "nan", "inf", "-inf",
                             "infinity", "1e999", "e5", "1e", "."}) {
        EXPECT_EQ(parseDecimalNumber(text), std::nullopt) << "'" << text << "'";
    }
    EXPECT_EQ(parseDecimalInteger("-3"), -3);
    for (const char* text : {"", " 8", "8.0", "1e2", "--3", "99999999999999999999999"}) {
        EXPECT_EQ(parseDecimalInteger(text), std::nullopt) << "'" << text << "'";
    }
}

TEST(DecimalTextTest, PrintsShortestFormWithPointOnWholeNumbers) {
    EXPECT_EQ(shortestDecimalText(0.1), "0.1");
    EXPECT_EQ(shortestDecimalText(2), "2.0");
    EXPECT_EQ(shortestDecimalText(1e15), "1000000000000000.0");
    EXPECT_EQ(shortestDecimalText(1e16), "1e+16");
    EXPECT_EQ(shortestDecimalText(0.00001), "1e-05");
}

}  // namespace
}  // namespace tonvale
