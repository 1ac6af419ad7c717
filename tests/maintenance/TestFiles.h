// Helpers for the maintenance tests: a temporary folder, files and scripts in
// it, and environment variables set for the length of one test.
#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace korvane::maintenance::testing {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    explicit TempDir(const std::string& leaf = {})
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "korvane-maint-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
        path_ = leaf.empty()
                    ? root_
                    : root_ / std::filesystem::path(std::u8string(leaf.begin(), leaf.end()));
        std::filesystem::create_directories(path_);
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path root_;
    std::filesystem::path path_;
};

inline void WriteFile(const std::filesystem::path& path, const std::string& content,
                      bool executable = false)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
    if (executable) {
        ::chmod(path.c_str(), 0755);
    }
}

inline std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The pieces of a file of NUL-terminated records.
inline std::vector<std::string> ReadNulRecords(const std::filesystem::path& path)
{
    const std::string text = ReadFile(path);
    std::vector<std::string> records;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\0', start)) != std::string::npos; start = end + 1) {
        records.push_back(text.substr(start, end - start));
    }
    return records;
}

// Sets (or, with nullopt, removes) an environment variable and restores it.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name)
    {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        Apply(value);
    }
    ~ScopedEnv() { Apply(old_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void Apply(const std::optional<std::string>& value)
    {
        if (value) {
            ::setenv(name_.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
    }
    std::string name_;
    std::optional<std::string> old_;
};

}  // namespace korvane::maintenance::testing
