// What opens a URL for the workspace: the interactive application installs the desktop's
// opener; tests and command-line modes keep the in-memory one, which only remembers what
// it was asked to open.
// Thread-safety: implementations accept calls from any thread.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace appkit {

class URLOpening {
public:
    virtual ~URLOpening() = default;
    // Hands the URL to whatever opens it and returns at once; false when it could not be
    // handed over. Never blocks on the opened application.
    virtual bool open(const std::string& url) = 0;
};

class InMemoryURLOpener final : public URLOpening {
public:
    bool open(const std::string& url) override;
    // Every URL asked for, oldest first.
    [[nodiscard]] std::vector<std::string> openedURLs() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> opened_;
};

}  // namespace appkit
