// What a sink of the private PipeWire server plays, heard on its monitor: the tone players'
// level lately, relative to the tone's own, and the envelope of the last seconds, on a
// connection of the monitor's own. Made after the server is up; ends with the test.
// Thread-safety: the readings may be taken from any thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace tonvale::testing {

class SinkMonitor {
public:
    explicit SinkMonitor(const std::string& sinkName);
    ~SinkMonitor();
    SinkMonitor(const SinkMonitor&) = delete;
    SinkMonitor& operator=(const SinkMonitor&) = delete;

    // The tone's gain heard over the last tenth of a second (1: as the player plays it).
    [[nodiscard]] double gain() const;
    // The loudest gain heard in any 2.7 ms since the last call (a window of about a period
    // of the tone), then starts again.
    [[nodiscard]] double takePeak();
    // The gain of every 2.7 ms since the last call, oldest first.
    [[nodiscard]] std::vector<double> takeEnvelope();

    struct Stream;

private:
    std::unique_ptr<Stream> stream_;
};

// Plays the tone on the sink at that gain, within half a decibel, for the last tenth of a
// second; waits for it at most seconds.
[[nodiscard]] bool hearsGain(const SinkMonitor& monitor, double gain, double seconds = 10.0);

}  // namespace tonvale::testing
