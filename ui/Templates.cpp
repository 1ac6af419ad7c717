// Templates 102 and 130 as tables: every control in template order (z-order)
// with its id, kind, caption, shown and enabled states, place and tab stop.
#include "ui/Templates.h"

#include "framework/ModalHost.h"
#include "ui/ControlIds.h"

namespace korvane::ui {

namespace {

using framework::ControlKind;
using framework::ControlTemplate;
using framework::DialogTemplate;
using framework::kNoId;

constexpr bool kShown = true;
constexpr bool kHidden = false;
constexpr bool kEnabled = true;
constexpr bool kDisabled = false;
constexpr bool kTab = true;
constexpr bool kNoTab = false;

constexpr ControlKind kButton = ControlKind::PushButton;
constexpr ControlKind kLeft = ControlKind::TextLeft;
constexpr ControlKind kCentre = ControlKind::TextCentre;
constexpr ControlKind kRight = ControlKind::TextRight;
constexpr ControlKind kEdit = ControlKind::Edit;

DialogTemplate BuildMainWindowTemplate()
{
    DialogTemplate t;
    t.id = 102;
    t.title = "QX-8驱动";
    t.width = 336;
    t.height = 259;
    t.fontFamily = kDialogFontFamily;
    t.pointSize = 9;
    t.sizingBorder = true;
    // Only the QX-8 driver group is shown; the other controls exist, hidden
    // and disabled, piled where the template puts them.
    t.controls = {
        {kIdPortList, ControlKind::DropDownList, "", kHidden, kDisabled, 71, 203, 48, 90, kTab},
        {kIdOpenPort, kButton, "开启端口", kHidden, kDisabled, 125, 207, 59, 21, kTab},
        {kIdClosePort, kButton, "关闭端口", kHidden, kDisabled, 210, 206, 59, 21, kTab},
        {kIdBrowseBoot, kButton, "浏览", kHidden, kDisabled, 250, 213, 50, 21, kTab},
        {kIdBrowseUser, kButton, "浏览", kHidden, kDisabled, 248, 209, 50, 21, kTab},
        {kIdFullUpgrade, kButton, "全面升级", kHidden, kDisabled, 123, 204, 75, 21, kTab},
        {kIdUserUpgrade, kButton, "用户程序升级", kHidden, kDisabled, 213, 207, 75, 21, kTab},
        {kIdStatus, kCentre, "就绪", kHidden, kDisabled, 118, 223, 124, 14, kNoTab},
        {kIdStatusLabel, kRight, "状态", kHidden, kDisabled, 21, 234, 47, 8, kNoTab},
        {kIdProgress, ControlKind::ProgressBar, "", kHidden, kDisabled, 81, 227, 218, 14, kNoTab},
        {kIdApnHeading, kCentre, "APN Setting", kHidden, kDisabled, 29, 223, 300, 8, kNoTab},
        {kIdBootLabel, kRight, "启动程序", kHidden, kDisabled, 22, 216, 47, 8, kNoTab},
        {kIdBootPath, kEdit, "", kHidden, kDisabled, 71, 209, 177, 14, kTab},
        {kIdUserLabel, kRight, "用户程序", kHidden, kDisabled, 29, 215, 47, 8, kNoTab},
        {kIdUserPath, kEdit, "", kHidden, kDisabled, 74, 204, 177, 14, kTab},
        {kIdPortLabel, kRight, "通讯端口", kHidden, kDisabled, 16, 211, 47, 8, kNoTab},
        {kIdSerialControl, ControlKind::SerialControl, "", kShown, kEnabled, 279, 22, 22, 22, kTab},
        {kIdCounter, kLeft, "Static", kHidden, kDisabled, 81, 209, 84, 8, kNoTab},
        {kIdClearCount, kButton, "计数清零", kHidden, kDisabled, 178, 210, 75, 21, kTab},
        {kIdBootCrc, kLeft, "CRC32：00000000", kHidden, kDisabled, 77, 217, 77, 8, kNoTab},
        {kIdUserCrc, kLeft, "CRC32：00000000", kHidden, kDisabled, 59, 211, 77, 8, kNoTab},
        {framework::IDCANCEL, kButton, "取消", kHidden, kEnabled, 279, 238, 50, 14, kTab},
        {framework::IDOK, ControlKind::DefPushButton, "确定", kHidden, kEnabled, 209, 238, 50, 14,
         kTab},
        {kIdWriteApn, kButton, "Write", kHidden, kDisabled, 279, 210, 50, 14, kTab},
        {kIdApnNameLabel, kLeft, "APN Name", kHidden, kDisabled, 147, 222, 34, 8, kNoTab},
        {kIdApnName, kEdit, "", kHidden, kDisabled, 189, 219, 51, 14, kTab},
        {kIdApnLabel, kLeft, "APN ", kHidden, kDisabled, 155, 222, 16, 8, kNoTab},
        {kIdApn, kEdit, "", kHidden, kDisabled, 179, 218, 51, 14, kTab},
        {kIdUserNameLabel, kLeft, "User Name", kHidden, kDisabled, 138, 205, 40, 8, kNoTab},
        {kIdApnUser, kEdit, "", kHidden, kDisabled, 162, 209, 51, 14, kTab},
        {kIdPasswordLabel, kLeft, "Password", kHidden, kDisabled, 130, 223, 30, 8, kNoTab},
        {kIdApnPassword, kEdit, "", kHidden, kDisabled, 153, 218, 51, 14, kTab},
        {kIdNumericLabel, kLeft, "Numeric", kHidden, kDisabled, 155, 211, 31, 8, kNoTab},
        {kIdApnNumeric, kEdit, "", kHidden, kDisabled, 171, 212, 51, 14, kTab},
        {kNoId, kLeft, "(Write MCC MNC)", kHidden, kDisabled, 201, 213, 55, 8, kNoTab},
        {kNoId, kLeft, "(Required field)", kHidden, kDisabled, 244, 222, 49, 8, kNoTab},
        {kNoId, kLeft, "(Required field)", kHidden, kDisabled, 234, 221, 49, 8, kNoTab},
        {kIdApnCommand, kLeft, "Static", kHidden, kDisabled, 27, 220, 302, 8, kNoTab},
        {kNoId, kLeft, "Install 32 bit drivers:", kHidden, kDisabled, 30, 40, 64, 8, kNoTab},
        {kNoId, kLeft, "Install 64 bit drivers:", kHidden, kDisabled, 34, 38, 64, 8, kNoTab},
        {kIdDriverK305M32, kButton, "32 bit", kHidden, kDisabled, 103, 38, 50, 14, kTab},
        {kIdDriverK305M64, kButton, "64 bit", kHidden, kDisabled, 108, 37, 50, 14, kTab},
        {kNoId, kLeft, "K305M Drivers", kHidden, kDisabled, 78, 14, 45, 8, kNoTab},
        {kNoId, kLeft, "Install 32 bit Drivers:", kShown, kEnabled, 109, 93, 64, 8, kNoTab},
        {kNoId, kLeft, "Install 64 bit Dribers:", kShown, kEnabled, 108, 118, 65, 8, kNoTab},
        {kIdDriverQx832, kButton, "32 bit", kShown, kEnabled, 182, 90, 50, 14, kTab},
        {kIdDriverQx864, kButton, "64 bit", kShown, kEnabled, 182, 114, 50, 14, kTab},
        {kNoId, kLeft, "QX-8 Drivers", kShown, kEnabled, 157, 66, 38, 8, kNoTab},
        {kNoId, ControlKind::GroupBox, "QX-8 Drivers", kShown, kEnabled, 95, 78, 156, 57, kNoTab},
        {kNoId, ControlKind::GroupBox, "K305M Drivers", kHidden, kDisabled, 16, 27, 152, 26,
         kNoTab},
    };
    return t;
}

// Where a service start puts a control of template 102, in dialog units. The
// template piles the hidden controls on each other; this is a usable layout:
// the firmware upgrade below the driver group, the APN fields to its right.
struct ServicePlace {
    int id;               // kNoId: the next control without an id that has `caption`
    const char* caption;  // only for controls without an id
    int x, y, width, height;
};

constexpr int kServiceWidth = 552;
constexpr int kServiceHeight = 300;
constexpr ServicePlace kServicePlaces[] = {
    // Firmware upgrade: port, two images with their CRCs, the jobs, counter, status.
    {kIdPortLabel, nullptr, 16, 157, 47, 8},
    {kIdPortList, nullptr, 68, 155, 60, 90},
    {kIdOpenPort, nullptr, 134, 154, 59, 14},
    {kIdClosePort, nullptr, 198, 154, 59, 14},
    {kIdBootLabel, nullptr, 16, 177, 47, 8},
    {kIdBootPath, nullptr, 68, 175, 186, 14},
    {kIdBrowseBoot, nullptr, 260, 175, 50, 14},
    {kIdBootCrc, nullptr, 68, 191, 120, 8},
    {kIdUserLabel, nullptr, 16, 205, 47, 8},
    {kIdUserPath, nullptr, 68, 203, 186, 14},
    {kIdBrowseUser, nullptr, 260, 203, 50, 14},
    {kIdUserCrc, nullptr, 68, 219, 120, 8},
    {kIdFullUpgrade, nullptr, 68, 232, 75, 14},
    {kIdUserUpgrade, nullptr, 148, 232, 75, 14},
    {kIdClearCount, nullptr, 228, 232, 82, 14},
    {kIdCounter, nullptr, 68, 250, 242, 8},
    {kIdStatusLabel, nullptr, 16, 264, 47, 8},
    {kIdStatus, nullptr, 68, 264, 242, 8},
    {kIdProgress, nullptr, 68, 278, 242, 10},
    // APN provisioning.
    {kIdApnHeading, nullptr, 340, 14, 190, 8},
    {kIdApnNameLabel, nullptr, 340, 34, 45, 8},
    {kIdApnName, nullptr, 390, 32, 90, 14},
    {kNoId, "(Required field)", 484, 34, 52, 8},
    {kIdApnLabel, nullptr, 340, 54, 45, 8},
    {kIdApn, nullptr, 390, 52, 90, 14},
    {kNoId, "(Required field)", 484, 54, 52, 8},
    {kIdUserNameLabel, nullptr, 340, 74, 45, 8},
    {kIdApnUser, nullptr, 390, 72, 90, 14},
    {kIdPasswordLabel, nullptr, 340, 94, 45, 8},
    {kIdApnPassword, nullptr, 390, 92, 90, 14},
    {kIdNumericLabel, nullptr, 340, 114, 45, 8},
    {kIdApnNumeric, nullptr, 390, 112, 90, 14},
    {kNoId, "(Write MCC MNC)", 484, 114, 55, 8},
    {kIdWriteApn, nullptr, 390, 134, 50, 14},
    {kIdApnCommand, nullptr, 340, 156, 190, 48},
};

DialogTemplate BuildServiceWindowTemplate()
{
    DialogTemplate t = MainWindowTemplate();
    t.width = kServiceWidth;
    t.height = kServiceHeight;
    std::vector<bool> placed(t.controls.size(), false);
    for (const ServicePlace& place : kServicePlaces) {
        for (std::size_t i = 0; i < t.controls.size(); ++i) {
            ControlTemplate& control = t.controls[i];
            const bool match = place.id != kNoId ? control.id == place.id
                                                 : control.id == kNoId && !placed[i] &&
                                                       control.caption == place.caption;
            if (!match) continue;
            control.shown = kShown;
            control.enabled = kEnabled;
            control.x = place.x;
            control.y = place.y;
            control.width = place.width;
            control.height = place.height;
            placed[i] = true;
            break;
        }
    }
    return t;
}

DialogTemplate BuildPrecautionsTemplate()
{
    DialogTemplate t;
    t.id = 130;
    t.title = "";
    t.width = 381;
    t.height = 256;
    t.fontFamily = kDialogFontFamily;
    t.pointSize = 16;
    t.sizingBorder = false;
    t.controls = {
        {kNoId, kLeft, "Please read the precautions before installing this driver: ", kShown,
         kEnabled, 23, 7, 269, 18, kNoTab},
        {kNoId, kLeft,
         "1. Please run this USB installer by \"Administration Permissions\"\uFF08As picture "
         "1\uFF09 when the driver is installed. Or the installation may not be successful.  ",
         kShown, kEnabled, 24, 18, 327, 22, kNoTab},
        {kNoId, kLeft,
         "2. Please choose to install the corresponding driver according to the model name of "
         "two way radio during installation. ",
         kShown, kEnabled, 24, 35, 325, 25, kNoTab},
        {kNoId, kLeft,
         "3. In case of QX-8, after the QX-8 USB driver installation is completed, the speaker "
         "microphone of mobile radio must be removed from the radio when progamming. (As picture "
         "2) ",
         kShown, kEnabled, 24, 52, 326, 19, kNoTab},
        {kNoId, kLeft,
         "4. After the driver installation completed, the QX-8 machine needs to be restarted, for "
         "the computer re-identified the two way radio.",
         kShown, kEnabled, 24, 69, 320, 17, kNoTab},
        {kNoId, kLeft, "As picture 1", kShown, kEnabled, 51, 124, 46, 8, kNoTab},
        {kNoId, kLeft, "As picture 2", kShown, kEnabled, 228, 123, 45, 8, kNoTab},
        {kIdPicture2, ControlKind::Picture, kPicture2Resource, kShown, kEnabled, 162, 133, 182, 117,
         kNoTab},
        {kNoId, kLeft,
         "Note: after reading, closing this interface will pop up the driver installation "
         "interface.",
         kShown, kEnabled, 131, 105, 184, 16, kNoTab},
        {kNoId, kLeft,
         "5. When running the CPS (programming software), please run the program with "
         "\"Administration Rights\"\uFF08As picture 1\uFF09. ",
         kShown, kEnabled, 24, 87, 326, 18, kNoTab},
        {kIdPicture1, ControlKind::Picture, kPicture1Resource, kShown, kEnabled, 27, 134, 105, 64,
         kNoTab},
    };
    return t;
}

}  // namespace

const DialogTemplate& MainWindowTemplate()
{
    static const DialogTemplate t = BuildMainWindowTemplate();
    return t;
}

const DialogTemplate& ServiceWindowTemplate()
{
    static const DialogTemplate t = BuildServiceWindowTemplate();
    return t;
}

const DialogTemplate& PrecautionsTemplate()
{
    static const DialogTemplate t = BuildPrecautionsTemplate();
    return t;
}

}  // namespace korvane::ui
