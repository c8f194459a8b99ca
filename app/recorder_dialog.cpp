#include "app/recorder_dialog.h"

#include <QContextMenuEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>

#include "app/about_dialog.h"
#include "app/dialog_units.h"
#include "app/qt_text.h"
#include "lecture/lecture_clock.h"
#include "resources/texts.h"

namespace vorlix {

QIcon programIcon() { return QIcon(QStringLiteral(":/vorlix/icon.png")); }

RecorderDialog::RecorderDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(qs(texts::kWindowCaption));
    setWindowIcon(programIcon());
    setFont(dialogFont(layout::kMainFontPoints));
    buildControls();
    layOut();

    connect(start_, &QPushButton::clicked, this, &RecorderDialog::startRequested);
    connect(end_, &QPushButton::clicked, this, &RecorderDialog::endRequested);
    connect(next_, &QPushButton::clicked, this, &RecorderDialog::nextRequested);
    connect(previous_, &QPushButton::clicked, this, &RecorderDialog::previousRequested);
    connect(pause_, &QPushButton::clicked, this, &RecorderDialog::pauseRequested);
    connect(new QShortcut(QKeySequence(Qt::Key_Pause), this), &QShortcut::activated, this, [this] {
        if (stepKeysActive_ && stepKeysActive_()) emit pauseRequested();
    });

    // What a presentation remote sends.
    for (const auto key : {Qt::Key_PageDown, Qt::Key_Right})
        connect(new QShortcut(QKeySequence(key), this), &QShortcut::activated, this,
                [this] { stepKey(true); });
    for (const auto key : {Qt::Key_PageUp, Qt::Key_Left})
        connect(new QShortcut(QKeySequence(key), this), &QShortcut::activated, this,
                [this] { stepKey(false); });
}

void RecorderDialog::buildControls() {
    start_ = new QPushButton(qs(texts::kStartButton), this);
    start_->setObjectName(QStringLiteral("start"));
    end_ = new QPushButton(qs(texts::kEndButton), this);
    end_->setObjectName(QStringLiteral("end"));

    // Display fields: read-only and out of the focus chain, so that arrow keys reach the slides.
    for (QLineEdit** field : {&clock_, &level_}) {
        *field = new QLineEdit(this);
        (*field)->setReadOnly(true);
        (*field)->setFocusPolicy(Qt::NoFocus);
    }
    clock_->setObjectName(QStringLiteral("clock"));
    level_->setObjectName(QStringLiteral("level"));

    rec_ = new QRadioButton(qs(texts::kRecIndicator), this);
    rec_->setObjectName(QStringLiteral("rec"));
    rec_->setEnabled(false);
    rec_->setAutoExclusive(false);

    const auto picture = [this](const char* name, int w, int h) {
        auto* label = new QLabel(this);
        label->setObjectName(QString::fromLatin1(name));
        label->setFixedSize(w, h);
        return label;
    };
    mainPicture_ =
        picture("mainPicture", layout::kMainPreviewWidth, layout::kMainPreviewHeight);
    previousPicture_ =
        picture("previousPicture", layout::kSidePreviewWidth, layout::kSidePreviewHeight);
    nextPicture_ = picture("nextPicture", layout::kSidePreviewWidth, layout::kSidePreviewHeight);

    previous_ = new QPushButton(qs(texts::kPreviousButton), this);
    previous_->setObjectName(QStringLiteral("previous"));
    next_ = new QPushButton(qs(texts::kNextButton), this);
    next_->setObjectName(QStringLiteral("next"));
    pause_ = new QPushButton(qs(texts::kPauseButton), this);
    pause_->setObjectName(QStringLiteral("pause"));
    pause_->setToolTip(qs(texts::kPauseTooltip));
    for (QPushButton* b : {start_, end_, previous_, next_, pause_}) b->setAutoDefault(false);
    start_->setDefault(true);
}

// Every control at its dialog-unit place. Where this machine's font needs more room than the
// layout gives (Japanese faces wider than the original one), a control grows to its text and
// the controls to its right on the same row move along, so nothing is cut off or overlapped.
void RecorderDialog::layOut() {
    const DialogUnits du(font());
    const int gap = du.x(2);

    // Text fields must hold their longest texts.
    const QFontMetrics fm(font());
    const int frame = du.x(3);
    clock_->setMinimumWidth(fm.horizontalAdvance(qs(clockText(0))) + 2 * frame);
    level_->setMinimumWidth(fm.horizontalAdvance(qs(texts::kLevelTexts[0].text)) + 2 * frame);
    // Room for the longer of each control's two texts.
    rec_->setText(qs(texts::kRecPaused));
    rec_->setMinimumWidth(rec_->sizeHint().width());
    rec_->setText(qs(texts::kRecIndicator));
    pause_->setMinimumWidth(
        qMax(pause_->sizeHint().width(),
             pause_->fontMetrics().horizontalAdvance(qs(texts::kResumeButton)) + 2 * frame));

    const auto row = [&](std::initializer_list<std::pair<QWidget*, layout::DialogRect>> items) {
        int right = -1;
        for (const auto& [w, r] : items) {
            QRect g = du.rect(r);
            if (w->minimumSize() == w->maximumSize()) {
                g.setSize(w->minimumSize());  // pictures take their image's size
            } else {
                const bool field = qobject_cast<QLineEdit*>(w) != nullptr;
                const QSize hint = w->sizeHint();
                g.setWidth(qMax(g.width(), field ? w->minimumWidth()
                                                 : qMax(hint.width(), w->minimumWidth())));
                g.setHeight(qMax(g.height(), hint.height()));
            }
            if (right >= 0 && g.left() <= right + gap) g.moveLeft(right + gap);
            w->setGeometry(g);
            right = g.right();
        }
    };
    row({{start_, layout::kStartButton},
         {end_, layout::kEndButton},
         {clock_, layout::kClockField},
         {level_, layout::kLevelField},
         {rec_, layout::kRecIndicator}});
    row({{mainPicture_, layout::kMainPicture}});
    row({{previousPicture_, layout::kPreviousPicture}, {nextPicture_, layout::kNextPicture}});
    row({{previous_, layout::kPreviousButton},
         {pause_, layout::kPauseButton},
         {next_, layout::kNextButton}});

    // Pictures below the top row and buttons below the pictures, whatever the font's height.
    const auto below = [&](QWidget* w, QWidget* above) {
        if (w->y() <= above->geometry().bottom() + gap) w->move(w->x(), above->geometry().bottom() + gap);
    };
    for (QWidget* top : {static_cast<QWidget*>(start_), static_cast<QWidget*>(clock_)})
        below(mainPicture_, top);
    below(previousPicture_, mainPicture_);
    below(nextPicture_, mainPicture_);
    below(previous_, previousPicture_);
    below(previous_, nextPicture_);
    below(next_, previousPicture_);
    below(next_, nextPicture_);
    pause_->move(pause_->x(), previous_->y());

    int right = du.x(layout::kMainWidth);
    int bottom = du.y(layout::kMainHeight);
    const int margin = du.x(7);
    for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        right = qMax(right, w->geometry().right() + margin);
        bottom = qMax(bottom, w->geometry().bottom() + du.y(7));
    }
    setFixedSize(right, bottom);
}

void RecorderDialog::stepKey(bool forward) {
    if (!stepKeysActive_ || !stepKeysActive_()) return;
    if (forward)
        emit nextRequested();
    else
        emit previousRequested();
}

void RecorderDialog::showAbout() {
    AboutDialog about(this);
    about.exec();
}

void RecorderDialog::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(qs(texts::kAboutMenuItem), this, &RecorderDialog::showAbout);
    if (extendMenu_) extendMenu_(menu);
    menu.exec(event->globalPos());
}

void RecorderDialog::showPaused(bool paused) {
    pause_->setText(qs(paused ? texts::kResumeButton : texts::kPauseButton));
    rec_->setText(qs(paused ? texts::kRecPaused : texts::kRecIndicator));
    if (paused) rec_->setChecked(false);
}

void RecorderDialog::reject() {
    if (!closing_ && closeGuard_ && !closeGuard_()) return;
    QDialog::reject();
}

void RecorderDialog::closeWithoutAsking() {
    closing_ = true;
    QDialog::reject();
}

}  // namespace vorlix
