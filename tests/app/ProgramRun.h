// Runs the built tonvale executable as a child process and collects what it
// printed on each stream and its exit status.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace tonvale::testing {

struct ProgramRun {
    int exitStatus = -1;
    std::string output;
    std::string error;
};

// The executable inside the build's application bundle.
[[nodiscard]] std::string tonvaleExecutablePath();

// Runs the program with the arguments (program path excluded); the environment
// is the test's own plus the given variables, on the simulated server (TONVALE_AUDIO=sim)
// unless they choose another.
[[nodiscard]] ProgramRun runProgram(const std::vector<std::string>& arguments,
                                    const std::map<std::string, std::string>& extraEnvironment = {});

}  // namespace tonvale::testing
