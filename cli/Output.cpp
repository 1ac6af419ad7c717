// Watched output: forwards every write to the real stream's buffer at once (no
// buffering of its own, so flushes mean what they meant) and notes the first
// failure with the system's reason, taken right after the failing call.
#include "cli/Output.h"

#include <cerrno>
#include <system_error>

#include "cli/Commands.h"
#include "cli/TextIds.h"
#include "settings/OwnText.h"

namespace korvane::cli {
namespace {

using settings::OwnText;

std::string StreamName(bool isOut)
{
    return isOut ? OwnText(kTextStandardOutput, "standard output")
                 : OwnText(kTextStandardError, "standard error");
}

}  // namespace

CheckedOutput::CheckedOutput(std::ostream& target) : m_stream(&m_buffer)
{
    m_buffer.target = target.rdbuf();
    m_stream.flags(target.flags());  // unitbuf (standard error) included
}

bool CheckedOutput::Flush()
{
    m_stream.flush();
    return !Failed();
}

void CheckedOutput::Forwarder::Fail()
{
    // Some libraries leave errno alone on a failed write; the failure still counts.
    if (error == 0) error = errno != 0 ? errno : EIO;
}

CheckedOutput::Forwarder::int_type CheckedOutput::Forwarder::overflow(int_type ch)
{
    if (error != 0 || target == nullptr) return traits_type::eof();
    if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
    errno = 0;
    if (traits_type::eq_int_type(target->sputc(traits_type::to_char_type(ch)),
                                 traits_type::eof())) {
        Fail();
        return traits_type::eof();
    }
    return ch;
}

std::streamsize CheckedOutput::Forwarder::xsputn(const char* text, std::streamsize count)
{
    if (error != 0 || target == nullptr) return 0;
    errno = 0;
    const std::streamsize written = target->sputn(text, count);
    if (written != count) Fail();
    return written;
}

int CheckedOutput::Forwarder::sync()
{
    if (error != 0 || target == nullptr) return -1;
    errno = 0;
    if (target->pubsync() != 0) {
        Fail();
        return -1;
    }
    return 0;
}

int FinishOutput(CheckedOutput& out, CheckedOutput& err, int status)
{
    out.Flush();
    err.Flush();
    bool lost = false;
    for (CheckedOutput* failed : {&out, &err}) {
        if (!failed->Failed()) continue;
        const bool isOut = failed == &out;
        const bool readerQuit = failed->Error() == EPIPE;
        // As the coreutils do, only lost results (standard output) change the
        // status; a message that could not be shown is said on the other stream.
        lost = lost || (isOut && !readerQuit);
        CheckedOutput& other = isOut ? err : out;
        if (other.Failed()) continue;
        const std::string reason = std::generic_category().message(failed->Error());
        std::ostream& report = other.Stream();
        if (readerQuit) {
            // Whoever read the output chose to stop (`| head`): not a failure of ours.
            report << "korvane: "
                   << OwnText(kTextWarning, "warning: {0}",
                              {OwnText(kTextOutputClosed,
                                       "the reader of {0} closed it before the output ended ({1}); "
                                       "the command ran to its end",
                                       {StreamName(isOut), reason})})
                   << std::endl;
        } else {
            report << "korvane: "
                   << Sentence(OwnText(kTextOutputLost,
                                       "{0} could not be written ({1}); the command ran to its end",
                                       {StreamName(isOut), reason}))
                   << ' '
                   << Sentence(OwnText(kTextOutputLostHint,
                                       "Check the free space and where the output is sent"))
                   << std::endl;
        }
    }
    return lost && status == kExitSuccess ? kExitOutput : status;
}

}  // namespace korvane::cli
