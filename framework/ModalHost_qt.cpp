// The real modal host (Qt message boxes, Qt's file dialog, nested modal runs)
// and the conversions the dialogs need at the Qt boundary.
#include "framework/ModalHost.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

#include "framework/CDialog.h"
#include "framework/Text.h"

namespace korvane::framework {

namespace {

QMessageBox::Icon ToQtIcon(MessageIcon icon)
{
    switch (icon) {
        case MessageIcon::Exclamation:
            return QMessageBox::Warning;
        case MessageIcon::Question:
            return QMessageBox::Question;
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

std::vector<std::string> SplitOnBars(const std::string& text)
{
    std::vector<std::string> parts;
    std::string current;
    for (const char c : text) {
        if (c == '|') {
            parts.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    parts.push_back(current);
    return parts;
}

// The host that shows real Qt dialogs to a person.
class QtModalHost : public ModalHost {
public:
    int ShowMessage(NativeWidget owner, const std::string& text, const std::string& caption,
                    MessageButtons buttons, MessageIcon icon) override;
    std::vector<std::string> GetOpenFileNames(const FileOpenRequest& request) override;
    int RunModal(CDialog& dialog) override;
};

}  // namespace

int QtModalHost::ShowMessage(QWidget* owner, const std::string& text, const std::string& caption,
                             MessageButtons buttons, MessageIcon icon)
{
    const auto qtButtons = buttons == MessageButtons::OkCancel
                               ? QMessageBox::Ok | QMessageBox::Cancel
                               : QMessageBox::StandardButtons(QMessageBox::Ok);
    QMessageBox box(ToQtIcon(icon), ToQString(caption), ToQString(text), qtButtons, owner);
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Ok ? IDOK : IDCANCEL;
}

std::vector<std::string> QtModalHost::GetOpenFileNames(const FileOpenRequest& request)
{
    QFileDialog dialog(nullptr);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(request.multiSelect ? QFileDialog::ExistingFiles
                                           : QFileDialog::ExistingFile);
    dialog.setNameFilters(ToQString(ConvertFileFilter(request.filter)).split(QStringLiteral(";;")));
    dialog.setDefaultSuffix(ToQString(request.defaultExtension));
    // A wildcard "file name" is the Windows way of starting with a listing of
    // that type; Qt's name filter already does that.
    if (request.initialName.find_first_of("*?") == std::string::npos) {
        dialog.selectFile(ToQString(request.initialName));
    }
    std::vector<std::string> files;
    if (dialog.exec() != QDialog::Accepted) return files;
    for (const QString& file : dialog.selectedFiles()) files.push_back(FromQString(file));
    return files;
}

int QtModalHost::RunModal(CDialog& dialog)
{
    return dialog.DoModal();
}

ModalHost& DefaultModalHost()
{
    static QtModalHost host;
    return host;
}

std::string ConvertFileFilter(const std::string& filter)
{
    const std::vector<std::string> parts = SplitOnBars(filter);
    std::string converted;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        const std::string& description = parts[i];
        std::string patterns = parts[i + 1];
        if (description.empty() && patterns.empty()) break;  // the closing "||"
        for (char& c : patterns) {
            if (c == ';') c = ' ';
        }
        std::string entry = description;
        // Qt reads the patterns from the last parenthesis of the entry; a
        // description that already shows them is taken as it is.
        if (entry.empty() || entry.back() != ')') {
            entry += (entry.empty() ? "(" : " (") + patterns + ")";
        }
        if (!converted.empty()) converted += ";;";
        converted += entry;
    }
    return converted.empty() ? std::string("All files (*)") : converted;
}

std::string ApplicationName()
{
    return FromQString(QCoreApplication::applicationName());
}

}  // namespace korvane::framework
