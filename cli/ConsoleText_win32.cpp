// The command line and the standard streams on Windows: the arguments from the
// wide command line, a console written as UTF-16, files and pipes as UTF-8.
#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <iostream>
#include <streambuf>
#include <string_view>

#include "base/TextEncoding.h"
#include "cli/ConsoleText.h"
#include "cli/Terminal.h"

namespace korvane::cli {

std::vector<std::string> ProgramArguments(int argc, char** argv)
{
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr) {
        // Only when the system has no memory left: the narrow arguments then.
        return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
    }
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) args.push_back(base::WideToUtf8(wide[i]));
    ::LocalFree(wide);
    return args;
}

namespace {

constexpr char kEscape = '\x1b';
constexpr std::size_t kMaxLines = 10000;  // a cursor movement larger than any console

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The bytes a UTF-8 sequence with this lead byte has; 1 for anything that is no lead.
std::size_t SequenceLength(unsigned char lead)
{
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 1;
}

// How many bytes at the end of `text` begin a character or a control sequence
// that has not come whole yet: they wait for the next write.
std::size_t IncompleteTail(std::string_view text)
{
    const std::size_t escape = text.rfind(kEscape);
    if (escape != std::string_view::npos) {
        std::size_t i = escape + 1;
        if (i < text.size() && text[i] == '[') {
            ++i;
            while (i < text.size() && IsDigit(text[i])) ++i;
        }
        if (i >= text.size()) return text.size() - escape;
    }
    for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
        const auto byte = static_cast<unsigned char>(text[text.size() - back]);
        if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: look further back
        return SequenceLength(byte) > back ? back : 0;
    }
    return 0;
}

// A stream buffer over a console: complete lines (and whatever a flush asks
// for) go out as UTF-16; the live views' two control sequences are carried
// out through the console's functions.
class ConsoleBuffer : public std::streambuf {
public:
    explicit ConsoleBuffer(HANDLE console) : m_console(console) {}
    ~ConsoleBuffer() override { Write(true); }
    ConsoleBuffer(const ConsoleBuffer&) = delete;
    ConsoleBuffer& operator=(const ConsoleBuffer&) = delete;

protected:
    int_type overflow(int_type ch) override
    {
        if (!traits_type::eq_int_type(ch, traits_type::eof())) {
            m_pending.push_back(traits_type::to_char_type(ch));
            if (ch == '\n') Write(false);
        }
        return traits_type::not_eof(ch);
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override
    {
        m_pending.append(text, static_cast<std::size_t>(count));
        if (std::memchr(text, '\n', static_cast<std::size_t>(count)) != nullptr) Write(false);
        return count;
    }
    int sync() override
    {
        Write(false);
        return 0;
    }

private:
    void Write(bool everything)
    {
        const std::size_t keep = everything ? 0 : IncompleteTail(m_pending);
        const std::string text = m_pending.substr(0, m_pending.size() - keep);
        m_pending.erase(0, m_pending.size() - keep);
        std::size_t start = 0;
        while (start < text.size()) {
            const std::size_t escape = text.find(kEscape, start);
            WriteText(std::string_view(text).substr(
                start, escape == std::string::npos ? std::string::npos : escape - start));
            if (escape == std::string::npos) break;
            start = Control(text, escape);
        }
    }

    void WriteText(std::string_view utf8) const
    {
        const std::wstring wide = base::Utf8ToWide(utf8);
        const wchar_t* next = wide.data();
        std::size_t left = wide.size();
        constexpr std::size_t kChunk = 8192;  // what every console takes at once
        while (left > 0) {
            DWORD written = 0;
            const auto chunk = static_cast<DWORD>(std::min(left, kChunk));
            if (!::WriteConsoleW(m_console, next, chunk, &written, nullptr) || written == 0) {
                return;  // the console went away: nothing left to show the text on
            }
            next += written;
            left -= written;
        }
    }

    // Carries out the control sequence at `escape`; returns where the text goes on.
    std::size_t Control(const std::string& text, std::size_t escape) const
    {
        std::size_t i = escape + 1;
        if (i >= text.size() || text[i] != '[') return i;  // a lone escape is dropped
        std::size_t count = 0;
        for (++i; i < text.size() && IsDigit(text[i]); ++i) {
            count = std::min(kMaxLines, count * 10 + static_cast<std::size_t>(text[i] - '0'));
        }
        if (i >= text.size()) return i;
        CONSOLE_SCREEN_BUFFER_INFO info{};
        if (::GetConsoleScreenBufferInfo(m_console, &info)) {
            COORD at = info.dwCursorPosition;
            if (text[i] == 'K' && info.dwSize.X > at.X) {
                const auto cells = static_cast<DWORD>(info.dwSize.X - at.X);
                DWORD done = 0;
                ::FillConsoleOutputCharacterW(m_console, L' ', cells, at, &done);
                ::FillConsoleOutputAttribute(m_console, info.wAttributes, cells, at, &done);
            } else if (text[i] == 'A') {
                const auto up = static_cast<SHORT>(std::min<std::size_t>(
                    std::max<std::size_t>(count, 1), static_cast<std::size_t>(at.Y)));
                at.Y = static_cast<SHORT>(at.Y - up);
                ::SetConsoleCursorPosition(m_console, at);
            }
        }
        return i + 1;
    }

    HANDLE m_console;
    std::string m_pending;
};

}  // namespace

struct StandardStreams::Streams {
    // Each buffer outlives its stream: declared first, destroyed last.
    std::unique_ptr<ConsoleBuffer> outBuffer;
    std::unique_ptr<ConsoleBuffer> errBuffer;
    std::unique_ptr<std::ostream> out;
    std::unique_ptr<std::ostream> err;
};

StandardStreams::StandardStreams() : m_streams(std::make_unique<Streams>())
{
    if (IsTerminal(StandardStream::Out)) {
        m_streams->outBuffer = std::make_unique<ConsoleBuffer>(::GetStdHandle(STD_OUTPUT_HANDLE));
        m_streams->out = std::make_unique<std::ostream>(m_streams->outBuffer.get());
    }
    if (IsTerminal(StandardStream::Err)) {
        m_streams->errBuffer = std::make_unique<ConsoleBuffer>(::GetStdHandle(STD_ERROR_HANDLE));
        m_streams->err = std::make_unique<std::ostream>(m_streams->errBuffer.get());
    }
}

StandardStreams::~StandardStreams()
{
    if (m_streams->out) m_streams->out->flush();
    if (m_streams->err) m_streams->err->flush();
}

std::ostream& StandardStreams::Out()
{
    return m_streams->out ? *m_streams->out : std::cout;
}

std::ostream& StandardStreams::Err()
{
    return m_streams->err ? *m_streams->err : std::cerr;
}

}  // namespace korvane::cli
