// Control ids of the main window (template 102) and of the precautions form (template 130).
#pragma once

namespace korvane::ui {

constexpr int kIdBrowseBoot = 1000;
constexpr int kIdBootPath = 1001;
constexpr int kIdBrowseUser = 1002;
constexpr int kIdUserPath = 1003;
constexpr int kIdFullUpgrade = 1004;
constexpr int kIdProgress = 1005;
constexpr int kIdPortList = 1006;
constexpr int kIdOpenPort = 1007;
constexpr int kIdSerialControl = 1008;
constexpr int kIdUserUpgrade = 1009;
constexpr int kIdClosePort = 1010;
constexpr int kIdStatus = 1011;
constexpr int kIdStatusLabel = 1012;
constexpr int kIdClearCount = 1013;
constexpr int kIdCounter = 1014;
constexpr int kIdBootCrc = 1015;
constexpr int kIdUserCrc = 1016;
constexpr int kIdApnHeading = 1017;
constexpr int kIdPortLabel = 1018;
constexpr int kIdBootLabel = 1019;
constexpr int kIdUserLabel = 1020;
constexpr int kIdWriteApn = 1023;
constexpr int kIdApnName = 1024;
constexpr int kIdApn = 1025;
constexpr int kIdApnUser = 1026;
constexpr int kIdApnPassword = 1027;
constexpr int kIdApnNumeric = 1028;
constexpr int kIdPasswordLabel = 1029;
constexpr int kIdNumericLabel = 1030;
constexpr int kIdApnNameLabel = 1031;
constexpr int kIdApnLabel = 1032;
constexpr int kIdUserNameLabel = 1033;
constexpr int kIdApnCommand = 1037;
constexpr int kIdDriverK305M32 = 1038;
constexpr int kIdDriverK305M64 = 1039;
constexpr int kIdDriverQx832 = 1040;
constexpr int kIdDriverQx864 = 1041;

// Precautions form.
constexpr int kIdPicture2 = 1044;
constexpr int kIdPicture1 = 1046;

}  // namespace korvane::ui
