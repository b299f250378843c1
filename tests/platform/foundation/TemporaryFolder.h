// Test helpers for code that touches the file system: a fresh folder removed with its
// contents afterwards, a scoped environment variable (so XDG_CONFIG_HOME points at such a
// folder and never at the user's own configuration), and whole-file reads and writes.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

namespace foundation::testing {

class TemporaryFolder {
public:
    explicit TemporaryFolder(const std::filesystem::path& base = ::testing::TempDir()) {
        std::string pattern = (base / "tonvale-test-XXXXXX").string();
        EXPECT_NE(::mkdtemp(pattern.data()), nullptr) << pattern;
        path_ = pattern;
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    ~TemporaryFolder() {
        namespace fs = std::filesystem;
        std::error_code error;
        // Whatever a test made read-only is opened up first.
        for (auto entry = fs::recursive_directory_iterator(path_, error); entry != fs::recursive_directory_iterator();
             entry.increment(error)) {
            fs::permissions(entry->path(), fs::perms::owner_all, fs::perm_options::add | fs::perm_options::nofollow,
                            error);
        }
        fs::remove_all(path_, error);
    }

    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

struct ScopedEnvironmentVariable {
    ScopedEnvironmentVariable(const char* variable, const std::string& value) : name(variable) {
        const char* old = std::getenv(variable);
        saved = old ? std::optional<std::string>(old) : std::nullopt;
        ::setenv(variable, value.c_str(), 1);
    }
    ~ScopedEnvironmentVariable() { saved ? ::setenv(name, saved->c_str(), 1) : ::unsetenv(name); }

    const char* name;
    std::optional<std::string> saved;
};

inline void writeFile(const std::filesystem::path& path, std::string_view contents) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
}

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream stream(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

inline unsigned modeOf(const std::filesystem::path& path) {
    return static_cast<unsigned>(std::filesystem::status(path).permissions()) & 0777U;
}

// Refused permissions cannot be tested as a user the kernel never refuses.
inline bool isPrivilegedUser() { return ::geteuid() == 0; }

}  // namespace foundation::testing
