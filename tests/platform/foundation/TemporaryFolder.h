// A fresh folder under the test's temporary directory, removed with everything in it when
// the object goes; folders a test made read-only are made writable first. Also a scoped
// environment variable, so tests point XDG_CONFIG_HOME at such a folder and never at the
// user's own configuration.
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
        if (::mkdtemp(pattern.data()) == nullptr) {
            ADD_FAILURE() << "no temporary folder at " << pattern;
        }
        path_ = pattern;
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    ~TemporaryFolder() {
        std::error_code error;
        for (auto entry = std::filesystem::recursive_directory_iterator(path_, error);
             entry != std::filesystem::recursive_directory_iterator(); entry.increment(error)) {
            if (entry->is_directory(error) && !entry->is_symlink(error)) {
                std::filesystem::permissions(entry->path(), std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::add, error);
            }
        }
        std::filesystem::remove_all(path_, error);
    }

    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

class ScopedEnvironmentVariable {
public:
    ScopedEnvironmentVariable(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            saved_ = old;
        }
        ::setenv(name, value.c_str(), 1);
    }
    ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
    ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;
    ~ScopedEnvironmentVariable() {
        if (saved_) {
            ::setenv(name_, saved_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<std::string> saved_;
};

inline void writeFile(const std::filesystem::path& path, std::string_view contents) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
}

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream stream(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

// Permission bits alone (no file type), e.g. 0600.
inline unsigned modeOf(const std::filesystem::path& path) {
    return static_cast<unsigned>(std::filesystem::status(path).permissions()) & 0777U;
}

// Tests that need a permission refused are meaningless for a user the kernel never refuses.
inline bool isPrivilegedUser() {
    return ::geteuid() == 0;
}

}  // namespace foundation::testing
