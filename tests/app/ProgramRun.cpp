#include "tests/app/ProgramRun.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tonvale::testing {
namespace {

// One word for the shell, whatever bytes it holds.
std::string quoted(const std::string& text) {
    std::string result = "'";
    for (const char c : text) {
        result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return result + "'";
}

std::string takeFile(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    std::filesystem::remove(path);
    return text.str();
}

}  // namespace

std::string tonvaleExecutablePath() { return std::string(TONVALE_BUILD_DIR) + "/Tonvale.app/Contents/MacOS/tonvale"; }

ProgramRun runProgram(const std::vector<std::string>& arguments,
                      const std::map<std::string, std::string>& extraEnvironment) {
    // env(1) adds the variables; the streams go to files, so a full pipe can never stall the child.
    // The simulated server, unless a test asks for another: a desktop running its own
    // audio server must not change what these tests see.
    std::map<std::string, std::string> environment{{"TONVALE_AUDIO", "sim"}};
    for (const auto& [name, value] : extraEnvironment) {
        environment[name] = value;
    }
    std::string command = "exec env";
    for (const auto& [name, value] : environment) {
        command += " " + quoted(name + "=" + value);
    }
    command += " " + quoted(tonvaleExecutablePath());
    for (const std::string& argument : arguments) {
        command += " " + quoted(argument);
    }
    const std::string stem =
        (std::filesystem::temp_directory_path() / ("tonvale-run-" + std::to_string(::getpid()))).string();
    command += " >" + quoted(stem + ".out") + " 2>" + quoted(stem + ".err");
    const int status = std::system(command.c_str());
    ProgramRun run;
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.output = takeFile(stem + ".out");
    run.error = takeFile(stem + ".err");
    return run;
}

}  // namespace tonvale::testing
