// Ids of the command line's own texts in Txt.ini (each module keeps to its
// range, see settings/OwnText.h); the English text is written where it is used.
#pragma once

#include <cstdint>
#include <string_view>

#include "settings/OwnText.h"

namespace korvane::cli {

constexpr std::int32_t CliText(std::int32_t offset)
{
    return settings::kOwnTextCli + offset;
}

// The chip's identity and `korvane info`, in the command line's second range.
constexpr std::int32_t CliChipText(std::int32_t offset)
{
    return settings::kOwnTextCliChip + offset;
}

// `korvane station`, in its own range.
constexpr std::int32_t StationText(std::int32_t offset)
{
    return settings::kOwnTextStation + offset;
}

// `korvane history` and the history lines of flash, after the history module's
// own texts in the history's range.
constexpr std::int32_t CliHistoryText(std::int32_t offset)
{
    return settings::kOwnTextHistory + offset;
}

// The help of the program and of each command, in its own range.
constexpr std::int32_t CliHelpText(std::int32_t offset)
{
    return settings::kOwnTextCliHelp + offset;
}

// A piece of the help: its id and its English. Txt.ini keeps each text on one
// line, so a line break in a catalogue's help text is written "\n"; the
// English built in has its line breaks as they are.
struct HelpWording {
    std::int32_t id = 0;
    std::string_view english;  // empty: no text of its own
};

// In the tables that declare the help's texts.
constexpr HelpWording Wording(std::int32_t id, std::string_view english)
{
    return {id, english};
}

// Arguments.
constexpr std::int32_t kTextNoCommand = CliText(0);
constexpr std::int32_t kTextUnknownCommand = CliText(1);
constexpr std::int32_t kTextUnknownOption = CliText(2);
constexpr std::int32_t kTextUnexpectedArgument = CliText(3);
constexpr std::int32_t kTextVersionAlone = CliText(4);
constexpr std::int32_t kTextTakesNoValue = CliText(5);
constexpr std::int32_t kTextNeedsValue = CliText(6);
constexpr std::int32_t kTextGivenTwice = CliText(7);
constexpr std::int32_t kTextBadArguments = CliText(8);
constexpr std::int32_t kTextPortEmpty = CliText(9);
constexpr std::int32_t kTextNoPortNumber = CliText(10);
constexpr std::int32_t kTextMissingPort = CliText(11);
constexpr std::int32_t kTextMissingUser = CliText(12);
constexpr std::int32_t kTextAllAlone = CliText(13);
constexpr std::int32_t kTextPortTwice = CliText(14);
constexpr std::int32_t kTextEmptyImagePath = CliText(15);
constexpr std::int32_t kTextMissingName = CliText(16);
constexpr std::int32_t kTextNoFile = CliText(17);
constexpr std::int32_t kTextHelpHint = CliText(18);

// ports, crc, counter, the program itself.
constexpr std::int32_t kTextListPortsFailed = CliText(20);
constexpr std::int32_t kTextNoPorts = CliText(21);
constexpr std::int32_t kTextImageHint = CliText(22);
constexpr std::int32_t kTextCounterNotSaved = CliText(24);
constexpr std::int32_t kTextCounterNotSavedHint = CliText(25);
constexpr std::int32_t kTextUnexpectedFailure = CliText(26);
constexpr std::int32_t kTextReportThis = CliText(27);
constexpr std::int32_t kTextWarning = CliText(28);
constexpr std::int32_t kTextFullStop = CliText(29);

// flash: how a job ended and what to try.
constexpr std::int32_t kTextStopped = CliText(40);
constexpr std::int32_t kTextPortLostAt = CliText(41);
constexpr std::int32_t kTextFailedAt = CliText(42);
constexpr std::int32_t kTextNoReason = CliText(43);
constexpr std::int32_t kTextCompleted = CliText(44);
constexpr std::int32_t kTextCompletedBoot = CliText(45);
constexpr std::int32_t kTextHintRefusedRom = CliText(46);
constexpr std::int32_t kTextHintRefusedLoader = CliText(47);
constexpr std::int32_t kTextHintPortLost = CliText(48);
constexpr std::int32_t kTextHintStopped = CliText(49);
constexpr std::int32_t kTextHintOther = CliText(50);
constexpr std::int32_t kTextHintListPorts = CliText(51);
constexpr std::int32_t kTextHintCheckCable = CliText(52);
constexpr std::int32_t kTextNoPortsForAll = CliText(53);

// flash on several radios.
constexpr std::int32_t kTextAllSucceeded = CliText(60);
constexpr std::int32_t kTextSomeFailed = CliText(61);
constexpr std::int32_t kTextDoneIn = CliText(62);
constexpr std::int32_t kTextEndedAt = CliText(63);
constexpr std::int32_t kTextVerifyNeedsBoot = CliText(64);
constexpr std::int32_t kTextVerified = CliText(65);

// Output that could not be written, names that cannot be used, limits.
constexpr std::int32_t kTextStandardOutput = CliText(80);
constexpr std::int32_t kTextStandardError = CliText(81);
constexpr std::int32_t kTextOutputLost = CliText(82);
constexpr std::int32_t kTextOutputLostHint = CliText(83);
constexpr std::int32_t kTextOutputClosed = CliText(84);
constexpr std::int32_t kTextImageEmpty = CliText(85);
constexpr std::int32_t kTextSameDevice = CliText(86);
constexpr std::int32_t kTextPortSettingsRefused = CliText(87);
constexpr std::int32_t kTextHintChooseAdapter = CliText(88);
constexpr std::int32_t kTextCounterAtLimit = CliText(89);
constexpr std::int32_t kTextFailedWhere = CliText(90);

// The chip a radio carries (flash, info).
constexpr std::int32_t kTextChipLine = CliChipText(0);
constexpr std::int32_t kTextInfoPart = CliChipText(1);
constexpr std::int32_t kTextInfoCommands = CliChipText(2);
constexpr std::int32_t kTextInfoProtection = CliChipText(3);
constexpr std::int32_t kTextInfoProtected = CliChipText(4);
constexpr std::int32_t kTextInfoNotProtected = CliChipText(5);
constexpr std::int32_t kTextInfoFlashSize = CliChipText(6);
constexpr std::int32_t kTextInfoUid = CliChipText(7);
constexpr std::int32_t kTextInfoUnknown = CliChipText(8);
constexpr std::int32_t kTextChipBootloader = CliChipText(9);
constexpr std::int32_t kTextInfoNotServed = CliChipText(10);
constexpr std::int32_t kTextInfoStopped = CliChipText(11);
constexpr std::int32_t kTextChipUid = CliChipText(12);

// The station: its arguments, what it watches, each port's events, the totals.
constexpr std::int32_t kTextStationUsbOrAll = StationText(0);
constexpr std::int32_t kTextStationBadVidPid = StationText(1);
constexpr std::int32_t kTextStationWatchAlone = StationText(2);
constexpr std::int32_t kTextStationBadMaxJobs = StationText(3);
constexpr std::int32_t kTextStationWatching = StationText(10);
constexpr std::int32_t kTextStationUsbPorts = StationText(11);
constexpr std::int32_t kTextStationAllPorts = StationText(12);
constexpr std::int32_t kTextStationFilters = StationText(13);
constexpr std::int32_t kTextStationFull = StationText(14);
constexpr std::int32_t kTextStationUserOnly = StationText(15);
constexpr std::int32_t kTextStationEndsAfter = StationText(16);
constexpr std::int32_t kTextStationHistoryIn = StationText(17);
constexpr std::int32_t kTextStationPlugged = StationText(20);
constexpr std::int32_t kTextStationUnplugged = StationText(21);
constexpr std::int32_t kTextStationFlapping = StationText(22);
constexpr std::int32_t kTextStationUnplug = StationText(23);
constexpr std::int32_t kTextStationOpening = StationText(24);
constexpr std::int32_t kTextStationHeld = StationText(25);
constexpr std::int32_t kTextStationTotals = StationText(30);
constexpr std::int32_t kTextStationSession = StationText(31);
constexpr std::int32_t kTextStationStopping = StationText(32);
constexpr std::int32_t kTextStationListFailed = StationText(33);
constexpr std::int32_t kTextStationJoin = StationText(34);
// The history: its arguments, its lines, what was found.
constexpr std::int32_t kTextBadSince = CliHistoryText(6);
constexpr std::int32_t kTextHistoryPathEmpty = CliHistoryText(7);
constexpr std::int32_t kTextHistoryJob = CliHistoryText(8);
constexpr std::int32_t kTextHistoryImagesFull = CliHistoryText(9);
constexpr std::int32_t kTextHistoryImagesUser = CliHistoryText(10);
constexpr std::int32_t kTextHistoryCount = CliHistoryText(11);
constexpr std::int32_t kTextHistoryCountSkipped = CliHistoryText(12);
constexpr std::int32_t kTextHistoryNoneForRadio = CliHistoryText(13);
constexpr std::int32_t kTextHistoryNone = CliHistoryText(14);
constexpr std::int32_t kTextHistorySkipped = CliHistoryText(15);
constexpr std::int32_t kTextHistoryReadHint = CliHistoryText(16);
constexpr std::int32_t kTextHistoryNoneSince = CliHistoryText(17);

// The help: headings, the program's own help, each command's text before and
// after its options, the options, the exit statuses.
constexpr std::int32_t kTextHelpUsage = CliHelpText(0);
constexpr std::int32_t kTextHelpOptions = CliHelpText(1);
constexpr std::int32_t kTextHelpCommands = CliHelpText(2);
constexpr std::int32_t kTextHelpExitStatus = CliHelpText(3);
constexpr std::int32_t kTextHelpProgram = CliHelpText(4);
constexpr std::int32_t kTextHelpProgramNotes = CliHelpText(5);
constexpr std::int32_t kTextHelpOptionHelp = CliHelpText(6);
constexpr std::int32_t kTextHelpOptionVersion = CliHelpText(7);
constexpr std::int32_t kTextHelpCommandPorts = CliHelpText(8);
constexpr std::int32_t kTextHelpCommandFlash = CliHelpText(9);
constexpr std::int32_t kTextHelpCommandInfo = CliHelpText(10);
constexpr std::int32_t kTextHelpCommandCrc = CliHelpText(11);
constexpr std::int32_t kTextHelpCommandApn = CliHelpText(12);
constexpr std::int32_t kTextHelpCommandCounter = CliHelpText(13);
constexpr std::int32_t kTextHelpCommandStation = CliHelpText(14);
constexpr std::int32_t kTextHelpCommandHistory = CliHelpText(15);
constexpr std::int32_t kTextHelpPorts = CliHelpText(16);
constexpr std::int32_t kTextHelpCrc = CliHelpText(17);
constexpr std::int32_t kTextHelpFlash = CliHelpText(18);
constexpr std::int32_t kTextHelpFlashAfter = CliHelpText(19);
constexpr std::int32_t kTextHelpStation = CliHelpText(20);
constexpr std::int32_t kTextHelpStationAfter = CliHelpText(21);
constexpr std::int32_t kTextHelpInfo = CliHelpText(22);
constexpr std::int32_t kTextHelpInfoAfter = CliHelpText(23);
constexpr std::int32_t kTextHelpApn = CliHelpText(24);
constexpr std::int32_t kTextHelpApnAfter = CliHelpText(25);
constexpr std::int32_t kTextHelpCounter = CliHelpText(26);
constexpr std::int32_t kTextHelpCounterAfter = CliHelpText(27);
constexpr std::int32_t kTextHelpHistory = CliHelpText(28);
constexpr std::int32_t kTextHelpHistoryAfter = CliHelpText(29);
constexpr std::int32_t kTextHelpFlashPort = CliHelpText(30);
constexpr std::int32_t kTextHelpFlashBoot = CliHelpText(31);
constexpr std::int32_t kTextHelpFlashUser = CliHelpText(32);
constexpr std::int32_t kTextHelpFlashVerify = CliHelpText(33);
constexpr std::int32_t kTextHelpFlashExactTiming = CliHelpText(34);
constexpr std::int32_t kTextHelpFlashJson = CliHelpText(35);
constexpr std::int32_t kTextHelpFlashHistory = CliHelpText(36);
constexpr std::int32_t kTextHelpStationImages = CliHelpText(37);
constexpr std::int32_t kTextHelpStationOnlyUsb = CliHelpText(38);
constexpr std::int32_t kTextHelpStationAllPorts = CliHelpText(39);
constexpr std::int32_t kTextHelpStationVidPid = CliHelpText(40);
constexpr std::int32_t kTextHelpStationLocation = CliHelpText(41);
constexpr std::int32_t kTextHelpStationWatch = CliHelpText(42);
constexpr std::int32_t kTextHelpStationHistory = CliHelpText(43);
constexpr std::int32_t kTextHelpStationQuiet = CliHelpText(44);
constexpr std::int32_t kTextHelpStationMaxJobs = CliHelpText(45);
constexpr std::int32_t kTextHelpInfoPort = CliHelpText(46);
constexpr std::int32_t kTextHelpInfoJson = CliHelpText(47);
constexpr std::int32_t kTextHelpApnName = CliHelpText(48);
constexpr std::int32_t kTextHelpApnApn = CliHelpText(49);
constexpr std::int32_t kTextHelpApnUser = CliHelpText(50);
constexpr std::int32_t kTextHelpApnPassword = CliHelpText(51);
constexpr std::int32_t kTextHelpApnNumeric = CliHelpText(52);
constexpr std::int32_t kTextHelpCounterClear = CliHelpText(53);
constexpr std::int32_t kTextHelpHistoryUid = CliHelpText(54);
constexpr std::int32_t kTextHelpHistorySince = CliHelpText(55);
constexpr std::int32_t kTextHelpHistoryJson = CliHelpText(56);
constexpr std::int32_t kTextHelpHistoryFile = CliHelpText(57);
constexpr std::int32_t kTextHelpExitSuccess = CliHelpText(58);
constexpr std::int32_t kTextHelpExitFailed = CliHelpText(59);
constexpr std::int32_t kTextHelpExitUsage = CliHelpText(60);
constexpr std::int32_t kTextHelpExitPort = CliHelpText(61);
constexpr std::int32_t kTextHelpExitOutput = CliHelpText(62);
constexpr std::int32_t kTextHelpExitHangUp = CliHelpText(63);
constexpr std::int32_t kTextHelpExitInterrupt = CliHelpText(64);
constexpr std::int32_t kTextHelpExitTerminate = CliHelpText(65);

}  // namespace korvane::cli
