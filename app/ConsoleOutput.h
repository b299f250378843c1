// Where the command-line modes print: standard output and standard error.
//
// A stream takes whole writes and explicit flushes, so that a line and its
// line feed leave in one write and a supervising process sees flushed lines at
// once. Tests put recording streams behind the same interface.
// Thread-safety: main thread only.
#pragma once

#include <cstdio>
#include <string_view>

namespace tonvale {

class TextStream {
public:
    virtual ~TextStream() = default;
    virtual void write(std::string_view text) = 0;
    virtual void flush() = 0;
};

// A stream over a C file (stdout, stderr).
class FileTextStream final : public TextStream {
public:
    explicit FileTextStream(std::FILE* file) : file_(file) {}
    void write(std::string_view text) override;
    void flush() override;

private:
    std::FILE* file_;
};

struct ConsoleOutput {
    TextStream& output;
    TextStream& error;

    // Writes text and a line feed to output in one write; flushes when asked.
    void printLine(std::string_view text, bool flushNow = false);

    // The process's own standard output and standard error.
    [[nodiscard]] static ConsoleOutput standard();
};

}  // namespace tonvale
