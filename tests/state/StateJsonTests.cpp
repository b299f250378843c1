#include "state/StateJson.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "tests/state/StateJsonProperties.h"

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
        AppProfile call{"com.example.call", "Call", {0.1F, true, OutputPreference::device("USB-1234", "USB Headset"),
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

    // The sample text with one edit applied to its parsed form.
    static std::string edited(const std::function<void(Json&)>& edit) {
        Json document = Json::parse(kSampleText);
        edit(document);
        return document.dump();
    }

    static Json& music(Json& document) { return document["appProfiles"]["com.example.music"]; }
    static Json& musicConfiguration(Json& document) { return music(document)["defaultConfiguration"]; }
    static Json& callConfiguration(Json& document) {
        return document["appProfiles"]["com.example.call"]["defaultConfiguration"];
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

TEST_F(StateJsonTest, Volume_IsWrittenInShortestFormAndReadBackExactly) {
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
}

TEST_F(StateJsonTest, Decode_RequiresEachTopLevelKeyWithItsType) {
    for (const char* key : {"schemaVersion", "appProfiles", "favoriteBundleIDs", "preferences"}) {
        expectFailure(edited([&](Json& d) { d.erase(key); }), Kind::missingKey, key);
        expectFailure(edited([&](Json& d) { d[key] = nullptr; }), Kind::missingKey, key);
        expectFailure(edited([&](Json& d) { d[key] = "text"; }), Kind::typeMismatch, key);
    }
    expectFailure(edited([](Json& d) { d["appProfiles"] = Json::array(); }), Kind::typeMismatch, "profiles array");
    expectFailure(edited([](Json& d) { d["favoriteBundleIDs"] = Json::object(); }), Kind::typeMismatch, "favs {}");
    expectFailure(edited([](Json& d) { d["preferences"] = Json::array(); }), Kind::typeMismatch, "prefs array");
    expectFailure("[]", Kind::typeMismatch, "top-level array");
}

TEST_F(StateJsonTest, Decode_ReadsFutureOnlyWhenAbsentOrWellFormed) {
    const std::string withoutFuture = edited([](Json& d) { d.erase("future"); });
    EXPECT_EQ(encoded(decoded(withoutFuture)), withoutFuture) << "a document without future is written back without it";
    EXPECT_FALSE(decoded(edited([](Json& d) { d["future"] = nullptr; })).future.has_value());
    EXPECT_EQ(decoded(edited([](Json& d) { d["future"]["reserved"] = Json::object(); })).future,
              FutureCompatibleState{});

    expectFailure(edited([](Json& d) { d["future"] = Json::array(); }), Kind::typeMismatch, "future array");
    expectFailure(edited([](Json& d) { d["future"] = Json::object(); }), Kind::missingKey, "future without reserved");
    expectFailure(edited([](Json& d) { d["future"]["reserved"]["n"] = 1; }), Kind::typeMismatch, "reserved number");
}

TEST_F(StateJsonTest, Decode_RequiresEveryProfileAndConfigurationKeyWithItsType) {
    for (const char* key : {"bundleID", "displayName", "defaultConfiguration"}) {
        expectFailure(edited([&](Json& d) { music(d).erase(key); }), Kind::missingKey, key);
        expectFailure(edited([&](Json& d) { music(d)[key] = 5; }), Kind::typeMismatch, key);
    }
    for (const char* key : {"volume", "muted", "output"}) {
        expectFailure(edited([&](Json& d) { musicConfiguration(d).erase(key); }), Kind::missingKey, key);
        expectFailure(edited([&](Json& d) { musicConfiguration(d)[key] = nullptr; }), Kind::missingKey, key);
        expectFailure(edited([&](Json& d) { musicConfiguration(d)[key] = "0"; }), Kind::typeMismatch, key);
    }
    expectFailure(edited([](Json& d) { musicConfiguration(d)["muted"] = 0; }), Kind::typeMismatch, "muted 0");
    expectFailure(edited([](Json& d) { musicConfiguration(d)["volume"] = true; }), Kind::typeMismatch, "volume true");
}

TEST_F(StateJsonTest, Decode_ReadsVolumeAsAnyNumberThatFitsInSinglePrecision) {
    const auto volumeOf = [](const Json& volume) {
        return decoded(edited([&](Json& d) { musicConfiguration(d)["volume"] = volume; }))
            .appProfiles.at("com.example.music")
            .defaultConfiguration.volume;
    };
    for (const auto& [stored, expected] : std::vector<std::pair<Json, float>>{
             {1, 1.0F}, {1.7, 1.7F}, {-0.2, -0.2F}, {3.4028234663852886e38, FLT_MAX}, {1e-50, 0.0F}}) {
        EXPECT_EQ(volumeOf(stored), expected) << stored << " (decoding leaves clamping to normalisation)";
    }
    expectFailure(edited([](Json& d) { musicConfiguration(d)["volume"] = 1e39; }), Kind::invalidValue, "1e39");
    expectFailure(edited([](Json& d) { musicConfiguration(d)["volume"] = -1e39; }), Kind::invalidValue, "-1e39");
}

TEST_F(StateJsonTest, Decode_ReadsProcessingProfileIDOnlyAsAValidUUID) {
    const auto withProfileID = [](const Json& id) {
        return edited([&](Json& d) { callConfiguration(d)["processingProfileID"] = id; });
    };
    EXPECT_EQ(encoded(decoded(withProfileID("e621e1f8-c36c-495a-93fc-0c247a3e6e5f"))), kSampleText)
        << "read, and written back in upper case";
    EXPECT_FALSE(decoded(withProfileID(nullptr)).appProfiles.at("com.example.call")
                     .defaultConfiguration.processingProfileID.has_value());
    for (const char* bad : {"", "{E621E1F8-C36C-495A-93FC-0C247A3E6E5F}", "E621E1F8C36C495A93FC0C247A3E6E5F",
                            "E621E1F8-C36C-495A-93FC-0C247A3E6E5G"}) {
        expectFailure(withProfileID(bad), Kind::invalidValue, bad);
    }
    expectFailure(withProfileID(42), Kind::typeMismatch, "numeric UUID");
}

TEST_F(StateJsonTest, Decode_ReadsOutputKindStrictlyAndDeviceFieldsAsRequired) {
    const PersistedStateV1 strayUID = decoded(edited([](Json& d) {
        musicConfiguration(d)["output"]["uid"] = "USB-1234";
        musicConfiguration(d)["output"]["lastKnownName"] = 7;
    }));
    EXPECT_EQ(strayUID.appProfiles.at("com.example.music").defaultConfiguration.output,
              OutputPreference::systemDefault());

    const auto callOutputEdited = [](const std::function<void(Json&)>& edit) {
        return edited([&](Json& d) { edit(callConfiguration(d)["output"]); });
    };
    for (const char* kind : {"airplay", "Device", ""}) {
        expectFailure(callOutputEdited([&](Json& o) { o["kind"] = kind; }), Kind::invalidValue, kind);
    }
    expectFailure(callOutputEdited([](Json& o) { o.erase("kind"); }), Kind::missingKey, "no kind");
    expectFailure(callOutputEdited([](Json& o) { o["kind"] = 1; }), Kind::typeMismatch, "numeric kind");
    expectFailure(callOutputEdited([](Json& o) { o.erase("lastKnownName"); }), Kind::missingKey, "no name");
    expectFailure(callOutputEdited([](Json& o) { o.erase("uid"); }), Kind::missingKey, "no uid");
    expectFailure(callOutputEdited([](Json& o) { o["uid"] = Json::array(); }), Kind::typeMismatch, "uid array");
}

TEST_F(StateJsonTest, Decode_DefaultsOrClampsPreferencesAndRejectsMistypedOnes) {
    EXPECT_EQ(decoded(edited([](Json& d) { d["preferences"] = Json::object(); })).preferences,
              (Preferences{false, false, 30}));
    EXPECT_EQ(decoded(edited([](Json& d) {
                  d["preferences"] = {{"launchAtLogin", true},
                                      {"hasCompletedLaunchAtLoginConsent", nullptr},
                                      {"recentAppVisibilitySeconds", nullptr}};
              })).preferences,
              (Preferences{true, false, 30}));

    const auto withPreference = [](const char* key, const Json& value) {
        return edited([&](Json& d) { d["preferences"][key] = value; });
    };
    for (const auto& [stored, expected] : std::vector<std::pair<Json, std::int64_t>>{
             {10, 30}, {45.0, 45}, {86400, 86400}, {100000, 86400}, {1e30, 86400}, {-1e30, 30},
             {std::numeric_limits<std::uint64_t>::max(), 86400}, {std::numeric_limits<std::int64_t>::min(), 30}}) {
        EXPECT_EQ(decoded(withPreference("recentAppVisibilitySeconds", stored)).preferences.recentAppVisibilitySeconds,
                  expected)
            << stored;
    }
    expectFailure(withPreference("recentAppVisibilitySeconds", "45"), Kind::typeMismatch, "seconds text");
    expectFailure(withPreference("recentAppVisibilitySeconds", 45.5), Kind::typeMismatch, "fractional seconds");
    expectFailure(withPreference("launchAtLogin", 1), Kind::typeMismatch, "launch at login 1");
    expectFailure(withPreference("hasCompletedLaunchAtLoginConsent", "yes"), Kind::typeMismatch, "consent text");
}

TEST_F(StateJsonTest, Decode_ReadsAnyWholeSchemaVersionWithoutJudgingIt) {
    const auto withVersion = [](const Json& version) {
        return edited([&](Json& d) { d["schemaVersion"] = version; });
    };
    EXPECT_EQ(decoded(withVersion(2)).schemaVersion, 2);
    EXPECT_EQ(decoded(withVersion(-1)).schemaVersion, -1);
    EXPECT_EQ(decoded(withVersion(1.0)).schemaVersion, 1);
    expectFailure(withVersion(1.5), Kind::typeMismatch, "fractional version");
    expectFailure(withVersion("1"), Kind::typeMismatch, "textual version");
    expectFailure(withVersion(std::numeric_limits<std::uint64_t>::max()), Kind::invalidValue, "version 2^64-1");
}

TEST_F(StateJsonTest, Decode_IgnoresUnknownKeysEverywhere) {
    const std::string withExtras = edited([](Json& d) {
        const Json extra = {{"nested", {1, 2, {{"deep", nullptr}}}}};
        for (Json* object : {&d, &music(d), &musicConfiguration(d), &musicConfiguration(d)["output"],
                             &callConfiguration(d)["output"], &d["preferences"], &d["future"]}) {
            (*object)["extra"] = extra;
        }
    });
    EXPECT_EQ(decoded(withExtras), sampleDocument());
}

TEST_F(StateJsonTest, Decode_CollapsesDuplicateFavoritesAndRejectsNonTextOnes) {
    EXPECT_EQ(decoded(edited([](Json& d) { d["favoriteBundleIDs"] = {"a", "b", "a"}; })).favoriteBundleIDs,
              (std::set<std::string>{"a", "b"}));
    const std::optional<DecodingError> error = failure(edited([](Json& d) { d["favoriteBundleIDs"] = {"a", 5}; }));
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->kind, Kind::typeMismatch);
    EXPECT_NE(error->message.find("favoriteBundleIDs[1]"), std::string::npos) << error->message;
}

TEST_F(StateJsonTest, DecodingError_SaysWhatWentWrongAndWhere) {
    EXPECT_EQ(failure(edited([](Json& d) { musicConfiguration(d).erase("volume"); }))->message,
              "The stored settings could not be read: the required key \"volume\" is missing at "
              "appProfiles[\"com.example.music\"].defaultConfiguration.");
    EXPECT_EQ(failure(edited([](Json& d) { d["preferences"]["launchAtLogin"] = 1; }))->message,
              "The stored settings could not be read: expected true or false but found the number 1 at "
              "preferences.launchAtLogin.");

    // A huge junk key with control characters is quoted short and printable.
    const std::string junkKey = std::string("\x01") + std::string(100000, 'x') + "\x01";
    const std::string message = failure(edited([&](Json& d) { d["appProfiles"][junkKey] = 1; }))->message;
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
    for (const std::string& text : {std::string(), std::string("{\"schemaVersion\":1}junk"), std::string("\xff\xfe{}"),
                                   std::string("{\"a\":\"\xc3\x28\"}"), std::string("{\"a\":\"\\ud800\"}"),
                                   std::string("{\"a\":1e400}"), std::string("{\"a\":NaN}"), std::string("\0{}", 3),
                                   junk}) {
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
        return edited([&](Json& d) {
            Json value = 1;
            for (std::size_t level = 0; level < levels; ++level) {
                value = Json::array({value});
            }
            d["extra"] = value;
        });
    };
    // The document object itself is the first level.
    EXPECT_TRUE(decodePersistedState(nestedIn(kMaximumJSONNestingDepth - 1)).hasValue());
    expectFailure(nestedIn(kMaximumJSONNestingDepth), Kind::tooDeeplyNested, "one level too deep");
    expectFailure(std::string(4 << 20, '['), Kind::tooDeeplyNested, "four megabytes of brackets");
    EXPECT_EQ(decoded(edited([](Json& d) { music(d)["displayName"] = std::string(1000, '['); }))
                  .appProfiles.at("com.example.music")
                  .displayName,
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

TEST_F(StateJsonTest, AppIdentity_EncodesBothKeysAndRequiresBoth) {
    const AppIdentity identity{"com.example.music", "Music"};
    const EncodeResult text = encodeJSON(identity);
    ASSERT_TRUE(text.hasValue());
    EXPECT_EQ(text.value(), R"({"bundleID":"com.example.music","displayName":"Music"})");
    const DecodeResult<AppIdentity> reread = decodeAppIdentity(text.value());
    ASSERT_TRUE(reread.hasValue());
    EXPECT_EQ(reread.value(), identity);
    for (const char* partial : {R"({"bundleID":"com.example.music"})", R"({"displayName":"Music"})",
                                R"({"bundleID":"com.example.music","displayName":3})", "{"}) {
        const DecodeResult<AppIdentity> result = decodeAppIdentity(partial);
        ASSERT_FALSE(result.hasValue()) << partial;
        EXPECT_EQ(result.error().message.rfind("The app identity could not be read: ", 0), 0U)
            << result.error().message;
    }
}

// Random edits of valid documents, at the byte level and at the level of JSON values,
// must each be refused with a message or survive normalise, encode and decode unchanged.
TEST_F(StateJsonTest, RandomInput_IsRefusedWithAMessageOrSurvivesARoundTrip) {
    constexpr int kRounds = 2000;
    std::mt19937 random(20261206);
    const auto below = [&](std::size_t bound) { return bound == 0 ? 0 : random() % bound; };
    const std::vector<std::string> tokens{"{", "}", "[", "]", ",", ":", "\"", "\\", "null", "true", "0", "-0", "1e39",
                                          "1e400", "0.9999", "86401", "-1", "1.5", "\"device\"", "\"\"", "\\u0000",
                                          "\xff", "\"kind\":", "\"uid\":\"x\",", "\"volume\":2,"};
    const std::vector<Json> values{nullptr, 0, -1, 1.5, 1e38, 18446744073709551615ULL, "x", "device",
                                   "systemDefault", kProfileUUIDText, "", true, Json::array(), Json::object(),
                                   Json::array({"a", "b"})};
    const Json sample = Json::parse(kSampleText);

    int decodedCount = 0;
    int refusedCount = 0;
    for (int round = 0; round < kRounds; ++round) {
        std::string text;
        if (round % 2 == 0) {
            text = std::string(kSampleText);
            for (std::size_t edit = 0, edits = 1 + below(4); edit < edits; ++edit) {
                const std::size_t at = below(text.size() + 1);
                switch (below(5)) {
                    case 0:
                        if (at < text.size()) {
                            text[at] = static_cast<char>(random());
                        }
                        break;
                    case 1:
                        text.insert(at, tokens[below(tokens.size())]);
                        break;
                    case 2:
                        text.erase(at, below(8));
                        break;
                    case 3:
                        text.insert(at, text.substr(below(text.size()), below(16)));
                        break;
                    default:
                        text.resize(at);
                        break;
                }
            }
        } else {
            // Replace or remove one value anywhere in the document.
            Json document = sample;
            const Json flat = document.flatten();
            std::vector<std::string> pointers;
            for (const auto& [pointer, leaf] : flat.items()) {
                for (std::string prefix = pointer; !prefix.empty(); prefix.resize(prefix.rfind('/'))) {
                    pointers.push_back(prefix);
                }
            }
            const Json::json_pointer pointer(pointers[below(pointers.size())]);
            Json& parent = document[pointer.parent_pointer()];
            const bool isRemoval = below(3) == 0;
            if (isRemoval && parent.is_array()) {
                parent.erase(std::stoul(pointer.back()));
            } else if (isRemoval) {
                parent.erase(pointer.back());
            } else {
                document[pointer] = values[below(values.size())];
            }
            text = document.dump();
        }
        const std::optional<std::string> broken = testing::brokenDecodingProperty(text);
        ASSERT_FALSE(broken.has_value()) << *broken << "\ninput: " << text;
        ++(decodePersistedState(text).hasValue() ? decodedCount : refusedCount);
    }
    EXPECT_GT(decodedCount, kRounds / 10);
    EXPECT_GT(refusedCount, kRounds / 10);
}

}  // namespace
}  // namespace tonvale
