#include "tests/app/ProgramRun.h"

#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <stdexcept>

extern char** environ;

namespace tonvale::testing {

std::string tonvaleExecutablePath() {
    return std::string(TONVALE_BUILD_DIR) + "/Tonvale.app/Contents/MacOS/tonvale";
}

ProgramRun runProgram(const std::vector<std::string>& arguments,
                      const std::map<std::string, std::string>& extraEnvironment) {
    const std::string path = tonvaleExecutablePath();
    std::vector<std::string> argumentTexts{path};
    argumentTexts.insert(argumentTexts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& text : argumentTexts) {
        argv.push_back(text.data());
    }
    argv.push_back(nullptr);

    std::vector<std::string> environmentTexts;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text(*entry);
        if (!extraEnvironment.contains(text.substr(0, text.find('=')))) {
            environmentTexts.push_back(text);
        }
    }
    for (const auto& [name, value] : extraEnvironment) {
        environmentTexts.push_back(name + "=" + value);
    }
    std::vector<char*> envp;
    for (auto& text : environmentTexts) {
        envp.push_back(text.data());
    }
    envp.push_back(nullptr);

    std::array<int, 2> outPipe{};
    std::array<int, 2> errPipe{};
    if (pipe(outPipe.data()) != 0 || pipe(errPipe.data()) != 0) {
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, outPipe[0]);
    posix_spawn_file_actions_addclose(&actions, errPipe[0]);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    if (spawned != 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        throw std::runtime_error("could not start " + path);
    }

    ProgramRun run;
    std::array<pollfd, 2> fds{pollfd{outPipe[0], POLLIN, 0}, pollfd{errPipe[0], POLLIN, 0}};
    std::array<std::string*, 2> sinks{&run.output, &run.error};
    int open = 2;
    while (open > 0) {
        if (poll(fds.data(), fds.size(), -1) < 0) {
            break;
        }
        for (std::size_t index = 0; index < fds.size(); ++index) {
            if (fds[index].fd < 0 || fds[index].revents == 0) {
                continue;
            }
            std::array<char, 4096> buffer{};
            const ssize_t count = read(fds[index].fd, buffer.data(), buffer.size());
            if (count > 0) {
                sinks[index]->append(buffer.data(), static_cast<std::size_t>(count));
                continue;
            }
            close(fds[index].fd);
            fds[index].fd = -1;
            --open;
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

}  // namespace tonvale::testing
