// Shared set-up of the firmware tests: a scratch folder with Sys.dat and image
// files, and helpers that build images and look through what was written.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "firmware/DownloadJob.h"
#include "settings/SettingsStore.h"
#include "settings/SysData.h"
#include "sim/RadioSim.h"

namespace korvane::firmware::test {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder per test, removed afterwards.
class ScratchDir {
public:
    ScratchDir()
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        for (char& c : name) {
            if (c == '/') c = '_';
        }
        m_path = std::filesystem::temp_directory_path() /
                 ("korvane-fw-" + std::to_string(std::random_device{}()) + "-" + name);
        std::filesystem::create_directories(m_path);
    }
    ~ScratchDir() { std::filesystem::remove_all(m_path); }
    const std::filesystem::path& Path() const { return m_path; }

    std::filesystem::path WriteFile(const std::string& name, const Bytes& bytes) const
    {
        const auto path = m_path / name;
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return path;
    }

private:
    std::filesystem::path m_path;
};

// Bytes that differ from their neighbours, so misplaced bytes show.
inline Bytes Pattern(std::size_t size, std::uint32_t seed = 1)
{
    Bytes bytes(size);
    std::uint32_t x = seed;
    for (auto& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    return bytes;
}

// A radio whose boot image already runs (a user-program upgrade).
inline sim::SimOptions InLoader()
{
    sim::SimOptions options;
    options.startInLoader = true;
    return options;
}

inline sim::SimOptions WithFault(sim::Fault fault)
{
    sim::SimOptions options;
    options.faults.push_back(fault);
    return options;
}

inline void SetLanguage(settings::SettingsStore& store, std::uint8_t language)
{
    store.Modify([language](settings::SysData& d) { d.SetLanguage(language); });
}

// What the job's failure said; empty while it runs or when it did not fail.
inline std::string ErrorOf(const DownloadJob& job)
{
    const std::optional<JobResult> result = job.Result();
    return result ? result->message : std::string();
}

}  // namespace korvane::firmware::test
