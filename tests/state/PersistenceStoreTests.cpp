// The settings store on real files: what a load reads and never writes, what a save writes,
// copies kept aside, documents found in place of the caller's, the legacy document carried
// forward, files that are not what they seem, and whose the folder is.
#include "state/PersistenceStore.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "state/StateJson.h"
#include "tests/platform/foundation/TemporaryFolder.h"

namespace tonvale {
namespace {

namespace fs = std::filesystem;
using foundation::testing::readFile;
using foundation::testing::writeFile;

constexpr std::string_view kStateKey = PersistenceStore::kStateKey;
constexpr std::string_view kLegacyKey = PersistenceStore::kLegacyStateKey;
// Every copy kept aside in these tests is made at 2025-03-01 10:45:12 UTC.
constexpr std::string_view kCopyKey = "Tonvale.persistedState.unreadable-20250301T104512Z";
constexpr std::string_view kChangedCopyKey = "Tonvale.persistedState.changed-20250301T104512Z";

// A version-1 document as a person might leave it: a profile filed under the wrong key with
// too loud a volume, and an empty favourite; then the same after `normalize`, as stored.
constexpr std::string_view kUnnormalisedText =
    R"({"appProfiles":{"old.key":{"bundleID":"com.example.music","defaultConfiguration":{"muted":false,)"
    R"("output":{"kind":"systemDefault"},"volume":1.7},"displayName":"Music"}},"favoriteBundleIDs":["","x"],)"
    R"("preferences":{},"schemaVersion":1})";
constexpr std::string_view kNormalisedText =
    R"({"appProfiles":{"com.example.music":{"bundleID":"com.example.music","defaultConfiguration":{"muted":false,)"
    R"("output":{"kind":"systemDefault"},"volume":1},"displayName":"Music"}},"favoriteBundleIDs":["x"],)"
    R"("preferences":{"hasCompletedLaunchAtLoginConsent":false,"launchAtLogin":false,)"
    R"("recentAppVisibilitySeconds":30},"schemaVersion":1})";
constexpr std::string_view kNewDocumentText =
    R"({"appProfiles":{},"favoriteBundleIDs":[],"preferences":{"hasCompletedLaunchAtLoginConsent":false,)"
    R"("launchAtLogin":false,"recentAppVisibilitySeconds":30},"schemaVersion":1})";

std::string withSchemaVersion(std::int64_t version) {
    std::string text(kNormalisedText);
    return text.replace(text.rfind(":1}"), 3, ":" + std::to_string(version) + "}");
}

class PersistenceStoreTest : public ::testing::Test {
protected:
    fs::path folder() const { return temporary_.path() / "config" / "tonvale"; }
    void put(std::string_view key, std::string_view bytes) const {
        fs::create_directories(folder());
        writeFile(folder() / key, bytes);
    }
    std::string stored(std::string_view key) const { return readFile(folder() / key); }

    // Every file below `root` with its bytes (links as their target), optionally leaving
    // out the settings folder.
    std::map<std::string, std::string> files(bool isSettingsIncluded = true) const {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(temporary_.path())) {
            const fs::path path = entry.path();
            if (!isSettingsIncluded && (path == folder() || path.parent_path() == folder())) {
                continue;
            }
            files[path.string()] = entry.is_symlink()        ? "-> " + fs::read_symlink(path).string()
                                   : entry.is_regular_file() ? readFile(path)
                                                             : "(folder)";
        }
        return files;
    }

    PersistedStateV1 loaded() {
        PersistenceResult<PersistedStateV1> result = store_.load();
        EXPECT_TRUE(result) << result.error().localizedDescription();
        return result ? std::move(result).value() : PersistedStateV1{};
    }
    std::string loadFailure() {
        PersistenceResult<PersistedStateV1> result = store_.load();
        EXPECT_FALSE(result) << "the load succeeded";
        return result ? "" : result.error().localizedDescription();
    }
    std::string saveFailure(const PersistedStateV1& state = PersistedStateV1::newDocument()) {
        const PersistenceResult<SaveOutcome> saved = store_.save(state);
        return saved ? "" : saved.error().localizedDescription();
    }
    SaveOutcome saved(const PersistedStateV1& state) {
        PersistenceResult<SaveOutcome> result = store_.save(state);
        EXPECT_TRUE(result) << result.error().localizedDescription();
        return result ? std::move(result).value() : SaveOutcome{};
    }
    static PersistedStateV1 document(std::string_view text) { return decodePersistedState(text).value(); }

    foundation::testing::TemporaryFolder temporary_;
    PersistenceStore store_{foundation::UserDefaults(folder()),
                            [] { return std::chrono::system_clock::time_point(std::chrono::seconds(1740825912)); }};
};

TEST_F(PersistenceStoreTest, LoadAndSave_NormaliseCopiesAndWriteOnlyTheCurrentKey) {
    EXPECT_EQ(loaded(), PersistedStateV1::newDocument());
    EXPECT_FALSE(fs::exists(folder())) << "a load with nothing stored wrote";

    PersistedStateV1 state = document(kUnnormalisedText);
    state.schemaVersion = 0;
    const PersistedStateV1 original = state;
    EXPECT_EQ(saveFailure(state), "");
    EXPECT_EQ(state, original);
    EXPECT_EQ(stored(kStateKey), kNormalisedText);

    put(kStateKey, kUnnormalisedText);
    put(kLegacyKey, kNewDocumentText);
    EXPECT_EQ(loaded(), document(kNormalisedText));
    EXPECT_EQ(stored(kStateKey), kUnnormalisedText) << "a load rewrote the document";
}

TEST_F(PersistenceStoreTest, LegacyDocument_IsCopiedForwardOnceAndLeftUntouched) {
    put(kLegacyKey, kUnnormalisedText);
    EXPECT_EQ(loaded(), document(kNormalisedText));
    EXPECT_EQ(stored(kStateKey), kNormalisedText);
    EXPECT_EQ(stored(kLegacyKey), kUnnormalisedText);

    put(kLegacyKey, kNewDocumentText);
    struct stat before {};
    struct stat after {};
    ::stat((folder() / kStateKey).c_str(), &before);
    EXPECT_EQ(loaded(), document(kNormalisedText));
    ::stat((folder() / kStateKey).c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the second load wrote again";
}

TEST_F(PersistenceStoreTest, UnreadableDocuments_FailWithTheirReasonWriteNothingAndAreKeptAsideOnce) {
    put(kLegacyKey, kNormalisedText);
    for (const std::int64_t version : {2, 0}) {
        put(kStateKey, withSchemaVersion(version));
        const auto before = files();
        EXPECT_EQ(loadFailure(), "Tonvale settings use unsupported schema version " + std::to_string(version) + ".");
        EXPECT_EQ(files(), before);
    }
    EXPECT_EQ(store_.load().error().unsupportedSchemaVersion(), 0);

    const std::string notJSON = "{\"appProfiles\":{\"com.example.music\":";
    put(kStateKey, notJSON);
    const PersistenceResult<PersistedStateV1> failed = store_.load();
    const DecodingError* decoding = std::get_if<DecodingError>(&failed.error().cause);
    ASSERT_NE(decoding, nullptr) << "the legacy document was read instead";
    EXPECT_EQ(decoding->kind, DecodingError::Kind::invalidJSON);

    EXPECT_EQ(saveFailure(), "");
    EXPECT_EQ(stored(kStateKey), kNewDocumentText);
    EXPECT_EQ(stored(kCopyKey), notJSON);
    EXPECT_EQ(foundation::testing::modeOf(folder() / kCopyKey), 0600U);
    // Neither a readable document nor the same bytes failing again are copied again; a
    // newer version's document made in the same second gets its own copy.
    const auto afterFirstCopy = files();
    EXPECT_EQ(saveFailure(), "");
    put(kStateKey, notJSON);
    EXPECT_EQ(saveFailure(), "");
    EXPECT_EQ(files(), afterFirstCopy);
    put(kStateKey, withSchemaVersion(2));
    EXPECT_EQ(saveFailure(), "");
    EXPECT_EQ(stored(kCopyKey), notJSON);
    EXPECT_EQ(stored(std::string(kCopyKey) + "-2"), withSchemaVersion(2));
}

TEST_F(PersistenceStoreTest, BadSettingsFiles_GiveAClearErrorOrTheNewDocumentAndWriteOnlyInTheSettingsFolder) {
    const fs::path elsewhere = temporary_.path() / "elsewhere";
    fs::create_directories(elsewhere);
    writeFile(elsewhere / "valid.json", kNormalisedText);
    writeFile(elsewhere / "picture", "\x89PNG\r\n");
    std::string garbage(1024 * 1024, '\0');
    std::generate(garbage.begin(), garbage.end(), std::mt19937(1212));
    const std::string truncated(kNormalisedText.substr(0, 60));
    const std::string tooLarge =
        std::string(kNormalisedText) + std::string(PersistenceStore::kMaximumDocumentBytes, ' ');
    const auto linkTo = [&](const fs::path& target) {
        fs::create_directories(folder());
        fs::create_symlink(target, folder() / kStateKey);
    };
    const std::string notJSON = "The stored settings could not be read: the data is not valid JSON";
    const std::string isADirectory = "Could not read " + (folder() / kStateKey).string() + ": Is a directory";
    struct Case {
        std::string name;
        std::function<void()> place;
        std::string loadError;  // how the load's message starts; empty when it succeeds
        std::string saveError;
        std::string keptAside;  // the bytes the save keeps aside; empty when none
    };
    const std::vector<Case> cases{
        {"empty", [&] { put(kStateKey, ""); }, notJSON, "", ""},
        {"truncated", [&] { put(kStateKey, truncated); }, notJSON, "", truncated},
        {"1 MB of garbage", [&] { put(kStateKey, garbage); }, "The stored settings could not be read", "", garbage},
        {"a document above 4 MB", [&] { put(kStateKey, tooLarge); },
         "The stored settings could not be read: the file is larger than 4 MB", "", tooLarge},
        {"a directory", [&] { fs::create_directories(folder() / kStateKey); }, isADirectory, isADirectory, ""},
        {"a link to a document", [&] { linkTo(elsewhere / "valid.json"); }, "", "", ""},
        {"a link to a picture", [&] { linkTo(elsewhere / "picture"); }, notJSON, "", "\x89PNG\r\n"},
        {"a dangling link", [&] { linkTo(elsewhere / "missing"); }, "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(folder());
        c.place();
        const auto outside = files(false);
        PersistenceResult<PersistedStateV1> load = store_.load();
        const std::string loadError = load ? "" : load.error().localizedDescription();
        EXPECT_EQ(loadError.substr(0, c.loadError.size()), c.loadError);
        EXPECT_EQ(loadError.empty(), c.loadError.empty()) << loadError;
        EXPECT_EQ(saveFailure(), c.saveError);
        EXPECT_EQ(files(false), outside) << "a file outside the settings folder changed";
        if (c.saveError.empty()) {
            EXPECT_EQ(stored(kStateKey), kNewDocumentText);
        }
        EXPECT_TRUE((c.keptAside.empty() ? !fs::exists(folder() / kCopyKey) : stored(kCopyKey) == c.keptAside))
            << "wrong copy kept aside";
    }
}

TEST_F(PersistenceStoreTest, ADocumentFoundInPlace_IsTakenWhenNothingWasLoadedAndKeptAsideBeforeItIsReplaced) {
    // The load fails; meanwhile the user puts their document back, and the program quits.
    fs::create_directories(folder() / kStateKey);
    EXPECT_FALSE(store_.load());
    fs::remove(folder() / kStateKey);
    put(kStateKey, kUnnormalisedText);
    EXPECT_EQ(saved(PersistedStateV1::newDocument()),
              (SaveOutcome{document(kNormalisedText),
                           "Settings found at " + (folder() / kStateKey).string() + " were loaded."}));
    EXPECT_EQ(stored(kStateKey), kUnnormalisedText);
    // Taken, it is the caller's: its saves replace it with nothing kept.
    PersistedStateV1 changed = document(kNormalisedText);
    changed.favoriteBundleIDs.insert("changed");
    EXPECT_EQ(saved(changed), SaveOutcome{});

    // Another copy of the program saves in between: its document is kept aside, once.
    put(kStateKey, kNormalisedText);
    EXPECT_EQ(saved(changed).notice, "The settings file changed while Tonvale ran; what was found there is kept as " +
                                         (folder() / kChangedCopyKey).string() + ".");
    EXPECT_EQ(stored(kChangedCopyKey), kNormalisedText);
    EXPECT_EQ(decodePersistedState(stored(kStateKey)).value(), changed);
    put(kStateKey, kNormalisedText);
    EXPECT_EQ(saved(changed), SaveOutcome{});

    // A caller that loaded nothing but has changed something keeps its change, and the
    // document that appeared is kept aside.
    fs::remove_all(folder());
    EXPECT_EQ(loaded(), PersistedStateV1::newDocument());
    put(kStateKey, kNormalisedText);
    EXPECT_EQ(saved(changed).foundDocument, std::nullopt);
    EXPECT_EQ(stored(kChangedCopyKey), kNormalisedText);
}

TEST_F(PersistenceStoreTest, SettingsFolder_IsMadePrivateOrRefusedWhenAnotherUserOwnsIt) {
    put(kStateKey, kNormalisedText);
    fs::permissions(folder(), fs::perms::all);
    EXPECT_EQ(loaded(), document(kNormalisedText));
    EXPECT_EQ(foundation::testing::modeOf(folder()), 0700U);

    // The superuser hands the folder to nobody; anyone else finds one in the root folder.
    const bool isPrivileged = foundation::testing::isPrivilegedUser();
    ASSERT_TRUE(!isPrivileged || ::chown(folder().c_str(), 65534, 65534) == 0);
    const fs::path foreign = isPrivileged ? folder() : fs::path("/");
    PersistenceStore store{foundation::UserDefaults(foreign)};
    const std::string refused = "Could not use folder " + foreign.string() + ": It belongs to another user";
    const auto before = files();
    EXPECT_EQ(store.load().error().localizedDescription(), refused);
    EXPECT_EQ(store.save(PersistedStateV1::newDocument()).error().localizedDescription(), refused);
    EXPECT_EQ(files(), before);
}

}  // namespace
}  // namespace tonvale
