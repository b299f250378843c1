// The desktop's audio graph as the audio layer sees it, without a server: devices,
// processes and defaults from a graph, the notifications each change gives, identifiers
// that are never reused, and the transport each kind of node reports.
#include <gtest/gtest.h>

#include <algorithm>

#include "audioserver/PropertyAccess.h"
#include "desktop/GraphModel.h"
#include "platform/dispatch/VirtualTime.h"

namespace desktop {
namespace {

GraphNode node(std::uint32_t id, std::uint64_t serial, Properties properties, std::string state = "suspended") {
    return {id, serial, std::move(properties), std::move(state), 0, 0};
}

PipeWireGraph desk() {
    PipeWireGraph graph;
    graph.nodes[30] = node(30, 130,
                           {{"media.class", "Audio/Sink"},
                            {"node.name", "speakers"},
                            {"node.description", "Speakers"},
                            {"audio.position", "[ FL FR ]"},
                            {"device.api", "alsa"}});
    graph.nodes[31] = node(31, 131, {{"media.class", "Audio/Source"}, {"node.name", "mic"}, {"audio.channels", "1"}});
    graph.nodes[40] =
        node(40, 140, {{"media.class", "Stream/Output/Audio"}, {"client.id", "50"}, {"application.id", "org.x.Player"}},
             "running");
    graph.clients[50] = {50, 150, {{"application.process.id", "1234"}, {"application.name", "Player"}}};
    graph.links[60] = {40, 30};
    graph.defaultSinkName = "speakers";
    graph.defaultSourceName = "mic";
    return graph;
}

class GraphModelTest : public ::testing::Test {
protected:
    std::vector<AudioObjectID> list(AudioObjectID object, AudioObjectPropertySelector selector) {
        UInt32 size = 0;
        const AudioObjectPropertyAddress address{selector, kAudioObjectPropertyScopeGlobal, 0};
        if (properties.size(object, address, size) != 0) {
            return {};
        }
        std::vector<AudioObjectID> ids(size / sizeof(AudioObjectID));
        (void)properties.get(object, address, size, ids.data());
        return ids;
    }
    UInt32 number(AudioObjectID object, AudioObjectPropertySelector selector) {
        UInt32 value = 0;
        UInt32 size = sizeof(value);
        (void)properties.get(object, {selector, kAudioObjectPropertyScopeGlobal, 0}, size, &value);
        return value;
    }
    // Listens to every property of object; each notification's selector is recorded.
    void listen(AudioObjectID object) {
        const AudioObjectPropertyAddress any{kAudioObjectPropertySelectorWildcard, kAudioObjectPropertyScopeWildcard,
                                             kAudioObjectPropertyElementWildcard};
        (void)properties.addListener(
            object, any, queue,
            std::make_shared<const std::function<void(UInt32, const AudioObjectPropertyAddress*)>>(
                [this, object](UInt32, const AudioObjectPropertyAddress* address) {
                    heard.emplace_back(object, address->mSelector);
                }));
    }
    bool wasHeard(AudioObjectID object, AudioObjectPropertySelector selector) {
        time.runUntilIdle();
        return std::find(heard.begin(), heard.end(), std::pair{object, selector}) != heard.end();
    }

    dispatch::VirtualTime time;
    dispatch::QueuePtr queue = dispatch::DispatchQueue::create("tests.graph");
    std::shared_ptr<GraphModel> model = std::make_shared<GraphModel>(
        [](std::int32_t, const Properties& client) { return propertyOf(client, "application.id"); });
    audioserver::PropertyAccess properties{model};
    std::vector<std::pair<AudioObjectID, AudioObjectPropertySelector>> heard;
};

TEST_F(GraphModelTest, SinksSourcesStreamsAndDefaults_BecomeDevicesProcessesAndDefaultIDs) {
    model->update(desk());
    const auto devices = list(kAudioObjectSystemObject, kAudioHardwarePropertyDevices);
    ASSERT_EQ(devices.size(), 2U);
    EXPECT_EQ(number(kAudioObjectSystemObject, kAudioHardwarePropertyDefaultOutputDevice), devices[0]);
    EXPECT_EQ(number(kAudioObjectSystemObject, kAudioHardwarePropertyDefaultInputDevice), devices[1]);
    EXPECT_EQ(number(devices[0], kAudioDevicePropertyTransportType), kAudioDeviceTransportTypeBuiltIn);
    const auto outputs = list(devices[0], kAudioDevicePropertyStreams);
    ASSERT_EQ(outputs.size(), 1U);
    AudioStreamBasicDescription format{};
    UInt32 size = sizeof(format);
    ASSERT_EQ(properties.get(outputs[0], {kAudioStreamPropertyVirtualFormat, kAudioObjectPropertyScopeGlobal, 0}, size,
                             &format),
              0);
    EXPECT_EQ(format.mChannelsPerFrame, 2U);
    EXPECT_EQ(format.mSampleRate, 48000.0);

    const auto processes = list(kAudioObjectSystemObject, kAudioHardwarePropertyProcessObjectList);
    ASSERT_EQ(processes.size(), 1U);
    EXPECT_EQ(number(processes[0], kAudioProcessPropertyPID), 1234U);
    EXPECT_EQ(number(processes[0], kAudioProcessPropertyIsRunningOutput), 1U);
    EXPECT_EQ(list(processes[0], kAudioProcessPropertyDevices), std::vector<AudioObjectID>{devices[0]});
}

TEST_F(GraphModelTest, Changes_NotifyTheirAddressesAndGoneObjectsNeverLendTheirIdentifiers) {
    model->update(desk());
    const auto devices = list(kAudioObjectSystemObject, kAudioHardwarePropertyDevices);
    const AudioObjectID player = list(kAudioObjectSystemObject, kAudioHardwarePropertyProcessObjectList)[0];
    listen(kAudioObjectSystemObject);
    listen(player);

    PipeWireGraph paused = desk();
    paused.nodes[40].state = "idle";
    model->update(paused);
    EXPECT_TRUE(wasHeard(player, kAudioProcessPropertyIsRunningOutput));
    EXPECT_TRUE(wasHeard(player, kAudioProcessPropertyIsRunning));
    EXPECT_FALSE(wasHeard(kAudioObjectSystemObject, kAudioHardwarePropertyDevices));

    // The server reuses its object id for a new speaker node; its serial is new.
    PipeWireGraph replugged = paused;
    replugged.nodes[30].serial = 230;
    model->update(replugged);
    EXPECT_TRUE(wasHeard(kAudioObjectSystemObject, kAudioHardwarePropertyDevices));
    EXPECT_TRUE(wasHeard(kAudioObjectSystemObject, kAudioHardwarePropertyDefaultOutputDevice));
    const auto replacement = list(kAudioObjectSystemObject, kAudioHardwarePropertyDevices);
    EXPECT_NE(replacement[0], devices[0]);
    EXPECT_EQ(replacement[1], devices[1]);

    model->lose();
    EXPECT_TRUE(wasHeard(kAudioObjectSystemObject, kAudioHardwarePropertyServiceRestarted));
    EXPECT_TRUE(list(kAudioObjectSystemObject, kAudioHardwarePropertyDevices).empty());
    model->update(replugged);
    for (const AudioObjectID id : list(kAudioObjectSystemObject, kAudioHardwarePropertyDevices)) {
        EXPECT_TRUE(
            std::none_of(replacement.begin(), replacement.end(), [id](AudioObjectID old) { return old == id; }));
    }
}

TEST(TransportTypeTest, NodesReportTheirConnection_NetworkOutputsTheKindNeverRoutedTo) {
    const std::vector<std::pair<Properties, UInt32>> cases{
        {{{"device.api", "bluez5"}}, kAudioDeviceTransportTypeBluetooth},
        {{{"device.api", "alsa"}, {"device.bus", "usb"}}, kAudioDeviceTransportTypeUSB},
        {{{"device.api", "alsa"}, {"node.name", "alsa_output.pci-0000_00_1f.3.hdmi-stereo"}},
         kAudioDeviceTransportTypeHDMI},
        {{{"device.api", "alsa"}, {"device.bus", "pci"}}, kAudioDeviceTransportTypeBuiltIn},
        {{{"node.name", "tunnel.remote.host"}}, kAudioDeviceTransportTypeAirPlay},
        {{{"node.name", "null_sink"}}, kAudioDeviceTransportTypeVirtual},
    };
    for (const auto& [properties, transport] : cases) {
        EXPECT_EQ(transportTypeOf(properties, {}), transport) << propertyOf(properties, "node.name");
    }
}

}  // namespace
}  // namespace desktop
