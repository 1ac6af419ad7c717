// Dialog base units measured on a Qt font.
#include "framework/DialogTemplate.h"

#include <QFont>
#include <QFontMetrics>

namespace korvane::framework {

DialogBaseUnits MeasureDialogBaseUnits(const QFont& font)
{
    // The dialog manager's measure: the width of the 52 Latin letters, averaged
    // and rounded, and the font's line height.
    static const QString kLetters =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const QFontMetrics metrics(font);
    const int lettersWidth = metrics.horizontalAdvance(kLetters);
    return DialogBaseUnits{(lettersWidth / 26 + 1) / 2, metrics.height()};
}

}  // namespace korvane::framework
