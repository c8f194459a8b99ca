// The real dialogues, answered by keys from a timer as a user would answer them.
#include "app/qt_user_prompts.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/qt_text.h"
#include "resources/texts.h"
#include "tests/gui/gui_app.h"

namespace vorlix {
namespace {

// Runs each step on the next modal dialogue that opens, and notes the dialogues' texts.
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
            auto* box = qobject_cast<QMessageBox*>(w);
            seen.push_back(box ? utf8(box->text()) : w->metaObject()->className());
            // From its own call: an answer may open a nested dialogue.
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
}

// The name typed gets ".avi"; replacing that file is asked first, No (the default) keeping the
// dialogue open.
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
    Answers answers({typeName, pressReturn, typeName, clickYes});
    const auto path = prompts.askSavePath(texts::kSaveFilterDescription, texts::kSaveFilterPattern,
                                          texts::kSaveInitialName);
    EXPECT_EQ(path, utf8(existing));
    ASSERT_EQ(answers.seen.size(), 4u);
    EXPECT_NE(answers.seen[1].find("lecture.avi"), std::string::npos) << answers.seen[1];
}

}  // namespace
}  // namespace vorlix
