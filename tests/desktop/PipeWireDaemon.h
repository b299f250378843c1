// A private, headless PipeWire server and session manager for the tests against the
// desktop's audio server: started in a folder of its own (runtime, state, data and the
// repository's configuration), with the programs a test starts beside it (players, a sink
// that comes and goes), all of which end with the fixture. This process's environment
// points at it, so the service under test and every program started reach it alone.
// Thread-safety: the test's thread only.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace tonvale::testing {

class PipeWireDaemon {
public:
    PipeWireDaemon();
    ~PipeWireDaemon();
    PipeWireDaemon(const PipeWireDaemon&) = delete;
    PipeWireDaemon& operator=(const PipeWireDaemon&) = delete;

    // Starts the server and the session manager and waits until the server's socket is
    // there; empty on success, else why not.
    [[nodiscard]] std::string start();
    // Ends the server and the session manager (as a crash or restart of the service does).
    void stop();

    // Starts a program beside the server; it ends with the fixture or with end().
    pid_t run(const std::vector<std::string>& arguments);
    // A player of a 440 Hz tone: pw-play started as program (a link to it by that name when
    // it is not "pw-play"), with the stream properties given (" application.id = ... ").
    pid_t play(const std::string& streamProperties, const std::string& program = "pw-play",
               const std::string& target = "");
    // A sink that exists while the returned program runs.
    pid_t plugSink(const std::string& nodeName, const std::string& description);
    void end(pid_t program);
    // What a program beside the server (pw-metadata, pw-cli) prints, once it has ended.
    [[nodiscard]] std::string ask(const std::vector<std::string>& arguments);

    // The folder desktop entries go in (this fixture's XDG_DATA_HOME).
    [[nodiscard]] std::filesystem::path dataFolder() const { return folder_ / "data"; }
    [[nodiscard]] const std::filesystem::path& folder() const { return folder_; }

private:
    pid_t spawn(const std::vector<std::string>& arguments, int inputFD = -1, int outputFD = -1);
    // Until the server's socket is in the folder; false when the server ended or took too long.
    [[nodiscard]] bool waitForSocket() const;

    std::filesystem::path folder_;
    pid_t server_ = 0;
    pid_t sessionManager_ = 0;
    std::vector<pid_t> programs_;
    std::vector<int> inputs_;
};

// Waits, at most seconds, until condition holds: re-checked whenever the audio layer
// announces a change of the system object or the main queue has run, and at least every
// twentieth of a second. Meanwhile the test's thread runs the main queue.
[[nodiscard]] bool waitFor(const std::function<bool()>& condition, double seconds = 10.0);

}  // namespace tonvale::testing
