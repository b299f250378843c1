// The diagnostics report, read back line by line into its items.
#include "state/DiagnosticsReport.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

namespace tonvale {
namespace {

using Texts = std::vector<std::string>;

// A section line's values, given its keys in order: a value runs up to the next " key=".
Texts valuesOf(const std::string& line, const Texts& keys) {
    std::string pattern = " ";
    for (const std::string& key : keys) {
        pattern += " " + key + "=(.*?)";
    }
    std::smatch match;
    EXPECT_TRUE(std::regex_match(line, match, std::regex(pattern + "$"))) << line;
    return Texts(match.size() > 1 ? std::next(match.begin()) : match.end(), match.end());
}

TEST(DiagnosticsReportTest, EveryLine_ParsesBackIntoItsItemsAndNoTextBreaksALine) {
    const DiagnosticsReportFacts facts{"1.2", std::nullopt, "Debian GNU/Linux 12, Linux 6.1.0", "x86_64"};
    EXPECT_EQ(makeDiagnosticsReport({}, 0, 0, {}, {}, {}, facts),
              "Tonvale diagnostics\nappVersion=1.2\nappBuild=unknown\nmacOS=Debian GNU/Linux 12, Linux 6.1.0\n"
              "architecture=x86_64\ndefaultOutputID=0\ndefaultInputID=0\ndevices:\nlogicalApps:\nprocesses:\nroutes:");
    const std::string report = makeDiagnosticsReport(
        {{41, "speakers", "Built-in\nSpeakers", kAudioDeviceTransportTypeBuiltIn, true, false, true, 48000.0},
         {42, "usb\\mic", "USB Mic", 0x70636920, false, true, false, std::nullopt}},
        41, 42,
        {{{"com.b", "B\tPlayer"}, {{12, 612, "com.b", "B", true, true}, {7, 607, "com.b.x", "B Helper", true, false}}},
         {{"com.a", "A"}, {{9, 609, "com.a", "A", false, false}, {3, 603, "com.a", "A", true, false}}}},
        {{"b.app", RouteStatus::failedRecoverable({}, "speakers", "Tap refused:\r\nnot permitted")},
         {"c.app", RouteStatus::active(OutputPreference::device("usb", "USB"), "usb")}},
        {{"a.app", {true, {12}, std::nullopt, 120, 987, 2}}, {"c.app", {true, {12}, "route-x", 5, 6, 0}}}, facts);

    Texts lines;
    std::istringstream stream(report);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    const Texts device{"id", "uid", "name", "transport", "alive", "input", "output", "rate"};
    const Texts app{"bundleID", "name", "processObjectIDs", "activeProcessObjectIDs"};
    const Texts process{"objectID", "pid", "bundleID", "name", "running", "runningOutput"};
    const Texts route{"bundleID", "state", "destinationUID", "fallback", "callbackCount", "lastCallbackHostTime",
                      "unequalFrameCallbacks", "message"};
    const std::vector<std::pair<const Texts*, Texts>> expected{
        {&device, {"41", "speakers", "Built-in\\nSpeakers", "Built-in", "true", "false", "true", "48000.0"}},
        {&device, {"42", "usb\\\\mic", "USB Mic", "'pci '", "false", "true", "false", "unknown"}},
        {nullptr, {"logicalApps:"}},
        {&app, {"com.b", "B\\tPlayer", "[7, 12]", "[12]"}},
        {&app, {"com.a", "A", "[3, 9]", "[]"}},
        {nullptr, {"processes:"}},
        {&process, {"3", "603", "com.a", "A", "true", "false"}},
        {&process, {"7", "607", "com.b.x", "B Helper", "true", "false"}},
        {&process, {"9", "609", "com.a", "A", "false", "false"}},
        {&process, {"12", "612", "com.b", "B", "true", "true"}},
        {nullptr, {"routes:"}},
        {&route, {"a.app", "unknown", "none", "false", "120", "987", "2", "none"}},
        {&route, {"b.app", "failedRecoverable", "speakers", "true", "0", "0", "0", "Tap refused:\\r\\nnot permitted"}},
        {&route, {"c.app", "active", "route-x", "false", "5", "6", "0", "none"}}};
    ASSERT_EQ(lines.size(), 8 + expected.size());
    EXPECT_EQ(lines[5] + " " + lines[6], "defaultOutputID=41 defaultInputID=42");
    for (std::size_t index = 0; index < expected.size(); ++index) {
        const auto& [keys, values] = expected[index];
        EXPECT_EQ(keys ? valuesOf(lines[8 + index], *keys) : Texts{lines[8 + index]}, values);
    }
}

}  // namespace
}  // namespace tonvale
