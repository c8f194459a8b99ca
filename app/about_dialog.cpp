#include "app/about_dialog.h"

#include <QLabel>
#include <QPushButton>

#include "app/dialog_units.h"
#include "app/qt_text.h"
#include "app/recorder_dialog.h"
#include "resources/texts.h"

namespace vorlix {

namespace {
// Places a text at its dialog-unit spot, widened to its text so nothing is cut off.
void place(QWidget* w, const QRect& r) {
    w->setGeometry(r.x(), r.y(), qMax(r.width(), w->sizeHint().width()),
                   qMax(r.height(), w->sizeHint().height()));
}
}  // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(qs(texts::kAboutCaption));
    setFont(dialogFont(layout::kAboutFontPoints));
    const DialogUnits du(font());

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("aboutIcon"));
    icon->setPixmap(programIcon().pixmap(32, 32));
    icon->setGeometry(du.x(layout::kAboutIcon.x), du.y(layout::kAboutIcon.y), 32, 32);

    auto* version = new QLabel(qs(texts::kAboutVersion), this);
    version->setObjectName(QStringLiteral("aboutVersion"));
    place(version, du.rect(layout::kAboutVersion));
    auto* second = new QLabel(qs(texts::kAboutSecondLine), this);
    second->setObjectName(QStringLiteral("aboutSecondLine"));
    place(second, du.rect(layout::kAboutSecondLine));

    auto* ok = new QPushButton(qs(texts::kAboutOk), this);
    ok->setDefault(true);
    QRect okRect = du.rect(layout::kAboutOk);
    // The OK button keeps to the right of the texts when they came out wider than planned.
    const int textRight = qMax(version->geometry().right(), second->geometry().right());
    if (okRect.x() <= textRight + du.x(4)) okRect.moveLeft(textRight + du.x(4));
    place(ok, okRect);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    const int width = qMax(du.x(layout::kAboutWidth), ok->geometry().right() + du.x(7));
    const int height = qMax(du.y(layout::kAboutHeight),
                            qMax(second->geometry().bottom(), icon->geometry().bottom()) + du.y(7));
    setFixedSize(width, height);
}

}  // namespace vorlix
