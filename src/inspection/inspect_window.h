#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QString>
#include <memory>

#include "platform/file_system.h"
#include "platform/tolerance_settings.h"
#include "quality/tolerances.h"
#include "records/record_follower.h"

class QFileSystemWatcher;
class QLabel;
class QSplitter;
class QTableView;
class QTimer;

namespace tolvane {

class LotControl;

class RecordListModel;
class ValueTableModel;
class StatisticsPanel;
class ToleranceEditor;
class RunChart;
class Histogram;
class HelpWindow;

// The Inspection window: every record of a databac.txt with its tolerance,
// statistics and charts, following the file as the polling window (in a
// process of its own) appends to it.
//
// The file is read in short steps from the event loop (RecordFollower), so
// a file of years shows at once and fills while the window stays usable.
// Changes are noticed through inotify (QFileSystemWatcher) and, for file
// systems that send no notices, by a look at the file every second.
class InspectWindow final : public QMainWindow {
  public:
    // `files` reads the file named `path`; `settings` keeps the tolerances.
    InspectWindow(const QString& path, FileSystem& files, ToleranceSettings& settings,
                  QWidget* parent = nullptr);
    ~InspectWindow() override;

    RecordListModel* records() const { return records_; }
    QTableView* record_list() const { return record_list_; }
    QTableView* value_table() const { return value_table_; }
    ValueTableModel* values() const { return values_; }
    StatisticsPanel* statistics() const { return statistics_; }
    ToleranceEditor* tolerance() const { return tolerance_; }
    RunChart* run_chart() const { return run_chart_; }
    Histogram* histogram() const { return histogram_; }
    QLabel* file_status() const { return file_status_; }
    LotControl* lot() const { return lot_; }
    const RecordFollower& follower() const { return follower_; }
    // The row shown in the details; -1 without one.
    int shown_row() const { return shown_row_; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

  private:
    void build_menus();
    void restore_settings();
    // Inside the available room of the screen it is on: a size saved on a
    // larger screen, or too tall before, is brought back.
    void keep_on_screen();
    void save_settings();
    // Reads what is new, a step at a time while there is much.
    void poll();
    void watch();
    void reload_tolerances();
    void show_state();
    void select_row(int row);
    void show_details();

    QString path_;
    FileSystem& files_;
    Tolerances tolerances_;
    RecordFollower follower_;

    RecordListModel* records_;
    ValueTableModel* values_;
    QTableView* record_list_;
    QTableView* value_table_;
    StatisticsPanel* statistics_;
    ToleranceEditor* tolerance_;
    RunChart* run_chart_;
    Histogram* histogram_;
    QSplitter* main_splitter_;
    QSplitter* detail_splitter_;
    QSplitter* chart_splitter_;
    QLabel* file_status_;
    QFileSystemWatcher* watcher_;
    QTimer* check_timer_;  // the once-a-second look
    QTimer* step_timer_;   // the next step of a long read
    // Several records as a lot: its panel, export, report and printing.
    LotControl* lot_ = nullptr;
    HelpWindow* help_ = nullptr;

    size_t step_bytes_ = 4 << 20;
    int shown_row_ = -1;
    bool follow_newest_ = true;
    bool selecting_ = false;
    bool screen_watched_ = false;
};

}  // namespace tolvane
