#include "sim/PlayedTimeline.h"

#include <sndfile.h>

#include <algorithm>
#include <cstdio>

namespace sim {

namespace {

constexpr std::int64_t kMostFramesAddedAtOnce = 8192;

}  // namespace

PlayedTimeline::PlayedTimeline(std::string uid, double sampleRate, std::uint32_t channels, double retainSeconds,
                               std::optional<std::filesystem::path> recordingFolder)
    : uid_(std::move(uid)),
      sampleRate_(sampleRate),
      channels_(std::max<std::uint32_t>(channels, 1)),
      retainFrames_(std::max<std::int64_t>(static_cast<std::int64_t>(retainSeconds * sampleRate), 1)),
      recordingFolder_(std::move(recordingFolder)) {}

PlayedTimeline::~PlayedTimeline() { finishRecording(); }

std::string PlayedTimeline::recordingFileName(const std::string& uid) {
    std::string name = uid;
    for (char& c : name) {
        const bool isKept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                            c == '-' || c == '_';
        if (!isKept) {
            c = '_';
        }
    }
    return name + ".wav";
}

void PlayedTimeline::add(std::int64_t firstFrame, const float* interleaved, std::uint32_t frames,
                         std::uint32_t sourceChannels) {
    if (frames == 0 || sourceChannels == 0) {
        return;
    }
    std::lock_guard lock(mutex_);
    if (isFinished_) {
        return;
    }
    // A device that played nothing for longer than is kept (unplugged, asleep) keeps only
    // that much of the silence before its new audio, not the whole gap.
    const std::int64_t heldEnd = baseFrame_ + static_cast<std::int64_t>(data_.size() / channels_);
    if (firstFrame - heldEnd > retainFrames_) {
        flushLocked(heldEnd - baseFrame_);
        baseFrame_ = firstFrame - retainFrames_;
    }
    std::uint32_t skip = 0;
    if (firstFrame < baseFrame_) {
        // Audio older than what is held has already gone to the file or was dropped.
        if (firstFrame + frames <= baseFrame_) {
            return;
        }
        skip = static_cast<std::uint32_t>(baseFrame_ - firstFrame);
    }
    const std::int64_t offset = firstFrame + skip - baseFrame_;
    const std::size_t needed = static_cast<std::size_t>(offset + (frames - skip)) * channels_;
    if (data_.capacity() == 0) {
        // Room for the most ever held (twice what is kept, plus a late IO thread's catch-up
        // cycles) at once, so that a long run's memory stays what it was after the first minute.
        data_.reserve(static_cast<std::size_t>(2 * retainFrames_ + kMostFramesAddedAtOnce) * channels_);
    }
    if (data_.size() < needed) {
        data_.resize(needed, 0.0F);
    }
    float* out = data_.data() + static_cast<std::size_t>(offset) * channels_;
    for (std::uint32_t frame = skip; frame < frames; ++frame) {
        const float* in = interleaved + static_cast<std::size_t>(frame) * sourceChannels;
        for (std::uint32_t channel = 0; channel < channels_; ++channel) {
            const float sample = in[sourceChannels == 1 ? 0 : std::min(channel, sourceChannels - 1)];
            const float value = channel < sourceChannels || sourceChannels == 1 ? sample : 0.0F;
            hasPlayed_ = hasPlayed_ || value != 0.0F;
            *out++ += value;
        }
    }
    const auto heldFrames = static_cast<std::int64_t>(data_.size() / channels_);
    if (heldFrames > 2 * retainFrames_) {
        flushLocked(heldFrames - retainFrames_);
    }
}

PlayedAudio PlayedTimeline::read(std::int64_t fromFrame, std::int64_t toFrame) const {
    PlayedAudio audio;
    audio.sampleRate = sampleRate_;
    audio.channels = channels_;
    if (toFrame <= fromFrame) {
        return audio;
    }
    audio.samples.assign(static_cast<std::size_t>(toFrame - fromFrame) * channels_, 0.0F);
    std::lock_guard lock(mutex_);
    const auto heldFrames = static_cast<std::int64_t>(data_.size() / channels_);
    const std::int64_t begin = std::max(fromFrame, baseFrame_);
    const std::int64_t end = std::min(toFrame, baseFrame_ + heldFrames);
    for (std::int64_t frame = begin; frame < end; ++frame) {
        std::copy_n(data_.data() + static_cast<std::size_t>(frame - baseFrame_) * channels_, channels_,
                    audio.samples.data() + static_cast<std::size_t>(frame - fromFrame) * channels_);
    }
    return audio;
}

bool PlayedTimeline::hasPlayed() const {
    std::lock_guard lock(mutex_);
    return hasPlayed_;
}

void PlayedTimeline::finishRecording() {
    std::lock_guard lock(mutex_);
    if (isFinished_) {
        return;
    }
    flushLocked(static_cast<std::int64_t>(data_.size() / channels_));
    isFinished_ = true;
    if (file_ != nullptr) {
        sf_close(file_);
        file_ = nullptr;
    }
}

void PlayedTimeline::flushLocked(std::int64_t frames) {
    frames = std::min<std::int64_t>(frames, static_cast<std::int64_t>(data_.size() / channels_));
    if (frames <= 0) {
        return;
    }
    if (recordingFolder_ && hasPlayed_ && openFileLocked()) {
        // Everything dropped before the first sound was silence; the file starts at the server's start.
        static const std::vector<float> silence(4096, 0.0F);
        while (fileFrames_ < baseFrame_) {
            const std::int64_t chunk =
                std::min<std::int64_t>(baseFrame_ - fileFrames_, static_cast<std::int64_t>(silence.size() / channels_));
            writeLocked(silence.data(), chunk);
        }
        writeLocked(data_.data(), frames);
    }
    data_.erase(data_.begin(), data_.begin() + static_cast<std::ptrdiff_t>(frames * channels_));
    baseFrame_ += frames;
}

void PlayedTimeline::writeLocked(const float* interleaved, std::int64_t frames) {
    if (file_ == nullptr || frames <= 0) {
        return;
    }
    const sf_count_t written = sf_writef_float(file_, interleaved, frames);
    fileFrames_ += written > 0 ? written : 0;
    if (written != frames) {
        // A full disk or similar: stop recording this device rather than loop.
        sf_close(file_);
        file_ = nullptr;
        fileFrames_ = baseFrame_ + static_cast<std::int64_t>(data_.size() / channels_) + 1;
    }
}

bool PlayedTimeline::openFileLocked() {
    if (file_ != nullptr) {
        return true;
    }
    if (fileFrames_ > 0) {
        return false;
    }
    std::error_code error;
    std::filesystem::create_directories(*recordingFolder_, error);
    const std::filesystem::path path = *recordingFolder_ / recordingFileName(uid_);
    SF_INFO info{};
    info.samplerate = static_cast<int>(sampleRate_);
    info.channels = static_cast<int>(channels_);
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    file_ = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file_ == nullptr) {
        std::fprintf(stderr, "tonvale: cannot record %s: %s\n", path.c_str(), sf_strerror(nullptr));
        fileFrames_ = 1;
        return false;
    }
    return true;
}

}  // namespace sim
