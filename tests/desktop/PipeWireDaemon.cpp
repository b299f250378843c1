#include "tests/desktop/PipeWireDaemon.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <mutex>

#include "platform/coreaudio/AudioHardware.h"
#include "platform/dispatch/MainRunLoop.h"

extern char** environ;

namespace tonvale::testing {

namespace {

constexpr double kSocketWaitSeconds = 10.0;
constexpr int kToneSeconds = 30;
constexpr int kRate = 48000;

// A 16-bit stereo WAV file of a 440 Hz tone at -18 dBFS.
void writeTone(const std::filesystem::path& path) {
    std::ofstream file(path, std::ios::binary);
    auto put = [&file](std::uint32_t value, int bytes) { file.write(reinterpret_cast<const char*>(&value), bytes); };
    const std::uint32_t frames = kRate * kToneSeconds;
    file.write("RIFF", 4);
    put(36 + frames * 4, 4);
    file.write("WAVEfmt ", 8);
    put(16, 4);
    put(1, 2);
    put(2, 2);
    put(kRate, 4);
    put(kRate * 4, 4);
    put(4, 2);
    put(16, 2);
    file.write("data", 4);
    put(frames * 4, 4);
    for (std::uint32_t frame = 0; frame < frames; ++frame) {
        const auto sample =
            static_cast<std::int16_t>(4100.0 * __builtin_sin(2.0 * 3.14159265358979 * 440.0 * frame / kRate));
        put(static_cast<std::uint16_t>(sample), 2);
        put(static_cast<std::uint16_t>(sample), 2);
    }
}

// Asks the program and what it started (its process group) to end, waits (on its process
// handle) up to five seconds, then kills them.
void endProcess(pid_t pid) {
    if (pid <= 0) {
        return;
    }
    const int handle = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    ::kill(-pid, SIGTERM);
    pollfd exited{handle, POLLIN, 0};
    if (handle < 0 || ::poll(&exited, 1, 5000) <= 0) {
        ::kill(-pid, SIGKILL);
    }
    ::waitpid(pid, nullptr, 0);
    if (handle >= 0) {
        ::close(handle);
    }
}

}  // namespace

PipeWireDaemon::PipeWireDaemon() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tonvale-pipewire-XXXXXX").string();
    folder_ = ::mkdtemp(pattern.data());
    std::filesystem::create_directories(folder_ / "state");
    std::filesystem::create_directories(dataFolder() / "applications");
    writeTone(folder_ / "tone.wav");
    ::setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
    ::setenv("PIPEWIRE_RUNTIME_DIR", folder_.c_str(), 1);
    ::setenv("XDG_STATE_HOME", (folder_ / "state").c_str(), 1);
    ::setenv("XDG_DATA_HOME", dataFolder().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", TONVALE_DAEMON_CONFIG, 1);
    ::unsetenv("PIPEWIRE_REMOTE");
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
}

PipeWireDaemon::~PipeWireDaemon() {
    for (const pid_t program : programs_) {
        endProcess(program);
    }
    for (const int input : inputs_) {
        ::close(input);
    }
    stop();
    std::error_code error;
    std::filesystem::remove_all(folder_, error);
}

pid_t PipeWireDaemon::spawn(const std::vector<std::string>& arguments, int inputFD, int outputFD) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    posix_spawn_file_actions_adddup2(&actions, outputFD >= 0 ? outputFD : quiet, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, quiet, STDERR_FILENO);
    if (inputFD >= 0) {
        posix_spawn_file_actions_adddup2(&actions, inputFD, STDIN_FILENO);
    }
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv.front(), &actions, &attributes, argv.data(), environ) != 0) {
        pid = 0;
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(quiet);
    return pid;
}

std::string PipeWireDaemon::start() {
    std::error_code error;
    std::filesystem::remove(folder_ / "pipewire-0", error);
    server_ = spawn({"pipewire", "-c", std::string(TONVALE_DAEMON_CONFIG) + "/pipewire.conf"});
    if (server_ == 0) {
        return "the PipeWire server (pipewire) cannot be started: is the pipewire package installed?";
    }
    if (!waitForSocket()) {
        return "the PipeWire server did not open its socket in " + folder_.string();
    }
    sessionManager_ = spawn({"wireplumber"});
    if (sessionManager_ == 0) {
        return "the session manager (wireplumber) cannot be started: is the wireplumber package installed?";
    }
    return {};
}

bool PipeWireDaemon::waitForSocket() const {
    // Woken by the socket's creation in the folder or by the server's end, not by a clock.
    const int created = ::inotify_init1(IN_CLOEXEC);
    const int server = static_cast<int>(::syscall(SYS_pidfd_open, server_, 0));
    if (created >= 0) {
        (void)::inotify_add_watch(created, folder_.c_str(), IN_CREATE | IN_MOVED_TO);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(kSocketWaitSeconds);
    bool isOpen = std::filesystem::exists(folder_ / "pipewire-0");
    while (!isOpen && created >= 0 && server >= 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        std::array<pollfd, 2> events{pollfd{created, POLLIN, 0}, pollfd{server, POLLIN, 0}};
        if (left.count() <= 0 || ::poll(events.data(), events.size(), static_cast<int>(left.count())) <= 0 ||
            (events[1].revents & POLLIN) != 0) {
            break;
        }
        std::array<char, 4096> drained{};
        (void)::read(created, drained.data(), drained.size());
        isOpen = std::filesystem::exists(folder_ / "pipewire-0");
    }
    for (const int handle : {created, server}) {
        if (handle >= 0) {
            ::close(handle);
        }
    }
    return isOpen;
}

void PipeWireDaemon::stop() {
    endProcess(sessionManager_);
    endProcess(server_);
    sessionManager_ = 0;
    server_ = 0;
}

pid_t PipeWireDaemon::run(const std::vector<std::string>& arguments) {
    const pid_t pid = spawn(arguments);
    programs_.push_back(pid);
    return pid;
}

pid_t PipeWireDaemon::play(const std::string& streamProperties, const std::string& program, const std::string& target) {
    std::string executable = "pw-play";
    if (program != "pw-play") {
        executable = (folder_ / program).string();
        std::error_code error;
        std::filesystem::create_symlink("/usr/bin/pw-play", executable, error);
    }
    // Under another name, the player needs to be told it plays.
    std::vector<std::string> arguments{executable, "--playback", "-P", "{" + streamProperties + "}"};
    if (!target.empty()) {
        arguments.insert(arguments.end(), {"--target", target});
    }
    arguments.push_back((folder_ / "tone.wav").string());
    return run(arguments);
}

pid_t PipeWireDaemon::plugSink(const std::string& nodeName, const std::string& description) {
    int pipeFDs[2];
    if (::pipe2(pipeFDs, O_CLOEXEC) != 0) {
        return 0;
    }
    const pid_t pid = spawn({"pw-cli"}, pipeFDs[0]);
    ::close(pipeFDs[0]);
    const std::string command = "create-node adapter { factory.name=support.null-audio-sink node.name=" + nodeName +
                                " node.description=\"" + description +
                                "\" media.class=Audio/Sink audio.position=[FL FR] }\n";
    (void)::write(pipeFDs[1], command.data(), command.size());
    inputs_.push_back(pipeFDs[1]);
    programs_.push_back(pid);
    return pid;
}

void PipeWireDaemon::end(pid_t program) {
    endProcess(program);
    std::erase(programs_, program);
}

std::string PipeWireDaemon::ask(const std::vector<std::string>& arguments) {
    int pipeFDs[2];
    if (::pipe2(pipeFDs, O_CLOEXEC) != 0) {
        return {};
    }
    const pid_t pid = spawn(arguments, -1, pipeFDs[1]);
    ::close(pipeFDs[1]);
    std::string output;
    char chunk[4096];
    for (ssize_t count = 0; (count = ::read(pipeFDs[0], chunk, sizeof(chunk))) > 0;) {
        output.append(chunk, static_cast<std::size_t>(count));
    }
    ::close(pipeFDs[0]);
    if (pid > 0) {
        ::waitpid(pid, nullptr, 0);
    }
    return output;
}

bool waitFor(const std::function<bool()>& condition, double seconds) {
    struct Signal final : dispatch::MainQueueDriver {
        void wake(dispatch::Seconds) override { poke(); }
        void poke() {
            std::lock_guard lock(mutex);
            ++count;
            changed.notify_all();
        }
        std::mutex mutex;
        std::condition_variable changed;
        std::uint64_t count = 0;
    };
    // One for the process: a driver may still be woken just after it is uninstalled.
    static Signal signal;
    const dispatch::QueuePtr queue = dispatch::DispatchQueue::create("tests.pipewire.wait");
    const AudioObjectPropertyAddress anything{kAudioObjectPropertySelectorWildcard, kAudioObjectPropertyScopeWildcard,
                                              kAudioObjectPropertyElementWildcard};
    const auto listener = std::make_shared<const std::function<void(UInt32, const AudioObjectPropertyAddress*)>>(
        [](UInt32, const AudioObjectPropertyAddress*) { signal.poke(); });
    (void)AudioObjectAddPropertyListenerBlock(kAudioObjectSystemObject, &anything, queue, listener);
    // The test's thread is the main thread meanwhile: what the main queue is given runs here.
    dispatch::MainRunLoop::setDriver(&signal);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    (void)dispatch::MainRunLoop::drain();
    bool holds = condition();
    while (!holds && std::chrono::steady_clock::now() < deadline) {
        std::unique_lock lock(signal.mutex);
        const std::uint64_t seen = signal.count;
        signal.changed.wait_for(lock, std::chrono::milliseconds(50), [&] { return signal.count != seen; });
        lock.unlock();
        (void)dispatch::MainRunLoop::drain();
        holds = condition();
    }
    dispatch::MainRunLoop::setDriver(nullptr);
    (void)AudioObjectRemovePropertyListenerBlock(kAudioObjectSystemObject, &anything, queue, listener);
    return holds;
}

}  // namespace tonvale::testing
