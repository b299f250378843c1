// The interface's presentation models: every text, symbol and colour the rows, the popover
// and the settings area show, and the controller operation behind each control.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/ui/MixerTestWorld.h"
#include "ui/MixerPopoverView.h"
#include "ui/SettingsArea.h"

namespace tonvale::testing {
namespace {

using appkit::Color;
using Phase = RouteLifecyclePhase;

const AppIdentity kMusicApp{kMusic, kMusic};

AppRowState rowWith(AppAudioConfiguration configuration, std::optional<RouteStatus> status = std::nullopt) {
    return {kMusicApp, std::move(configuration), false, false, false, false, std::move(status)};
}

std::vector<std::string> titles(const MixerAppRow& row) {
    std::vector<std::string> result;
    for (const MixerAppRow::OutputChoice& choice : row.outputChoices()) {
        result.push_back(choice.title);
    }
    return result;
}

TEST(MixerAppRowTest, RouteStatus_ReadsAsItsPhaseInItsColourAndOnlyAFailureHasALine) {
    const auto withPhase = [](Phase phase) {
        RouteStatus status = RouteStatus::bypassed({});
        status.phase = phase;
        return std::optional(status);
    };
    const std::vector<std::pair<std::optional<RouteStatus>, Label>> table{
        {std::nullopt, {"System Default", {}, Color::secondaryLabelColor}},
        {withPhase(Phase::active), {"Active", {}, Color::systemGreen}},
        {withPhase(Phase::fallbackDefault), {"Using System Default", {}, Color::systemOrange}},
        {withPhase(Phase::failedRecoverable), {"Unavailable", {}, Color::systemRed}},
    };
    for (const auto& [status, label] : table) {
        EXPECT_EQ(MixerAppRow(rowWith({}, status), {}).routeStatus(), label) << label.title;
    }
    const auto failed = RouteStatus::failedRecoverable({}, std::nullopt, "Tap creation failed (-54).");
    RouteStatus activeWithMessage = RouteStatus::active({}, kSpeakers);
    activeWithMessage.message = "note";
    EXPECT_EQ(MixerAppRow(rowWith({}, failed), {}).failureLine(),
              "Route unavailable; normal playback was restored. Tap creation failed (-54).");
    EXPECT_EQ(MixerAppRow(rowWith({}, activeWithMessage), {}).failureLine(), std::nullopt);
}

TEST(MixerAppRowTest, ActivityAndPercentage_FollowTheSnapshot) {
    struct Case {
        bool isPlaying, isRecent;
        float volume;
        Label activity;
        const char* percentage;
    };
    const Label playing{"Playing", {}, Color::systemGreen};
    const Label recent{"Recent", {}, Color::secondaryLabelColor};
    const Label idle{"Not playing", {}, Color::secondaryLabelColor};
    for (const Case& c : std::vector<Case>{{true, true, 0.004F, playing, "0%"},
                                           {false, true, 0.5F, recent, "50%"},
                                           {false, false, 0.125F, idle, "13%"}}) {
        AppRowState state = rowWith({c.volume});
        state.isRunningOutput = c.isPlaying;
        state.isRecent = c.isRecent;
        const MixerAppRow row(state, {});
        EXPECT_EQ(row.activity(), c.activity);
        EXPECT_EQ(row.percentage(), c.percentage) << c.volume;
    }
}

TEST(MixerAppRowTest, OutputChoices_ShowAnAbsentStoredDeviceDirectlyAfterSystemDefault) {
    const std::vector<AudioDeviceInfo> outputs = desk().outputDevices();
    const auto headset = OutputPreference::device(kHeadset, "Headset");
    const auto gone = OutputPreference::device("gone", "Old Dock");

    const MixerAppRow present(rowWith({1.0F, false, headset}), outputs);
    EXPECT_EQ(titles(present),
              (std::vector<std::string>{"System Default", "speakers \u00B7 Built-in", "headset \u00B7 USB"}));
    EXPECT_EQ(present.selectedOutputIndex(), 2U) << "the stored device, renamed since it was chosen";
    EXPECT_EQ(present.outputChoices()[2].preference, OutputPreference::device(kHeadset, kHeadset));

    const MixerAppRow absent(rowWith({1.0F, false, gone}), outputs);
    EXPECT_EQ(titles(absent), (std::vector<std::string>{"System Default", "Old Dock (Unavailable)",
                                                        "speakers \u00B7 Built-in", "headset \u00B7 USB"}));
    EXPECT_EQ(absent.selectedOutputIndex(), 1U);
    EXPECT_EQ(MixerAppRow(rowWith({}), outputs).selectedOutputIndex(), 0U);
}

class MixerPopoverViewTest : public ::testing::Test {
protected:
    MixerTestWorld world;
    AppStateController& controller = *world.controller;
};

// The routing badge while some route is active; the settings' access panel while capture is refused.
TEST_F(MixerPopoverViewTest, RoutingBadgeAndAccessPanel_FollowTheRoutes) {
    world.play({{kMusic, true}, {kChat, true}});
    EXPECT_FALSE(MixerPopoverView(controller).isRoutingBadgeShown()) << "neutral apps take the native path";
    world.answersAtOnce = false;
    controller.setConfiguration({0.5F}, kMusicApp, true);
    world.time->runUntilIdle();
    EXPECT_EQ(controller.routeStatuses().at(kMusic).phase, Phase::starting);
    EXPECT_FALSE(MixerPopoverView(controller).isRoutingBadgeShown());
    world.engines.back()->answerNext();
    world.time->runUntilIdle();
    EXPECT_TRUE(MixerPopoverView(controller).isRoutingBadgeShown());

    EXPECT_FALSE(SettingsArea(controller, true).isAccessPanelShown());
    controller.setConfiguration({0.5F}, {kChat, kChat}, true);
    world.engines.back()->answerNext("Tap creation failed: Operation not permitted");
    world.time->runUntilIdle();
    EXPECT_TRUE(SettingsArea(controller, true).isAccessPanelShown());
}

TEST_F(MixerPopoverViewTest, Inputs_BluetoothWarningOnlyForABluetoothDefaultAndNoneWithoutDevices) {
    const Label warning{"A Bluetooth microphone can reduce that device's output quality.", "exclamationmark.triangle",
                        Color::systemOrange};
    for (const auto& [input, bluetooth, isWarned] : std::vector<std::tuple<AudioObjectID, std::uint32_t, bool>>{
             {kBluetoothID, kAudioDeviceTransportTypeBluetooth, true},
             {kBluetoothID, kAudioDeviceTransportTypeBluetoothLE, true},
             {kBluetoothID, kAudioDeviceTransportTypeUSB, false},
             {kSpeakersID, kAudioDeviceTransportTypeBluetooth, false}}) {  // no input: not listed
        world.deliverDesk(input, bluetooth);
        EXPECT_EQ(MixerPopoverView(controller).bluetoothWarning(), isWarned ? std::optional(warning) : std::nullopt)
            << input << " " << bluetooth;
    }
    world.devices->deliver(AudioDeviceSnapshot{});
    EXPECT_TRUE(MixerPopoverView(controller).inputChoices().empty());
    EXPECT_EQ(MixerPopoverView(controller).outputName(), "Unavailable");
}

class SettingsAreaTest : public MixerPopoverViewTest {};

TEST_F(SettingsAreaTest, LoginItemLine_AskForApprovalOrShowTheFailureOnly) {
    const SettingsArea::LoginItemLine approval{
        {"Approval is required in System Settings.", {}, Color::secondaryLabelColor}, true};
    const SettingsArea::LoginItemLine failure{{"Could not write the entry.", {}, Color::systemRed}, false};
    for (const auto& [status, line] :
         std::vector<std::pair<LoginItemStatus, std::optional<SettingsArea::LoginItemLine>>>{
             {LoginItemStatus::requiresApproval(), approval},
             {LoginItemStatus::failed("Could not write the entry."), failure}}) {
        controller.setLoginItemStatus(status);
        EXPECT_EQ(SettingsArea(controller, true).loginItemLine(), line);
    }
}

TEST_F(SettingsAreaTest, RowVolume_IsClampedAndLeavesMuteAlone) {
    world.play({{kMusic, true}});
    const MixerAppRow row = MixerPopoverView(controller).rows().at(0);
    row.toggleMute(controller);
    row.moveVolume(controller, 1.5);
    EXPECT_EQ(world.stored(kMusic).volume, 1.0F) << "clamped";
    EXPECT_TRUE(world.stored(kMusic).muted) << "only the volume changes, whatever the row last showed";
    row.moveVolume(controller, -0.25);
    EXPECT_EQ(world.stored(kMusic).volume, 0.0F);
}

}  // namespace
}  // namespace tonvale::testing
