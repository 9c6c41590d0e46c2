#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop_notifier.h"
#include "platform/file_system.h"
#include "platform/tolerance_settings.h"
#include "quality/control_track.h"
#include "quality/journal.h"
#include "quality/tolerances.h"
#include "records/station_files.h"
#include "records/station_records.h"

class QAction;
class QComboBox;
class QDialog;
class QFileSystemWatcher;
class QFrame;
class QLabel;
class QPushButton;
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

// Who is told of the Inspection window's alarms, and who acknowledges them.
struct InspectBench {
    DesktopNotifier* notifier = nullptr;  // none: no desktop notification
    QString user;                         // the operator's name, offered
};

// The Inspection window: every record of one or more databac.txt files (a
// station each: an instrument, a bench PC) with its tolerance, statistics
// and charts, following the files as the polling windows (in processes of
// their own) append to them. The records of all stations are one list in
// time order, with the station of each; a filter narrows it to one station,
// and lots, statistics and control limits then see only what it shows.
//
// The files are read in short steps from the event loop (StationRecords), so
// a file of years shows at once and fills while the window stays usable.
// Changes are noticed through inotify (QFileSystemWatcher) and, for file
// systems that send no notices, by a look at the file every second.
//
// Each record is judged against its characteristic's frozen limits as the
// list fills (the Control column). A record that arrives while the window is
// open and breaks a test or is out of tolerance raises an alarm: a banner
// until someone acknowledges it in the journal beside the record's own file,
// a request for attention and a desktop notification. Every file's journal
// is followed too: an acknowledgement made in another window takes the
// alarm away here.
//
// Which files it follows is kept in the window's settings for the next
// start; a station's name given here is kept in tolvane.conf under
// [stations] by the file's absolute path.
class InspectWindow final : public QMainWindow {
  public:
    using Bench = InspectBench;
    // `files` reads the stations' files; `settings` keeps the tolerances.
    InspectWindow(const std::vector<StationFile>& stations, FileSystem& files,
                  ToleranceSettings& settings, Bench bench = {}, QWidget* parent = nullptr);
    // One file, its station called after the folder holding it.
    InspectWindow(const QString& path, FileSystem& files, ToleranceSettings& settings,
                  Bench bench = {}, QWidget* parent = nullptr);
    ~InspectWindow() override;

    // The files the window followed when it last closed (absolute paths);
    // empty before it ever did.
    static QStringList remembered_files();

    // What File > Add File…, Remove File and Rename Station… do once asked.
    void add_file(const QString& path);
    void remove_station(size_t k);
    void rename_station(size_t k, const QString& name);
    // Shows only station k's records; every station's with none.
    void show_station(std::optional<size_t> k);
    QComboBox* station_filter() const { return station_filter_; }

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
    const StationRecords& follower() const { return stations_; }
    // The row shown in the details; -1 without one.
    int shown_row() const { return shown_row_; }
    const ControlTrack& control() const { return control_; }
    size_t alarm_count() const { return alarms_.size(); }
    QFrame* alarm_banner() const { return alarm_banner_; }
    // Asks for the cause of the first alarm (does nothing without one).
    void acknowledge();

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

  private:
    void build_menus();
    // The list of stations changed: names, the filter, the title, the column.
    void stations_changed();
    void ask_add_file();
    void ask_remove_file();
    void ask_rename_station(std::optional<size_t> k);
    // The absolute paths of the stations, in their order.
    QStringList station_paths() const;
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
    // Judges what the follower indexed, a step at a time.
    void judge();
    void judge_again_if_tolerances_changed();
    struct Alarm {
        std::optional<LocalDateTime> record_time;
        std::string description, characteristic;
        std::vector<int> tests;
        QString time, words;
        std::string journal;  // beside the record's own file
    };
    void raise_alarm(const Record& record, const TrackedRecord& tracked, std::string journal);
    void show_alarm();
    void follow_journal();
    // Takes the alarms of that record out of the queue.
    void acknowledged(const JournalEntry& entry, const std::string& journal);

    FileSystem& files_;
    Tolerances tolerances_;
    StationRecords stations_;
    ControlTrack control_;
    std::vector<ToleranceEntry> judged_user_, judged_computer_;  // what control_ judges by
    Bench bench_;
    // Each station's journal, by its path, and the causes found in it,
    // oldest first: (description, cause).
    struct FollowedJournal {
        JournalReader reader;
        std::vector<std::pair<std::string, std::string>> causes;
    };
    std::map<std::string, FollowedJournal> journals_;
    std::deque<Alarm> alarms_;
    // Per station: how many of its records had their chance to alarm; empty
    // until the files' first complete read, whose records are history. By
    // the station's own count, so that a late record placed back among
    // older ones (a station whose clock is behind) is judged as new too,
    // and none alarms twice.
    std::vector<size_t> alarm_seen_;

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
    QWidget* filter_row_;
    QComboBox* station_filter_;
    QFileSystemWatcher* watcher_;
    QTimer* check_timer_;  // the once-a-second look
    QTimer* step_timer_;   // the next step of a long read
    QTimer* judge_timer_;  // the next step of judging
    QFrame* alarm_banner_;
    QLabel* alarm_text_;
    QPushButton* acknowledge_button_;
    QAction* acknowledge_action_ = nullptr;
    QPointer<QDialog> acknowledge_dialog_;
    Alarm dialog_alarm_;  // the one it asks about
    // Several records as a lot: its panel, export, report and printing.
    LotControl* lot_ = nullptr;
    HelpWindow* help_ = nullptr;

    size_t step_bytes_ = 4 << 20;
    size_t judge_records_ = 4096;
    int shown_row_ = -1;
    bool follow_newest_ = true;
    bool selecting_ = false;
    bool screen_watched_ = false;
};

}  // namespace tolvane
