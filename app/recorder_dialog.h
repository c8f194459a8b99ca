// The program's main window: Start and End, the clock and level fields, the REC indicator, the
// three slide previews and the Previous, Pause and Next buttons. It only shows and forwards; the lecture
// itself runs in the lecture controller.
#pragma once

#include <QDialog>
#include <QIcon>
#include <functional>

class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;

namespace vorlix {

class RecorderDialog : public QDialog {
    Q_OBJECT
public:
    explicit RecorderDialog(QWidget* parent = nullptr);

    // Asked before the window closes (close box, Escape); false keeps it open.
    void setCloseGuard(std::function<bool()> guard) { closeGuard_ = std::move(guard); }
    // Whether the presentation keys (Page Down/Up, Right/Left) step the slides now, and the
    // Pause key pauses.
    void setStepKeysActive(std::function<bool()> active) { stepKeysActive_ = std::move(active); }
    // Adds entries to the context menu, below About, each time it opens.
    void setMenuExtension(std::function<void(QMenu&)> extend) { extendMenu_ = std::move(extend); }
    // The pause button's text and the REC mark's caption: paused, or recording (or idle).
    void showPaused(bool paused);

    QPushButton* startButton() const { return start_; }
    QPushButton* endButton() const { return end_; }
    QPushButton* previousButton() const { return previous_; }
    QPushButton* nextButton() const { return next_; }
    QPushButton* pauseButton() const { return pause_; }
    QLineEdit* clockField() const { return clock_; }
    QLineEdit* levelField() const { return level_; }
    QRadioButton* recIndicator() const { return rec_; }
    QLabel* mainPicture() const { return mainPicture_; }
    QLabel* nextPicture() const { return nextPicture_; }
    QLabel* previousPicture() const { return previousPicture_; }

    // Closes the window without asking (after the guard already agreed elsewhere).
    void closeWithoutAsking();

public slots:
    void showAbout();

signals:
    void startRequested();
    void endRequested();
    void nextRequested();
    void previousRequested();
    void pauseRequested();

protected:
    void reject() override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void buildControls();
    void layOut();
    void stepKey(bool forward);

    QPushButton* start_ = nullptr;
    QPushButton* end_ = nullptr;
    QLineEdit* clock_ = nullptr;
    QLineEdit* level_ = nullptr;
    QRadioButton* rec_ = nullptr;
    QLabel* mainPicture_ = nullptr;
    QLabel* previousPicture_ = nullptr;
    QLabel* nextPicture_ = nullptr;
    QPushButton* previous_ = nullptr;
    QPushButton* next_ = nullptr;
    QPushButton* pause_ = nullptr;
    std::function<bool()> closeGuard_;
    std::function<void(QMenu&)> extendMenu_;
    std::function<bool()> stepKeysActive_;
    bool closing_ = false;
};

// The program icon, from the resources.
QIcon programIcon();

}  // namespace vorlix
