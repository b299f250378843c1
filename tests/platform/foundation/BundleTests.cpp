// Application bundles read from disk: text entries of XML and binary Info.plist files, and
// every folder, file or plist that is no usable bundle, however broken or large.
#include "platform/foundation/Bundle.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <plist/plist.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include "tests/platform/foundation/TemporaryFolder.h"

namespace foundation {
namespace {

namespace fs = std::filesystem;

using Entries = std::map<std::string, std::string>;

enum class PlistFormat { xml, binary };

// Serialises a dictionary of text entries the way an application build would.
std::string serialisedPlist(const Entries& entries, PlistFormat format = PlistFormat::xml) {
    plist_t dict = plist_new_dict();
    for (const auto& [key, value] : entries) {
        plist_dict_set_item(dict, key.c_str(), plist_new_string(value.c_str()));
    }
    char* data = nullptr;
    uint32_t length = 0;
    (format == PlistFormat::xml ? plist_to_xml : plist_to_bin)(dict, &data, &length);
    plist_free(dict);
    std::string text(data, length);
    std::free(data);
    return text;
}

std::string xmlDocument(std::string_view body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n" + std::string(body) + "\n</plist>\n";
}

const Entries kPlayerEntries{
    {"CFBundleIdentifier", "com.example.player"},
    {"CFBundleDisplayName", "Pläyer Deluxe"},
    {"CFBundleVersion", "241"},
    {"CFBundleExecutable", "player"},
};

class BundleTest : public ::testing::Test {
protected:
    // Creates <root>/<relative>/Contents/Info.plist holding `plist` and returns the bundle folder.
    fs::path makeBundle(const fs::path& relative, std::string_view plist) {
        const fs::path bundle = root_ / relative;
        fs::create_directories(bundle / "Contents");
        std::ofstream(bundle / "Contents" / "Info.plist", std::ios::binary) << plist;
        return bundle;
    }

    fs::path makeExecutable(const fs::path& bundle, const std::string& name) {
        fs::create_directories(bundle / "Contents" / "MacOS");
        const fs::path executable = bundle / "Contents" / "MacOS" / name;
        std::ofstream(executable) << "#!/bin/sh\n";
        return executable;
    }

    testing::TemporaryFolder temporary_;
    const fs::path root_ = temporary_.path();
};

TEST_F(BundleTest, XmlAndBinaryInfoPlists_YieldTheSameTextEntries) {
    for (const PlistFormat format : {PlistFormat::xml, PlistFormat::binary}) {
        const fs::path path =
            makeBundle(format == PlistFormat::xml ? "Xml.app" : "Bin.app", serialisedPlist(kPlayerEntries, format));
        const std::optional<Bundle> bundle = Bundle::at(path);
        ASSERT_TRUE(bundle.has_value()) << path;

        EXPECT_EQ(bundle->bundlePath(), path.string());
        EXPECT_EQ(bundle->bundleIdentifier(), "com.example.player");
        EXPECT_EQ(bundle->infoValue("CFBundleDisplayName"), "Pläyer Deluxe");
        EXPECT_EQ(bundle->infoValue("CFBundleVersion"), "241");
        EXPECT_EQ(bundle->infoValue("NSMissingKey"), std::nullopt);
    }
}

// Bundles are read for every process snapshot; a rewritten Info.plist must never be
// answered from what an earlier reading kept, whether it was just written or long ago.
TEST_F(BundleTest, RewrittenInfoPlist_IsReadAgain) {
    const fs::path path = makeBundle("Rewritten.app", serialisedPlist({{"CFBundleIdentifier", "com.example.aaaa"}}));
    const fs::path plist = path / "Contents" / "Info.plist";
    const timespec longAgo[2] = {{1000000000, 0}, {1000000000, 0}};
    for (const char* identifier : {"com.example.bbbb", "com.example.cccc"}) {
        ASSERT_EQ(::utimensat(AT_FDCWD, plist.c_str(), longAgo, 0), 0);
        ASSERT_TRUE(Bundle::at(path));
        std::ofstream(plist, std::ios::binary | std::ios::trunc)
            << serialisedPlist({{"CFBundleIdentifier", identifier}});
        EXPECT_EQ(Bundle::at(path)->bundleIdentifier(), identifier) << "same size, same file, new text";
    }
}

TEST_F(BundleTest, NonTextEntries_AreNotText) {
    const fs::path path = makeBundle("Typed.app", xmlDocument(R"(<dict>
        <key>CFBundleIdentifier</key><array><string>com.example.typed</string></array>
        <key>CFBundleVersion</key><integer>241</integer>
        <key>CFBundleName</key><string></string>
    </dict>)"));
    const std::optional<Bundle> bundle = Bundle::at(path);
    ASSERT_TRUE(bundle.has_value());
    EXPECT_EQ(bundle->bundleIdentifier(), std::nullopt);
    EXPECT_EQ(bundle->infoValue("CFBundleVersion"), std::nullopt);
    EXPECT_EQ(bundle->infoValue("CFBundleName"), std::string());
}

TEST_F(BundleTest, MissingUnusableOrMalformedInfoPlist_IsNoBundle) {
    EXPECT_FALSE(Bundle::at(root_ / "Absent.app").has_value());
    fs::create_directories(root_ / "NoPlist.app" / "Contents");
    EXPECT_FALSE(Bundle::at(root_ / "NoPlist.app").has_value());
    fs::create_directories(root_ / "PlistFolder.app" / "Contents" / "Info.plist");
    EXPECT_FALSE(Bundle::at(root_ / "PlistFolder.app").has_value());
    // A pipe in place of the plist must not block the reader.
    const fs::path fifoBundle = root_ / "Fifo.app";
    fs::create_directories(fifoBundle / "Contents");
    ASSERT_EQ(::mkfifo((fifoBundle / "Contents" / "Info.plist").c_str(), 0600), 0);
    EXPECT_FALSE(Bundle::at(fifoBundle).has_value());

    const std::string binary = serialisedPlist(kPlayerEntries, PlistFormat::binary);
    const std::map<std::string, std::string> malformed{
        {"Empty.app", ""},
        {"Garbage.app", std::string("\x00\xff\xfe garbage \x80\x81", 14)},
        {"TruncatedBinary.app", binary.substr(0, binary.size() / 2)},
        {"UnclosedXml.app", xmlDocument("<dict><key>CFBundleIdentifier</key><string>com.example")},
        {"ArrayRoot.app", xmlDocument("<array><string>com.example.array</string></array>")},
    };
    for (const auto& [name, contents] : malformed) {
        EXPECT_FALSE(Bundle::at(makeBundle(name, contents)).has_value()) << name;
    }
}

TEST_F(BundleTest, InfoPlistBeyondSizeCap_IsNoBundle) {
    constexpr std::size_t kCap = 1024 * 1024;
    const std::string head =
        "<?xml version=\"1.0\"?>\n<plist version=\"1.0\"><dict>"
        "<key>CFBundleIdentifier</key><string>com.example.big</string>";
    const std::string tail = "</dict></plist>\n";
    const auto padded = [&](std::size_t total) {
        return head + std::string(total - head.size() - tail.size(), ' ') + tail;
    };

    const std::optional<Bundle> atCap = Bundle::at(makeBundle("AtCap.app", padded(kCap)));
    ASSERT_TRUE(atCap.has_value());
    EXPECT_EQ(atCap->bundleIdentifier(), "com.example.big");
    EXPECT_FALSE(Bundle::at(makeBundle("OverCap.app", padded(kCap + 1))).has_value());
}

TEST_F(BundleTest, DeeplyNestedValues_DoNotBreakReading) {
    std::string opening;
    std::string closing;
    for (int depth = 0; depth < 50000; ++depth) {
        opening += "<array>";
        closing += "</array>";
    }
    const fs::path path = makeBundle("Deep.app", xmlDocument("<dict><key>Deep</key>" + opening + closing + "</dict>"));
    // Whether the parser accepts such depth is its own policy; reading must simply survive it.
    if (const std::optional<Bundle> bundle = Bundle::at(path)) {
        EXPECT_EQ(bundle->infoValue("Deep"), std::nullopt);
    }
}

TEST_F(BundleTest, ExecutablePath_RequiresANamedExistingFileInsideMacOS) {
    const fs::path player = makeBundle("Player.app", serialisedPlist(kPlayerEntries));
    EXPECT_EQ(Bundle::at(player)->executablePath(), std::nullopt);
    const fs::path executable = makeExecutable(player, "player");
    EXPECT_EQ(Bundle::at(player)->executablePath(), executable.string());

    const fs::path escaping = makeBundle("Escaping.app", serialisedPlist({{"CFBundleExecutable", "../Info.plist"}}));
    EXPECT_EQ(Bundle::at(escaping)->executablePath(), std::nullopt);
    const fs::path unnamed = makeBundle("Unnamed.app", serialisedPlist({}));
    EXPECT_EQ(Bundle::at(unnamed)->executablePath(), std::nullopt);
}

TEST_F(BundleTest, ContainingAndMain_FindTheBundleOnlyForContentsMacOSLayout) {
    const fs::path app = makeBundle("Tonvale.app", serialisedPlist({{"CFBundleIdentifier", "com.example.tonvale"}}));
    const fs::path executable = makeExecutable(app, "tonvale");

    const std::optional<Bundle> owner = Bundle::containing(executable);
    ASSERT_TRUE(owner.has_value());
    EXPECT_EQ(owner->bundlePath(), app.string());
    EXPECT_EQ(Bundle::containing(app / "Contents" / "Resources" / ".." / "MacOS" / "tonvale"), owner);

    EXPECT_FALSE(Bundle::containing(app / "Contents" / "tonvale").has_value());
    EXPECT_FALSE(Bundle::containing(app / "MacOS" / "tonvale").has_value());
    EXPECT_FALSE(Bundle::containing("tonvale").has_value());
    for (const char* folder : {"Tonvale", "Tonvale.APP", ".app"}) {
        const fs::path other = makeBundle(folder, serialisedPlist({{"CFBundleIdentifier", "x"}}));
        EXPECT_FALSE(Bundle::containing(makeExecutable(other, "tonvale")).has_value()) << folder;
    }
    // This test executable sits outside any bundle.
    EXPECT_FALSE(Bundle::main().has_value());
}

}  // namespace
}  // namespace foundation
