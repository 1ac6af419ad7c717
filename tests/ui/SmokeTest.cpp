// The real program under a virtual X server, driven by key presses: the
// precautions form comes first, Escape closes it, the "Driver" window follows,
// and Escape there ends the process.
#include <gtest/gtest.h>

#include <algorithm>
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

// Starts the program (its path is $0) and defines wait_for: the first visible
// window that matches, waiting up to a minute (a sanitizer build on a loaded
// machine starts slowly).
constexpr const char* kStartProgram = R"sh(
cd "$(dirname "$0")" && env -u QT_QPA_PLATFORM "$0" & pid=$!
wait_for() {
    i=0
    while [ $i -lt 300 ]; do
        w=$(xdotool search --onlyvisible "$@" 2>/dev/null | head -1)
        if [ -n "$w" ]; then echo "$w"; return 0; fi
        sleep 0.2; i=$((i+1))
    done
    return 1
}
)sh";

// Runs a session script on a virtual screen of the given size.
std::string RunSession(const std::string& screen, const std::string& session,
                       const std::filesystem::path& program)
{
    return RunAndCapture("timeout 240 xvfb-run -a -s '-screen 0 " + screen + "' sh -c " +
                         ShellQuote(std::string(kStartProgram) + session) + " " +
                         ShellQuote(program.string()) + " 2>/dev/null");
}

// Prints FIRST <title of the first window>, MAIN once "Driver" is up, and ENDED
// when the process has gone by itself (else it is killed).
constexpr const char* kSession = R"sh(
first=$(wait_for --class STM32_Korvane) && echo "FIRST $(xdotool getwindowname "$first")"
xdotool windowfocus --sync "$first" key Escape
main=$(wait_for --name '^Driver$') && echo MAIN
xdotool windowfocus --sync "$main" key Escape
i=0
while kill -0 $pid 2>/dev/null && [ $i -lt 150 ]; do sleep 0.2; i=$((i+1)); done
if kill -0 $pid 2>/dev/null; then kill $pid; else echo ENDED; fi
)sh";

TEST(ProgramSmokeTest, PrecautionsThenDriverWindowThenTheEnd)
{
    if (!HaveTool("xvfb-run") || !HaveTool("xdotool"))
        GTEST_SKIP() << "xvfb-run or xdotool missing";
    const std::filesystem::path program = KORVANE_PROGRAM_PATH;
    ASSERT_TRUE(std::filesystem::exists(program));
    const std::string output = RunSession("1280x1024x24", kSession, program);
    EXPECT_NE(output.find("FIRST "), std::string::npos) << output;
    EXPECT_EQ(output.find("FIRST Driver"), std::string::npos) << output;
    EXPECT_NE(output.find("MAIN"), std::string::npos) << output;
    EXPECT_NE(output.find("ENDED"), std::string::npos) << output;
}

// On a 1,366 x 768 screen the precautions form (larger than that at its
// font) must keep its title bar on screen; the window system must see no title
// (not the application's name) and the main window as its owner.
constexpr const char* kSmallScreenSession = R"sh(
form=$(wait_for --class STM32_Korvane) || { kill $pid; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$form")"
echo "FORM $X $Y $WIDTH $HEIGHT"
echo "NAME[$(xprop -id "$form" -notype WM_NAME _NET_WM_NAME | tr '\n' ' ')]"
echo "OWNER $(xprop -id "$form" -notype WM_TRANSIENT_FOR | sed 's/.*# //')"
xdotool windowfocus --sync "$form" key Escape
main=$(wait_for --name '^Driver$') && printf 'MAIN 0x%x\n' "$main"
xdotool windowfocus --sync "$main" key Escape
i=0
while kill -0 $pid 2>/dev/null && [ $i -lt 150 ]; do sleep 0.2; i=$((i+1)); done
kill $pid 2>/dev/null
)sh";

std::string Field(const std::string& output, const std::string& key)
{
    const auto at = output.find(key + " ");
    if (at == std::string::npos) return {};
    const auto end = output.find('\n', at);
    return output.substr(at + key.size() + 1, end - at - key.size() - 1);
}

TEST(ProgramSmokeTest, OnASmallScreenTheFormIsInsideUntitledAndOwned)
{
    if (!HaveTool("xvfb-run") || !HaveTool("xdotool") || !HaveTool("xprop"))
        GTEST_SKIP() << "xvfb-run, xdotool or xprop missing";
    const std::filesystem::path program = KORVANE_PROGRAM_PATH;
    const std::string output = RunSession("1366x768x24", kSmallScreenSession, program);
    int x = -1, y = -1, width = 0, height = 0;
    ASSERT_EQ(std::sscanf(Field(output, "FORM").c_str(), "%d %d %d %d", &x, &y, &width, &height), 4)
        << output;
    EXPECT_GT(height, 768) << "the form is expected to be taller than this screen";
    EXPECT_GE(x, 0) << output;
    EXPECT_GE(y, 0) << output;
    EXPECT_LE(x + width, 1366) << output;
    // A single blank: xprop shows WM_NAME = " " and _NET_WM_NAME = " ".
    EXPECT_EQ(output.find("STM32_Korvane"), std::string::npos) << output;
    EXPECT_NE(output.find("WM_NAME = \" \""), std::string::npos) << output;
    EXPECT_FALSE(Field(output, "MAIN").empty()) << output;
    EXPECT_EQ(Field(output, "OWNER"), Field(output, "MAIN")) << output;
}

// Without a display the program says so in one line and how to start it.
TEST(ProgramSmokeTest, WithoutADisplayOneLineSaysWhatToDo)
{
    const std::filesystem::path program = KORVANE_PROGRAM_PATH;
    for (const char* display : {"", ":59999"}) {
        const std::string env =
            std::string("env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY ") +
            (*display != 0 ? std::string("DISPLAY=") + display : std::string("-u DISPLAY"));
        const std::string output =
            RunAndCapture("cd " + ShellQuote(program.parent_path().string()) + " && " + env + " " +
                          ShellQuote(program.string()) + " 2>&1 >/dev/null; echo \"status $?\"");
        EXPECT_NE(output.find("xvfb-run"), std::string::npos) << output;
        EXPECT_NE(output.find("status 1\n"), std::string::npos) << output;
        EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 2) << output;
    }
}

}  // namespace
