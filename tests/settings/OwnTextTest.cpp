// The program's own texts: read once from the chosen catalogue, in its language,
// with the English fallback, from any thread.
#include "settings/OwnText.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/settings/TempDir.h"

namespace korvane::settings {
namespace {

using test::TempDir;
using test::WriteBytes;

class OwnTextTest : public ::testing::Test {
protected:
    void TearDown() override { UseBuiltInTexts(); }
    TempDir m_dir;
};

TEST_F(OwnTextTest, TheCatalogueIsReadWhenChosenAndAgainOnlyWhenAsked)
{
    const auto path = m_dir / "Txt.ini";
    WriteBytes(path, "[Pub]\n000201=端口 {0}\n100201=port {0}\n800201=\n");
    UseOwnTextCatalogue(path, 0);
    EXPECT_EQ(OwnText(201, "the port {0}", {"COM3"}), "端口 COM3");
    EXPECT_EQ(OwnText(202, "not in it"), "not in it");
    EXPECT_EQ(OwnTextLanguage(), 0);

    WriteBytes(path, "[Pub]\n000201=串口 {0}\n");
    EXPECT_EQ(OwnText(201, "the port {0}", {"COM3"}), "端口 COM3") << "read once";
    ReloadOwnTextCatalogue();
    EXPECT_EQ(OwnText(201, "the port {0}", {"COM3"}), "串口 COM3");

    UseOwnTextCatalogue(path, 2);  // an empty text falls back, as a missing one does
    EXPECT_EQ(OwnText(201, "the port"), "the port");
    std::filesystem::remove(path);
    ReloadOwnTextCatalogue();
    EXPECT_EQ(OwnText(201, "the port"), "the port");
    EXPECT_EQ(OwnTextLanguage(), 2);

    UseBuiltInTexts();
    WriteBytes(path, "[Pub]\n000201=端口\n");
    ReloadOwnTextCatalogue();
    EXPECT_EQ(OwnText(201, "the port"), "the port") << "built-in texts stay chosen";
    EXPECT_EQ(OwnTextLanguage(), std::nullopt);
}

// Workers look texts up while the dialog switches the language; each lookup
// gives the text of one catalogue or the other, never a torn or freed one.
TEST_F(OwnTextTest, LookupsFromWorkersWhileTheCatalogueChanges)
{
    const auto path = m_dir / "Txt.ini";
    WriteBytes(path, "[Pub]\n000201=端口\n100201=port\n");
    UseOwnTextCatalogue(path, 0);
    std::atomic<bool> stop{false};
    std::atomic<int> odd{0};
    std::vector<std::jthread> workers;
    for (int i = 0; i < 3; ++i) {
        workers.emplace_back([&] {
            while (!stop) {
                const std::string text = OwnText(201, "fallback");
                if (text != "端口" && text != "port" && text != "fallback") ++odd;
            }
        });
    }
    for (int i = 0; i < 200; ++i) {
        if (i % 3 == 0) UseBuiltInTexts();
        UseOwnTextCatalogue(path, static_cast<std::uint8_t>(i % 2));
        ReloadOwnTextCatalogue();
    }
    stop = true;
    workers.clear();
    EXPECT_EQ(odd, 0);
}

}  // namespace
}  // namespace korvane::settings
