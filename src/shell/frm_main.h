#pragma once

#include <QMainWindow>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "export/spreadsheet_export.h"
#include "export/spreadsheet_worker.h"
#include "link/port_selection.h"
#include "link/reception_poll.h"
#include "platform/busy_indicator.h"
#include "platform/clock_locale.h"
#include "platform/dialogs.h"
#include "platform/file_system.h"
#include "platform/serial_control.h"
#include "platform/spreadsheet_server.h"
#include "platform/window_stacking.h"
#include "records/backup_file.h"
#include "records/meas_table.h"
#include "session/ending.h"
#include "shell/qt_controls.h"

class QCheckBox;
class QLineEdit;
class QListView;
class QPushButton;
class QRadioButton;

namespace tolvane {

class HelpWindow;
class QtSendProgress;

// What the main window works with outside itself.
struct MainPlatform {
    SerialControl& com;
    // Makes the spreadsheet server a send talks to; a new one is made when
    // an earlier one is stuck in a call that was given up.
    std::function<std::shared_ptr<SpreadsheetServer>()> spreadsheet;
    FileSystem& files;
    ClockLocale& clock;
    BusyIndicator& busy;
    // Message boxes; none: boxes over the main window.
    Dialogs* dialogs = nullptr;
    // Stacking; none: the main window's own.
    WindowStacking* stacking = nullptr;
    // Ends the program, after the ending's steps; none: leaves the event
    // loop.
    std::function<void()> end_program;
    SendDeadlines send_deadlines{};
};

inline constexpr const char* kMainCaption = "KLD-350 Polling Utility V1.24";
inline constexpr const char* kAboutProduct = "tolvane 1.00";
inline constexpr int kBackupRetryMs = 1000;
std::string numdat_not_saved_message(std::string_view reason);

// frmMain: the program's working window.
class FrmMain final : public QMainWindow {
  public:
    explicit FrmMain(MainPlatform platform, QWidget* parent = nullptr);
    ~FrmMain() override;

    // The loading sequence; runs once, before the window is first shown.
    void Form_Load();
    void Form_Activate();
    void Form_QueryUnload();
    void Form_Unload();

    void exitmain_click();
    void top1_click();
    void about1_click();
    void contents1_click();
    void lb_backup_click();
    void set_topmost(int32_t insert_after);
    // SIGTERM, SIGHUP, SIGINT or the session manager: the program ends,
    // whatever is open, with nobody at the screen.
    void end_on_signal();

    // Program-wide state the window keeps for the run.
    int16_t num_meas = 0;
    int16_t com_port = 0;
    bool port_locked = true;
    std::string line_break;

    const MeasTable& table() const { return table_; }
    const SpreadsheetExport& spreadsheet_export() const { return *export_; }
    QtSendProgress& send_progress() const { return *progress_; }
    const SpreadsheetWorker& spreadsheet_worker() const { return *worker_; }
    HelpWindow* help_window() const { return help_; }

  protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void build_controls();
    void build_menus();
    void show_help();
    void stop_timers();
    // The ending's steps (see EndingRules), then the end of the program.
    void run_ending(EndingRules::Kind kind);
    void end_program(EndingRules::Kind kind);
    // First steps of closing and of Exit alike.
    void end_of_run();
    // A settings file's save; after a signal a failure goes to stderr.
    void report(const Status& saved, const char* file);
    void tmr_backup_timer();
    // A send to the spreadsheet, as one command: the poll reads nothing
    // meanwhile.
    bool send_measurements(const std::function<bool()>& send);

    MainPlatform p_;
    std::unique_ptr<Dialogs> own_dialogs_;
    std::unique_ptr<WindowStacking> own_stacking_;
    // Every box of the window goes through this.
    std::unique_ptr<EndingDialogs> boxes_;
    Dialogs& dialogs_;
    WindowStacking& stacking_;

    // Widgets (children of the window, owned by Qt).
    QCheckBox* chk_auto_ = nullptr;
    QRadioButton* op_hor_ = nullptr;
    QRadioButton* op_ver_ = nullptr;
    QPushButton* command1_ = nullptr;
    QLabel* lb_nummeas_ = nullptr;
    QLabel* lb_numpoints_ = nullptr;
    QListView* lst_meas_ = nullptr;
    QPushButton* cmd_clrm_ = nullptr;
    ClickableLabel* lb_backup_ = nullptr;
    QListView* lst_backup_ = nullptr;
    QPushButton* cmd_backup_ = nullptr;
    QLabel* label1_ = nullptr;
    QLineEdit* txt_backupdes_ = nullptr;
    QLabel* lb_selectcom_ = nullptr;
    QTimer* tmr_main_ = nullptr;
    QTimer* tmr_mess_ = nullptr;
    QTimer* tmr_reopen_ = nullptr;
    // Retries records of the backup file that could not be saved.
    QTimer* tmr_backup_ = nullptr;
    QAction* top1_ = nullptr;
    HelpWindow* help_ = nullptr;  // a child window, made on first use

    RowListModel meas_rows_;
    RowListModel backup_rows_;
    std::unique_ptr<ListAdapter> lst_meas_list_;
    std::unique_ptr<ListAdapter> lst_backup_list_;
    std::unique_ptr<LabelAdapter> lb_nummeas_label_;
    std::unique_ptr<LabelAdapter> lb_numpoints_label_;
    std::unique_ptr<LabelAdapter> lb_selectcom_label_;
    std::unique_ptr<TextBoxAdapter> txt_backupdes_box_;
    std::unique_ptr<ButtonAdapter> command1_button_;
    std::unique_ptr<TimerAdapter> tmr_main_timer_;
    std::unique_ptr<TimerAdapter> tmr_mess_timer_;
    std::unique_ptr<TimerAdapter> tmr_reopen_timer_;
    std::array<std::unique_ptr<MenuItemAdapter>, 4> com_items_;
    std::unique_ptr<MenuItemAdapter> top1_item_;

    MeasTable table_;
    std::unique_ptr<QtSendProgress> progress_;
    std::unique_ptr<SpreadsheetWorker> worker_;
    std::unique_ptr<Dialogs> export_dialogs_;
    int sending_ = 0;
    EndingRules ending_;
    bool in_close_event_ = false;
    std::unique_ptr<BackupFile> backup_;
    std::unique_ptr<SpreadsheetExport> export_;
    std::unique_ptr<ReceptionPoll> poll_;
    std::unique_ptr<PortSelection> ports_;

    bool activated_ = false;
};

}  // namespace tolvane
