// The diagnostics report, byte for byte: every item in its place and no text that breaks a line.
#include "state/DiagnosticsReport.h"

#include <gtest/gtest.h>

#include "hal/DiagnosticsFieldText.h"

namespace tonvale {
namespace {

TEST(DiagnosticsReportTest, EveryItem_IsWrittenInItsPlaceWithTextsEscapedAndListsSorted) {
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
    EXPECT_EQ(report,
              "Tonvale diagnostics\nappVersion=1.2\nappBuild=unknown\nmacOS=Debian GNU/Linux 12, Linux 6.1.0\n"
              "architecture=x86_64\ndefaultOutputID=41\ndefaultInputID=42\ndevices:\n"
              "  id=41 uid=speakers name=Built-in\\nSpeakers transport=Built-in alive=true input=false output=true "
              "rate=48000.0\n"
              "  id=42 uid=usb\\\\mic name=USB Mic transport='pci ' alive=false input=true output=false rate=unknown\n"
              "logicalApps:\n"
              "  bundleID=com.b name=B\\tPlayer processObjectIDs=[7, 12] activeProcessObjectIDs=[12]\n"
              "  bundleID=com.a name=A processObjectIDs=[3, 9] activeProcessObjectIDs=[]\n"
              "processes:\n"
              "  objectID=3 pid=603 bundleID=com.a name=A running=true runningOutput=false\n"
              "  objectID=7 pid=607 bundleID=com.b.x name=B Helper running=true runningOutput=false\n"
              "  objectID=9 pid=609 bundleID=com.a name=A running=false runningOutput=false\n"
              "  objectID=12 pid=612 bundleID=com.b name=B running=true runningOutput=true\n"
              "routes:\n"
              "  bundleID=a.app state=unknown destinationUID=none fallback=false callbackCount=120 "
              "lastCallbackHostTime=987 unequalFrameCallbacks=2 message=none\n"
              "  bundleID=b.app state=failedRecoverable destinationUID=speakers fallback=true callbackCount=0 "
              "lastCallbackHostTime=0 unequalFrameCallbacks=0 message=Tap refused:\\r\\nnot permitted\n"
              "  bundleID=c.app state=active destinationUID=route-x fallback=false callbackCount=5 "
              "lastCallbackHostTime=6 unequalFrameCallbacks=0 message=none");
}

// Beyond ASCII too, nothing that a reader may take for a line break passes raw.
TEST(DiagnosticsFieldTextTest, C1ControlsAndLineAndParagraphSeparators_AreEscaped) {
    EXPECT_EQ(diagnosticsFieldText("a\xC2\x85"
                                   "b\xE2\x80\xA8"
                                   "c\xE2\x80\xA9"
                                   "d\xC2\x9F\x1F\x7F \xC3\xA9\xE2\x80\xA6\xC2"),
              "a\\u0085b\\u2028c\\u2029d\\u009F\\x1F\\x7F \xC3\xA9\xE2\x80\xA6\xC2");
}

}  // namespace
}  // namespace tonvale
