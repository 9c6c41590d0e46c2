// Speed of the send to a real LibreOffice Calc. Starts a headless office of
// its own (fresh profile in a temporary directory) and stops it at the end:
//   cmake --build build --target export_bench && build/bench/export_bench
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "export/spreadsheet_export.h"
#include "fakes/fake_controls.h"
#include "fakes/fake_spreadsheet.h"
#include "platform/office/office.h"
#include "platform/uno_spreadsheet_server.h"

namespace {

using namespace tolvane;

UnoSpreadsheetServer::Options attach_only() {
    UnoSpreadsheetServer::Options o;
    o.launcher = "false";
    return o;
}

// Puts the active cell back to A1 so every round writes the same cells.
void back_to_a1(SpreadsheetServer& server) {
    CellPosition last;
    if (!server.attach().ok() || !server.active_sheet(last).ok() || !server.select({1, 1}).ok())
        throw std::runtime_error("the office does not answer");
    server.release();
}

// Connect to the listening office (what every send does first).
void BM_Attach(benchmark::State& state) {
    UnoSpreadsheetServer server(attach_only());
    for (auto _ : state) {
        if (!server.attach().ok()) state.SkipWithError("attach failed");
        server.release();
    }
}
BENCHMARK(BM_Attach)->Unit(benchmark::kMillisecond);

// The whole send of 100 values: attach, look up document, sheet and cell,
// write, select.
void BM_Send100(benchmark::State& state) {
    MeasTable table;
    for (int i = 1; i <= 100; ++i)
        table.meas(i) = i * 1.25;
    table.meas_count = 100;
    testing::FakeDialogs dialogs;
    testing::FakeButton command1;
    testing::FakeBusy busy;
    UnoSpreadsheetServer server(attach_only());
    SpreadsheetExport send(table, dialogs, command1, server, busy);
    send.fill_vertical = state.range(0) != 0;
    for (auto _ : state) {
        state.PauseTiming();
        back_to_a1(server);
        state.ResumeTiming();
        if (!send.connect1()) state.SkipWithError("send failed");
    }
}
BENCHMARK(BM_Send100)->Arg(1)->Arg(0)->ArgName("vertical")->Unit(benchmark::kMillisecond);

// For comparison: one write and one select per value, as the send did before
// it wrote the run at once.
void BM_Send100OneCellAtATime(benchmark::State& state) {
    UnoSpreadsheetServer server(attach_only());
    for (auto _ : state) {
        state.PauseTiming();
        back_to_a1(server);
        state.ResumeTiming();
        CellPosition last, cell;
        server.attach();
        server.active_sheet(last);
        server.active_cell(cell);
        for (int i = 1; i <= 100; ++i) {
            const double v = i * 1.25;
            server.set_values(cell, FillDirection::down, {&v, 1});
            ++cell.row;
            server.select(cell);
        }
        server.release();
    }
}
BENCHMARK(BM_Send100OneCellAtATime)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    char dir_template[] = "/tmp/tolvane-bench.XXXXXX";
    const char* dir = mkdtemp(dir_template);
    if (!dir) return 1;
    const std::string pipe = "tolvane-bench-" + std::to_string(getpid());
    setenv("TOLVANE_UNO_PIPE", pipe.c_str(), 1);
    int status = 0;
    try {
        testing::OfficeProcess office = testing::start_office(dir, pipe);
        testing::new_calc_document(testing::desktop_on(pipe));
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        testing::stop_office(office, pipe);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "export_bench: %s\n", e.what());
        status = 1;
    }
    std::filesystem::remove_all(dir);
    return status;
}
