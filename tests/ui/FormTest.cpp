// The precautions form: its texts byte for byte, its pictures at their own
// sizes, no title and no buttons, and the three ways of closing it.
#include <gtest/gtest.h>
#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include "framework/Text.h"
#include "tests/ui/ScriptedHost.h"
#include "ui/CForm_MAP.h"
#include "ui/ControlIds.h"
#include "ui/Templates.h"

namespace korvane::ui {
namespace {

std::vector<std::string> LabelTexts(const QDialog& window)
{
    std::vector<std::string> texts;
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        if (label->pixmap().isNull()) texts.push_back(framework::FromQString(label->text()));
    }
    return texts;
}

TEST(PrecautionsFormTest, TextsAreExactInTemplateOrder)
{
    // Full-width parentheses (U+FF08, U+FF09) and straight double quotes spelt as bytes.
    const std::vector<std::string> expected = {
        "Please read the precautions before installing this driver: ",
        "1. Please run this USB installer by \x22"
        "Administration Permissions\x22"
        "\xEF\xBC\x88"
        "As picture 1\xEF\xBC\x89"
        " when the driver is installed. Or the installation may not be successful.  ",
        "2. Please choose to install the corresponding driver according to the model name of two "
        "way radio during installation. ",
        "3. In case of QX-8, after the QX-8 USB driver installation is completed, the speaker "
        "microphone of mobile radio must be removed from the radio when progamming. (As picture "
        "2) ",
        "4. After the driver installation completed, the QX-8 machine needs to be restarted, for "
        "the "
        "computer re-identified the two way radio.",
        "As picture 1",
        "As picture 2",
        "Note: after reading, closing this interface will pop up the driver installation "
        "interface.",
        "5. When running the CPS (programming software), please run the program with \x22"
        "Administration Rights\x22\xEF\xBC\x88"
        "As picture 1\xEF\xBC\x89. ",
    };
    testing::ScriptedHost host;
    CForm_MAP form(&host);
    form.Create(false);
    EXPECT_EQ(LabelTexts(*form.Window()), expected);
    EXPECT_EQ(form.GetWindowText(), "");
    EXPECT_TRUE(form.Window()->findChildren<QPushButton*>().isEmpty());
    EXPECT_EQ(PrecautionsTemplate().pointSize, 16);
}

TEST(PrecautionsFormTest, PicturesHaveTheirOwnPixelSizes)
{
    struct Case {
        int id;
        QSize size;
    };
    testing::ScriptedHost host;
    CForm_MAP form(&host);
    form.Create(false);
    for (const Case& c : {Case{kIdPicture1, QSize(315, 199)}, Case{kIdPicture2, QSize(500, 266)}}) {
        const auto* picture = static_cast<const QLabel*>(form.GetDlgItem(c.id));
        ASSERT_FALSE(picture->pixmap().isNull()) << "bitmap of control " << c.id << " missing";
        EXPECT_EQ(picture->pixmap().size(), c.size);
        EXPECT_EQ(picture->size(), c.size);
    }
}

// Larger than the offscreen screen, the form keeps its top left on the
// available area (so its title bar and close box stay in reach).
TEST(PrecautionsFormTest, IsKeptInsideTheScreen)
{
    testing::ScriptedHost host;
    CForm_MAP form(&host);
    form.Create(false);
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_GT(form.Window()->width(), available.width());
    EXPECT_EQ(form.Window()->geometry().left(), available.left());
    EXPECT_GE(form.Window()->geometry().top(), available.top());
}

TEST(PrecautionsFormTest, EscapeEnterAndTheCloseBoxCloseIt)
{
    enum class Ending { Escape, Enter, CloseBox };
    struct Case {
        Ending ending;
        int result;
    };
    for (const Case& c :
         {Case{Ending::Escape, framework::IDCANCEL}, Case{Ending::Enter, framework::IDOK},
          Case{Ending::CloseBox, framework::IDCANCEL}}) {
        testing::ScriptedHost host;
        CForm_MAP form(&host);
        bool shownWhenClosed = false;
        QTimer::singleShot(0, [&] {
            QDialog* window = form.Window();
            shownWhenClosed = window->isVisible();
            if (c.ending == Ending::CloseBox) {
                window->close();
                return;
            }
            const int key = c.ending == Ending::Escape ? Qt::Key_Escape : Qt::Key_Return;
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
            QApplication::sendEvent(window, &press);
        });
        EXPECT_EQ(form.DoModal(), c.result);
        EXPECT_TRUE(shownWhenClosed);
        EXPECT_EQ(form.Window(), nullptr);
    }
}

}  // namespace
}  // namespace korvane::ui
