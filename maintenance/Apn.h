// APN provisioning: five fields sent to the radio as an Android broadcast
// through adb, run as a process with an argument vector (no local shell).
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "maintenance/Process.h"

namespace korvane::maintenance {

struct ApnFields {
    std::string name;  // always sent, also when empty
    std::string apn;   // the others only when not empty
    std::string user;
    std::string password;
    std::string numeric;  // MCC followed by MNC
};

struct ApnCommand {
    std::vector<std::string>
        argv;  // adb, shell, am, broadcast, -a, ACTION, --es, name, 'value', ...
    // The command as a person would type it into a shell, e.g.
    //   adb shell "am broadcast -a ACTION --es name 'internet' --es apn 'web'"
    // Typed into a POSIX shell it runs exactly `argv`.
    std::string displayUpToName;  // up to and including the name extra
    std::string display;          // the whole command
};

// The APN-writing broadcast action, fixed at build time.
std::string ApnAction();

// Quotes a value for the radio's shell: single quotes, a quote inside as '\''.
std::string QuoteForRemoteShell(const std::string& value);

// How long adb may take. A broadcast takes a second or two, the first run of
// the day a few more while adb starts its server; an adb that waits for a
// device nobody has authorised, or for a stuck server, never returns by itself.
inline constexpr std::chrono::milliseconds kAdbTimeLimit{30'000};

// Blanks at both ends of every field are dropped before the command is built
// (inner blanks stay, quoted); a field of blanks only counts as empty.
// `adb` is the adb beside the executable when there is one, otherwise "adb" (PATH).
ApnCommand BuildApnCommand(const ApnFields& fields, const std::string& adb = "adb");

// The adb beside the executable (exeDir/adb, adb.exe on Windows) when there is
// one, otherwise "adb", which the system finds on PATH.
std::string FindAdb(const std::filesystem::path& exeDir);

// Runs a built command as a process (no local shell) in the executable's
// directory, its output captured for a message when it fails, and waits at
// most `limits.timeLimit` (kAdbTimeLimit when zero).
ProcessResult RunApnCommand(const ApnCommand& command, const std::filesystem::path& exeDir,
                            RunLimits limits = {});

// Finds adb, builds the command and runs it in the executable's directory.
ProcessResult WriteApn(const std::filesystem::path& exeDir, const ApnFields& fields,
                       RunLimits limits = {});

// adb's own exit status says only that adb could talk to a device: a radio
// whose shell lacks `am`, or whose Android refuses the broadcast, still ends
// with 0. The broadcast was delivered only when adb succeeded and the radio's
// `am` answered, on a line of its own, that the broadcast completed.
bool ApnDelivered(const ProcessResult& result);

// The longest part of the radio's answer a message quotes, in characters.
inline constexpr std::size_t kAnswerQuoteLimit = 200;

// The radio's answer as one line fit to quote on a terminal or in a message
// box: blanks trimmed, line breaks shown as " / ", control characters and bytes
// that are no UTF-8 escaped (\x1b), cut after kAnswerQuoteLimit characters
// with "...".
std::string QuotedAnswer(const std::string& output);

// One sentence on how an APN run that was not delivered ended: adb's own
// ending (DescribeEnding) when adb failed, otherwise that the radio did not
// confirm the broadcast, quoting its answer. In the user's language.
std::string DescribeApnEnding(const ProcessResult& result);

// What a technician should check after a run that was not delivered (adb not
// started, out of time, failed, or the radio's refusal), in the user's
// language; empty after a delivered broadcast or a stop.
std::string AdbHint(const ProcessResult& result);

}  // namespace korvane::maintenance
