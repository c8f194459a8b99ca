// The video's save dialogue and codec choice remember, across runs, the kind of file, the folder
// and the codec with its quality.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/codec_dialog.h"
#include "app/qt_text.h"
#include "app/qt_user_prompts.h"
#include "resources/texts.h"

namespace vorlix {
namespace {

TEST(SaveChoice, KindFolderAndCodecComeBackInTheNextRun) {
    static int argc = 1;
    static char* argv[] = {const_cast<char*>("gui_tests"), nullptr};
    if (qApp == nullptr) new QApplication(argc, argv);
    QTemporaryDir config, folder;
    ::setenv("XDG_CONFIG_HOME", config.path().toUtf8().constData(), 1);  // not the user's own
    const std::vector<SaveFileType> kinds{{"AVI-type file (*.avi)", "*.avi"},
                                          {"MP4 (*.mp4)", "*.mp4"}};
    QString openedAt, kindShown;
    for (const bool first : {true, false}) {  // each run with new prompts, the same settings
        QTimer::singleShot(50, [&, first] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            openedAt = dialog->directory().absolutePath(), kindShown = dialog->selectedNameFilter();
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (first)  // the MP4 picked by key, in the folder typed
                QTest::keyClick(dialog->findChild<QComboBox*>("fileTypeCombo"), Qt::Key_Down);
            name->setText(first ? folder.path() + "/talk" : "talk");
            QTest::keyClick(name, Qt::Key_Return);
        });
        const auto chosen = QtUserPrompts(nullptr).askSaveFile(kinds, texts::kSaveInitialName);
        ASSERT_TRUE(chosen);
        EXPECT_EQ(std::tuple(chosen->path, chosen->type),
                  std::tuple(utf8(folder.path()) + "/talk.mp4", 1u));
        EXPECT_EQ(kindShown.startsWith("MP4"), !first);
        EXPECT_EQ(openedAt == folder.path(), !first);

        QTimer::singleShot(50, [first] {  // the second codec and a quality, then as offered
            auto* codecs = qobject_cast<CodecDialog*>(QApplication::activeModalWidget());
            if (first) codecs->list()->setCurrentRow(1), codecs->quality()->setValue(37);
            codecs->accept();
        });
        const auto codec = QtUserPrompts(nullptr).chooseCodec(
            {{"rawvideo", "Full frames"}, {"mjpeg", "Motion JPEG", true, 1, 100, 75}});
        EXPECT_EQ(codec, (CodecChoice{"mjpeg", 37}));
    }
}

}  // namespace
}  // namespace vorlix
