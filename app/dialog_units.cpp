#include "app/dialog_units.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QStringList>

namespace vorlix {

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics fm(font);
    // The average width of the Latin letters, rounded, as the dialog manager measures it.
    const int letters =
        fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX_ = qMax(1, (letters / 26 + 1) / 2);
    // The height unit is the font's em in pixels, the cell height of the face the layout was
    // drawn for; Japanese faces here add a much taller line box that would stretch the window.
    baseY_ = qMax(1, QFontInfo(font).pixelSize());
}

QFont dialogFont(int points) {
    QFont font;
    font.setFamilies(QStringList{QStringLiteral("MS PGothic"), QStringLiteral("Noto Sans CJK JP"),
                                 font.family()});
    font.setPointSize(points);
    return font;
}

}  // namespace vorlix
