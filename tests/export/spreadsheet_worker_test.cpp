// The worker that runs the spreadsheet's calls on threads, against fakes.
#include "export/spreadsheet_worker.h"

#include <gtest/gtest.h>

#include <thread>

#include "fakes/fake_spreadsheet.h"
#include "fakes/fake_waiting.h"

namespace tolvane {
namespace {

using namespace std::chrono_literals;

struct Servers {
    std::vector<std::shared_ptr<testing::FakeSpreadsheet>> made;
    std::shared_ptr<SpreadsheetServer> make() {
        made.push_back(std::make_shared<testing::FakeSpreadsheet>());
        return made.back();
    }
};

// A call that does not come back even when its connection is broken off:
// the send still ends, the call keeps its own server, and the next send
// works with a new one.
TEST(SpreadsheetWorker, CallThatNeverReturnsIsLeftWithItsServer) {
    Servers servers;
    testing::BlockingWaiting waiting;
    {
        SpreadsheetWorker worker([&] { return servers.make(); }, waiting, {200ms, 200ms, 100ms});
        servers.made[0]->deaf = true;
        servers.made[0]->hang("attach");

        const Status first = worker.attach();
        EXPECT_TRUE(first.given_up());
        EXPECT_EQ(first.reason(), "LibreOffice Calc did not answer within 0.2\u00a0s");
        CellPosition cell;
        EXPECT_EQ(worker.active_cell(cell).reason(), first.reason()) << "the send is over";
        worker.release();
        EXPECT_EQ(worker.running_calls(), 1);

        EXPECT_TRUE(worker.attach().ok());
        ASSERT_EQ(servers.made.size(), 2u);
        worker.release();
    }
    // The worker is gone; the stuck call comes back later and harms nothing.
    servers.made[0]->answer();
    for (int i = 0; i < 100 && servers.made[0].use_count() > 1; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(servers.made[0].use_count(), 1);
}

}  // namespace
}  // namespace tolvane
