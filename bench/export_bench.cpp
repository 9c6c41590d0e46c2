// Speed of the send to a real LibreOffice Calc. Starts a headless office of
// its own (fresh profile in a temporary directory) and stops it at the end:
//   cmake --build build --target export_bench && build/bench/export_bench
// The operator's own office (visible, the user's profile) and the window's
// stall need a display and a throw-away HOME:
//   tests/uno/run_with_xvfb.sh build/bench/export_bench
#include <benchmark/benchmark.h>

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "export/spreadsheet_export.h"
#include "export/spreadsheet_worker.h"
#include "fakes/fake_controls.h"
#include "fakes/fake_spreadsheet.h"
#include "fakes/fake_waiting.h"
#include "qt/qt_send_progress.h"
#include "uno/office/office.h"
#include "uno/uno_spreadsheet_server.h"

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

std::string bench_dir;
testing::OfficeProcess shared_office;

MeasTable three_values() {
    MeasTable table;
    table.meas(1) = 1.23;
    table.meas(2) = 45.6;
    table.meas(3) = 700;
    table.meas_count = 3;
    return table;
}

bool needs_display(benchmark::State& state) {
    if (getenv("DISPLAY")) return true;
    state.SkipWithError("needs a display: run under tests/uno/run_with_xvfb.sh");
    return false;
}

// The operator's office as started from the desktop menu: visible, the
// user's profile, listening only on a pipe of its own (not tolvane's), a
// spreadsheet open with C5 active.
struct OperatorsOffice {
    std::string own_pipe;
    testing::OfficeProcess process;
    css::uno::Reference<css::sheet::XSpreadsheetDocument> doc;

    explicit OperatorsOffice(const std::string& pipe) : own_pipe(pipe + "-operator") {
        process = testing::start_office(bench_dir + "/operator", own_pipe, false,
                                        std::chrono::seconds(90), false);
        doc = testing::new_calc_document(testing::desktop_on(own_pipe));
        testing::select(doc, "C5");
    }
    ~OperatorsOffice() { testing::stop_office(process, own_pipe); }
};

// From "&Connect" to the values in the operator's document, as the window
// sends: through the worker. The first send goes through the launcher,
// which hands tolvane's pipe to the running office.
void BM_FirstSendThroughTheLauncher(benchmark::State& state) {
    if (!needs_display(state)) return;
    const std::string pipe = "tolvane-bench-handover-" + std::to_string(getpid());
    MeasTable table = three_values();
    for (auto _ : state) {
        state.PauseTiming();
        auto office = std::make_unique<OperatorsOffice>(pipe);
        UnoSpreadsheetServer::Options o;
        o.pipe = pipe;
        testing::BlockingWaiting waiting;
        SpreadsheetWorker worker([o] { return std::make_shared<UnoSpreadsheetServer>(o); },
                                 waiting);
        testing::FakeDialogs dialogs;
        testing::FakeButton command1;
        testing::FakeBusy busy;
        SpreadsheetExport send(table, dialogs, command1, worker, busy);
        send.fill_vertical = true;
        state.ResumeTiming();
        const bool sent = send.connect1();
        state.PauseTiming();
        if (!sent || testing::value(office->doc, "C5") != 1.23)
            state.SkipWithError("the values did not arrive in the operator's document");
        office.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FirstSendThroughTheLauncher)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Later sends to the same office: a direct attach over the pipe.
void BM_LaterSendToTheOperatorsOffice(benchmark::State& state) {
    if (!needs_display(state)) return;
    const std::string pipe = "tolvane-bench-later-" + std::to_string(getpid());
    MeasTable table = three_values();
    OperatorsOffice office(pipe);
    UnoSpreadsheetServer::Options o;
    o.pipe = pipe;
    testing::BlockingWaiting waiting;
    SpreadsheetWorker worker([o] { return std::make_shared<UnoSpreadsheetServer>(o); }, waiting);
    testing::FakeDialogs dialogs;
    testing::FakeButton command1;
    testing::FakeBusy busy;
    SpreadsheetExport send(table, dialogs, command1, worker, busy);
    send.fill_vertical = true;
    if (!send.connect1()) state.SkipWithError("the first send failed");
    for (auto _ : state) {
        if (!send.connect1()) state.SkipWithError("send failed");
    }
}
BENCHMARK(BM_LaterSendToTheOperatorsOffice)->Unit(benchmark::kMillisecond)->UseRealTime();

// A send to an office that hangs (stopped): how long the window's thread
// goes without running its event loop (longest gap between ticks of a 1 ms
// timer), while the send waits out its 10 s deadline.
void BM_WindowStallWhileTheOfficeHangs(benchmark::State& state) {
    MeasTable table = three_values();
    QtSendProgress progress(nullptr);
    SpreadsheetWorker worker(
        [] {
            UnoSpreadsheetServer::Options o;
            o.launcher = "false";
            return std::make_shared<UnoSpreadsheetServer>(o);
        },
        progress);
    testing::FakeDialogs dialogs;
    testing::FakeButton command1;
    testing::FakeBusy busy;
    SpreadsheetExport send(table, dialogs, command1, worker, busy);
    double longest_ms = 0;
    for (auto _ : state) {
        kill(-shared_office.launcher, SIGSTOP);
        QElapsedTimer clock;
        qint64 last = 0;
        qint64 longest = 0;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            longest = std::max(longest, now - last);
            last = now;
        });
        tick.start(1);
        clock.start();
        const bool sent = send.connect1();
        longest = std::max(longest, clock.nsecsElapsed() - last);
        tick.stop();
        kill(-shared_office.launcher, SIGCONT);
        if (sent) state.SkipWithError("the send to a stopped office succeeded");
        longest_ms = std::max(longest_ms, longest / 1e6);
    }
    state.counters["longest_stall_ms"] = longest_ms;
}
BENCHMARK(BM_WindowStallWhileTheOfficeHangs)
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    char dir_template[] = "/tmp/tolvane-bench.XXXXXX";
    const char* dir = mkdtemp(dir_template);
    if (!dir) return 1;
    bench_dir = dir;
    if (!getenv("DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const std::string pipe = "tolvane-bench-" + std::to_string(getpid());
    setenv("TOLVANE_UNO_PIPE", pipe.c_str(), 1);
    int status = 0;
    try {
        shared_office = testing::start_office(dir, pipe);
        testing::new_calc_document(testing::desktop_on(pipe));
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        testing::stop_office(shared_office, pipe);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "export_bench: %s\n", e.what());
        status = 1;
    }
    std::filesystem::remove_all(dir);
    return status;
}
