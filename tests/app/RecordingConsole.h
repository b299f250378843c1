// Console streams that record every write and flush, in order, across both
// streams, so tests can check which stream got a line and when it was flushed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/ConsoleOutput.h"

namespace tonvale::testing {

class RecordingConsole {
public:
    class Stream final : public TextStream {
    public:
        Stream(std::vector<std::string>& events, std::string name) : events_(events), name_(std::move(name)) {}
        void write(std::string_view text) override { events_.push_back(name_ + " write " + std::string(text)); }
        void flush() override { events_.push_back(name_ + " flush"); }

    private:
        std::vector<std::string>& events_;
        std::string name_;
    };

    ConsoleOutput console() { return ConsoleOutput{output_, error_}; }
    [[nodiscard]] const std::vector<std::string>& events() const { return events_; }

private:
    std::vector<std::string> events_;
    Stream output_{events_, "out"};
    Stream error_{events_, "err"};
};

}  // namespace tonvale::testing
