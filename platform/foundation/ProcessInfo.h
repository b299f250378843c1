// Facts about the running process: its identifier, command-line arguments, environment,
// name and the operating system's human-readable version text. One process-wide instance,
// ProcessInfo::processInfo(); main() may hand it argc/argv, tests may set their own list.
// Thread-safety: every member may be called from any thread. environmentValue reads the
// live environment, so it must not race with setenv/unsetenv elsewhere in the process.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace foundation {

class ProcessInfo {
public:
    [[nodiscard]] static ProcessInfo& processInfo();

    ProcessInfo(const ProcessInfo&) = delete;
    ProcessInfo& operator=(const ProcessInfo&) = delete;

    [[nodiscard]] int processIdentifier() const;

    // The full list, program path first. Until a setter runs it is the kernel's record of
    // the command line (/proc/self/cmdline), so it is right even without main's help.
    [[nodiscard]] std::vector<std::string> arguments() const;
    void setArguments(int argc, const char* const* argv);
    void setArguments(std::vector<std::string> arguments);

    // nullopt when the variable is unset; an empty text when it is set to nothing.
    [[nodiscard]] std::optional<std::string> environmentValue(std::string_view name) const;

    // Last path component of the program path (the first argument), else of the executable.
    [[nodiscard]] std::string processName() const;

    // "<distribution>, <kernel name> <kernel release> <machine>", for example
    // "Debian GNU/Linux 12 (bookworm), Linux 6.1.0-18-amd64 x86_64". The distribution is
    // os-release's PRETTY_NAME (else NAME and VERSION); without os-release only the kernel
    // part is given.
    [[nodiscard]] std::string operatingSystemVersionString() const;

    // The text above from an os-release document and uname fields; separate so the
    // formatting can be checked against any distribution.
    [[nodiscard]] static std::string composeOperatingSystemVersion(std::string_view osRelease,
                                                                   std::string_view kernelName,
                                                                   std::string_view kernelRelease,
                                                                   std::string_view machine);

private:
    ProcessInfo();

    mutable std::mutex mutex_;
    std::vector<std::string> arguments_;
};

}  // namespace foundation
