#include "app/ConsoleOutput.h"

#include <string>

namespace tonvale {

void FileTextStream::write(std::string_view text) { std::fwrite(text.data(), 1, text.size(), file_); }

void FileTextStream::flush() { std::fflush(file_); }

void ConsoleOutput::printLine(std::string_view text, bool flushNow) {
    std::string line(text);
    line += '\n';
    output.write(line);
    if (flushNow) {
        output.flush();
    }
}

ConsoleOutput ConsoleOutput::standard() {
    static FileTextStream standardOutput(stdout);
    static FileTextStream standardError(stderr);
    return ConsoleOutput{standardOutput, standardError};
}

}  // namespace tonvale
