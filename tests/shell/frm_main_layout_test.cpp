// The main window as it is created and first shown.
#include <QAccessible>
#include <QCheckBox>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "shell/frm_start.h"
#include "shell/main_window_rig.h"

namespace tolvane::testing {
namespace {

using Layout = MainWindowTest;

struct Control {
    const char* name;
    const char* text;
    QRect px;  // twips / 15
    bool bold;
    QColor fore;
};

TEST_F(Layout, EveryVisibleControlHasItsTextPlaceFontAndColours) {
    start();
    EXPECT_EQ(window->windowTitle(), "KLD-350 Polling Utility V1.24");
    EXPECT_EQ(window->centralWidget()->size(), QSize(616, 122));
    EXPECT_EQ(window->centralWidget()->palette().color(QPalette::Window), QColor(Qt::black));

    const QColor white(255, 255, 255), yellow(255, 255, 0), none;
    const Control controls[] = {
        {"chk_auto", "Auto Connect", {3, 3, 97, 16}, false, white},
        {"op_hor", "Horizontal Fill", {3, 27, 85, 14}, false, white},
        {"op_ver", "Vertical Fill", {3, 42, 82, 14}, false, white},
        {"Command1", "&Connect", {6, 63, 70, 22}, true, none},
        {"lb_nummeas", "N.M. = 80", {5, 93, 79, 25}, false, white},
        {"lb_numpoints", "0 Measurements Received", {105, 3, 148, 25}, false, white},
        {"lst_meas", nullptr, {104, 32, 148, 32}, false, none},
        {"cmd_clrm", "Clear &Measurements", {105, 93, 148, 19}, false, none},
        {"lb_backup", "Backup Data File", {259, 3, 148, 25}, false, white},
        {"lst_backup", nullptr, {256, 32, 148, 32}, false, none},
        {"cmd_backup", "Clear &Backup Data File", {258, 93, 148, 19}, false, none},
        {"Label1", "Current Measurement Description", {408, 3, 199, 25}, false, white},
        {"txt_backupdes", "", {408, 30, 199, 21}, false, none},
        {"lb_selectcom", "", {423, 69, 163, 13}, false, yellow},
    };
    for (const Control& c : controls) {
        SCOPED_TRACE(c.name);
        QWidget* w = find(c.name);
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(w->isVisible());
        EXPECT_EQ(w->geometry(), c.px);
        QFontInfo font(w->font());
        EXPECT_EQ(font.family(), "Liberation Sans");
        EXPECT_DOUBLE_EQ(w->font().pointSizeF(), 8.25);
        EXPECT_EQ(w->font().bold(), c.bold);
        EXPECT_FALSE(w->font().italic() || w->font().underline());
        if (c.fore.isValid()) {
            EXPECT_EQ(w->palette().color(QPalette::WindowText), c.fore);
            EXPECT_EQ(w->palette().color(QPalette::Window), QColor(Qt::black));
            if (qobject_cast<QLabel*>(w)) {
                EXPECT_TRUE(w->autoFillBackground());  // opaque labels
            }
        }
        QString shown;
        if (auto* l = qobject_cast<QLabel*>(w)) shown = l->text();
        if (auto* b = qobject_cast<QAbstractButton*>(w)) shown = b->text();
        if (auto* e = qobject_cast<QLineEdit*>(w)) shown = e->text();
        if (c.text) {
            EXPECT_EQ(shown, c.text);
        }
    }
    EXPECT_EQ(find<QLabel>("lb_selectcom")->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    EXPECT_EQ(find<QLabel>("Label1")->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
}

TEST_F(Layout, ScreenReadersReadANameForEveryControlThatShowsDataOrTakesInput) {
    start();
    const FrmStart title([] {});
    const std::pair<QWidget*, std::string> named[] = {
        {title.findChild<QWidget*>("PIC1"), "Vuzazuvevo Rivoredi"},
        {title.findChild<QWidget*>("CMD_1"), "OK"},
        {find("lst_meas"), "Measurements"},
        {find("lst_backup"), "Backup Data File"},
        {find("txt_backupdes"), "Current Measurement Description"},
        {find("Command1"), "Connect"},
        {find("cmd_clrm"), "Clear Measurements"},
        {find("cmd_backup"), "Clear Backup Data File"},
        {find("chk_auto"), "Auto Connect"},
        {find("op_ver"), "Vertical Fill"},
    };
    for (const auto& [widget, name] : named) {
        QAccessibleInterface* read = QAccessible::queryAccessibleInterface(widget);
        ASSERT_NE(read, nullptr) << name;
        EXPECT_EQ(read->text(QAccessible::Name).toStdString(), name);
    }
    const auto labels = QAccessible::queryAccessibleInterface(find("txt_backupdes"))
                            ->relations(QAccessible::Label);
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels.first().first->object(), find("Label1"));
}

TEST_F(Layout, InitialStateFocusAndTabOrder) {
    start();
    EXPECT_FALSE(find<QCheckBox>("chk_auto")->isChecked());
    EXPECT_TRUE(find<QRadioButton>("op_ver")->isChecked());
    EXPECT_FALSE(find<QRadioButton>("op_hor")->isChecked());
    EXPECT_TRUE(find("Command1")->isEnabled());
    EXPECT_EQ(find<QListView>("lst_meas")->model()->rowCount(), 0);
    EXPECT_EQ(find<QLineEdit>("txt_backupdes")->maxLength(), std::numeric_limits<int>::max());
    EXPECT_EQ(find<QTimer>("tmr_main")->interval(), 500);
    EXPECT_EQ(find<QTimer>("tmr_mess")->interval(), 500);
    EXPECT_FALSE(find<QTimer>("tmr_mess")->isActive());

    EXPECT_EQ(QApplication::focusWidget(), find("lst_meas"));
    const char* order[] = {"lst_meas",   "op_ver",     "Command1",      "cmd_clrm", "chk_auto",
                           "cmd_backup", "lst_backup", "txt_backupdes", "lst_meas"};
    for (size_t i = 1; i < std::size(order); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), order[i]) << "after " << order[i - 1];
    }
}

TEST_F(Layout, HiddenControlsStayHiddenAndResizingMovesNothing) {
    start();
    QWidget* hidden[] = {find("Topics"), find("lblSysLink"), find("txtData")};
    EXPECT_EQ(find<QLineEdit>("txtData")->text(), "Text1\r\n");
    const QRect before = find("txt_backupdes")->geometry();
    window->showMaximized();
    window->resize(1600, 900);
    QCoreApplication::processEvents();
    for (QWidget* w : hidden) {
        EXPECT_FALSE(w->isVisible()) << w->objectName().toStdString();
        EXPECT_EQ(w->focusPolicy(), Qt::NoFocus);
    }
    EXPECT_EQ(find("txt_backupdes")->geometry(), before);
    EXPECT_EQ(find("Topics")->geometry(), QRect(66, 249, 145, 25));
}

TEST_F(Layout, MenuTreeCaptionsAndCheckMarks) {
    start();
    auto captions = [](QWidget* menu) {
        std::vector<std::string> out;
        for (QAction* a : menu->actions())
            out.push_back(a->objectName().toStdString() + " " + a->text().toStdString() +
                          (a->isChecked() ? " [x]" : ""));
        return out;
    };
    using Items = std::vector<std::string>;
    EXPECT_EQ(captions(window->menuBar()),
              (Items{"filemain_item &File", "setup1_item &Setup", "help1_item &Help"}));
    EXPECT_EQ(captions(find<QMenu>("filemain")), (Items{"exitmain E&xit"}));
    EXPECT_EQ(captions(find<QMenu>("setup1")),
              (Items{"comportm_item &Com Port", "windowtop_item &Window",
                     "nummeas1_item &Number Of Measurements"}));
    // com1 checked: the start opened port 1.
    EXPECT_EQ(captions(find<QMenu>("comportm")),
              (Items{"com1 1 [x]", "com2 2", "com3 3", "com4 4"}));
    EXPECT_EQ(captions(find<QMenu>("windowtop")), (Items{"top1 &Always on Top [x]"}));
    EXPECT_EQ(captions(find<QMenu>("nummeas1")),
              (Items{"n80n 80", "n85n 85", "n90n 90", "n95n 95", "n100n 100"}));
    EXPECT_EQ(captions(find<QMenu>("help1")), (Items{"about1 &About", "contents1 &Contents"}));
    for (QAction* a : window->findChildren<QAction*>()) {
        EXPECT_TRUE(a->shortcut().isEmpty()) << a->objectName().toStdString();
        EXPECT_TRUE(a->isEnabled() && a->isVisible());
    }
}

}  // namespace
}  // namespace tolvane::testing
