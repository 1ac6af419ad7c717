// The views of `korvane station`: a live block redrawn in place on a terminal,
// plain lines for logs and pipes.
#include "cli/StationView.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <string_view>

#include "cli/Commands.h"
#include "cli/Progress.h"
#include "cli/TextIds.h"
#include "firmware/protocol/Stm32Parts.h"
#include "settings/OwnText.h"

namespace korvane::cli {
namespace {

using settings::OwnText;
using Phase = StationSlot::Phase;

constexpr int kPlainProgressStep = 10;  // percent between two plain progress lines
constexpr std::size_t kBarCells = 10;
constexpr double kSecondsPerHour = 3600.0;
constexpr const char* kClearToEndOfLine = "\x1b[K";
constexpr const char* kClearToEndOfScreen = "\x1b[J";

ProgressView ViewOf(const RadioState& radio, std::int64_t bytesTotal)
{
    return {firmware::StageName(radio.stage), radio.bytesSent, bytesTotal, radio.seconds};
}

std::string UnplugWords()
{
    return OwnText(kTextStationUnplug, "unplug the radio");
}

std::string FlappingWords()
{
    return OwnText(kTextStationFlapping,
                   "comes and goes (a loose cable or adapter?): nothing starts on it until it "
                   "stays plugged in");
}

std::string HeldWords()
{
    return OwnText(kTextStationHeld, "not started: the session's last job has begun");
}

// "[####------]  40%  user  0:15 left": what fits of it in `width` columns,
// the time left kept before the bytes, the detail a technician waits for.
std::string ProgressWords(const RadioState& radio, std::int64_t bytesTotal, std::size_t width)
{
    const ProgressView view = ViewOf(radio, bytesTotal);
    const int percent = PercentDone(view);
    const std::size_t done = static_cast<std::size_t>(percent) * kBarCells / 100;
    std::string line(1, '[');
    line.append(done, '#').append(kBarCells - done, '-').append("] ");
    line.append(std::size_t{percent < 10 ? 2u : percent < 100 ? 1u : 0u}, ' ');
    line += std::to_string(percent) + "%";
    std::vector<std::string> details{view.stage};
    if (const auto rate = BytesPerSecond(view)) {
        const auto left =
            static_cast<double>(std::max<std::int64_t>(0, bytesTotal - radio.bytesSent));
        details.push_back(FormatDuration(left / *rate) + " left");
    }
    details.push_back(FormatBytes(view.bytesSent) + " / " + FormatBytes(bytesTotal));
    for (const std::string& detail : details) {
        if (DisplayColumns(line) + 2 + DisplayColumns(detail) > width) break;
        line += "  " + detail;
    }
    return line;
}

// An error's sentence, its full stop dropped so that more can follow it on its line.
std::string WithoutFullStop(std::string text)
{
    for (const std::string_view stop : {".", "。"}) {
        if (text.ends_with(stop)) text.resize(text.size() - stop.size());
    }
    return text;
}

std::string PortDetails(const station::SeenPort& port)
{
    std::string details = port.device;
    if (!port.location.empty()) details += ", usb " + port.location;
    if (!port.serialNumber.empty()) details += ", serial " + port.serialNumber;
    return details;
}

// Plain lines: one per event, each prefixed with its port.
class PlainStationView : public StationView {
public:
    explicit PlainStationView(const StationViewSettings& settings) : m_settings(settings) {}

    void OnPlugged(const StationSlot& slot) override
    {
        Line(slot, OwnText(kTextStationPlugged, "plugged in ({0})", {PortDetails(slot.port)}));
    }
    void OnUnplugged(const StationSlot& slot) override
    {
        Line(slot, OwnText(kTextStationUnplugged, "unplugged"));
    }
    void OnFlapping(const StationSlot& slot) override { Line(slot, FlappingWords()); }
    void OnHeld(const StationSlot& slot) override { Line(slot, HeldWords()); }
    void OnStatus(const StationSlot& slot, const std::string& line) override { Line(slot, line); }
    void OnEnded(const StationSlot& slot) override
    {
        m_steps.erase(slot.job);
        const FlashOutcome& outcome = slot.radio.outcome;
        Line(slot, JoinClauses(WithoutFullStop(EndWords(outcome)), UnplugWords()));
        if (!outcome.hint.empty()) Line(slot, Sentence(outcome.hint));
    }
    void OnWarning(const std::string& text) override
    {
        *m_settings.err << "korvane: "
                        << EscapeControls(OwnText(kTextWarning, "warning: {0}", {text}))
                        << std::endl;
    }
    void Note(const std::string& line) override
    {
        *m_settings.out << EscapeControls(line) << '\n' << std::flush;
    }
    void Refresh(const std::vector<const StationSlot*>& slots, const StationTotals& totals) override
    {
        for (const StationSlot* slot : slots) {
            if (slot->phase != Phase::Running) continue;
            const ProgressView view = ViewOf(slot->radio, m_settings.bytesTotal);
            const int step = PercentDone(view) / kPlainProgressStep;
            int& shown = m_steps[slot->job];
            if (view.bytesSent > 0 && step > shown) {
                Line(*slot, FormatPlainProgress(view));
                shown = step;
            }
        }
        // The totals once more after each end, so that a log tells the count at any point.
        const int ended = totals.upgraded + totals.failed;
        if (ended != m_endedShown) {
            *m_settings.out << "station: " << FormatStationTotals(totals) << '\n';
            m_endedShown = ended;
        }
        m_settings.out->flush();
    }
    void Finish() override { m_settings.out->flush(); }

private:
    void Line(const StationSlot& slot, const std::string& text)
    {
        *m_settings.out << EscapeControls(slot.port.name) << ": " << EscapeControls(text) << '\n'
                        << std::flush;
    }

    StationViewSettings m_settings;
    std::map<std::size_t, int> m_steps;  // by job: the tenth of progress last shown
    int m_endedShown = 0;
};

// On a terminal: the block of live lines, redrawn in place; the session's own
// lines and warnings are printed above it.
class TerminalStationView : public StationView {
public:
    explicit TerminalStationView(const StationViewSettings& settings) : m_settings(settings) {}

    void OnPlugged(const StationSlot&) override {}
    void OnUnplugged(const StationSlot&) override {}
    void OnFlapping(const StationSlot&) override {}
    void OnHeld(const StationSlot&) override {}
    void OnStatus(const StationSlot&, const std::string&) override {}
    void OnEnded(const StationSlot&) override { m_bell = m_bell || m_settings.bell; }
    void OnWarning(const std::string& text) override
    {
        Above(*m_settings.err, "korvane: " + OwnText(kTextWarning, "warning: {0}", {text}));
    }
    void Note(const std::string& line) override { Above(*m_settings.out, line); }
    void Refresh(const std::vector<const StationSlot*>& slots, const StationTotals& totals) override
    {
        std::size_t nameWidth = 0;
        for (const StationSlot* slot : slots) {
            nameWidth = std::max(nameWidth, DisplayColumns(EscapeControls(slot->port.name)));
        }
        std::string block;
        for (const StationSlot* slot : slots) {
            block += '\r' +
                     FormatSlotLine(*slot, m_settings.bytesTotal, nameWidth, m_settings.width) +
                     kClearToEndOfLine + '\n';
        }
        block += '\r' + CutToColumns(FormatStationTotals(totals), m_settings.width) +
                 kClearToEndOfLine + '\n';
        if (block == m_lastBlock && !m_bell) return;
        BackToBlock();
        *m_settings.out << block << kClearToEndOfScreen;
        if (m_bell) *m_settings.out << '\a';
        m_settings.out->flush();
        m_bell = false;
        m_lastBlock = block;
        m_linesShown = slots.size() + 1;
    }
    void Finish() override
    {
        // The block stays as it last stood; what follows goes below it.
        m_linesShown = 0;
        m_settings.out->flush();
    }

private:
    void BackToBlock()
    {
        if (m_linesShown > 0) *m_settings.out << "\x1b[" << m_linesShown << 'A';
        m_linesShown = 0;
    }
    // A line above the block: the block goes, the line takes its place and the
    // block comes back at the next refresh.
    void Above(std::ostream& stream, const std::string& line)
    {
        BackToBlock();
        *m_settings.out << '\r' << kClearToEndOfScreen << std::flush;
        stream << EscapeControls(line) << std::endl;
        m_lastBlock.clear();
    }

    StationViewSettings m_settings;
    std::string m_lastBlock;
    std::size_t m_linesShown = 0;
    bool m_bell = false;
};

}  // namespace

std::string FormatSlotLine(const StationSlot& slot, std::int64_t bytesTotal, std::size_t nameWidth,
                           std::size_t width)
{
    std::string line = EscapeControls(slot.port.name);
    const std::size_t nameColumns = DisplayColumns(line);
    line.resize(line.size() + (nameWidth > nameColumns ? nameWidth - nameColumns : 0), ' ');
    if (!slot.port.location.empty()) line += "  usb " + EscapeControls(slot.port.location);
    const auto& chip = slot.radio.outcome.record.chip;
    if (chip && chip->uid) {
        line += "  " + OwnText(kTextChipUid, "uid {0}", {firmware::UidText(*chip->uid)});
    }
    line += "  ";
    switch (slot.phase) {
        case Phase::Opening:
            line += OwnText(kTextStationOpening, "opening the port");
            break;
        case Phase::Running: {
            const std::size_t used = DisplayColumns(line);
            line += ProgressWords(slot.radio, bytesTotal, width > used ? width - used : 0);
            break;
        }
        case Phase::Ended:
            line += EndWords(slot.radio.outcome) + " - " + UnplugWords();
            break;
        case Phase::Flapping:
            line += FlappingWords();
            break;
        case Phase::Held:
            line += HeldWords();
            break;
    }
    return CutToColumns(std::move(line), width);
}

std::string FormatStationTotals(const StationTotals& totals)
{
    const double perHour =
        totals.seconds > 0.0 ? totals.upgraded * kSecondsPerHour / totals.seconds : 0.0;
    return OwnText(kTextStationTotals, "upgraded {0}, failed {1}, in progress {2}, {3} per hour",
                   {std::to_string(totals.upgraded), std::to_string(totals.failed),
                    std::to_string(totals.running), std::to_string(std::lround(perHour))});
}

std::unique_ptr<StationView> MakeStationView(const StationViewSettings& settings)
{
    if (settings.terminal) return std::make_unique<TerminalStationView>(settings);
    return std::make_unique<PlainStationView>(settings);
}

}  // namespace korvane::cli
