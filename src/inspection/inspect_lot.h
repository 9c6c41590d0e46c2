#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "inspection/lot_report.h"
#include "quality/frozen_chart.h"

class QAction;
class QDockWidget;
class QGridLayout;
class QLabel;
class QMainWindow;
class QMenu;
class QTableView;
class QTimer;
class QToolButton;

namespace tolvane {

class FileSystem;
class StationRecords;
class Tolerances;

// The X-bar and s chart of the records selected together, drawn with the
// report's own painting (vectors, the same look on screen and on paper).
class LotChart final : public QWidget {
  public:
    explicit LotChart(QWidget* parent = nullptr);
    // With its characteristic's frozen limits, when it has them.
    void show_lot(const Lot* lot, std::optional<FrozenChart> frozen = std::nullopt);
    const std::optional<FrozenChart>& frozen() const { return frozen_; }
    // What the point under x (in the widget's pixels) is marked with:
    // its record, the tests it breaks, why it was left out, its causes.
    QString point_tip(double x) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

  private:
    QRectF box() const;
    const Lot* lot_ = nullptr;
    std::optional<FrozenChart> frozen_;
};

// Several records chosen in the Inspection window's record list as one lot:
// their combined figures and control chart in a panel of their own (shown
// while more than one record is selected), the selection commands (all
// records of a description, a time range), and the lot's CSV export, PDF
// report and printing (of one record too).
class LotControl final : public QObject {
  public:
    LotControl(QMainWindow& window, QTableView& list, StationRecords& stations,
               Tolerances& tolerances, FileSystem& files);
    ~LotControl() override;

    // File > Export CSV…, Report as PDF…, Print…
    void add_file_actions(QMenu& file);
    // Select > All records with this description, Records in a time range…,
    // Freeze Control Limits from the Selection…, Choose Tests…, Remove Frozen Limits
    void add_select_actions(QMenu& menu);
    // Runs after limits were frozen, removed or their tests changed here, so
    // that the window judges its records again.
    void set_on_limits_changed(std::function<void()> changed) { limits_changed_ = std::move(changed); }
    // The operator's name the journal gives for what is done here.
    void set_user(std::string user) { user_ = std::move(user); }
    LotChart* chart() const { return chart_; }
    QLabel* control_sentence() const { return control_; }

    // The dialog of freezing for the selected records (open, not modal to
    // the program); nothing when they are not of one characteristic.
    void freeze_selection();
    // Asks, then journals "limits removed" and takes the limits away from
    // the user's entry of the shown characteristic.
    void remove_limits();
    void choose_tests();

    // The records selected now, read from their files.
    const Lot& lot();
    // The names of the stations the lot's records came from, in the order
    // of the list of stations.
    const QStringList& lot_stations() const { return lot_stations_; }
    QDockWidget* panel() const { return dock_; }
    QLabel* saved() const { return saved_; }

    // Without a dialog (the actions ask for the name first): writes the
    // selected records; false when it failed (then a message box says why).
    bool export_csv_to(const QString& path);
    bool report_to(const QString& path);
    // Selects the records whose time lies in [from, to], or of the current
    // record's description; in steps, the window answers meanwhile. `done`
    // runs when the selection is made.
    void select_time_range(const QDateTime& from, const QDateTime& to,
                           std::function<void()> done = {});
    void select_description(std::function<void()> done = {});

  private:
    void selection_changed();
    void refresh();
    bool save(const QString& path, const QByteArray& bytes, const QString& what);
    QString suggested(const QString& suffix) const;
    void print();
    void select_where(std::function<bool(const Record&)> chosen, std::function<void()> done);
    // The user's entry of the current record's characteristic, with limits.
    std::optional<ToleranceEntry> shown_frozen() const;
    void update_control_actions();
    void limits_saved();
    void say_not_saved(const QString& why);
    // The file of the current record's station (the first station's without one).
    QString current_file() const;
    // Where what is decided about limits is journalled: beside that file.
    std::string current_journal() const;

    QMainWindow& window_;
    QTableView& list_;
    StationRecords& stations_;
    Tolerances& tolerances_;
    FileSystem& files_;

    Lot lot_;
    QStringList lot_stations_;
    bool stale_ = true;
    QDockWidget* dock_;
    QGridLayout* figures_;
    std::vector<QLabel*> figure_labels_;
    LotChart* chart_;
    QTimer* settle_;
    QLabel* saved_;
    QToolButton* open_folder_;
    QString saved_folder_;
    std::vector<QAction*> need_records_;
    QAction* freeze_ = nullptr;
    QAction* tests_ = nullptr;
    QAction* remove_ = nullptr;
    QLabel* control_;
    QLabel* stations_line_;
    std::function<void()> limits_changed_;
    std::string user_;
    QTimer* scan_;
    size_t scan_next_ = 0;
};

}  // namespace tolvane
