// The platform-independent parts of launching programs: describing how a run
// ended, and the Windows command-line quoting (kept here so it is tested everywhere).
#include "maintenance/Process.h"

namespace korvane::maintenance {
namespace {

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

std::string DescribeOutcome(const ProcessResult& result, std::string_view program)
{
    std::string text(program);
    if (!result.started) {
        text += " could not be started: " + result.startError;
    } else if (result.signalled) {
        text += " was ended by signal " + std::to_string(result.signalNumber) + ".";
    } else if (result.exitCode != 0) {
        text += " ended with exit status " + std::to_string(result.exitCode) + ".";
    } else {
        text += " finished successfully.";
    }
    const std::string output = TrimmedOutput(result.output);
    if (!output.empty()) {
        text += "\n\n" + output;
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
