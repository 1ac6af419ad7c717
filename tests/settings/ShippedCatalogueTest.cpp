// The catalogue shipped beside the program holds every text the program asks for.
#include <gtest/gtest.h>

#include <string>

#include "base/SafeFormat.h"
#include "settings/TextCatalogue.h"

namespace korvane::settings {
namespace {

constexpr std::int32_t kIds[] = {0,  1,  11, 12, 20, 21, 22, 33, 40, 41,
                                 42, 43, 44, 45, 46, 47, 48, 49, 50};
constexpr std::uint8_t kLanguages[] = {0, 1, 2};

TEST(ShippedCatalogueTest, EveryIdHasATextInEveryLanguage)
{
    for (std::uint8_t language : kLanguages) {
        const TextCatalogue catalogue(KORVANE_SHIPPED_CATALOGUE, language);
        for (std::int32_t id : kIds) {
            EXPECT_NE(catalogue.GetText(TextCatalogue::kSection, id), "")
                << "language " << int{language} << " id " << id;
        }
        // The counter line shows its number; the filter is a complete list with .bin.
        EXPECT_NE(base::SafeFormat(catalogue.GetText("Pub", 1), 1234).find("1234"),
                  std::string::npos);
        const std::string filter = catalogue.GetText("Pub", 33);
        EXPECT_TRUE(filter.ends_with("||")) << filter;
        EXPECT_NE(filter.find("|*.bin|"), std::string::npos) << filter;
    }
}

TEST(ShippedCatalogueTest, ChineseCaptionsMatchTheDialogTemplate)
{
    const TextCatalogue catalogue(KORVANE_SHIPPED_CATALOGUE, 0);
    const char* const captions[] = {"通讯端口", "启动程序",     "用户程序", "状态",
                                    "就绪",     "开启端口",     "关闭端口", "浏览",
                                    "全面升级", "用户程序升级", "计数清零"};
    for (std::int32_t id = 40; id <= 50; ++id) {
        EXPECT_EQ(catalogue.GetText("Pub", id), captions[id - 40]) << id;
    }
}

}  // namespace
}  // namespace korvane::settings
