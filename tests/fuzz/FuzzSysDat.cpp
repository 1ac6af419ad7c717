// Sys.dat as any file may hold it: shorter or longer than the record, any
// bytes. Loading never fails, a count raised and saved reads back one higher
// (or held at its largest value), and nothing else of the record moves.
#include <cstdint>
#include <limits>
#include <string_view>

#include "settings/SettingsStore.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using korvane::settings::SettingsStore;
    const auto path = korvane::fuzz::ScratchDir() / "Sys.dat";
    korvane::fuzz::WriteFile(path, std::string_view(reinterpret_cast<const char*>(data), size));

    SettingsStore store(path);
    const auto before = store.Snapshot();
    const auto change = store.IncrementUpgradeCount();
    if (!change.saved) return 0;
    const auto after = SettingsStore(path).Snapshot();
    const std::int32_t count = before.UpgradeCount();
    const std::int32_t expected =
        count == std::numeric_limits<std::int32_t>::max() ? count : count + 1;
    KORVANE_FUZZ_CHECK(change.count == expected);
    KORVANE_FUZZ_CHECK(after.UpgradeCount() == expected);
    KORVANE_FUZZ_CHECK(after.Language() == before.Language());
    KORVANE_FUZZ_CHECK(after.ComIndex() == before.ComIndex());
    for (std::size_t i = 0; i < before.Bytes().size(); ++i) {
        if (i >= 38 && i < 42) continue;  // the count's four bytes
        KORVANE_FUZZ_CHECK(after.Bytes()[i] == before.Bytes()[i]);
    }
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    return 0;
}
