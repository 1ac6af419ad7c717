// Ids of the firmware module's own texts in Txt.ini (range 250-299): image
// errors, stage failures, job messages and their hints. The English text of
// each is built in where it is used.
#pragma once

#include <cstdint>

#include "settings/OwnText.h"

namespace korvane::firmware {

constexpr std::int32_t kTextCounterNotSaved = settings::kOwnTextFirmware + 0;
constexpr std::int32_t kTextPortClosedAfterEndFrame = settings::kOwnTextFirmware + 1;
constexpr std::int32_t kTextStoppedDuringEndFrame = settings::kOwnTextFirmware + 2;
constexpr std::int32_t kTextJobStopped = settings::kOwnTextFirmware + 3;
constexpr std::int32_t kHintJobStopped = settings::kOwnTextFirmware + 4;
constexpr std::int32_t kTextImageIsFolder = settings::kOwnTextFirmware + 5;
constexpr std::int32_t kTextImageNotRegular = settings::kOwnTextFirmware + 6;
constexpr std::int32_t kTextImageCannotOpen = settings::kOwnTextFirmware + 7;
constexpr std::int32_t kTextImageCannotRead = settings::kOwnTextFirmware + 8;
constexpr std::int32_t kTextImageTooLarge = settings::kOwnTextFirmware + 9;
constexpr std::int32_t kTextBootBytesTooLarge = settings::kOwnTextFirmware + 10;
constexpr std::int32_t kTextUserBytesTooLarge = settings::kOwnTextFirmware + 11;
constexpr std::int32_t kHintImageUnreadable = settings::kOwnTextFirmware + 12;
constexpr std::int32_t kHintImageTooLarge = settings::kOwnTextFirmware + 13;
constexpr std::int32_t kHintPortLost = settings::kOwnTextFirmware + 14;
constexpr std::int32_t kTextUnexpected = settings::kOwnTextFirmware + 15;
constexpr std::int32_t kTextUnknownPart = settings::kOwnTextFirmware + 16;
constexpr std::int32_t kTextMalformedReply = settings::kOwnTextFirmware + 17;
constexpr std::int32_t kTextEraseRefused = settings::kOwnTextFirmware + 18;
constexpr std::int32_t kHintEraseRefused = settings::kOwnTextFirmware + 19;

constexpr std::int32_t kHintLoader = settings::kOwnTextFirmware + 20;
constexpr std::int32_t kHintBootloader = settings::kOwnTextFirmware + 21;
constexpr std::int32_t kTextLoaderNoG = settings::kOwnTextFirmware + 22;
constexpr std::int32_t kTextLoaderHelloSilent = settings::kOwnTextFirmware + 23;
constexpr std::int32_t kTextLoaderHelloWrong = settings::kOwnTextFirmware + 24;
constexpr std::int32_t kTextLoaderBlockSilent = settings::kOwnTextFirmware + 25;
constexpr std::int32_t kTextLoaderBlockRefused = settings::kOwnTextFirmware + 26;
constexpr std::int32_t kTextLoaderBlockChecksum = settings::kOwnTextFirmware + 27;
constexpr std::int32_t kTextRomSync = settings::kOwnTextFirmware + 28;
constexpr std::int32_t kTextRomSilent = settings::kOwnTextFirmware + 29;
constexpr std::int32_t kTextRomNack = settings::kOwnTextFirmware + 30;
constexpr std::int32_t kTextRomOther = settings::kOwnTextFirmware + 31;
constexpr std::int32_t kHintBlockRefused = settings::kOwnTextFirmware + 32;

// Names of the bootloader's steps in failure messages, and the ROM stage's own failures.
constexpr std::int32_t kTextSyncAfter = settings::kOwnTextFirmware + 33;
constexpr std::int32_t kTextSecondAck = settings::kOwnTextFirmware + 34;
constexpr std::int32_t kTextGlobalErase = settings::kOwnTextFirmware + 35;
constexpr std::int32_t kTextReadAddress = settings::kOwnTextFirmware + 36;
constexpr std::int32_t kTextReadLength = settings::kOwnTextFirmware + 37;
constexpr std::int32_t kTextWriteAddress = settings::kOwnTextFirmware + 38;
constexpr std::int32_t kTextDataFrame = settings::kOwnTextFirmware + 39;
constexpr std::int32_t kTextNotBack = settings::kOwnTextFirmware + 40;
constexpr std::int32_t kTextNotBackHint = settings::kOwnTextFirmware + 41;
constexpr std::int32_t kTextVerifyMismatch = settings::kOwnTextFirmware + 42;
constexpr std::int32_t kTextVerifyHint = settings::kOwnTextFirmware + 43;
constexpr std::int32_t kTextGoAddress = settings::kOwnTextFirmware + 44;
constexpr std::int32_t kTextDataFrameAt = settings::kOwnTextFirmware + 45;

}  // namespace korvane::firmware
