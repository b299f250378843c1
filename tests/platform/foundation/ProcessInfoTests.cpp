// The process's arguments and name, and the operating system version the diagnostics print.
#include "platform/foundation/ProcessInfo.h"

#include <gtest/gtest.h>
#include <sys/utsname.h>

namespace foundation {
namespace {

class ProcessInfoTest : public ::testing::Test {
protected:
    void SetUp() override { savedArguments_ = info().arguments(); }
    void TearDown() override { info().setArguments(savedArguments_); }

    static ProcessInfo& info() { return ProcessInfo::processInfo(); }

private:
    std::vector<std::string> savedArguments_;
};

TEST_F(ProcessInfoTest, Arguments_ComeFromTheKernelOrArgvAndNameFallsBackToTheExecutable) {
    const std::vector<std::string> arguments = info().arguments();
    ASSERT_FALSE(arguments.empty());
    EXPECT_TRUE(arguments.front().ends_with("foundation_tests")) << arguments.front();
    EXPECT_EQ(info().processName(), "foundation_tests");

    const char* argv[] = {"/opt/Tonvale.app/Contents/MacOS/tonvale", "--route-test", "", "--gain", "0.5", nullptr};
    info().setArguments(5, argv);
    EXPECT_EQ(info().arguments(), (std::vector<std::string>{"/opt/Tonvale.app/Contents/MacOS/tonvale", "--route-test",
                                                            "", "--gain", "0.5"}));
    EXPECT_EQ(info().processName(), "tonvale");

    info().setArguments({"/some/dir/"});
    EXPECT_EQ(info().processName(), "foundation_tests");
}

TEST_F(ProcessInfoTest, OperatingSystemVersion_JoinsDistributionAndKernelReadingShellQuoting) {
    const auto compose = [](std::string_view osRelease) {
        return ProcessInfo::composeOperatingSystemVersion(osRelease, "Linux", "6.1.0", "aarch64");
    };
    EXPECT_EQ(compose("PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\nID=debian\n"),
              "Debian GNU/Linux 12 (bookworm), Linux 6.1.0 aarch64");
    EXPECT_EQ(compose("# comment\n\nPRETTY_NAME='Fedora Linux 40'\r\n"), "Fedora Linux 40, Linux 6.1.0 aarch64");
    EXPECT_EQ(compose("PRETTY_NAME=\"Say \\\"hi\\\" \\\\ \\$HOME\"\n"), "Say \"hi\" \\ $HOME, Linux 6.1.0 aarch64");
    EXPECT_EQ(compose("PRETTY_NAME=Alpine\n"), "Alpine, Linux 6.1.0 aarch64");
    EXPECT_EQ(compose("NAME=\"Arch Linux\"\nVERSION=rolling\n"), "Arch Linux rolling, Linux 6.1.0 aarch64");
    EXPECT_EQ(compose("NAME=\"Arch Linux\"\nPRETTY_NAME=\"\"\n"), "Arch Linux, Linux 6.1.0 aarch64");
    EXPECT_EQ(compose(""), "Linux 6.1.0 aarch64");
    EXPECT_EQ(compose("garbage without equals\n\"\n=\n"), "Linux 6.1.0 aarch64");
    EXPECT_EQ(ProcessInfo::composeOperatingSystemVersion("PRETTY_NAME=X\n", "", "", ""), "X");

    struct utsname kernel {};
    ASSERT_EQ(::uname(&kernel), 0);
    const std::string text = info().operatingSystemVersionString();
    EXPECT_TRUE(text.ends_with(std::string(kernel.sysname) + " " + kernel.release + " " + kernel.machine)) << text;
}

}  // namespace
}  // namespace foundation
