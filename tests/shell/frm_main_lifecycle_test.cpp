// Loading, closing and Exit with real files; the handlers the window wires.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QTextBrowser>
#include <signal.h>
#include <unistd.h>

#include <QTimer>
#include <filesystem>

#include "app/close_on_signal.h"
#include "kld350_sim.h"
#include "qt/help_window.h"
#include "qt/qt_window_stacking.h"
#include "shell/main_window_rig.h"

namespace tolvane::testing {
namespace {

using Lifecycle = MainWindowTest;
using Rows = std::vector<std::string>;

std::string text(QLabel* l) {
    return l->text().toStdString();
}

// The instrument's block of 1.23 and 45.6.
const kld350::Reading kTwo[] = {*kld350::reading_from_text("1.23"),
                                *kld350::reading_from_text("45.6")};
std::string two_values() {
    return kld350::encode_block(kTwo);
}

// Typing, character by character, as a keyboard with any layout would.
void type(QWidget* w, const QString& text) {
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &press);
    }
}

Rows rows(QListView* v) {
    Rows out;
    for (int i = 0; i < v->model()->rowCount(); ++i)
        out.push_back(v->model()->index(i, 0).data().toString().toStdString());
    return out;
}

bool checked(QAction* a) {
    return a->isChecked();
}

TEST_F(Lifecycle, FirstStartInAnEmptyDirectory) {
    start();
    EXPECT_EQ(text(find<QLabel>("lb_nummeas")), "N.M. = 80");
    EXPECT_EQ(file("com.dat"), "1\r\n");
    EXPECT_EQ(file("numdat.dat"), "(missing)");
    EXPECT_EQ(file("databac.txt"), "\"Backup Data\"\r\n");
    EXPECT_EQ(rows(find<QListView>("lst_backup")), Rows{"Backup Data"});
    EXPECT_TRUE(com.open);
    EXPECT_EQ(com.port, 1);
    EXPECT_TRUE(checked(find<QAction>("com1")));
    EXPECT_FALSE(window->port_locked);
    EXPECT_TRUE(find<QTimer>("tmr_main")->isActive());
    EXPECT_EQ(window->line_break, std::string("\n\r"));
    EXPECT_TRUE(window->spreadsheet_export().fill_vertical);
    EXPECT_FALSE(window->spreadsheet_export().auto_connect);
    EXPECT_EQ(window->property("LinkTopic").toString(), "System");
    EXPECT_TRUE(dialogs.messages.empty());
    // The first activation puts the window on top.
    EXPECT_EQ(stacking.calls, std::vector<int32_t>{HWND_TOPMOST});
}

TEST_F(Lifecycle, CloseSavesBothSettingsAndTheNextStartUsesThem) {
    start();
    trigger("com3");
    trigger("n95n");
    EXPECT_EQ(text(find<QLabel>("lb_nummeas")), "N.M. = 95");
    EXPECT_TRUE(checked(find<QAction>("com3")) && !checked(find<QAction>("com1")));
    stacking.calls.clear();
    EXPECT_TRUE(window->close());  // never refused, nothing asked
    EXPECT_TRUE(dialogs.messages.empty() && dialogs.questions.empty());
    EXPECT_FALSE(com.open);
    EXPECT_EQ(file("com.dat"), "3\r\n");
    EXPECT_EQ(file("numdat.dat"), " 95 \r\n");
    EXPECT_EQ(stacking.calls, (std::vector<int32_t>{HWND_NOTOPMOST, HWND_NOTOPMOST}));
    EXPECT_FALSE(find<QTimer>("tmr_main")->isActive());
    EXPECT_EQ(ended, 1);  // the program ends with its main window

    start();
    EXPECT_EQ(com.port, 3);
    EXPECT_TRUE(com.open);
    EXPECT_EQ(text(find<QLabel>("lb_nummeas")), "N.M. = 95");
}

TEST_F(Lifecycle, ExitSavesOnlyTheNumberOfMeasurements) {
    start();
    trigger("com3");
    trigger("n95n");
    stacking.calls.clear();
    trigger("exitmain");
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(file("numdat.dat"), " 95 \r\n");
    EXPECT_EQ(file("com.dat"), "1\r\n");
    EXPECT_TRUE(stacking.calls.empty());  // no closing steps
    EXPECT_FALSE(find<QTimer>("tmr_main")->isActive());

    window.reset();
    com.open = false;
    start();
    EXPECT_EQ(com.port, 1);
    EXPECT_EQ(text(find<QLabel>("lb_nummeas")), "N.M. = 95");
}

TEST_F(Lifecycle, ExitReportsANumberOfMeasurementsThatCannotBeSaved) {
    std::filesystem::create_directory("numdat.dat");
    start();
    trigger("exitmain");
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].rfind("The number of measurements could not be saved in "
                                        "numdat.dat (",
                                        0),
              0u)
        << dialogs.messages[0];
    EXPECT_EQ(ended, 1);
}

// Nothing restarts under the ending's messages, not even a notice of the
// port lost meanwhile.
TEST_F(Lifecycle, ExitStopsTheTimersBeforeItsMessages) {
    std::filesystem::create_directory("numdat.dat");
    start();
    std::vector<std::string> active;
    dialogs.while_open = [&] {
        com.lose();
        for (QTimer* t : window->findChildren<QTimer*>())
            if (t->isActive()) active.push_back(t->objectName().toStdString());
    };
    trigger("exitmain");
    EXPECT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(active, Rows{});
    EXPECT_EQ(ended, 1);
}

TEST_F(Lifecycle, ASavedPortThatCannotBeOpened) {
    write("com.dat", "2\r\n");
    com.free_ports = {1};
    start();
    EXPECT_EQ(dialogs.messages, Rows{"Com Port 2 Is Locked.  Please Select Another."});
    EXPECT_EQ(text(find<QLabel>("lb_selectcom")), "Com Port Not Selected!");
    for (const char* item : {"com1", "com2", "com3", "com4"})
        EXPECT_FALSE(checked(find<QAction>(item)));
    EXPECT_TRUE(window->port_locked);
    EXPECT_FALSE(find<QTimer>("tmr_main")->isActive());
    EXPECT_TRUE(find<QTimer>("tmr_mess")->isActive());
    // The rest of loading still runs.
    EXPECT_TRUE(window->spreadsheet_export().fill_vertical);
    EXPECT_EQ(file("databac.txt"), "\"Backup Data\"\r\n");
    EXPECT_EQ(rows(find<QListView>("lst_backup")), Rows{"Backup Data"});
    // The label blinks.
    QLabel* label = find<QLabel>("lb_selectcom");
    const bool shown = label->isVisible();
    QTest::qWait(600);
    EXPECT_NE(label->isVisible(), shown);

    window->close();
    EXPECT_EQ(file("com.dat"), "2\r\n");  // the port in force is saved, not changed
}

TEST_F(Lifecycle, ABlockIsListedBackedUpAndSentWithAutoConnect) {
    start();
    find<QLineEdit>("txt_backupdes")->setText("run 1");
    QTest::mouseClick(find("chk_auto"), Qt::LeftButton, {}, QPoint(8, 8));
    EXPECT_FALSE(find("Command1")->isEnabled());
    sheet.active = {5, 3};
    com.reads.push_back(two_values());
    QTest::qWait(600);
    EXPECT_EQ(sheet.at(5, 3), kld350::value_of(kTwo[0]));
    EXPECT_EQ(sheet.at(6, 3), kld350::value_of(kTwo[1]));
    EXPECT_TRUE(rows(find<QListView>("lst_meas")).empty());  // sent, so cleared
    const std::string data = file("databac.txt");
    EXPECT_NE(data.find("#2026-12-06 05:54:07#\r\n\"run 1\"\r\n1.23\r\n45.6\r\n"),
              std::string::npos)
        << data;
    EXPECT_EQ(rows(find<QListView>("lst_backup")).size(), 1u + 2 + 2);
}

TEST_F(Lifecycle, TheBackupListShowsTheFileThenNewRecordsAndClearsAtOnce) {
    write("databac.txt", "\"Backup Data\"\r\n#2026-12-07#\r\n\"a, \"b\"\"\n1.23\r0.5");
    start();
    auto* list = find<QListView>("lst_backup");
    EXPECT_EQ(rows(list), (Rows{"Backup Data", "7.12.2026", "a, \"b\"", "1.23", "0.5"}));
    // The last line had no end: the record goes right after it, and the list
    // still shows only the rows it loaded before the new ones.
    com.reads.push_back(two_values());
    EXPECT_TRUE(QTest::qWaitFor([&] { return rows(list).size() == 8; }));
    EXPECT_EQ(rows(list), (Rows{"Backup Data", "7.12.2026", "a, \"b\"", "1.23", "0.5",
                                "6.12.2026 5:54:07", "1.23", "45.6"}));
    // The end is shown at once.
    list->scrollToBottom();
    QTest::qWait(50);
    EXPECT_TRUE(list->viewport()->rect().intersects(list->visualRect(list->model()->index(7, 0))));
    EXPECT_FALSE(list->viewport()->rect().intersects(list->visualRect(list->model()->index(0, 0))));

    dialogs.answer_yes = true;
    QTest::mouseClick(find("cmd_backup"), Qt::LeftButton);
    EXPECT_EQ(rows(list), Rows{"Backup Data"});
}

TEST_F(Lifecycle, ABackupFileCutByAnotherProgramShowsOnlyLoadedRowsAndTakesTheNextRecord) {
    write("databac.txt", "\"Backup Data\"\r\n1\r\n2\r\n");
    start();
    std::filesystem::resize_file("databac.txt", 0);
    com.reads.push_back(two_values());
    auto* list = find<QListView>("lst_backup");
    EXPECT_TRUE(QTest::qWaitFor([&] { return rows(list).size() == 6; }));
    // A loaded row shows what was loaded or nothing, never the new bytes.
    const Rows shown = rows(list), loaded{"Backup Data", "1", "2"};
    for (size_t i = 0; i < 3; ++i)
        EXPECT_TRUE(shown[i].empty() || shown[i] == loaded[i]) << shown[i];
    EXPECT_EQ(Rows(shown.begin() + 3, shown.end()), (Rows{"6.12.2026 5:54:07", "1.23", "45.6"}));
    EXPECT_EQ(file("databac.txt"),
              std::string(kBackupHeader) + "#2026-12-06 05:54:07#\r\n1.23\r\n45.6\r\n");
}

// databac.txt stops taking writes while blocks arrive (here a directory
// takes its place): one message, the lists as usual, no record lost; the file
// is tried again without a block, and the records arrive in order.
TEST_F(Lifecycle, ABackupFileThatCannotBeWrittenCostsOneMessageAndNoRecord) {
    start();
    std::filesystem::remove("databac.txt");
    std::filesystem::create_directory("databac.txt");
    for (int second : {1, 2, 3}) {
        clock.times = {{2026, 12, 6, 5, 54, second}};
        com.reads.push_back(two_values());
        QTest::qWait(600);
    }
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(dialogs.messages[0].find("(Is a directory). The records are kept"),
              std::string::npos);
    EXPECT_EQ(rows(find<QListView>("lst_meas")).size(), 2u);
    EXPECT_EQ(text(find<QLabel>("lb_numpoints")), "2 Measurements Received");
    EXPECT_EQ(rows(find<QListView>("lst_backup")), Rows{"Backup Data"});

    std::filesystem::remove("databac.txt");
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialogs.messages.size() == 2; }, 3000));
    EXPECT_EQ(dialogs.messages[1],
              "The backup file databac.txt can be written again: 3 records that waited have been "
              "saved.");
    EXPECT_EQ(file("databac.txt"),
              "\"Backup Data\"\r\n#2026-12-06 05:54:01#\r\n1.23\r\n45.6\r\n"
              "#2026-12-06 05:54:02#\r\n1.23\r\n45.6\r\n#2026-12-06 05:54:03#\r\n1.23\r\n45.6\r\n");
    EXPECT_EQ(rows(find<QListView>("lst_backup")).size(), 1u + 3 * 3);
}

TEST_F(Lifecycle, ClosingWithRecordsWaitingSaysWhereTheyAreKept) {
    start();
    std::filesystem::remove("databac.txt");
    std::filesystem::create_directory("databac.txt");
    com.reads.push_back(two_values());
    QTest::qWait(600);
    window->close();
    ASSERT_EQ(dialogs.messages.size(), 2u);
    // Named by the process, and with the full path of the file it belongs to.
    const std::string aside = (work_.path() / "state/tolvane/databac-unsaved-2026-12-06-055407-")
                                  .string() +
                              std::to_string(::getpid()) + ".txt";
    const std::string backup = (work_.path() / "databac.txt").string();
    EXPECT_EQ(dialogs.messages[1],
              "1 record could not be saved in the backup file databac.txt (Is a directory). It "
              "was saved in " +
                  aside + " instead, in the same format. To add it to " + backup +
                  ", append that file without its first line: tail -n +2 \"" + aside +
                  "\" >> \"" + backup + "\"");
    EXPECT_EQ(file("com.dat"), "1\r\n");  // the closing steps ran
}

// SIGTERM through the program's own handler while a box of the records
// databac.txt refuses is up: the one before the ending, or the ending's own
// after a close; and the session manager's quit in the latter. The box
// closes, its text stays on stderr, the program ends and the record is kept.
enum class Signalled { before_ending, endings_box, session_quit };
const char* const kSignalledNames[] = {"BeforeTheEnding", "EndingsBox", "SessionQuitInEndingsBox"};
class SignalInABox : public MainWindowTest, public ::testing::WithParamInterface<Signalled> {};

TEST_P(SignalInABox, EndsTheProgramAndKeepsTheRecord) {
    const bool endings_box = GetParam() != Signalled::before_ending;
    start();
    const auto end = [this] { window->end_on_signal(); };
    const CloseOnSignal on_signal(end, [&] { return end(), true; });
    std::filesystem::remove("databac.txt");
    std::filesystem::create_directory("databac.txt");
    const char* box = endings_box ? "1 record could not" : "The measurements could not";
    bool closed = false;
    dialogs.while_open = [&] {
        if (dialogs.messages.back().rfind(box, 0) != 0) return;
        QEvent quit(QEvent::Quit);
        if (GetParam() == Signalled::session_quit)
            QCoreApplication::sendEvent(qApp, &quit);
        else
            ::kill(::getpid(), SIGTERM);
        closed = QTest::qWaitFor([&] { return dialogs.closes > 0; }, 5000);
    };
    ::testing::internal::CaptureStderr();
    com.reads.push_back(two_values());
    QTest::qWait(600);
    if (endings_box) window->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return ended > 0; }, 5000));
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(closed);
    // The box closed unread, and the record kept.
    EXPECT_EQ(err.find("tolvane: The measurements could not") == std::string::npos, endings_box);
    EXPECT_NE(err.find("tolvane: 1 record could not be saved in the backup file databac.txt (Is a "
                       "directory). It was saved in"),
              std::string::npos)
        << err;
    EXPECT_EQ(file("com.dat"), "1\r\n");  // the closing steps ran
}

INSTANTIATE_TEST_SUITE_P(Boxes, SignalInABox,
                         ::testing::Values(Signalled::before_ending, Signalled::endings_box,
                                           Signalled::session_quit),
                         [](const auto& info) {
                             return std::string(kSignalledNames[static_cast<int>(info.param)]);
                         });

// A signal while the loading's box is up (a saved port that cannot be
// opened): nothing starts after it, the program ends, and what it could not
// save is on stderr.
TEST_F(Lifecycle, ASignalDuringTheStartUpBoxStartsNothing) {
    write("com.dat", "2\r\n");
    std::filesystem::create_directory("numdat.dat");
    com.free_ports = {1};
    const CloseOnSignal on_signal([this] { window->end_on_signal(); });
    dialogs.while_open = [&] {
        ::kill(::getpid(), SIGTERM);
        EXPECT_TRUE(QTest::qWaitFor([&] { return dialogs.closes > 0; }, 5000));
    };
    ::testing::internal::CaptureStderr();
    start(false);
    for (const char* name : {"tmr_main", "tmr_mess", "tmr_reopen", "tmr_backup"})
        EXPECT_FALSE(find<QTimer>(name)->isActive()) << name;
    EXPECT_TRUE(QTest::qWaitFor([&] { return ended == 1; }, 5000));
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(dialogs.closes, 1);
    EXPECT_NE(err.find("tolvane: Com Port 2 Is Locked"), std::string::npos) << err;
    EXPECT_NE(err.find("tolvane: numdat.dat could not be saved (Is a directory)."),
              std::string::npos)
        << err;
}

// A close that comes while something holds the poll (a box, the Clear
// question, a send) waits for it; then the ending runs, once. Nothing is
// sent or recorded after the end, and every block is in databac.txt or in
// the file of unsaved records.
enum class Holder { failure_box, clear_question, written_again_box, send };
const char* const kHolderNames[] = {"FailureBox", "ClearQuestion", "WrittenAgainBox", "Send"};
class EndingInsideAHold : public MainWindowTest, public ::testing::WithParamInterface<Holder> {};

TEST_P(EndingInsideAHold, WaitsForItAndLosesNothing) {
    const Holder holder = GetParam();
    deadlines.answer = std::chrono::seconds(60);
    start();
    QTest::mouseClick(find("chk_auto"), Qt::LeftButton, {}, QPoint(8, 8));
    // A second block arrives, and the window is closed, while the hold lasts.
    auto block_then_close = [&] {
        com.reads.push_back(two_values());
        QTest::qWait(600);
        window->close();
    };
    const char* box = holder == Holder::clear_question      ? "Delete Backup"
                      : holder == Holder::written_again_box ? "The backup file databac.txt can"
                                                            : "The measurements could not";
    bool inside = false;
    dialogs.while_open = [&] {
        const std::string& last =
            holder == Holder::clear_question ? dialogs.questions.back() : dialogs.messages.back();
        if (last.rfind(box, 0) != 0) return;
        inside = true;
        if (holder == Holder::send)
            QTest::qWait(100);  // the next block's box, as its event loop runs
        else
            block_then_close();
        inside = false;
    };
    dialogs.answer_yes = false;
    auto data = [] {
        return (std::filesystem::is_regular_file("databac.txt") ? file("databac.txt") : "") +
               (std::filesystem::exists("databac.old") ? file("databac.old") : "");
    };
    size_t cells_at_end = 0;
    std::string data_at_end;
    bool ended_inside = false;
    at_end = [&] {
        ended_inside = inside;
        cells_at_end = sheet.cells.size();
        data_at_end = data();
    };
    if (holder == Holder::failure_box || holder == Holder::written_again_box) {
        std::filesystem::remove("databac.txt");
        std::filesystem::create_directory("databac.txt");
    }
    if (holder == Holder::send) {
        // Two blocks in one read: the second is handled after the first's
        // send, and its record fails.
        sheet.hang("attach");
        com.reads.push_back(two_values() + two_values());
        QTimer::singleShot(800, window.get(), [&] {
            std::filesystem::rename("databac.txt", "databac.old");
            std::filesystem::create_directory("databac.txt");
            window->close();
        });
    } else {
        com.reads.push_back(two_values());
    }
    QTest::qWait(600);
    if (holder == Holder::written_again_box) std::filesystem::remove("databac.txt");
    if (holder == Holder::clear_question) QTest::mouseClick(find("cmd_backup"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended > 0; }, 5000));
    sheet.answer();
    QTest::qWait(1200);
    EXPECT_EQ(ended, 1);
    EXPECT_FALSE(ended_inside);
    EXPECT_EQ(sheet.cells.size(), cells_at_end);
    EXPECT_EQ(data(), data_at_end);
    std::string kept;
    std::error_code none;
    for (const auto& f : std::filesystem::directory_iterator(work_.path() / "state/tolvane", none))
        kept += file(f.path().c_str());
    auto records = [](const std::string& text) {
        size_t n = 0;
        for (size_t at = text.find("\n#"); at != std::string::npos; at = text.find("\n#", at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(records(data_at_end) + records(kept), 2u) << data_at_end << kept;
}

INSTANTIATE_TEST_SUITE_P(Holds, EndingInsideAHold,
                         ::testing::Values(Holder::failure_box, Holder::clear_question,
                                           Holder::written_again_box, Holder::send),
                         [](const auto& info) {
                             return std::string(kHolderNames[static_cast<int>(info.param)]);
                         });

// Blocks that arrive while "Delete Backup Data File?" is open wait, and are
// recorded after the answer: into the fresh file after Yes.
class ClearWhileBlocksArrive : public MainWindowTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ClearWhileBlocksArrive, TheyAreRecordedAfterTheAnswer) {
    start();
    com.reads.push_back(two_values());
    QTest::qWait(600);
    const std::string before = file("databac.txt");
    dialogs.answer_yes = GetParam();
    dialogs.while_open = [&] {
        clock.times = {{2026, 12, 6, 6, 0, 0}};
        com.reads.push_back(two_values());
        QTest::qWait(1100);
    };
    QTest::mouseClick(find("cmd_backup"), Qt::LeftButton);
    dialogs.while_open = nullptr;
    QTest::qWait(600);
    const std::string added = "#2026-12-06 06:00:00#\r\n1.23\r\n45.6\r\n";
    EXPECT_EQ(file("databac.txt"), (GetParam() ? std::string(kBackupHeader) : before) + added);
}

INSTANTIATE_TEST_SUITE_P(Answers, ClearWhileBlocksArrive, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Yes" : "No"; });

TEST_F(Lifecycle, ButtonsAndOptionsReachTheirOperations) {
    start();
    com.reads.push_back(two_values());
    QTest::qWait(600);
    ASSERT_EQ(rows(find<QListView>("lst_meas")).size(), 2u);
    EXPECT_EQ(text(find<QLabel>("lb_numpoints")), "2 Measurements Received");

    sheet.active = {2, 2};
    QTest::mouseClick(find("op_hor"), Qt::LeftButton, {}, QPoint(8, 7));
    EXPECT_EQ(dialogs.messages, Rows{"Check the current cell position in LibreOffice Calc"});
    EXPECT_FALSE(window->spreadsheet_export().fill_vertical);
    // "&Connect": the access key presses the button (after its press animation).
    QTest::keyClick(window->windowHandle(), Qt::Key_C, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return sheet.at(2, 3).has_value(); }));
    EXPECT_TRUE(sheet.at(2, 2));

    QTest::mouseClick(find("cmd_clrm"), Qt::LeftButton);
    EXPECT_TRUE(rows(find<QListView>("lst_meas")).empty());
    EXPECT_EQ(text(find<QLabel>("lb_numpoints")), "0 Measurements Received");

    dialogs.answer_yes = true;
    QTest::mouseClick(find("cmd_backup"), Qt::LeftButton);
    EXPECT_EQ(dialogs.questions, Rows{"Delete Backup Data File?"});
    EXPECT_EQ(file("databac.txt"), "\"Backup Data\"\r\n");
}

TEST_F(Lifecycle, TheDescriptionTakesOnlyWhatTheBackupFileCanHold) {
    start();
    auto* box = find<QLineEdit>("txt_backupdes");
    box->setFocus();
    type(box, QString::fromUtf8("Probe é €5 "));
    type(box, QString::fromUtf8("Ωx"));  // no Greek in Windows-1252
    EXPECT_EQ(box->text(), QString::fromUtf8("Probe é €5 x"));
    box->setText(QString(40000, u'a'));
    EXPECT_EQ(box->text().size(), 40000);
}

TEST_F(Lifecycle, AlwaysOnTopTogglesByItsCheckMark) {
    start();
    stacking.calls.clear();
    trigger("top1");
    EXPECT_FALSE(checked(find<QAction>("top1")));
    trigger("top1");
    EXPECT_TRUE(checked(find<QAction>("top1")));
    EXPECT_EQ(stacking.calls, (std::vector<int32_t>{HWND_NOTOPMOST, HWND_TOPMOST}));
    // Coming back to the window does not put it on top again.
    trigger("top1");
    window->activateWindow();
    QCoreApplication::processEvents();
    EXPECT_EQ(stacking.calls.back(), HWND_NOTOPMOST);
}

TEST(WindowStacking, TogglesTheStayOnTopFlagInPlace) {
    QWidget w;
    w.setGeometry(100, 120, 300, 200);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QtWindowStacking stacking(&w);
    const QRect before = w.geometry();
    const WId id = w.winId();
    stacking.set_topmost(HWND_TOPMOST);
    EXPECT_TRUE(w.windowHandle()->flags() & Qt::WindowStaysOnTopHint);
    stacking.set_topmost(0);  // not a stacking value: nothing happens
    EXPECT_TRUE(w.windowHandle()->flags() & Qt::WindowStaysOnTopHint);
    stacking.set_topmost(HWND_NOTOPMOST);
    EXPECT_FALSE(w.windowHandle()->flags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(w.geometry(), before);
    EXPECT_EQ(w.winId(), id);
    EXPECT_TRUE(w.isVisible());
}

TEST_F(Lifecycle, AboutHelpAndTheSizeReadOut) {
    start();
    trigger("about1");
    EXPECT_EQ(dialogs.messages, Rows{"KLD-350 Polling Utility V1.24\n\rtolvane 1.00"});

    trigger("contents1");  // by way of F1
    ASSERT_NE(window->help_window(), nullptr);
    EXPECT_TRUE(window->help_window()->isVisible());
    EXPECT_FALSE(window->help_window()->browser()->toPlainText().isEmpty());
    window->help_window()->close();
    window->activateWindow();
    QTest::keyClick(find("txt_backupdes"), Qt::Key_F1);
    EXPECT_TRUE(window->help_window()->isVisible());

    window->resize(624, 180);
    QCoreApplication::processEvents();
    const QRect outer = window->frameGeometry();
    QTest::mouseClick(find("lb_backup"), Qt::LeftButton);
    EXPECT_EQ(text(find<QLabel>("lb_backup")),
              std::to_string(outer.width() * 15) + " " + std::to_string(outer.height() * 15));
    window->close();
    EXPECT_FALSE(window->help_window()->isVisible());  // no window left behind
}

}  // namespace
}  // namespace tolvane::testing
