#pragma once

#include <QObject>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "inspection/lot_report.h"

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
class RecordFollower;
class Tolerances;

// The X-bar and s chart of the records selected together, drawn with the
// report's own painting (vectors, the same look on screen and on paper).
class LotChart final : public QWidget {
  public:
    explicit LotChart(QWidget* parent = nullptr);
    void show_lot(const Lot* lot);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    const Lot* lot_ = nullptr;
};

// Several records chosen in the Inspection window's record list as one lot:
// their combined figures and control chart in a panel of their own (shown
// while more than one record is selected), the selection commands (all
// records of a description, a time range), and the lot's CSV export, PDF
// report and printing (of one record too).
class LotControl final : public QObject {
  public:
    LotControl(QMainWindow& window, QTableView& list, RecordFollower& follower,
               const Tolerances& tolerances, FileSystem& files, const QString& path);
    ~LotControl() override;

    // File > Export CSV…, Report as PDF…, Print…
    void add_file_actions(QMenu& file);
    // Select > All records with this description, Records in a time range…
    void add_select_actions(QMenu& menu);

    // The records selected now, read from the file.
    const Lot& lot();
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

    QMainWindow& window_;
    QTableView& list_;
    RecordFollower& follower_;
    const Tolerances& tolerances_;
    FileSystem& files_;
    QString path_;

    Lot lot_;
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
    QTimer* scan_;
    size_t scan_next_ = 0;
};

}  // namespace tolvane
