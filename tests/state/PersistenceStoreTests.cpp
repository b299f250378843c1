#include "state/PersistenceStore.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "state/StateJson.h"
#include "tests/state/PersistenceStoreProperties.h"
#include "tests/platform/foundation/TemporaryFolder.h"

namespace tonvale {
namespace {

namespace fs = std::filesystem;
using foundation::testing::isPrivilegedUser;
using foundation::testing::modeOf;
using foundation::testing::readFile;
using foundation::testing::writeFile;

constexpr std::string_view kStateKey = PersistenceStore::kStateKey;
constexpr std::string_view kLegacyStateKey = PersistenceStore::kLegacyStateKey;
// 2025-03-01 10:45:12 UTC, the moment every kept-aside copy of these tests is made.
constexpr std::chrono::seconds kCopyTime{1740825912};
constexpr std::string_view kCopyKey = "Tonvale.persistedState.unreadable-20250301T104512Z";

// A version-1 document as a person might have left it: a profile filed under the wrong
// key with too loud a volume, and an empty favourite.
constexpr std::string_view kUnnormalisedText =
    R"({"appProfiles":{"old.key":{"bundleID":"com.example.music","defaultConfiguration":{"muted":false,)"
    R"("output":{"kind":"systemDefault"},"volume":1.7},"displayName":"Music"}},"favoriteBundleIDs":["","x"],)"
    R"("preferences":{},"schemaVersion":1})";
// The same document after `normalize`, as the store writes it.
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
    text.replace(text.rfind(":1}"), 3, ":" + std::to_string(version) + "}");
    return text;
}

ino_t inodeOf(const fs::path& path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return status.st_ino;
}

PersistedStateV1 documentOf(std::string_view text) {
    DecodeResult<PersistedStateV1> decoded = decodePersistedState(text);
    EXPECT_TRUE(decoded) << text;
    return decoded ? std::move(decoded).value() : PersistedStateV1{};
}

class PersistenceStoreTest : public ::testing::Test {
protected:
    fs::path settingsFolder() const { return temporary_.path() / "config" / "tonvale"; }
    foundation::UserDefaults defaults() const { return foundation::UserDefaults(settingsFolder()); }
    PersistenceStore store() const {
        return PersistenceStore(defaults(), [] { return std::chrono::system_clock::time_point(kCopyTime); });
    }

    void put(std::string_view key, std::string_view bytes) const {
        fs::create_directories(settingsFolder());
        writeFile(settingsFolder() / key, bytes);
    }
    std::string stored(std::string_view key) const { return readFile(settingsFolder() / key); }

    // Every file in the settings folder with its bytes (symbolic links as "-> target").
    std::map<std::string, std::string> settingsFiles() const { return filesBelow(settingsFolder()); }
    std::map<std::string, std::string> filesOutsideSettings() const {
        std::map<std::string, std::string> files = filesBelow(temporary_.path());
        const std::string settings = fs::relative(settingsFolder(), temporary_.path()).string();
        std::erase_if(files, [&](const auto& file) {
            return file.first == settings || file.first.starts_with(settings + "/");
        });
        return files;
    }

    PersistedStateV1 loaded() {
        PersistenceResult<PersistedStateV1> result = store().load();
        if (!result) {
            ADD_FAILURE() << result.error().localizedDescription();
            return {};
        }
        return std::move(result).value();
    }
    PersistenceError loadFailure() {
        PersistenceResult<PersistedStateV1> result = store().load();
        EXPECT_FALSE(result) << "the load succeeded";
        return result ? PersistenceError::unsupportedSchema(-1) : result.error();
    }
    void save(const PersistedStateV1& state) {
        const std::optional<PersistenceError> error = store().save(state);
        EXPECT_EQ(error, std::nullopt) << error->localizedDescription();
    }

    foundation::testing::TemporaryFolder temporary_;

private:
    static std::map<std::string, std::string> filesBelow(const fs::path& folder) {
        std::map<std::string, std::string> files;
        std::error_code error;
        for (auto entry = fs::recursive_directory_iterator(folder, error); entry != fs::recursive_directory_iterator();
             entry.increment(error)) {
            const std::string name = fs::relative(entry->path(), folder).string();
            if (entry->is_symlink()) {
                files[name] = "-> " + fs::read_symlink(entry->path()).string();
            } else if (entry->is_regular_file()) {
                files[name] = readFile(entry->path());
            } else {
                files[name] = "(folder)";
            }
        }
        return files;
    }
};

TEST_F(PersistenceStoreTest, NothingStored_LoadsTheNewDocumentAndWritesNothing) {
    EXPECT_EQ(loaded(), PersistedStateV1::newDocument());
    EXPECT_FALSE(fs::exists(settingsFolder()));

    save(PersistedStateV1::newDocument());
    EXPECT_EQ(stored(kStateKey), kNewDocumentText);
    EXPECT_EQ(modeOf(settingsFolder()), 0700U);
    EXPECT_EQ(modeOf(settingsFolder() / kStateKey), 0600U);
}

TEST_F(PersistenceStoreTest, Save_StoresANormalisedVersionOneCopyAndLeavesTheCallersValue) {
    PersistedStateV1 state = documentOf(kUnnormalisedText);
    state.schemaVersion = 0;
    const PersistedStateV1 original = state;

    save(state);

    EXPECT_EQ(state, original);
    EXPECT_EQ(state.appProfiles.at("old.key").defaultConfiguration.volume, 1.7F);
    EXPECT_EQ(stored(kStateKey), kNormalisedText);
    EXPECT_EQ(loaded(), documentOf(kNormalisedText));
}

TEST_F(PersistenceStoreTest, Load_NormalisesTheStoredDocumentWithoutWriting) {
    put(kStateKey, kUnnormalisedText);
    EXPECT_EQ(loaded(), documentOf(kNormalisedText));
    EXPECT_EQ(stored(kStateKey), kUnnormalisedText);
}

TEST_F(PersistenceStoreTest, LegacyDocument_IsCopiedForwardOnceAndLeftUntouched) {
    put(kLegacyStateKey, kUnnormalisedText);

    EXPECT_EQ(loaded(), documentOf(kNormalisedText));
    EXPECT_EQ(stored(kStateKey), kNormalisedText);
    EXPECT_EQ(stored(kLegacyStateKey), kUnnormalisedText);

    // From now on the current key is read and nothing is written.
    put(kLegacyStateKey, kNewDocumentText);
    const auto before = settingsFiles();
    const ino_t inode = inodeOf(settingsFolder() / kStateKey);
    EXPECT_EQ(loaded(), documentOf(kNormalisedText));
    EXPECT_EQ(settingsFiles(), before);
    EXPECT_EQ(inodeOf(settingsFolder() / kStateKey), inode);
}

TEST_F(PersistenceStoreTest, CurrentDocument_WinsOverTheLegacyOne) {
    put(kStateKey, kNewDocumentText);
    put(kLegacyStateKey, kNormalisedText);
    EXPECT_EQ(loaded(), PersistedStateV1::newDocument());
}

TEST_F(PersistenceStoreTest, OtherSchemaVersions_AreRefusedWithTheirNumberAndNothingIsWritten) {
    for (const std::int64_t version : {2, 0, -1}) {
        put(kStateKey, withSchemaVersion(version));
        put(kLegacyStateKey, kNormalisedText);
        const auto before = settingsFiles();
        const PersistenceError error = loadFailure();
        EXPECT_EQ(error.unsupportedSchemaVersion(), version);
        EXPECT_EQ(error.localizedDescription(),
                  "Tonvale settings use unsupported schema version " + std::to_string(version) + ".");
        EXPECT_EQ(settingsFiles(), before);
    }
    EXPECT_EQ(PersistenceError::unsupportedSchema(2).localizedDescription(),
              "Tonvale settings use unsupported schema version 2.");
}

TEST_F(PersistenceStoreTest, BytesThatAreNotJSON_FailWithTheDecodersErrorWithoutConsultingTheLegacyKey) {
    put(kStateKey, "not json");
    put(kLegacyStateKey, kNormalisedText);
    const auto before = settingsFiles();
    const PersistenceError error = loadFailure();
    const auto* decoding = std::get_if<DecodingError>(&error.cause);
    ASSERT_NE(decoding, nullptr) << error.localizedDescription();
    EXPECT_EQ(decoding->kind, DecodingError::Kind::invalidJSON);
    EXPECT_EQ(error.localizedDescription(), decoding->message);
    EXPECT_EQ(settingsFiles(), before);
}

TEST_F(PersistenceStoreTest, UnreadableDocuments_AreKeptAsideOnceByteForByteBeforeTheFirstSave) {
    const std::string corrupt = "{\"appProfiles\":{\"com.example.music\":";
    put(kStateKey, corrupt);
    ASSERT_FALSE(store().load());
    save(PersistedStateV1::newDocument());

    EXPECT_EQ(stored(kStateKey), kNewDocumentText);
    EXPECT_EQ(stored(kCopyKey), corrupt);
    EXPECT_EQ(modeOf(settingsFolder() / kCopyKey), 0600U);
    const auto afterFirstCopy = settingsFiles();
    ASSERT_EQ(afterFirstCopy.size(), 2U);

    // Later saves replace a readable document: no further copy.
    save(PersistedStateV1::newDocument());
    EXPECT_EQ(settingsFiles(), afterFirstCopy);

    // The same bytes failing again are not copied a second time.
    put(kStateKey, corrupt);
    ASSERT_FALSE(store().load());
    save(PersistedStateV1::newDocument());
    EXPECT_EQ(settingsFiles(), afterFirstCopy);

    // A newer version's document is kept too; the copy made earlier in the same second stays.
    const std::string newer = withSchemaVersion(2);
    put(kStateKey, newer);
    ASSERT_FALSE(store().load());
    save(PersistedStateV1::newDocument());
    EXPECT_EQ(stored(kCopyKey), corrupt);
    EXPECT_EQ(stored(std::string(kCopyKey) + "-2"), newer);
    EXPECT_EQ(settingsFiles().size(), 3U);
}

TEST_F(PersistenceStoreTest, BadSettingsFiles_GiveAClearErrorOrTheNewDocumentAndWriteOnlyInTheSettingsFolder) {
    const fs::path elsewhere = temporary_.path() / "elsewhere";
    fs::create_directories(elsewhere);
    writeFile(elsewhere / "valid.json", kNormalisedText);
    writeFile(elsewhere / "picture", "\x89PNG\r\n");
    std::string garbage(10 * 1024 * 1024, '\0');
    std::mt19937 random(1212);
    for (char& byte : garbage) {
        byte = static_cast<char>(random());
    }
    const std::string truncated(kNormalisedText.substr(0, 60));
    const auto linkTo = [&](const fs::path& target) {
        fs::create_directories(settingsFolder());
        fs::create_symlink(target, settingsFolder() / kStateKey);
    };
    const std::string notJSON = "The stored settings could not be read: the data is not valid JSON";
    const std::string isADirectory = "Could not read " + (settingsFolder() / kStateKey).string() + ": Is a directory";

    struct Case {
        std::string name;
        std::function<void()> place;
        std::string loadError;  // how the load's message starts; empty when the load succeeds
        std::string saveError;  // empty when the save succeeds
        std::string keptAside;  // the bytes kept aside by the save; empty when nothing is
    };
    const std::vector<Case> cases{
        {"empty", [&] { put(kStateKey, ""); }, notJSON, "", ""},
        {"truncated", [&] { put(kStateKey, truncated); }, notJSON, "", truncated},
        {"10 MB of garbage", [&] { put(kStateKey, garbage); }, "The stored settings could not be read", "", garbage},
        {"a directory", [&] { fs::create_directories(settingsFolder() / kStateKey); }, isADirectory, isADirectory, ""},
        {"a link to a document", [&] { linkTo(elsewhere / "valid.json"); }, "", "", ""},
        {"a link to a picture", [&] { linkTo(elsewhere / "picture"); }, notJSON, "", "\x89PNG\r\n"},
        {"a dangling link", [&] { linkTo(elsewhere / "missing"); }, "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(settingsFolder());
        c.place();
        const auto outsideBefore = filesOutsideSettings();

        PersistenceResult<PersistedStateV1> load = store().load();
        const std::string loadError = load ? "" : load.error().localizedDescription();
        EXPECT_EQ(loadError.substr(0, c.loadError.size()), c.loadError);
        EXPECT_EQ(loadError.empty(), c.loadError.empty()) << loadError;
        const std::optional<PersistenceError> save = store().save(PersistedStateV1::newDocument());
        EXPECT_EQ(save ? save->localizedDescription() : "", c.saveError);

        EXPECT_EQ(filesOutsideSettings(), outsideBefore) << "a file outside the settings folder changed";
        if (c.saveError.empty()) {
            EXPECT_EQ(stored(kStateKey), kNewDocumentText);
            EXPECT_FALSE(fs::is_symlink(settingsFolder() / kStateKey));
        }
        EXPECT_EQ(fs::exists(settingsFolder() / kCopyKey), !c.keptAside.empty());
        if (!c.keptAside.empty()) {
            EXPECT_TRUE(stored(kCopyKey) == c.keptAside) << "the kept copy differs from the stored bytes";
        }
    }
}

TEST_F(PersistenceStoreTest, AnUnreadableSettingsFile_IsNeitherLoadedNorReplaced) {
    if (isPrivilegedUser()) {
        GTEST_SKIP() << "the superuser reads files of mode 000";
    }
    put(kStateKey, kNormalisedText);
    fs::permissions(settingsFolder() / kStateKey, fs::perms::none);
    const std::string expected = "Could not read " + (settingsFolder() / kStateKey).string() + ": Permission denied";

    EXPECT_EQ(loadFailure().localizedDescription(), expected);
    const std::optional<PersistenceError> save = store().save(PersistedStateV1::newDocument());
    ASSERT_TRUE(save.has_value());
    EXPECT_EQ(save->localizedDescription(), expected);
    fs::permissions(settingsFolder() / kStateKey, fs::perms::owner_read);
    EXPECT_EQ(stored(kStateKey), kNormalisedText);
}

TEST_F(PersistenceStoreTest, AFailedCopyForward_FailsTheLoadAndLeavesTheLegacyDocument) {
    if (isPrivilegedUser()) {
        GTEST_SKIP() << "the superuser writes into read-only folders";
    }
    put(kLegacyStateKey, kNormalisedText);
    fs::permissions(settingsFolder(), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(loadFailure().localizedDescription(),
              "Could not write " + (settingsFolder() / kStateKey).string() + ": Permission denied");
    EXPECT_EQ(stored(kLegacyStateKey), kNormalisedText);
}

TEST_F(PersistenceStoreTest, ASettingsFolderThatCannotExist_FailsTheSaveWithThePathAndReason) {
    writeFile(temporary_.path() / "config", "a file where the folder belongs");
    const std::optional<PersistenceError> error = store().save(PersistedStateV1::newDocument());
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->localizedDescription(),
              "Could not read " + (settingsFolder() / kStateKey).string() + ": Not a directory");
    EXPECT_TRUE(std::holds_alternative<foundation::FileError>(error->cause));
}

TEST_F(PersistenceStoreTest, LoadPath_RefusesWithoutWritingOrLoadsWhatIsStoredForDamagedDocuments) {
    const fs::path scratch = temporary_.path() / "scratch";
    std::mt19937 random(5202);
    for (int round = 0; round < 120; ++round) {
        std::string input(round % 2 == 0 ? kNormalisedText : kUnnormalisedText);
        switch (round % 4) {
            case 0:
                input.resize(random() % input.size());
                break;
            case 1:
                input[random() % input.size()] = static_cast<char>(random());
                break;
            case 2:
                input.insert(random() % input.size(), 1, "{}[]\",:0e-"[random() % 11]);
                break;
            default:
                input.erase(random() % input.size(), 1);
        }
        const std::optional<std::string> broken = testing::brokenStoreLoadProperty(scratch, input);
        ASSERT_EQ(broken, std::nullopt) << *broken << "\ninput: " << input;
    }
}

}  // namespace
}  // namespace tonvale
