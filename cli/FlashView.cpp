// The views of a running `korvane flash`: a live bar or block on a terminal,
// plain lines for logs and pipes.
#include "cli/FlashView.h"

#include <algorithm>

#include "cli/Commands.h"
#include "cli/Progress.h"
#include "cli/TextIds.h"
#include "settings/OwnText.h"

namespace korvane::cli {

std::string EndWords(const FlashOutcome& outcome)
{
    if (outcome.exitStatus == kExitSuccess) {
        const std::string done =
            settings::OwnText(kTextDoneIn, "done in {0}", {FormatDuration(outcome.seconds)});
        return outcome.record.warning.empty()
                   ? done
                   : done + " (" +
                         EscapeControls(settings::OwnText(kTextWarning, "warning: {0}",
                                                          {outcome.record.warning})) +
                         ")";
    }
    const std::string where =
        settings::OwnText(kTextEndedAt, "{0} at {1}", {outcome.result, outcome.Stage()});
    return outcome.error.empty() ? where : where + ": " + EscapeControls(outcome.error);
}

namespace {

constexpr int kPlainProgressStep = 10;  // percent between two plain progress lines
constexpr const char* kClearToEndOfLine = "\x1b[K";

ProgressView ViewOf(const RadioState& radio, std::int64_t bytesTotal)
{
    return {firmware::StageName(radio.stage), radio.bytesSent, bytesTotal, radio.seconds};
}

// One radio, on a terminal: each status line once, the bar redrawn below.
class SingleTerminalView : public FlashView {
public:
    explicit SingleTerminalView(const ViewSettings& settings) : m_settings(settings) {}

    void OnStatus(const RadioState&, const std::string& status) override
    {
        *m_settings.sink << '\r' << status << kClearToEndOfLine << '\n';
        m_lastBar.clear();  // the bar went up with the status: draw it again
    }
    void OnEnded(const RadioState&) override {}
    void Refresh(const std::vector<RadioState>& radios) override
    {
        const std::string bar =
            FormatProgressLine(ViewOf(radios.front(), m_settings.bytesTotal), m_settings.width);
        if (bar != m_lastBar) {
            *m_settings.sink << '\r' << bar << kClearToEndOfLine << std::flush;
            m_lastBar = bar;
        }
        m_barShown = true;
    }
    void Finish(const std::vector<RadioState>&) override
    {
        // The bar goes: the closing line that follows stands on its own.
        if (m_barShown) *m_settings.sink << '\r' << kClearToEndOfLine << std::flush;
    }

private:
    ViewSettings m_settings;
    std::string m_lastBar;
    bool m_barShown = false;
};

// Plain lines: each status line, and the progress every tenth; prefixed with
// the port when there are several radios.
class PlainView : public FlashView {
public:
    explicit PlainView(const ViewSettings& settings) : m_settings(settings) {}

    void OnStatus(const RadioState& radio, const std::string& status) override
    {
        *m_settings.sink << Prefix(radio) << status << '\n' << std::flush;
    }
    void OnEnded(const RadioState& radio) override
    {
        if (m_settings.severalRadios) {
            *m_settings.sink << Prefix(radio) << EndWords(radio.outcome) << '\n' << std::flush;
        }
    }
    void Refresh(const std::vector<RadioState>& radios) override
    {
        m_steps.resize(radios.size(), 0);
        for (std::size_t i = 0; i < radios.size(); ++i) {
            const ProgressView view = ViewOf(radios[i], m_settings.bytesTotal);
            const int step = PercentDone(view) / kPlainProgressStep;
            if (view.bytesSent > 0 && step > m_steps[i]) {
                *m_settings.sink << Prefix(radios[i]) << FormatPlainProgress(view) << '\n';
                m_steps[i] = step;
            }
        }
        m_settings.sink->flush();
    }
    void Finish(const std::vector<RadioState>&) override {}

private:
    std::string Prefix(const RadioState& radio) const
    {
        return m_settings.severalRadios ? EscapeControls(radio.port) + ": " : std::string();
    }

    ViewSettings m_settings;
    std::vector<int> m_steps;
};

// Several radios on a terminal: a block of one line per radio, redrawn in place.
class BlockView : public FlashView {
public:
    explicit BlockView(const ViewSettings& settings) : m_settings(settings) {}

    void OnStatus(const RadioState&, const std::string&) override {}
    void OnEnded(const RadioState&) override {}
    void Refresh(const std::vector<RadioState>& radios) override
    {
        std::size_t portWidth = 0;
        for (const RadioState& radio : radios) {
            portWidth = std::max(portWidth, DisplayColumns(EscapeControls(radio.port)));
        }
        std::string block;
        for (const RadioState& radio : radios) {
            block += '\r' +
                     FormatRadioLine(radio, m_settings.bytesTotal, portWidth, m_settings.width) +
                     kClearToEndOfLine + '\n';
        }
        if (block == m_lastBlock) return;
        if (m_linesShown > 0) {
            *m_settings.sink << "\x1b[" << m_linesShown << 'A';  // back to the block's first line
        }
        *m_settings.sink << block << std::flush;
        m_lastBlock = block;
        m_linesShown = radios.size();
    }
    void Finish(const std::vector<RadioState>& radios) override { Refresh(radios); }

private:
    ViewSettings m_settings;
    std::string m_lastBlock;
    std::size_t m_linesShown = 0;
};

}  // namespace

std::string FormatRadioLine(const RadioState& radio, std::int64_t bytesTotal, std::size_t portWidth,
                            std::size_t width)
{
    std::string line = EscapeControls(radio.port);
    const std::size_t portColumns = DisplayColumns(line);
    line.resize(line.size() + (portWidth > portColumns ? portWidth - portColumns : 0), ' ');
    line += "  ";
    if (radio.ended) {
        line += EndWords(radio.outcome);
    } else {
        // The bar in what the port leaves of the width, so that it is not cut mid-word.
        const std::size_t used = DisplayColumns(line);
        line += FormatProgressLine(ViewOf(radio, bytesTotal), width > used ? width - used : 0);
    }
    // In columns, not bytes: an error text may be Chinese, two columns a character.
    return CutToColumns(std::move(line), width);
}

std::unique_ptr<FlashView> MakeFlashView(const ViewSettings& settings)
{
    if (!settings.terminal) return std::make_unique<PlainView>(settings);
    if (settings.severalRadios) return std::make_unique<BlockView>(settings);
    return std::make_unique<SingleTerminalView>(settings);
}

}  // namespace korvane::cli
