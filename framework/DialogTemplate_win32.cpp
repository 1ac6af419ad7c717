// Template tables as in-memory DLGTEMPLATEEX resources, and dialog base units
// measured the way the dialog manager measures them.
#include <cctype>
#include <stdexcept>

#include "base/TextEncoding.h"
#include "framework/DialogTemplate.h"
#include "framework/Win32Dialog.h"

// After our headers: it takes back macros that would rename their names.
#include "framework/Win32Api.h"

namespace korvane::framework {

namespace {

// Predefined window class atoms of dialog items.
constexpr std::uint16_t kButtonAtom = 0x0080;
constexpr std::uint16_t kEditAtom = 0x0081;
constexpr std::uint16_t kStaticAtom = 0x0082;
constexpr std::uint16_t kComboBoxAtom = 0x0085;
// A zero-terminated string field may instead hold 0xFFFF and an ordinal.
constexpr std::uint16_t kOrdinalMark = 0xFFFF;
constexpr std::uint16_t kTemplateExVersion = 1;
// The program's templates are Chinese resources: with this character set the
// font mapper picks a face that has the Chinese glyphs when the named one lacks them.
constexpr std::uint8_t kTemplateCharset = DEFAULT_CHARSET;

// Writes the little-endian WORD stream of a template.
class TemplateWriter {
public:
    void Word(std::uint16_t value) { m_words.push_back(value); }
    void Dword(std::uint32_t value)
    {
        Word(static_cast<std::uint16_t>(value & 0xFFFF));
        Word(static_cast<std::uint16_t>(value >> 16));
    }
    void Short(int value) { Word(static_cast<std::uint16_t>(static_cast<std::int16_t>(value))); }
    void Text(const std::string& utf8)
    {
        for (const wchar_t unit : base::Utf8ToWide(utf8)) Word(static_cast<std::uint16_t>(unit));
        Word(0);
    }
    void Ordinal(std::uint16_t value)
    {
        Word(kOrdinalMark);
        Word(value);
    }
    // Items start on a DWORD boundary of the template.
    void AlignToDword()
    {
        if (m_words.size() % 2 != 0) Word(0);
    }
    std::vector<std::uint16_t> Take() { return std::move(m_words); }

private:
    std::vector<std::uint16_t> m_words;
};

bool FitsInShort(int value)
{
    return value >= INT16_MIN && value <= INT16_MAX;
}

}  // namespace

Win32ControlClass ControlClassOf(ControlKind kind)
{
    switch (kind) {
        case ControlKind::PushButton:
            return {kButtonAtom, nullptr, BS_PUSHBUTTON};
        case ControlKind::DefPushButton:
            return {kButtonAtom, nullptr, BS_DEFPUSHBUTTON};
        case ControlKind::TextLeft:
            return {kStaticAtom, nullptr, SS_LEFT};
        case ControlKind::TextCentre:
            return {kStaticAtom, nullptr, SS_CENTER};
        case ControlKind::TextRight:
            return {kStaticAtom, nullptr, SS_RIGHT};
        case ControlKind::Edit:
            return {kEditAtom, nullptr, ES_LEFT | ES_AUTOHSCROLL | WS_BORDER};
        case ControlKind::DropDownList:
            return {kComboBoxAtom, nullptr, CBS_DROPDOWNLIST | WS_VSCROLL};
        case ControlKind::ProgressBar:
            return {0, PROGRESS_CLASSW, WS_BORDER};
        case ControlKind::GroupBox:
            return {kButtonAtom, nullptr, BS_GROUPBOX};
        case ControlKind::Picture:
            return {kStaticAtom, nullptr, SS_BITMAP};
        case ControlKind::SerialControl:
            // Holds the serial control's place and draws nothing.
            return {kStaticAtom, nullptr, SS_LEFT};
    }
    throw std::logic_error("unknown control kind");
}

std::uint32_t ControlStyleOf(const ControlTemplate& control)
{
    std::uint32_t style = WS_CHILD | ControlClassOf(control.kind).kindStyle;
    if (control.shown) style |= WS_VISIBLE;
    if (!control.enabled) style |= WS_DISABLED;
    if (control.tabStop) style |= WS_TABSTOP;
    return style;
}

std::uint16_t PictureResourceOf(const std::string& caption)
{
    const std::size_t nameStart = caption.find_last_of("/\\:") + 1;  // npos + 1 == 0
    std::uint32_t number = 0;
    std::size_t digits = 0;
    for (std::size_t i = nameStart;
         i < caption.size() && std::isdigit(static_cast<unsigned char>(caption[i])); ++i) {
        number = number * 10 + static_cast<std::uint32_t>(caption[i] - '0');
        if (number > UINT16_MAX) return 0;
        ++digits;
    }
    return digits == 0 ? 0 : static_cast<std::uint16_t>(number);
}

std::vector<std::uint16_t> BuildDialogTemplateEx(const DialogTemplate& t)
{
    if (t.controls.size() > UINT16_MAX)
        throw std::logic_error("too many controls in a dialog template");
    TemplateWriter w;
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
    if (t.sizingBorder) style |= WS_THICKFRAME;
    w.Word(kTemplateExVersion);
    w.Word(kOrdinalMark);  // signature: an extended template
    w.Dword(0);            // help id
    w.Dword(0);            // extended style
    w.Dword(style);
    w.Word(static_cast<std::uint16_t>(t.controls.size()));
    w.Short(0);
    w.Short(0);
    w.Short(t.width);
    w.Short(t.height);
    w.Word(0);  // no menu
    w.Word(0);  // the dialog manager's own window class
    w.Text(t.title);
    w.Word(static_cast<std::uint16_t>(t.pointSize));
    w.Word(FW_NORMAL);
    w.Word(static_cast<std::uint16_t>(kTemplateCharset << 8));  // italic 0, then the charset byte
    w.Text(t.fontFamily);

    for (const ControlTemplate& control : t.controls) {
        if (!FitsInShort(control.x) || !FitsInShort(control.y) || !FitsInShort(control.width) ||
            !FitsInShort(control.height)) {
            throw std::logic_error("a control lies outside the dialog units a template can hold");
        }
        const Win32ControlClass cls = ControlClassOf(control.kind);
        w.AlignToDword();
        w.Dword(0);  // help id
        w.Dword(0);  // extended style
        w.Dword(ControlStyleOf(control));
        w.Short(control.x);
        w.Short(control.y);
        w.Short(control.width);
        w.Short(control.height);
        w.Dword(static_cast<std::uint32_t>(control.id));
        if (cls.atom != 0) {
            w.Ordinal(cls.atom);
        } else {
            w.Text(base::WideToUtf8(cls.name));
        }
        if (control.kind == ControlKind::Picture) {
            w.Ordinal(PictureResourceOf(control.caption));
        } else {
            w.Text(control.caption);
        }
        w.Word(0);  // no creation data
    }
    return w.Take();
}

DialogBaseUnits MeasureDialogBaseUnits(const NativeFont& font)
{
    // The dialog manager's measure: the width of the 52 Latin letters, averaged
    // and rounded, and the font's character height.
    static const wchar_t kLetters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    HDC screen = ::GetDC(nullptr);
    const HGDIOBJ previous = ::SelectObject(screen, font);
    SIZE size{};
    ::GetTextExtentPoint32W(screen, kLetters, 52, &size);
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(screen, &metrics);
    ::SelectObject(screen, previous);
    ::ReleaseDC(nullptr, screen);
    return DialogBaseUnits{static_cast<int>((size.cx / 26 + 1) / 2),
                           static_cast<int>(metrics.tmHeight)};
}

}  // namespace korvane::framework
