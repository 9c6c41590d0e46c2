// inspect_probe FILE: the Inspection window's start on FILE, in process, on
// the display Qt is given ($DISPLAY, or QT_QPA_PLATFORM=offscreen), and the
// redraw of its charts. Prints one line:
//   NEWEST_MS HWM_KB REDRAW_MEDIAN_MS REDRAW_MAX_MS
// NEWEST_MS  process start -> the window shown, the whole file indexed and
//            its newest record selected and drawn
// HWM_KB     the peak resident set (VmHWM) one second after that
// REDRAW_*   choosing another record and painting both charts again (two
//            records of the file's last, alternately; 40 times)
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

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: inspect_probe FILE\n");
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
    QElapsedTimer waited;
    waited.start();
    while (!newest_shown()) {
        if (waited.elapsed() > 120000) {
            std::fprintf(stderr, "inspect_probe: the newest record did not show\n");
            return 1;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
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
