// The settings document as JSON: the exact bytes written, every value the decoder refuses
// or reads leniently, its messages and limits, and random bytes and texts. That any input is
// refused or survives a round trip is the fuzzer's property (tests/state/fuzz).
#include "state/StateJson.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace tonvale {
namespace {

using Json = nlohmann::json;
using Kind = DecodingError::Kind;

constexpr const char* kProfileUUIDText = "E621E1F8-C36C-495A-93FC-0C247A3E6E5F";

// The sample document, written out by hand: compact, keys sorted at every level, no
// "processingProfileID" where it is absent, volumes as 0.5 and 0.1.
constexpr std::string_view kSampleText =
    R"({"appProfiles":{"com.example.call":{"bundleID":"com.example.call","defaultConfiguration":{"muted":true,)"
    R"("output":{"kind":"device","lastKnownName":"USB Headset","uid":"USB-1234"},)"
    R"("processingProfileID":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","volume":0.1},"displayName":"Call"},)"
    R"("com.example.music":{"bundleID":"com.example.music","defaultConfiguration":{"muted":false,)"
    R"("output":{"kind":"systemDefault"},"volume":0.5},"displayName":"Music"}},)"
    R"("favoriteBundleIDs":["com.example.music","org.example.browser"],"future":{"reserved":{"note":"kept"}},)"
    R"("preferences":{"hasCompletedLaunchAtLoginConsent":true,"launchAtLogin":true,)"
    R"("recentAppVisibilitySeconds":120},"schemaVersion":1})";

constexpr std::string_view kNewDocumentText =
    R"({"appProfiles":{},"favoriteBundleIDs":[],"preferences":{"hasCompletedLaunchAtLoginConsent":false,)"
    R"("launchAtLogin":false,"recentAppVisibilitySeconds":30},"schemaVersion":1})";

class StateJsonTest : public ::testing::Test {
protected:
    static PersistedStateV1 sampleDocument() {
        PersistedStateV1 state;
        AppProfile call{"com.example.call",
                        "Call",
                        {0.1F, true, OutputPreference::device("USB-1234", "USB Headset"),
                         foundation::UUID::parse(kProfileUUIDText)}};
        AppProfile music{"com.example.music", "Music", {}};
        music.defaultConfiguration.volume = 0.5F;
        state.appProfiles.emplace(call.bundleID, call);
        state.appProfiles.emplace(music.bundleID, music);
        state.favoriteBundleIDs = {"org.example.browser", "com.example.music"};
        state.preferences = {true, true, 120};
        state.future = FutureCompatibleState{{{"note", "kept"}}};
        return state;
    }

    // The sample text with the values at the given JSON pointers replaced, or removed where
    // no value is given.
    using Edit = std::pair<std::string, std::optional<Json>>;
    static std::string with(std::initializer_list<Edit> edits) {
        Json document = Json::parse(kSampleText);
        for (const auto& [pointer, value] : edits) {
            const Json::json_pointer at(pointer);
            if (value) {
                document[at] = *value;
            } else {
                document[at.parent_pointer()].erase(at.back());
            }
        }
        return document.dump();
    }
    static std::string with(const std::string& pointer, const std::optional<Json>& value) {
        return with({{pointer, value}});
    }

    static PersistedStateV1 decoded(std::string_view text) {
        DecodeResult<PersistedStateV1> result = decodePersistedState(text);
        if (!result) {
            ADD_FAILURE() << result.error().message << "\ninput: " << text;
            return {};
        }
        return std::move(result).value();
    }

    static std::optional<DecodingError> failure(std::string_view text) {
        DecodeResult<PersistedStateV1> result = decodePersistedState(text);
        return result ? std::nullopt : std::optional<DecodingError>(result.error());
    }

    static std::string encoded(const PersistedStateV1& state) {
        EncodeResult result = encodeJSON(state);
        if (!result) {
            ADD_FAILURE() << result.error().message;
            return {};
        }
        return std::move(result).value();
    }

    static PersistedStateV1 withVolume(float volume) {
        PersistedStateV1 state;
        state.appProfiles.emplace("a", AppProfile{"a", "A", {}});
        state.appProfiles.at("a").defaultConfiguration.volume = volume;
        return state;
    }

    static void expectFailure(std::string_view text, Kind kind, std::string_view what) {
        const std::optional<DecodingError> error = failure(text);
        ASSERT_TRUE(error.has_value()) << what << " was accepted: " << text;
        EXPECT_EQ(error->kind, kind) << what << ": " << error->message;
        EXPECT_FALSE(error->message.empty());
    }
};

TEST_F(StateJsonTest, EncodeAndDecode_WriteCompactSortedBytesOmittingAbsentKeysAndReadThemBack) {
    EXPECT_EQ(encoded(sampleDocument()), kSampleText);
    EXPECT_EQ(encoded(PersistedStateV1::newDocument()), kNewDocumentText);
    EXPECT_EQ(decoded(kSampleText), sampleDocument());
    EXPECT_EQ(decoded(kNewDocumentText), PersistedStateV1::newDocument());
}

// Where each value of the document lies.
const std::string kMusic = "/appProfiles/com.example.music";
const std::string kMusicConfiguration = kMusic + "/defaultConfiguration";
const std::string kCallConfiguration = "/appProfiles/com.example.call/defaultConfiguration";
const std::string kCallOutput = kCallConfiguration + "/output";
const std::optional<Json> kRemoved;

TEST_F(StateJsonTest, Volume_IsWrittenInShortestFormAndReadBackExactlyFromAnyNumberThatFits) {
    for (const auto& [volume, text] : std::vector<std::pair<float, std::string>>{
             {0.5F, "0.5"}, {0.1F, "0.1"}, {1.0F, "1"}, {0.9999F, "0.9999"}, {1.0F / 3.0F, "0.33333334"}}) {
        EXPECT_NE(encoded(withVolume(volume)).find("\"volume\":" + text + "}"), std::string::npos) << text;
    }
    std::mt19937 random(5101);
    std::uniform_int_distribution<std::uint32_t> belowOne(0, 0x3F800000U);
    std::vector<float> volumes{std::numeric_limits<float>::denorm_min(), FLT_MIN, std::nextafter(0.9999F, 0.0F),
                               FLT_MAX};
    for (int round = 0; round < 1500; ++round) {
        const std::uint32_t bits = belowOne(random);
        std::memcpy(&volumes.emplace_back(), &bits, sizeof(float));
    }
    for (const float volume : volumes) {
        const std::string text = encoded(withVolume(volume));
        ASSERT_EQ(decoded(text).appProfiles.at("a").defaultConfiguration.volume, volume) << text;
    }
    for (const auto& [stored, expected] : std::vector<std::pair<Json, float>>{
             {1, 1.0F}, {1.7, 1.7F}, {-0.2, -0.2F}, {3.4028234663852886e38, FLT_MAX}, {1e-50, 0.0F}}) {
        EXPECT_EQ(decoded(with(kMusicConfiguration + "/volume", stored))
                      .appProfiles.at("com.example.music")
                      .defaultConfiguration.volume,
                  expected)
            << stored << " (decoding leaves clamping to normalisation)";
    }
}

TEST_F(StateJsonTest, Decode_RefusesMissingAndMistypedValuesWithTheirKind) {
    struct Case {
        std::string pointer;
        std::optional<Json> value;
        Kind kind;
    };
    std::vector<Case> cases{
        {"/appProfiles", Json::array(), Kind::typeMismatch},
        {"/favoriteBundleIDs", Json::object(), Kind::typeMismatch},
        {"/favoriteBundleIDs", Json::array({"a", 5}), Kind::typeMismatch},
        {"/preferences", Json::array(), Kind::typeMismatch},
        {"/future", Json::array(), Kind::typeMismatch},
        {"/future", Json::object(), Kind::missingKey},
        {"/future/reserved/n", 1, Kind::typeMismatch},
        {kMusicConfiguration + "/muted", 0, Kind::typeMismatch},
        {kMusicConfiguration + "/volume", true, Kind::typeMismatch},
        {kMusicConfiguration + "/volume", 1e39, Kind::invalidValue},
        {kMusicConfiguration + "/volume", -1e39, Kind::invalidValue},
        {kCallConfiguration + "/processingProfileID", 42, Kind::typeMismatch},
        {kCallOutput + "/kind", kRemoved, Kind::missingKey},
        {kCallOutput + "/kind", 1, Kind::typeMismatch},
        {kCallOutput + "/lastKnownName", kRemoved, Kind::missingKey},
        {kCallOutput + "/uid", kRemoved, Kind::missingKey},
        {kCallOutput + "/uid", Json::array(), Kind::typeMismatch},
        {"/preferences/recentAppVisibilitySeconds", "45", Kind::typeMismatch},
        {"/preferences/recentAppVisibilitySeconds", 45.5, Kind::typeMismatch},
        {"/preferences/launchAtLogin", 1, Kind::typeMismatch},
        {"/preferences/hasCompletedLaunchAtLoginConsent", "yes", Kind::typeMismatch},
        {"/schemaVersion", 1.5, Kind::typeMismatch},
        {"/schemaVersion", "1", Kind::typeMismatch},
        {"/schemaVersion", std::numeric_limits<std::uint64_t>::max(), Kind::invalidValue},
    };
    for (const std::string key : {"/schemaVersion", "/appProfiles", "/favoriteBundleIDs", "/preferences"}) {
        cases.insert(
            cases.end(),
            {{key, kRemoved, Kind::missingKey}, {key, nullptr, Kind::missingKey}, {key, "text", Kind::typeMismatch}});
    }
    for (const char* key : {"/bundleID", "/displayName", "/defaultConfiguration"}) {
        cases.insert(cases.end(), {{kMusic + key, kRemoved, Kind::missingKey}, {kMusic + key, 5, Kind::typeMismatch}});
    }
    for (const char* key : {"/volume", "/muted", "/output"}) {
        const std::string at = kMusicConfiguration + key;
        cases.insert(
            cases.end(),
            {{at, kRemoved, Kind::missingKey}, {at, nullptr, Kind::missingKey}, {at, "0", Kind::typeMismatch}});
    }
    // Which UUID texts parse is the UUID's own rule; here only that a bad one is refused.
    cases.push_back({kCallConfiguration + "/processingProfileID", "{E621E1F8}", Kind::invalidValue});
    cases.push_back({kCallOutput + "/kind", "Device", Kind::invalidValue});
    for (const Case& c : cases) {
        expectFailure(with(c.pointer, c.value), c.kind, c.pointer + " = " + (c.value ? c.value->dump() : "removed"));
    }
    expectFailure("[]", Kind::typeMismatch, "top-level array");
}

TEST_F(StateJsonTest, Decode_ReadsOptionalAndLooselyTypedValues) {
    const std::string withoutFuture = with("/future", kRemoved);
    EXPECT_EQ(encoded(decoded(withoutFuture)), withoutFuture) << "a document without future is written back without it";
    EXPECT_FALSE(decoded(with("/future", nullptr)).future.has_value());
    EXPECT_EQ(decoded(with("/future/reserved", Json::object())).future, FutureCompatibleState{});
    const std::string profileID = kCallConfiguration + "/processingProfileID";
    EXPECT_EQ(encoded(decoded(with(profileID, "e621e1f8-c36c-495a-93fc-0c247a3e6e5f"))), kSampleText)
        << "read, and written back in upper case";
    EXPECT_FALSE(decoded(with(profileID, nullptr))
                     .appProfiles.at("com.example.call")
                     .defaultConfiguration.processingProfileID.has_value());
    const std::string musicOutput = kMusicConfiguration + "/output";
    const PersistedStateV1 strayUID =
        decoded(with({{musicOutput + "/uid", "USB-1234"}, {musicOutput + "/lastKnownName", 7}}));
    EXPECT_EQ(strayUID.appProfiles.at("com.example.music").defaultConfiguration.output,
              OutputPreference::systemDefault());
    for (const auto& [version, expected] : std::vector<std::pair<Json, std::int64_t>>{{2, 2}, {-1, -1}, {1.0, 1}}) {
        EXPECT_EQ(decoded(with("/schemaVersion", version)).schemaVersion, expected) << "versions are not judged here";
    }
    EXPECT_EQ(decoded(with("/favoriteBundleIDs", Json::array({"a", "b", "a"}))).favoriteBundleIDs,
              (std::set<std::string>{"a", "b"}));
    const Json extra = {{"nested", {1, 2, {{"deep", nullptr}}}}};
    EXPECT_EQ(decoded(with({{"/extra", extra},
                            {kMusic + "/extra", extra},
                            {kMusicConfiguration + "/extra", extra},
                            {musicOutput + "/extra", extra},
                            {kCallOutput + "/extra", extra},
                            {"/preferences/extra", extra},
                            {"/future/extra", extra}})),
              sampleDocument())
        << "unknown keys are ignored everywhere";
}

TEST_F(StateJsonTest, Decode_DefaultsOrClampsPreferences) {
    EXPECT_EQ(decoded(with("/preferences", Json::object())).preferences, (Preferences{false, false, 30}));
    EXPECT_EQ(decoded(with("/preferences", Json{{"launchAtLogin", true},
                                                {"hasCompletedLaunchAtLoginConsent", nullptr},
                                                {"recentAppVisibilitySeconds", nullptr}}))
                  .preferences,
              (Preferences{true, false, 30}));
    for (const auto& [stored, expected] :
         std::vector<std::pair<Json, std::int64_t>>{{10, 30},
                                                    {45.0, 45},
                                                    {86400, 86400},
                                                    {100000, 86400},
                                                    {1e30, 86400},
                                                    {-1e30, 30},
                                                    {std::numeric_limits<std::uint64_t>::max(), 86400},
                                                    {std::numeric_limits<std::int64_t>::min(), 30}}) {
        EXPECT_EQ(
            decoded(with("/preferences/recentAppVisibilitySeconds", stored)).preferences.recentAppVisibilitySeconds,
            expected)
            << stored;
    }
}

TEST_F(StateJsonTest, DecodingError_SaysWhatWentWrongAndWhere) {
    EXPECT_EQ(failure(with(kMusicConfiguration + "/volume", kRemoved))->message,
              "The stored settings could not be read: the required key \"volume\" is missing at "
              "appProfiles[\"com.example.music\"].defaultConfiguration.");
    EXPECT_EQ(failure(with("/preferences/launchAtLogin", 1))->message,
              "The stored settings could not be read: expected true or false but found the number 1 at "
              "preferences.launchAtLogin.");
    EXPECT_NE(failure(with("/favoriteBundleIDs", Json::array({"a", 5})))->message.find("favoriteBundleIDs[1]"),
              std::string::npos);

    // A huge junk key with control characters is quoted short and printable.
    const std::string junkKey = std::string("\x01") + std::string(100000, 'x') + "\x01";
    Json junk = Json::parse(kSampleText);
    junk["appProfiles"][junkKey] = 1;
    const std::string message = failure(junk.dump())->message;
    EXPECT_LT(message.size(), 300U);
    EXPECT_NE(message.find("[\"?xxx"), std::string::npos) << message;
}

TEST_F(StateJsonTest, Decode_RefusesTextThatIsNotJSONWithAShortPrintableMessage) {
    std::mt19937 random(77);
    // Megabytes of random bytes, without brackets so that they reach the parser.
    std::string junk(4 << 20, '\0');
    for (char& c : junk) {
        c = static_cast<char>(random());
        c = c == '[' || c == '{' ? ' ' : c;
    }
    for (const std::string& text :
         {std::string(), std::string("{\"schemaVersion\":1}junk"), std::string("\xff\xfe{}"),
          std::string("{\"a\":\"\xc3\x28\"}"), std::string("{\"a\":\"\\ud800\"}"), std::string("{\"a\":1e400}"),
          std::string("{\"a\":NaN}"), std::string("\0{}", 3), junk}) {
        const std::optional<DecodingError> error = failure(text);
        ASSERT_TRUE(error.has_value()) << text.substr(0, 40);
        EXPECT_EQ(error->kind, Kind::invalidJSON) << error->message;
        EXPECT_LT(error->message.size(), 400U);
        for (const char c : error->message) {
            ASSERT_TRUE(c >= 0x20 && c < 0x7F) << error->message;
        }
    }
}

TEST_F(StateJsonTest, Decode_RefusesNestingBeyondTheLimitEvenInUnknownKeys) {
    const auto nestedIn = [](std::size_t levels) {
        Json value = 1;
        for (std::size_t level = 0; level < levels; ++level) {
            value = Json::array({value});
        }
        return with("/extra", value);
    };
    // The document object itself is the first level.
    EXPECT_TRUE(decodePersistedState(nestedIn(kMaximumJSONNestingDepth - 1)).hasValue());
    expectFailure(nestedIn(kMaximumJSONNestingDepth), Kind::tooDeeplyNested, "one level too deep");
    expectFailure(std::string(4 << 20, '['), Kind::tooDeeplyNested, "four megabytes of brackets");
    EXPECT_EQ(
        decoded(with(kMusic + "/displayName", std::string(1000, '['))).appProfiles.at("com.example.music").displayName,
        std::string(1000, '['))
        << "brackets inside strings are text, not nesting";
}

TEST_F(StateJsonTest, Encode_RefusesVolumesThatAreNotFinite) {
    for (const float volume : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
        const EncodeResult result = encodeJSON(withVolume(volume));
        ASSERT_FALSE(result.hasValue());
        EXPECT_EQ(result.error().message,
                  "The settings could not be saved: the volume of \"a\" is not a finite number.");
    }
}

TEST_F(StateJsonTest, Encode_SortsKeysByTheirTextNotByTheirEscapedForm) {
    // '"' (0x22) sorts before '#' (0x23), but its escaped form starts with '\\' (0x5C).
    PersistedStateV1 state;
    for (const char* key : {"a#", "a\"", "a\x01", "a "}) {
        state.appProfiles.emplace(key, AppProfile{key, "", {}});
    }
    const std::string text = encoded(state);
    const auto at = [&text](const std::string& quotedKey) { return text.find(quotedKey + ":{"); };
    EXPECT_LT(at(R"("a\u0001")"), at(R"("a ")")) << text;
    EXPECT_LT(at(R"("a ")"), at(R"("a\"")")) << text;
    EXPECT_LT(at(R"("a\"")"), at(R"("a#")")) << text;
}

TEST_F(StateJsonTest, TextsOfAnyBytes_AreWrittenEscapedAndValidAndNormalizedOnesReadBackEqual) {
    PersistedStateV1 escaped = sampleDocument();
    escaped.appProfiles.at("com.example.music").displayName = "Tab\tQuote\"Slash\\Nul" + std::string(1, '\0');
    EXPECT_EQ(decoded(encoded(escaped)), escaped);

    std::mt19937 random(909);
    for (int round = 0; round < 300; ++round) {
        std::string bytes(1 + random() % 12, '\0');
        for (char& c : bytes) {
            // Mostly bytes of multi-byte sequences, where the replacement rules matter.
            c = static_cast<char>(random() % 4 == 0 ? random() % 0x80 : 0x80 + random() % 0x80);
        }
        PersistedStateV1 state;
        state.appProfiles.emplace(bytes, AppProfile{bytes, bytes, {}});
        state.normalize();
        const std::string text = encoded(state);
        ASSERT_EQ(decoded(text), state) << text;
        const PersistedStateV1 unnormalized{.appProfiles = {{bytes, AppProfile{bytes, bytes, {}}}}};
        ASSERT_EQ(encoded(unnormalized), text) << "the writer replaces bad bytes as normalising does";
    }
}

}  // namespace
}  // namespace tonvale
