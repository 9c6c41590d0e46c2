// The window against a real office that hangs (stopped with SIGSTOP) while
// Auto Connect sends: the blocks that arrive meanwhile are recorded after
// the send gives up, in order, and sent once the office answers again.
#include <signal.h>

#include <QCheckBox>
#include <QListView>
#include <QTimer>
#include <cmath>

#include "kld350_sim.h"
#include "shell/main_window_rig.h"
#include "uno/office/office.h"
#include "uno/uno_spreadsheet_server.h"

namespace tolvane::testing {
namespace {

std::string block(const char* a, const char* b) {
    const kld350::Reading r[] = {*kld350::reading_from_text(a), *kld350::reading_from_text(b)};
    return kld350::encode_block(r);
}

class WindowAndHungOffice : public MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        std::filesystem::remove_all(dir);
        office = start_office(dir, pipe);
        doc = new_calc_document(desktop_on(pipe));
        select(doc, "C5");
    }
    void TearDown() override {
        kill(-office.launcher, SIGCONT);
        window.reset();
        stop_office(office, pipe);
        MainWindowTest::TearDown();
    }

    std::string dir = TOLVANE_TEST_OFFICE_DIR;
    std::string pipe = uno_pipe_from_environment();
    OfficeProcess office;
    css::uno::Reference<css::sheet::XSpreadsheetDocument> doc;
};

TEST_F(WindowAndHungOffice, BlocksArrivingMeanwhileFollowInOrder) {
    window = std::make_unique<FrmMain>(
        MainPlatform{com, [] { return std::make_shared<UnoSpreadsheetServer>(); }, files, clock,
                     busy, &dialogs, &stacking, [] {}, SendDeadlines{std::chrono::seconds(2)}});
    window->Form_Load();
    window->show();
    window->findChild<QCheckBox*>("chk_auto")->click();

    com.reads.push_back(block("1.11", "2.22"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !std::isnan(value(doc, "C6")); }, 10000));

    kill(-office.launcher, SIGSTOP);
    com.reads.push_back(block("3.33", "4.44"));
    QTimer::singleShot(1000, window.get(), [&] {
        com.reads.push_back(block("5.55", "6.66"));
        com.reads.push_back(block("7.77", "8.88"));
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.messages.empty(); }, 20000));
    EXPECT_EQ(dialogs.messages[0],
              "The measurements were not sent: LibreOffice Calc did not answer within 2\u00a0s. "
              "They are still in the measurement list.");
    kill(-office.launcher, SIGCONT);

    ASSERT_TRUE(QTest::qWaitFor([&] { return !std::isnan(value(doc, "C10")); }, 20000))
        << ::testing::PrintToString(dialogs.messages);
    EXPECT_DOUBLE_EQ(value(doc, "C7"), 5.55);
    EXPECT_DOUBLE_EQ(value(doc, "C8"), 6.66);
    EXPECT_DOUBLE_EQ(value(doc, "C9"), 7.77);
    EXPECT_DOUBLE_EQ(value(doc, "C10"), 8.88);
    EXPECT_EQ(selection(doc), "C11");
    EXPECT_EQ(dialogs.messages.size(), 1u);
    const std::string data = file("databac.txt");
    const auto at = [&](const char* v) { return data.find(v); };
    EXPECT_LT(at("2.22"), at("3.33"));
    EXPECT_LT(at("4.44"), at("5.55"));
    EXPECT_LT(at("6.66"), at("7.77"));
    EXPECT_NE(at("8.88"), std::string::npos);
    EXPECT_EQ(window->spreadsheet_worker().running_calls(), 0);
}

}  // namespace
}  // namespace tolvane::testing
