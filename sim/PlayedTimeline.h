// The audio one physical output device played, on a timeline of frames counted
// from the server's start; optionally recorded to a WAV file.
//
// Owned by the simulated server, one per physical output device. The device's
// own IO cycle and the IO cycles of aggregates built on it add into it.
// Thread-safety: every operation may be called from any thread (one mutex).
#pragma once

#include "sim/PlayedAudio.h"

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct sf_private_tag;

namespace sim {

class PlayedTimeline {
public:
    // Keeps at least retainSeconds of the most recent audio for read-back; older
    // audio goes to the recording file (when recording) or is dropped.
    PlayedTimeline(std::string uid, double sampleRate, std::uint32_t channels, double retainSeconds,
                   std::optional<std::filesystem::path> recordingFolder);
    ~PlayedTimeline();
    PlayedTimeline(const PlayedTimeline&) = delete;
    PlayedTimeline& operator=(const PlayedTimeline&) = delete;

    [[nodiscard]] double sampleRate() const { return sampleRate_; }
    [[nodiscard]] std::uint32_t channels() const { return channels_; }

    // Mixes frames of an interleaved block with sourceChannels channels into the
    // timeline at firstFrame. Channels map one to one; a mono block feeds every
    // channel; extra source channels are dropped.
    void add(std::int64_t firstFrame, const float* interleaved, std::uint32_t frames, std::uint32_t sourceChannels);
    // Frames [fromFrame, toFrame); frames never written read as silence.
    [[nodiscard]] PlayedAudio read(std::int64_t fromFrame, std::int64_t toFrame) const;
    // True once any non-silent sample was added.
    [[nodiscard]] bool hasPlayed() const;
    // Writes everything still held to the recording file (if the device played
    // anything) and closes it. Later adds are ignored.
    void finishRecording();
    // The file name a device UID records to.
    [[nodiscard]] static std::string recordingFileName(const std::string& uid);

private:
    void flushLocked(std::int64_t frames);
    void writeLocked(const float* interleaved, std::int64_t frames);
    bool openFileLocked();

    const std::string uid_;
    const double sampleRate_;
    const std::uint32_t channels_;
    const std::int64_t retainFrames_;
    const std::optional<std::filesystem::path> recordingFolder_;

    mutable std::mutex mutex_;
    std::int64_t baseFrame_ = 0;
    std::vector<float> data_;
    bool hasPlayed_ = false;
    bool isFinished_ = false;
    sf_private_tag* file_ = nullptr;
    std::int64_t fileFrames_ = 0;
};

}  // namespace sim
