// Status lines exactly as the radio bench has always shown them; the
// full-width marks (U+FF01, U+3002) are part of the texts.
#include "firmware/StatusText.h"

namespace korvane::firmware {

namespace {

struct StatusPair {
    std::string_view english;
    std::string_view chinese;
};

StatusPair Texts(StatusId id)
{
    switch (id) {
        case StatusId::BootDownloading:
            return {"BOOT download...", "BOOT下载中。。。"};
        case StatusId::BootCompleted:
            return {"BOOT download completed!", "BOOT下载完成！"};
        case StatusId::UserStart:
            return {"User program download start!", "开启用户程序下载！"};
        case StatusId::UserDownloading:
            return {"User program download...", "用户程序下载中。。。"};
        case StatusId::UserCompleted:
            return {"User program download completed！", "用户程序下载完成！"};
        case StatusId::Error:
            return {"Error！", "出错了！"};
    }
    return {"Error！", "出错了！"};
}

}  // namespace

std::string_view StatusText(StatusId id, std::uint8_t language)
{
    const StatusPair pair = Texts(id);
    return language == kLanguageEnglish ? pair.english : pair.chinese;
}

}  // namespace korvane::firmware
