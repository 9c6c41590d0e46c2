// inspect_probe FILE: the Inspection window's start on FILE, in process, on
// the display Qt is given ($DISPLAY, or QT_QPA_PLATFORM=offscreen), and the
// redraw of its charts. Prints one line:
//   NEWEST_MS HWM_KB REDRAW_MEDIAN_MS REDRAW_MAX_MS
// NEWEST_MS  process start -> the window shown, the whole file indexed and
//            its newest record selected and drawn
// HWM_KB     the peak resident set (VmHWM) one second after that
// REDRAW_*   choosing another record and painting both charts again (two
//            records of the file's last, alternately; 40 times)
//
// inspect_probe --append FILE...: the window over these stations' files;
// once all is shown, a record is appended to each file in turn, 30 times,
// and timed until the window lists it and shows it as the newest. Prints
//   APPENDS MEDIAN_MS MAX_MS
#include <QApplication>
#include <QChartView>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QTableView>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <time.h>
#include <unistd.h>

#include "inspection/inspect_charts.h"
#include "inspection/inspect_models.h"
#include "inspection/inspect_window.h"
#include "posix/posix_file_system.h"
#include "qt/qt_tolerance_settings.h"

namespace {

// Milliseconds since the process started (its start time in /proc).
double since_process_start() {
    std::ifstream stat("/proc/self/stat");
    std::string field;
    for (int i = 0; i < 22 && stat >> field; ++i) {
    }
    const double start = std::stod(field) / double(sysconf(_SC_CLK_TCK));
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return (double(now.tv_sec) + double(now.tv_nsec) / 1e9 - start) * 1000.0;
}

long peak_rss_kb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

}  // namespace

// Waits, handling events, until `done`; false after `ms`.
template <typename Done>
bool wait_until(Done done, int ms) {
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

int append_probe(const std::vector<std::string>& paths) {
    tolvane::PosixFileSystem files;
    tolvane::QtToleranceSettings settings;
    std::vector<tolvane::StationFile> stations;
    for (const std::string& path : paths) stations.push_back({path, path});
    tolvane::InspectWindow window(stations, files, settings);
    window.show();
    const auto all_shown = [&] {
        const int rows = window.records()->rowCount();
        return !window.follower().pending() && rows > 0 && window.shown_row() == rows - 1;
    };
    if (!QTest::qWaitForWindowExposed(&window, 30000) || !wait_until(all_shown, 120000)) {
        std::fprintf(stderr, "inspect_probe: the stations did not show\n");
        return 1;
    }
    std::vector<double> took;
    for (int n = 0; n < 30; ++n) {
        const size_t k = size_t(n) % paths.size();
        const int rows = window.records()->rowCount();
        // Later than anything in the files, and a second apart.
        char record[96];
        std::snprintf(record, sizeof record, "#2099-01-01 00:%02d:%02d#\r\n\"New\"\r\n%d\r\n",
                      n / 60, n % 60, 100 + n);
        QTest::qWait(50);  // as a polling window writes: one record now and then
        QElapsedTimer clock;
        clock.start();
        std::ofstream(paths[k], std::ios::binary | std::ios::app) << record;
        const auto listed = [&] {
            const int now = window.records()->rowCount();
            return now == rows + 1 && window.shown_row() == now - 1 &&
                   window.follower().station_of(size_t(now - 1)) == k;
        };
        if (!wait_until(listed, 10000)) {
            std::fprintf(stderr, "inspect_probe: the record appended to %s did not show\n",
                         paths[k].c_str());
            return 1;
        }
        took.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::sort(took.begin(), took.end());
    std::printf("%zu %.1f %.1f\n", took.size(), took[took.size() / 2], took.back());
    return 0;
}

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "--append") {
        QApplication app(argc, argv);
        return append_probe(std::vector<std::string>(argv + 2, argv + argc));
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: inspect_probe FILE | --append FILE...\n");
        return 2;
    }
    QApplication app(argc, argv);
    tolvane::PosixFileSystem files;
    tolvane::QtToleranceSettings settings;
    tolvane::InspectWindow window(argv[1], files, settings);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window, 30000)) {
        std::fprintf(stderr, "inspect_probe: the window was not shown\n");
        return 1;
    }
    const auto newest_shown = [&] {
        const int rows = window.records()->rowCount();
        return window.follower().state() == tolvane::RecordFollower::State::kCurrent && rows > 0 &&
               window.shown_row() == rows - 1;
    };
    if (!wait_until(newest_shown, 120000)) {
        std::fprintf(stderr, "inspect_probe: the newest record did not show\n");
        return 1;
    }
    // Its details drawn.
    window.run_chart()->view()->repaint();
    window.histogram()->view()->repaint();
    const double newest_ms = since_process_start();
    QTest::qWait(1000);
    const long hwm = peak_rss_kb();

    const int last = window.records()->rowCount() - 1;
    std::vector<double> redraws;
    for (int i = 0; i < 40; ++i) {
        const int row = std::max(0, last - (i % 2));
        QElapsedTimer took;
        took.start();
        window.record_list()->selectionModel()->setCurrentIndex(
            window.records()->index(row, 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        window.run_chart()->view()->repaint();
        window.histogram()->view()->repaint();
        redraws.push_back(double(took.nsecsElapsed()) / 1e6);
    }
    std::sort(redraws.begin(), redraws.end());
    std::printf("%.0f %ld %.2f %.2f\n", newest_ms, hwm, redraws[redraws.size() / 2],
                redraws.back());
    return 0;
}
