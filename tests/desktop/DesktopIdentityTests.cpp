// Which application a process belongs to, on a process table and desktop entries made
// for the test: sandboxes, the audio server's hints, desktop entries matched by program or
// window class, helpers through their parents, and plain programs.
#include <gtest/gtest.h>

#include <fstream>

#include "desktop/ProcessIdentity.h"

namespace desktop {
namespace {

class ProcessIdentityTest : public ::testing::Test {
protected:
    ProcessIdentityTest() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tonvale-identity-XXXXXX").string();
        root = ::mkdtemp(pattern.data());
        std::filesystem::create_directories(root / "share" / "applications");
        entry("org.example.Editor", "Name=Editor\nExec=env LANG=C /usr/bin/editor %F\nIcon=editor\n");
        entry("org.example.Browser", "Name=Browser\nExec=browser-bin\nStartupWMClass=WebBrowser\n");
        entry("org.example.Flat", "Name=Flat App\nExec=flatpak run org.example.Flat\n");
        entry("org.example.Gone", "Name=Gone\nExec=gone\nHidden=true\n");
        std::filesystem::create_directories(root / "share" / "icons" / "hicolor" / "48x48" / "apps");
        std::ofstream(root / "share" / "icons" / "hicolor" / "48x48" / "apps" / "editor.png") << "png";
    }
    ~ProcessIdentityTest() override { std::filesystem::remove_all(root); }

    void entry(const std::string& id, const std::string& lines) {
        std::ofstream(root / "share" / "applications" / (id + ".desktop")) << "[Desktop Entry]\nType=Application\n"
                                                                           << lines;
    }
    // A process in the test's process table.
    void process(int pid, int parent, const std::string& command, const std::string& firstArgument,
                 const std::string& flatpakID = "", const std::string& cgroup = "0::/user.slice\n") {
        const auto folder = root / "proc" / std::to_string(pid);
        std::filesystem::create_directories(folder / "root");
        std::ofstream(folder / "stat") << pid << " (" << command << ") S " << parent
                                       << " 1 1 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 " << pid * 10 << " 0";
        std::ofstream(folder / "cmdline") << firstArgument << '\0' << "--flag" << '\0';
        std::ofstream(folder / "cgroup") << cgroup;
        if (!flatpakID.empty()) {
            std::ofstream(folder / "root" / ".flatpak-info") << "[Application]\nname=" << flatpakID << "\n";
        }
    }
    Identity identify(int pid, const Properties& hints = {}) {
        ProcessIdentity identity(DesktopEntries({root / "share"}), root / "proc");
        return identity.identify(pid, hints);
    }

    std::filesystem::path root;
};

TEST_F(ProcessIdentityTest, SandboxesAndHints_NameTheApplication) {
    process(100, 1, "flat", "/app/bin/flat", "org.example.Flat");
    process(101, 1, "snapped", "/snap/tool/x1/tool", "", "0::/user.slice/snap.tool.tool.1234.scope\n");
    process(102, 1, "pw-play", "pw-play");
    EXPECT_EQ(identify(100), (Identity{"org.example.Flat", "Flat App", std::nullopt, true}));
    EXPECT_EQ(identify(101).identifier, "tool");
    EXPECT_EQ(identify(102, {{"application.id", "org.example.Tone"}, {"application.name", "Tone"}}),
              (Identity{"org.example.Tone", "Tone", std::nullopt, true}));
}

TEST_F(ProcessIdentityTest, DesktopEntries_MatchByProgramOrWindowClass_AndGiveNameAndIcon) {
    process(200, 1, "editor", "/usr/bin/editor");
    process(201, 1, "WebBrowser", "/opt/web/WebBrowser");
    process(202, 1, "gone", "gone");
    const Identity editor = identify(200);
    EXPECT_EQ(editor.identifier, "org.example.Editor");
    EXPECT_EQ(editor.name, "Editor");
    EXPECT_EQ(editor.iconFile, root / "share" / "icons" / "hicolor" / "48x48" / "apps" / "editor.png");
    EXPECT_EQ(identify(201).identifier, "org.example.Browser");
    EXPECT_EQ(identify(202), (Identity{"gone", "gone", std::nullopt, false})) << "a hidden entry names nothing";
}

TEST_F(ProcessIdentityTest, Helpers_BelongToTheApplicationThatStartedThem_ButNotToAShell) {
    process(300, 1, "browser-bin", "browser-bin");
    process(301, 300, "audio-helper", "/opt/web/audio-helper");
    process(302, 301, "renderer", "renderer");
    process(310, 300, "bash", "bash");
    process(311, 310, "pw-play", "pw-play");
    EXPECT_EQ(identify(302).identifier, "org.example.Browser");
    EXPECT_EQ(identify(311), (Identity{"pw-play", "pw-play", std::nullopt, false}));
}

}  // namespace
}  // namespace desktop
