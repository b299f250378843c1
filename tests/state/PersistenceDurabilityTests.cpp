// The settings document against real processes: a writer killed with SIGKILL at moments
// picked among its own file operations, writers saving at once, and a writer under a
// file-size limit. After every kill, and whenever it is read during a race, the document is
// one whole written document; whatever a save replaced that it did not write is kept aside.
#include "state/PersistenceStore.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "state/StateJson.h"
#include "tests/platform/foundation/TemporaryFolder.h"
#include "tests/state/WrittenDocuments.h"

namespace tonvale {
namespace {

namespace fs = std::filesystem;
using foundation::testing::readFile;

#if defined(TONVALE_SANITIZED)
constexpr int kKillCount = 40;  // sanitizer runtimes make every save slow
constexpr int kRacingSaves = 25;
constexpr int kSimultaneousRounds = 10;
#else
constexpr int kKillCount = 200;
constexpr int kRacingSaves = 150;
// Without exclusive access two saves at once keep a copy twice in about one round of six.
constexpr int kSimultaneousRounds = 40;
#endif
constexpr int kStallMilliseconds = 30000;  // a deadline for failing, never a pacing delay

// What a read of what is waiting on `fd` (or the next to come) brings; nothing once the
// other end is closed.
std::string readSome(int fd) {
    std::array<char, 256> bytes{};
    const ssize_t count = ::read(fd, bytes.data(), bytes.size());
    return count <= 0 ? std::string() : std::string(bytes.data(), static_cast<std::size_t>(count));
}
int saveMarks(const std::string& progress) { return static_cast<int>(std::ranges::count(progress, 's')); }

// A pipe whose read end writers take as standard input: one write sets them all off at once.
struct StartingLine {
    StartingLine() {
        EXPECT_EQ(::pipe(ends.data()), 0);
        EXPECT_EQ(::fcntl(ends[1], F_SETFD, FD_CLOEXEC), 0);
    }
    // Redirection for a writer's command line.
    [[nodiscard]] std::string input() const { return " 0<&" + std::to_string(ends[0]); }
    void go() {
        ::close(ends[0]);
        EXPECT_EQ(::write(ends[1], "go", 2), 2);
        ::close(ends[1]);
    }
    std::array<int, 2> ends{};
};

class PersistenceDurabilityTest : public ::testing::Test {
protected:
    PersistenceDurabilityTest() { fs::create_directories(folder()); }
    fs::path folder() const { return temporary_.path() / "tonvale"; }
    std::string writer(const std::string& arguments) const {
        return "'" + std::string(TONVALE_SETTINGS_WRITER) + "' '" + folder().string() + "' " + arguments;
    }

    // The stored document's (writer, sequence) as the store loads it.
    std::pair<int, std::int64_t> stored() const {
        PersistenceStore store{foundation::UserDefaults(folder())};
        PersistenceResult<PersistedStateV1> loaded = store.load();
        EXPECT_TRUE(loaded) << loaded.error().localizedDescription();
        return loaded ? testing::writtenAs(loaded.value()) : std::pair<int, std::int64_t>{-1, -1};
    }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder())) {
            names.push_back(entry.path().filename().string());
        }
        std::ranges::sort(names);
        return names;
    }

    // A kill, unlike a power cut, loses nothing the kernel holds, so a folder in memory
    // tests the same and spares hundreds of waits for the disk.
    foundation::testing::TemporaryFolder temporary_{fs::is_directory("/dev/shm") ? "/dev/shm" : ::testing::TempDir()};
};

TEST_F(PersistenceDurabilityTest, AWriterKilledAtAnyMomentLeavesTheLastOrTheNextDocument) {
    // Each kill comes after a random number of the writer's file events (temporary file
    // made, written, closed, renamed into place), a few saves in at most.
    const int watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    ASSERT_GE(::inotify_add_watch(watch, folder().c_str(), IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO), 0);
    std::array<int, 2> progress{};
    ASSERT_EQ(::pipe(progress.data()), 0);
    ASSERT_EQ(::fcntl(progress[0], F_SETFD, FD_CLOEXEC), 0);
    FILE* server = ::popen(writer("1 --serve " + std::to_string(progress[1])).c_str(), "w");
    ::close(progress[1]);
    ASSERT_NE(server, nullptr);
    std::mt19937 random(1207);
    std::int64_t first = 0;
    std::int64_t lastStored = -1;
    for (int kill = 0; kill < kKillCount; ++kill) {
        std::fprintf(server, "start %lld\n", static_cast<long long>(first));
        std::fflush(server);
        int saves = 0;
        for (int events = static_cast<int>(random() % 16) + (kill == 0 ? 5 : 0); events > 0;) {
            std::array<pollfd, 2> waiting{pollfd{watch, POLLIN, 0}, pollfd{progress[0], POLLIN, 0}};
            ASSERT_GT(::poll(waiting.data(), waiting.size(), kStallMilliseconds), 0) << "the writer stalled";
            if (waiting[1].revents != 0) {
                const std::string seen = readSome(progress[0]);
                ASSERT_FALSE(seen.empty()) << "the writer ended by itself";
                saves += saveMarks(seen);
            }
            alignas(inotify_event) std::array<char, 4096> buffer{};
            for (ssize_t length; (length = ::read(watch, buffer.data(), buffer.size())) > 0;) {
                for (ssize_t offset = 0; offset < length; --events) {
                    const auto* event = reinterpret_cast<inotify_event*>(&buffer[offset]);
                    offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                }
            }
        }
        std::fputs("kill\n", server);
        std::fflush(server);
        // The "k" comes after every "s" of the killed child.
        for (std::string seen; seen.find('k') == std::string::npos; saves += saveMarks(seen)) {
            seen = readSome(progress[0]);
            ASSERT_FALSE(seen.empty()) << "the writer ended by itself";
        }

        const auto [writtenBy, sequence] = stored();
        ASSERT_EQ(writtenBy, 1) << "after kill " << kill << " the document is not one that was written";
        // Nothing kept aside (no save met a torn document), and a killed save's temporary
        // file is gone once the store has loaded.
        ASSERT_EQ(entries(), std::vector<std::string>{std::string(PersistenceStore::kStateKey)})
            << "after kill " << kill;
        // The last finished save, or the one in flight when the kill came.
        const std::int64_t lastFinished = saves > 0 ? first + saves - 1 : lastStored;
        ASSERT_TRUE(sequence == lastFinished || sequence == first + saves)
            << "after kill " << kill << ": stored " << sequence << ", last finished " << lastFinished;
        lastStored = sequence;
        first += saves + 1;
    }
    EXPECT_EQ(::pclose(server), 0);
    ::close(progress[0]);
    ::close(watch);
}

TEST_F(PersistenceDurabilityTest, TwoWritersSavingAtOnceNeverTearADocumentAndKeepWhatTheOtherSaved) {
    StartingLine start;
    const std::string count = " 0 " + std::to_string(kRacingSaves) + start.input();
    std::array<FILE*, 2> writers{::popen(writer("1" + count).c_str(), "r"), ::popen(writer("2" + count).c_str(), "r")};
    start.go();
    std::array<int, 2> saves{0, 0};
    std::array<bool, 2> isRunning{true, true};
    while (isRunning[0] || isRunning[1]) {
        if (fs::exists(folder() / PersistenceStore::kStateKey)) {
            EXPECT_NE(stored().first, -1) << "a read during the race saw no written document";
        }
        for (std::size_t index = 0; index < writers.size(); ++index) {
            pollfd waiting{isRunning[index] ? ::fileno(writers[index]) : -1, POLLIN, 0};
            if (::poll(&waiting, 1, 0) > 0) {
                const std::string seen = readSome(waiting.fd);
                isRunning[index] = !seen.empty();
                saves[index] += saveMarks(seen);
            }
        }
    }
    for (std::size_t index = 0; index < writers.size(); ++index) {
        EXPECT_EQ(::pclose(writers[index]), 0);
        EXPECT_EQ(saves[index], kRacingSaves) << "saves finished by writer " << index + 1;
    }
    const auto [writer, sequence] = stored();
    EXPECT_TRUE(writer == 1 || writer == 2);
    EXPECT_EQ(sequence, kRacingSaves - 1);
    for (const std::string& name : entries()) {
        if (name == PersistenceStore::kStateKey) {
            continue;
        }
        ASSERT_TRUE(name.starts_with(PersistenceStore::kChangedCopyKeyPrefix)) << name;
        const DecodeResult<PersistedStateV1> kept = decodePersistedState(readFile(folder() / name));
        EXPECT_NE(kept ? testing::writtenAs(kept.value()).first : -1, -1) << name << " is no written document";
    }
}

TEST_F(PersistenceDurabilityTest, TwoSavesAtOnceKeepAnUnreadableDocumentAsideOnce) {
    for (int round = 0; round < kSimultaneousRounds; ++round) {
        const std::string unreadable = "{\"round\":" + std::to_string(round);
        foundation::testing::writeFile(folder() / PersistenceStore::kStateKey, unreadable);
        StartingLine start;
        const std::string arguments = " " + std::to_string(round) + " 1" + start.input() + " >/dev/null";
        std::array<FILE*, 2> writers{::popen(writer("1" + arguments).c_str(), "r"),
                                     ::popen(writer("2" + arguments).c_str(), "r")};
        start.go();
        for (FILE* each : writers) {
            EXPECT_EQ(::pclose(each), 0);
        }
        const auto copies = std::ranges::count_if(entries(), [&](const std::string& name) {
            return name.starts_with(PersistenceStore::kUnreadableCopyKeyPrefix) &&
                   readFile(folder() / name) == unreadable;
        });
        ASSERT_EQ(copies, 1) << "round " << round;
    }
}

TEST_F(PersistenceDurabilityTest, ASaveBeyondTheFileSizeLimitFailsAndChangesNothing) {
    const fs::path errors = temporary_.path() / "errors";
    ASSERT_EQ(std::system((writer("1 0 1") + " </dev/null >/dev/null").c_str()), 0);
    const int status =
        std::system(("ulimit -f 1; exec " + writer("2 0 1") + " </dev/null 2>" + errors.string()).c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << "the save ended the writer: status " << status;
    EXPECT_NE(readFile(errors).find(": File too large"), std::string::npos) << readFile(errors);
    EXPECT_EQ(stored(), (std::pair<int, std::int64_t>{1, 0}));
}

}  // namespace
}  // namespace tonvale
