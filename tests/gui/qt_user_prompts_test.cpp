// The real dialogues, answered by keys from a timer as a user would answer them.
#include "app/qt_user_prompts.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <vector>

#include "app/qt_text.h"
#include "resources/texts.h"
#include "tests/gui/gui_app.h"

namespace vorlix {
namespace {

// Runs `answer` on each modal dialogue that opens, in turn, and notes their kinds and texts.
class Answers : public QObject {
  public:
    explicit Answers(std::vector<std::function<void(QWidget*)>> steps) : steps_(std::move(steps)) {
        QObject::connect(&timer_, &QTimer::timeout, this, [this] {
            QWidget* w = QApplication::activeModalWidget();
            if (!w || w == last_) return;
            last_ = w;
            if (next_ >= steps_.size()) {  // unexpected: fail rather than hang
                ADD_FAILURE() << "unexpected dialogue " << w->metaObject()->className();
                QTimer::singleShot(0, w, [w] { QMetaObject::invokeMethod(w, "reject"); });
                return;
            }
            if (auto* box = qobject_cast<QMessageBox*>(w))
                seen.push_back(utf8(box->text()));
            else
                seen.push_back(w->metaObject()->className());
            // Answered from its own call: an answer may open a nested dialogue, and this timer
            // does not fire again until its handler returns.
            QTimer::singleShot(0, w, [w, step = steps_[next_++]] { step(w); });
        });
        timer_.start(20);
    }
    std::vector<std::string> seen;

  private:
    QTimer timer_;
    std::vector<std::function<void(QWidget*)>> steps_;
    std::size_t next_ = 0;
    QPointer<QWidget> last_;  // a dialogue may reuse the address of the one before
};

void pressReturn(QWidget* w) {
    QTest::keyClick(w->focusWidget() ? w->focusWidget() : w, Qt::Key_Return);
}
void clickYes(QWidget* w) {
    qobject_cast<QMessageBox*>(w)->button(QMessageBox::Yes)->click();
}

TEST(QtUserPrompts, YesNoDefaultsToNo) {
    test::guiApp();
    QtUserPrompts prompts(nullptr);
    Answers answers({pressReturn, clickYes});
    EXPECT_FALSE(prompts.askYesNo(texts::kAbandonQuestion));
    EXPECT_TRUE(prompts.askYesNo(texts::kAbandonQuestion));
    EXPECT_EQ(answers.seen, std::vector<std::string>(2, std::string(texts::kAbandonQuestion)));
}

TEST(QtUserPrompts, SaveAddsTheExtensionAndAsksBeforeReplacing) {
    test::guiApp();
    QTemporaryDir dir;
    const QString existing = dir.filePath(QStringLiteral("lecture.avi"));
    QFile(existing).open(QIODevice::WriteOnly);
    const auto typeName = [&](QWidget* w) {
        auto* name = w->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(dir.filePath(QStringLiteral("lecture")));
        QTest::keyClick(name, Qt::Key_Return);
    };
    QtUserPrompts prompts(nullptr);
    Answers answers(
        {typeName, pressReturn /* the replace question: its default */, typeName, clickYes});
    // The first answer to "replace?" keeps the dialogue open; a second name is given and
    // replacing is agreed to.
    const auto path = prompts.askSavePath(texts::kSaveFilterDescription, texts::kSaveFilterPattern,
                                          texts::kSaveInitialName);
    ASSERT_TRUE(path.has_value());
    EXPECT_EQ(*path, utf8(existing));
    ASSERT_EQ(answers.seen.size(), 4u);
    EXPECT_EQ(answers.seen[0], "QFileDialog");
    EXPECT_NE(answers.seen[1].find("lecture.avi"), std::string::npos) << answers.seen[1];
}

}  // namespace
}  // namespace vorlix
