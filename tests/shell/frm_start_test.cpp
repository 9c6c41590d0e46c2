// The title window: its look, OK, and closing it instead.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include "qt/help_window.h"
#include "qt/qt_dialogs.h"
#include "shell/frm_start.h"

namespace tolvane {
namespace {

TEST(TitleWindow, BlackCaptionlessFixedWithPictureAndOkCentred) {
    FrmStart title([] {});
    title.Form_Load();
    title.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&title));
    EXPECT_TRUE(title.windowTitle().trimmed().isEmpty());
    EXPECT_EQ(title.size(), QSize(366, 116));
    EXPECT_EQ(title.minimumSize(), title.maximumSize());
    const Qt::WindowFlags flags = title.windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);  // no taskbar entry
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(title.palette().color(QPalette::Window), QColor(Qt::black));

    auto* pic = title.findChild<QLabel*>("PIC1");
    auto* ok = title.findChild<QPushButton*>("CMD_1");
    ASSERT_TRUE(pic && ok);
    ASSERT_FALSE(pic->pixmap().isNull());
    EXPECT_EQ(pic->pixmap().size(), QSize(325, 36));
    EXPECT_EQ(pic->geometry(), QRect(21, 16, 325, 36));  // (366 - 325) / 2, rounded
    EXPECT_EQ(ok->geometry(), QRect(147, 61, 73, 25));
    EXPECT_EQ(ok->text(), "OK");
    EXPECT_EQ(QApplication::focusWidget(), ok);
}

TEST(TitleWindow, OkShowsTheMainWindowFirstThenCloses) {
    bool visible_during_show = false;
    FrmStart* seen = nullptr;
    FrmStart title([&] { visible_during_show = seen->isVisible(); });
    seen = &title;
    title.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&title));
    QTest::keyClick(title.findChild<QPushButton*>("CMD_1"), Qt::Key_Space);
    EXPECT_TRUE(visible_during_show);
    EXPECT_FALSE(title.isVisible());
}

TEST(TitleWindow, ClosingItEndsTheProgramWithoutTheMainWindow) {
    int shown = 0;
    FrmStart title([&] { ++shown; });
    title.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&title));
    bool quit = false;
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, &title, [&] { quit = true; });
    QTimer::singleShot(0, &title, [&] { title.close(); });
    // A safety net, gone with the test: once fired, it would end the event
    // loops of the tests after it.
    QTimer::singleShot(5000, &title, [] { QCoreApplication::exit(1); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_TRUE(quit);
    EXPECT_EQ(shown, 0);
}

TEST(TitleWindow, F1OpensTheHelp) {
    FrmStart title([] {});
    title.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&title));
    QTest::keyClick(title.findChild<QPushButton*>("CMD_1"), Qt::Key_F1);
    ASSERT_NE(title.help_window(), nullptr);
    EXPECT_TRUE(title.help_window()->isVisible());
    EXPECT_FALSE(title.help_window()->browser()->toPlainText().isEmpty());
}

TEST(MessageBoxes, CarryTheProgramTitleAndNoIcon) {
    QWidget owner;
    QtDialogs dialogs(&owner);
    QString caption, text;
    QMessageBox::Icon icon = QMessageBox::Warning;
    QMessageBox::StandardButton default_button = QMessageBox::NoButton;
    auto answer = [&](QMessageBox::StandardButton press) {
        QTimer::singleShot(0, [&, press] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            caption = box->windowTitle();
            text = box->text();
            icon = box->icon();
            default_button = box->standardButton(box->defaultButton());
            box->button(press)->click();
        });
    };
    answer(QMessageBox::Ok);
    dialogs.message("line one\n\rline two");
    EXPECT_EQ(caption, "tolvane");
    EXPECT_EQ(icon, QMessageBox::NoIcon);
    EXPECT_EQ(text, "line one\nline two");

    answer(QMessageBox::No);
    EXPECT_FALSE(dialogs.ask_yes_no("Delete Backup Data File?"));
    EXPECT_EQ(default_button, QMessageBox::Yes);
    answer(QMessageBox::Yes);
    EXPECT_TRUE(dialogs.ask_yes_no("Delete Backup Data File?"));
}

}  // namespace
}  // namespace tolvane
