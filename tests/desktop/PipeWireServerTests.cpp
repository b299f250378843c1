// The audio layer on a real PipeWire server: a private, headless one that each test starts
// and stops (PipeWireDaemon), with null sinks and a null source, tone players and a sink
// that comes and goes. Where the server cannot be started the tests fail and say why.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <fstream>
#include <variant>

#include "desktop/DesktopWorkspace.h"
#include "observe/AudioDeviceMonitor.h"
#include "platform/foundation/Bundle.h"
#include "tests/app/ProgramRun.h"
#include "tests/desktop/PipeWireTest.h"

namespace tonvale::testing {
namespace {

void writeDesktopEntry(const std::filesystem::path& folder, const std::string& id, const std::string& lines) {
    std::ofstream(folder / "applications" / (id + ".desktop")) << "[Desktop Entry]\nType=Application\n" << lines;
}

TEST_F(PipeWireTest, PipeWireDiagnostics_ListTheSinksTheDefaultsAndOneLinePerPlayer) {
    daemon.play(" application.name = \"Tone One\" application.id = \"org.example.ToneOne\" ");
    daemon.play(" application.name = \"Tone Two\" application.id = \"org.example.ToneTwo\" ", "pw-play",
                "tonvale_test_sink_b");
    ASSERT_TRUE(waitFor([] { return isPlaying("org.example.ToneOne") && isPlaying("org.example.ToneTwo"); }));

    const ProgramRun run = runProgram({"--diagnostics-once"}, {{"TONVALE_AUDIO", "pipewire"}});
    ASSERT_EQ(run.exitStatus, 0) << run.error;
    EXPECT_EQ(run.error, "");
    const auto sinkA = device("tonvale_test_sink_a");
    ASSERT_TRUE(sinkA);
    for (const std::string& expected : std::vector<std::string>{
             "defaultOutputID=" + std::to_string(sinkA->objectID) + "\n",
             " uid=tonvale_test_sink_a name=Test Sink A transport=Virtual alive=true input=false output=true "
             "rate=48000.0",
             " uid=tonvale_test_sink_b name=Test Sink B ", " uid=tonvale_test_source name=Test Microphone ",
             " bundleID=org.example.ToneOne name=Tone One running=true runningOutput=true",
             " bundleID=org.example.ToneTwo name=Tone Two running=true runningOutput=true"}) {
        EXPECT_NE(run.output.find(expected), std::string::npos) << expected << " missing from:\n" << run.output;
    }

    // Not asked for, a server that answers is chosen, unless a scenario names a simulated world.
    const ProgramRun chosen = runProgram({"--diagnostics-once"}, {{"TONVALE_AUDIO", ""}});
    EXPECT_NE(chosen.output.find(" uid=tonvale_test_sink_b "), std::string::npos) << chosen.output;
    const ProgramRun simulated =
        runProgram({"--diagnostics-once"},
                   {{"TONVALE_AUDIO", ""}, {"TONVALE_SCENARIO", TONVALE_SOURCE_DIR "/sim/scenarios/default.json"}});
    EXPECT_NE(simulated.output.find(" uid=usb-headset "), std::string::npos) << simulated.error;

    // The input-selection test writes the user's configured source, and reads it back.
    const ProgramRun selection = runProgram({"--input-selection-test"}, {{"TONVALE_AUDIO", "pipewire"}});
    EXPECT_EQ(selection.exitStatus, 0) << selection.error;
    EXPECT_EQ(selection.output.rfind("input-selection-test passed currentDeviceID=", 0), 0U) << selection.output;
}

TEST_F(PipeWireTest, PipeWirePlayback_StartAndStopAreSeenWithTheDeviceItPlaysTo) {
    const pid_t player = daemon.play(" application.id = \"org.example.Player\" ", "pw-play", "tonvale_test_sink_b");
    ASSERT_TRUE(waitFor([] { return isPlaying("org.example.Player"); }));
    const auto playing = process("org.example.Player");
    ASSERT_TRUE(playing);
    EXPECT_EQ(playing->pid, player);
    const auto sinkB = device("tonvale_test_sink_b");
    ASSERT_TRUE(sinkB);
    ASSERT_TRUE(waitFor([&] {
        AudioObjectPropertyAddress address{kAudioProcessPropertyDevices, kAudioObjectPropertyScopeGlobal, 0};
        AudioObjectID reached = 0;
        UInt32 size = sizeof(reached);
        return AudioObjectGetPropertyData(playing->objectID, &address, 0, nullptr, &size, &reached) == 0 &&
               size == sizeof(reached) && reached == sinkB->objectID;
    })) << "the player's process does not report the sink it plays to";

    daemon.end(player);
    EXPECT_TRUE(waitFor([] { return !process("org.example.Player"); })) << "a player that ended is still listed";
}

TEST_F(PipeWireTest, PipeWireDevices_ASinkComesAndGoesAndTheDefaultsFollowOutsideChanges) {
    const pid_t plugged = daemon.plugSink("tonvale_test_plugged", "Plugged Sink");
    ASSERT_TRUE(waitFor([] { return device("tonvale_test_plugged").has_value(); })) << "a new sink never appeared";
    EXPECT_EQ(device("tonvale_test_plugged")->name, "Plugged Sink");

    daemon.run({"pw-metadata", "0", "default.configured.audio.sink", "{\"name\":\"tonvale_test_plugged\"}",
                "Spa:String:JSON"});
    EXPECT_TRUE(waitFor([] {
        const auto chosen = device("tonvale_test_plugged");
        return chosen && readDefaultOutputDevice().valueOr(0) == chosen->objectID;
    })) << "a default output chosen outside was not seen";

    daemon.end(plugged);
    EXPECT_TRUE(waitFor([] {
        const auto fallback = device("tonvale_test_sink_a");
        return !device("tonvale_test_plugged") && fallback &&
               readDefaultOutputDevice().valueOr(0) == fallback->objectID;
    })) << "the sink that went away is still listed, or the default did not fall back";
}

TEST_F(PipeWireTest, PipeWireIdentity_DesktopEntriesNameTheAppAndItsHelpersAndGiveItsIcon) {
    const std::filesystem::path data = daemon.dataFolder();
    std::ofstream(data / "browser.svg") << "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 4 4\"/>";
    writeDesktopEntry(data, "org.tonvale.TestPlayer", "Name=Test Player\nExec=tonvale-test-player %U\n");
    writeDesktopEntry(data, "org.tonvale.TestBrowser",
                      "Name=Test Browser\nExec=/opt/browser/tonvale-test-browser --new\nIcon=" +
                          (data / "browser.svg").string() + "\n");
    server.reset();
    connect();
    daemon.play(" media.role = \"Music\" ", "tonvale-test-player");
    // A browser's audio helper: started by the browser, with nothing of its own to say.
    const std::filesystem::path browser = daemon.folder() / "tonvale-test-browser";
    std::filesystem::create_symlink("/bin/bash", browser);
    daemon.run({browser.string(), "-c", "pw-play " + (daemon.folder() / "tone.wav").string() + " & wait"});

    EXPECT_TRUE(waitFor([] { return isPlaying("org.tonvale.TestPlayer"); }))
        << "the player was not identified by the desktop entry whose program it runs";
    EXPECT_TRUE(waitFor([] { return isPlaying("org.tonvale.TestBrowser"); }))
        << "the helper was not grouped under the application that started it";

    const desktop::DesktopWorkspace workspace(identity);
    const auto bundleURL = workspace.URLForApplicationWithBundleIdentifier("org.tonvale.TestBrowser");
    ASSERT_TRUE(bundleURL);
    const auto bundle = foundation::Bundle::at(*bundleURL);
    ASSERT_TRUE(bundle);
    EXPECT_EQ(bundle->infoValue("CFBundleDisplayName"), "Test Browser");
    const auto iconFile = bundle->infoValue("CFBundleIconFile");
    ASSERT_TRUE(iconFile);
    EXPECT_TRUE(std::filesystem::exists(*bundleURL / "Contents" / "Resources" / *iconFile));
}

// The CPU time the service's own thread has used, in seconds.
double serviceThreadSeconds() {
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::string name;
        std::getline(std::ifstream(task.path() / "comm"), name);
        if (name != "tonvale.pipewire") {
            continue;
        }
        std::string stat;
        std::getline(std::ifstream(task.path() / "stat"), stat);
        std::istringstream fields(stat.substr(stat.rfind(')') + 2));
        std::string field;
        double ticks = 0;
        for (int index = 0; fields >> field && index <= 12; ++index) {
            ticks += index >= 11 ? std::stod(field) : 0.0;
        }
        return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
    }
    return 0.0;
}

TEST_F(PipeWireTest, PipeWireRestart_IsARestartWithNewIdentifiersAndFreshSnapshotsAndNoBusyLoop) {
    const dispatch::QueuePtr queue = dispatch::DispatchQueue::create("tests.pipewire.snapshots");
    std::mutex mutex;
    std::vector<AudioDeviceSnapshot> snapshots;
    const auto monitor = AudioDeviceMonitor::create(queue);
    monitor->start([&](AudioDeviceSnapshot snapshot) {
        std::lock_guard lock(mutex);
        snapshots.push_back(std::move(snapshot));
    });
    auto latest = [&] {
        std::lock_guard lock(mutex);
        return snapshots.empty() ? AudioDeviceSnapshot{} : snapshots.back();
    };
    ASSERT_TRUE(waitFor([&] { return latest().devices.size() == 3; }));
    const AudioDeviceSnapshot before = latest();
    std::atomic<int> restarts{0};
    const AudioObjectPropertyAddress restarted{kAudioHardwarePropertyServiceRestarted, kAudioObjectPropertyScopeGlobal,
                                               0};
    const auto listener = std::make_shared<const std::function<void(UInt32, const AudioObjectPropertyAddress*)>>(
        [&restarts](UInt32, const AudioObjectPropertyAddress*) { ++restarts; });
    ASSERT_EQ(AudioObjectAddPropertyListenerBlock(kAudioObjectSystemObject, &restarted, queue, listener), 0);

    const double busyBefore = serviceThreadSeconds();
    daemon.stop();
    ASSERT_TRUE(waitFor([&] { return restarts.load() == 1 && latest().devices.empty(); }))
        << "the server going away was not a restart that emptied the device list";
    ASSERT_EQ(daemon.start(), "");
    ASSERT_TRUE(waitFor([&] { return latest().devices.size() == 3 && latest().defaultOutputID != 0; }))
        << "the service did not reconnect to the server that came back";
    EXPECT_LT(serviceThreadSeconds() - busyBefore, 0.2) << "the service was busy while the server was down";

    for (const AudioDeviceInfo& now : latest().devices) {
        for (const AudioDeviceInfo& earlier : before.devices) {
            EXPECT_NE(now.objectID, earlier.objectID) << now.uid << " kept an identifier across the restart";
        }
    }
    (void)AudioObjectRemovePropertyListenerBlock(kAudioObjectSystemObject, &restarted, queue, listener);
    monitor->stop();
}

}  // namespace
}  // namespace tonvale::testing
