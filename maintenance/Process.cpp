// The platform-independent parts of launching programs: the one description of
// how a run ended, and the Windows command-line quoting (kept here so it is tested everywhere).
#include "maintenance/Process.h"

#include <chrono>

#include "settings/OwnText.h"

namespace korvane::maintenance {
namespace {

using settings::kOwnTextMaintenance;

// Text of a program's output worth showing: without the blank lines and
// blanks around it.
std::string TrimmedOutput(const std::string& output)
{
    constexpr std::string_view kBlanks = " \t\r\n";
    const auto first = output.find_first_not_of(kBlanks);
    if (first == std::string::npos) {
        return {};
    }
    const auto last = output.find_last_not_of(kBlanks);
    return output.substr(first, last - first + 1);
}

bool NeedsWindowsQuotes(const std::wstring& arg)
{
    return arg.empty() || arg.find_first_of(L" \t\n\v\"") != std::wstring::npos;
}

// Quotes one argument so that the C runtime's splitter gives it back unchanged:
// backslashes are literal except before a quote, where they must be doubled.
void AppendWindowsArgument(std::wstring& line, const std::wstring& arg)
{
    if (!NeedsWindowsQuotes(arg)) {
        line += arg;
        return;
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') {
            line.append(backslashes * 2 + 1, L'\\');
        } else {
            line.append(backslashes, L'\\');
        }
        backslashes = 0;
        line += c;
    }
    // Backslashes before the closing quote would escape it: double them.
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

}  // namespace

std::string DescribeEnding(const ProcessResult& result, std::string_view program)
{
    using settings::OwnText;
    if (!result.started) {
        return OwnText(kOwnTextMaintenance + 0, "{0} could not be started: {1}",
                       {program, result.startError});
    }
    if (result.timedOut) {
        const auto seconds = std::chrono::ceil<std::chrono::seconds>(result.timeLimit).count();
        return OwnText(kOwnTextMaintenance + 4, "{0} did not finish in time ({1} s) and was ended.",
                       {program, std::to_string(seconds)});
    }
    if (result.stopped) {
        return OwnText(kOwnTextMaintenance + 5, "{0} was stopped before it had finished.",
                       {program});
    }
    if (result.signalled) {
        return OwnText(kOwnTextMaintenance + 1, "{0} was ended by signal {1}.",
                       {program, std::to_string(result.signalNumber)});
    }
    if (result.exitCode != 0) {
        return OwnText(kOwnTextMaintenance + 2, "{0} failed with exit status {1}.",
                       {program, std::to_string(result.exitCode)});
    }
    return OwnText(kOwnTextMaintenance + 3, "{0} finished successfully.", {program});
}

std::string DescribeOutcome(const ProcessResult& result, std::string_view program,
                            std::string_view hint)
{
    std::string text = DescribeEnding(result, program);
    if (!hint.empty()) {
        text.append("\n").append(hint);
    }
    const std::string output = TrimmedOutput(result.output);
    if (!output.empty()) {
        text.append("\n\n").append(output);
    }
    return text;
}

std::wstring BuildWindowsCommandLine(const std::vector<std::wstring>& args)
{
    std::wstring line;
    for (const std::wstring& arg : args) {
        if (!line.empty()) {
            line += L' ';
        }
        AppendWindowsArgument(line, arg);
    }
    return line;
}

}  // namespace korvane::maintenance
