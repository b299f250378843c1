// The settings document against real processes: a writer killed with SIGKILL at moments
// picked among its own file operations, and two writers saving at once. After every kill,
// and at every moment of the race, the document must be one whole written document.
#include "state/PersistenceStore.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <random>
#include <string>
#include <vector>

#include "tests/platform/foundation/TemporaryFolder.h"
#include "tests/state/WrittenDocuments.h"

extern char** environ;

namespace tonvale {
namespace {

namespace fs = std::filesystem;

#if defined(TONVALE_TSAN) || defined(__SANITIZE_ADDRESS__)
// Sanitizer runtimes make every process start slow; fewer kills still cover every phase.
constexpr int kKillCount = 60;
constexpr int kRacingSaves = 40;
#else
constexpr int kKillCount = 300;
constexpr int kRacingSaves = 150;
#endif
// A failure deadline for waiting on a writer, never a pacing delay.
constexpr int kWriterDeadlineMilliseconds = 30000;

// One state_settings_writer process, its standard input a pipe for commands and its
// standard output the pipe of its progress ("s" per finished save, "k" per kill).
class WriterProcess {
public:
    explicit WriterProcess(std::vector<std::string> arguments) {
        std::array<int, 2> commands{};
        std::array<int, 2> progress{};
        if (::pipe2(commands.data(), O_CLOEXEC) != 0 || ::pipe2(progress.data(), O_CLOEXEC) != 0) {
            ADD_FAILURE() << "no pipe";
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, commands[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, progress[1], STDOUT_FILENO);
        arguments.insert(arguments.begin(), TONVALE_SETTINGS_WRITER);
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        const int spawned = ::posix_spawn(&pid_, TONVALE_SETTINGS_WRITER, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(commands[0]);
        ::close(progress[1]);
        commands_ = commands[1];
        progress_ = progress[0];
        if (spawned != 0) {
            pid_ = -1;
            ADD_FAILURE() << "could not start " << TONVALE_SETTINGS_WRITER;
        }
    }
    WriterProcess(const WriterProcess&) = delete;
    WriterProcess& operator=(const WriterProcess&) = delete;
    ~WriterProcess() {
        ::close(commands_);
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            static_cast<void>(finish());
        }
        ::close(progress_);
    }

    [[nodiscard]] int progressDescriptor() const { return progress_; }
    [[nodiscard]] int finishedSaves() const { return finishedSaves_; }
    [[nodiscard]] int kills() const { return kills_; }

    void send(const std::string& command) {
        const std::string line = command + "\n";
        ASSERT_EQ(::write(commands_, line.data(), line.size()), static_cast<ssize_t>(line.size()));
    }

    // Reads progress that is waiting (or waits for some); false once the pipe is closed.
    bool readProgress() {
        std::array<char, 256> bytes{};
        const ssize_t count = ::read(progress_, bytes.data(), bytes.size());
        for (ssize_t index = 0; index < count; ++index) {
            (bytes[static_cast<std::size_t>(index)] == 'k' ? kills_ : finishedSaves_) += 1;
        }
        return count > 0;
    }

    // Waits for the process to end, reading the rest of its progress; its wait status.
    int finish() {
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        while (readProgress()) {
        }
        return status;
    }

private:
    pid_t pid_ = -1;
    int commands_ = -1;
    int progress_ = -1;
    int finishedSaves_ = 0;
    int kills_ = 0;
};

// Reads every file event waiting on a non-blocking inotify descriptor; how many there were.
int pendingEvents(int watch) {
    int count = 0;
    alignas(inotify_event) std::array<char, 4096> buffer{};
    for (ssize_t length = ::read(watch, buffer.data(), buffer.size()); length > 0;
         length = ::read(watch, buffer.data(), buffer.size())) {
        for (ssize_t offset = 0; offset < length; ++count) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + offset);
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    return count;
}

class PersistenceDurabilityTest : public ::testing::Test {
protected:
    PersistenceDurabilityTest() { fs::create_directories(folder()); }

    fs::path folder() const { return temporary_.path() / "tonvale"; }

    // The stored document's (writer, sequence), after checking that the store reads it
    // and that no save ever met a torn document (which it would have kept aside).
    std::pair<int, std::int64_t> storedDocument() const {
        PersistenceStore store{foundation::UserDefaults(folder())};
        PersistenceResult<PersistedStateV1> loaded = store.load();
        if (!loaded) {
            ADD_FAILURE() << loaded.error().localizedDescription();
            return {-1, -1};
        }
        const auto writtenAs = testing::writtenAs(loaded.value());
        EXPECT_TRUE(writtenAs.has_value()) << "the document is not one that was written";
        const foundation::FileResult<std::vector<std::string>> keys = store.defaults().keys();
        for (const std::string& key : keys.value()) {
            EXPECT_FALSE(key.starts_with(PersistenceStore::kUnreadableCopyKeyPrefix)) << key;
        }
        return writtenAs.value_or(std::pair{-1, -1});
    }

    // A kill, unlike a power cut, loses nothing the kernel already holds, so a folder in
    // memory tests the same and spares hundreds of waits for the disk.
    static std::filesystem::path memoryBackedBase() {
        std::error_code error;
        return fs::is_directory("/dev/shm", error) ? fs::path("/dev/shm") : fs::path(::testing::TempDir());
    }

    foundation::testing::TemporaryFolder temporary_{memoryBackedBase()};
};

TEST_F(PersistenceDurabilityTest, AWriterKilledAtAnyMomentLeavesTheLastOrTheNextDocument) {
    // The kill moment is picked among the writer's own file operations in the settings
    // folder (temporary file made, written, closed, renamed into place), a few saves in.
    const int watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, folder().c_str(), IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO), 0);
    WriterProcess server({folder().string(), "1", "--serve"});
    std::mt19937 random(1207);
    std::int64_t first = 0;
    std::int64_t stored = -1;
    for (int kill = 0; kill < kKillCount; ++kill) {
        const int savesBefore = server.finishedSaves();
        server.send("start " + std::to_string(first));
        for (int events = static_cast<int>(random() % 16) + (kill == 0 ? 5 : 0); events > 0;) {
            std::array<pollfd, 2> waiting{pollfd{watch, POLLIN, 0}, pollfd{server.progressDescriptor(), POLLIN, 0}};
            ASSERT_GT(::poll(waiting.data(), waiting.size(), kWriterDeadlineMilliseconds), 0) << "the writer stalled";
            if ((waiting[1].revents & (POLLIN | POLLHUP)) != 0) {
                ASSERT_TRUE(server.readProgress()) << "the writer ended by itself";
            }
            events -= pendingEvents(watch);
        }
        server.send("kill");
        while (server.kills() == kill) {
            ASSERT_TRUE(server.readProgress()) << "the writer ended by itself";
        }
        static_cast<void>(pendingEvents(watch));

        const int saves = server.finishedSaves() - savesBefore;
        const auto [writtenBy, sequence] = storedDocument();
        ASSERT_EQ(writtenBy, 1) << "after kill " << kill;
        // The last finished save, or the one in flight when the kill came.
        const std::int64_t lastFinished = saves > 0 ? first + saves - 1 : stored;
        ASSERT_TRUE(sequence == lastFinished || sequence == first + saves)
            << "after kill " << kill << ": stored " << sequence << ", finished " << lastFinished;
        stored = sequence;
        first += saves + 1;
    }
    ::close(watch);
}

TEST_F(PersistenceDurabilityTest, TwoWritersSavingAtOnceNeverLeaveATornDocument) {
    WriterProcess one({folder().string(), "1", "0", std::to_string(kRacingSaves)});
    WriterProcess two({folder().string(), "2", "0", std::to_string(kRacingSaves)});
    bool isOneRunning = true;
    bool isTwoRunning = true;
    int reads = 0;
    while (isOneRunning || isTwoRunning) {
        // Reading races the writers too: every read must see a whole document.
        if (fs::exists(folder() / PersistenceStore::kStateKey)) {
            storedDocument();
            ++reads;
        }
        std::array<pollfd, 2> waiting{pollfd{isOneRunning ? one.progressDescriptor() : -1, POLLIN, 0},
                                      pollfd{isTwoRunning ? two.progressDescriptor() : -1, POLLIN, 0}};
        ASSERT_GE(::poll(waiting.data(), waiting.size(), 0), 0);
        if ((waiting[0].revents & (POLLIN | POLLHUP)) != 0) {
            isOneRunning = one.readProgress();
        }
        if ((waiting[1].revents & (POLLIN | POLLHUP)) != 0) {
            isTwoRunning = two.readProgress();
        }
    }
    EXPECT_EQ(one.finish(), 0);
    EXPECT_EQ(two.finish(), 0);
    EXPECT_EQ(one.finishedSaves(), kRacingSaves);
    EXPECT_EQ(two.finishedSaves(), kRacingSaves);
    EXPECT_GT(reads, 0);
    const auto [writer, sequence] = storedDocument();
    EXPECT_TRUE(writer == 1 || writer == 2);
    EXPECT_EQ(sequence, kRacingSaves - 1);
}

}  // namespace
}  // namespace tonvale
