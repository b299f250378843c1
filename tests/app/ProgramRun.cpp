#include "tests/app/ProgramRun.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace tonvale::testing {
namespace {

std::string takeFile(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    std::filesystem::remove(path);
    return text.str();
}

}  // namespace

std::string tonvaleExecutablePath() {
    return std::string(TONVALE_BUILD_DIR) + "/Tonvale.app/Contents/MacOS/tonvale";
}

ProgramRun runProgram(const std::vector<std::string>& arguments,
                      const std::map<std::string, std::string>& extraEnvironment) {
    // env(1) adds the variables to the test's own environment before it starts the program.
    std::vector<std::string> texts{"/usr/bin/env"};
    for (const auto& [name, value] : extraEnvironment) {
        texts.push_back(name + "=" + value);
    }
    texts.push_back(tonvaleExecutablePath());
    texts.insert(texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& text : texts) {
        argv.push_back(text.data());
    }
    argv.push_back(nullptr);

    // The streams go to files, so a full pipe can never stall the child.
    const std::string stem =
        (std::filesystem::temp_directory_path() / ("tonvale-run-" + std::to_string(::getpid()))).string();
    const std::string outPath = stem + ".out";
    const std::string errPath = stem + ".err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv.front(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        throw std::runtime_error("could not start " + texts.front());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ProgramRun run;
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.output = takeFile(outPath);
    run.error = takeFile(errPath);
    return run;
}

}  // namespace tonvale::testing
