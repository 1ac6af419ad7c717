// The real program under a virtual X server, driven by key presses: the
// precautions form comes first, Escape closes it, the "Driver" window follows,
// and Escape there ends the process.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

bool HaveTool(const std::string& name)
{
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

std::string ShellQuote(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string RunAndCapture(const std::string& command)
{
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char chunk[256];
        while (std::fgets(chunk, sizeof chunk, pipe) != nullptr) output += chunk;
        pclose(pipe);
    }
    return output;
}

// Prints FIRST <title of the first window>, MAIN once "Driver" is up, and ENDED
// when the process has gone by itself (else it is killed).
constexpr const char* kSession = R"sh(
cd "$(dirname "$0")" && env -u QT_QPA_PLATFORM "$0" & pid=$!
wait_for() {
    i=0
    while [ $i -lt 100 ]; do
        w=$(xdotool search --onlyvisible "$@" 2>/dev/null | head -1)
        if [ -n "$w" ]; then echo "$w"; return 0; fi
        sleep 0.2; i=$((i+1))
    done
    return 1
}
first=$(wait_for --class STM32_Korvane) && echo "FIRST $(xdotool getwindowname "$first")"
xdotool windowfocus --sync "$first" key Escape
main=$(wait_for --name '^Driver$') && echo MAIN
xdotool windowfocus --sync "$main" key Escape
i=0
while kill -0 $pid 2>/dev/null && [ $i -lt 50 ]; do sleep 0.2; i=$((i+1)); done
if kill -0 $pid 2>/dev/null; then kill $pid; else echo ENDED; fi
)sh";

TEST(ProgramSmokeTest, PrecautionsThenDriverWindowThenTheEnd)
{
    if (!HaveTool("xvfb-run") || !HaveTool("xdotool"))
        GTEST_SKIP() << "xvfb-run or xdotool missing";
    const std::filesystem::path program = KORVANE_PROGRAM_PATH;
    ASSERT_TRUE(std::filesystem::exists(program));
    const std::string output =
        RunAndCapture("timeout 90 xvfb-run -a -s '-screen 0 1280x1024x24' sh -c " +
                      ShellQuote(kSession) + " " + ShellQuote(program.string()) + " 2>/dev/null");
    EXPECT_NE(output.find("FIRST "), std::string::npos) << output;
    EXPECT_EQ(output.find("FIRST Driver"), std::string::npos) << output;
    EXPECT_NE(output.find("MAIN"), std::string::npos) << output;
    EXPECT_NE(output.find("ENDED"), std::string::npos) << output;
}

}  // namespace
