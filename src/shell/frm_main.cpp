#include "shell/frm_main.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <iostream>
#include <limits>

#include "qt/help_window.h"
#include "qt/qt_dialogs.h"
#include "qt/qt_send_progress.h"
#include "qt/qt_window_stacking.h"
#include "records/settings_files.h"
#include "shell/window_look.h"

namespace tolvane {

std::string numdat_not_saved_message(std::string_view reason) {
    return "The number of measurements could not be saved in numdat.dat (" + std::string(reason) +
           ").";
}

namespace {

// Runs one step of a stretch whose failures are skipped.
template <typename Step>
void ignoring_failure(Step step) {
    try {
        step();
    } catch (...) {
    }
}

// The send's messages, dropped once the ending was asked for: the values
// stay in the list and the backup file, and nobody is left to read them.
class SendDialogs final : public Dialogs {
  public:
    SendDialogs(Dialogs& to, const EndingRules& ending) : to_(to), ending_(ending) {}
    void message(std::string_view text) override {
        if (!ending_.asked()) to_.message(text);
    }
    bool ask_yes_no(std::string_view text) override { return to_.ask_yes_no(text); }

  private:
    Dialogs& to_;
    const EndingRules& ending_;
};

template <typename W>
W* child(QWidget* parent, const char* name, const QRect& at) {
    auto* w = new W(parent);
    w->setObjectName(name);
    w->setGeometry(at);
    return w;
}

template <typename L = QLabel>
L* label(QWidget* parent, const char* name, const char* text, const QRect& at, Qt::Alignment align,
         const QColor& fore) {
    auto* l = child<L>(parent, name, at);
    l->setText(text);
    l->setAlignment(align);
    l->setFont(arial());
    set_colours(l, fore, Qt::black);
    return l;
}

QPushButton* button(QWidget* parent, const char* name, const char* text, const QRect& at,
                    bool bold) {
    auto* b = child<QPushButton>(parent, name, at);
    b->setText(text);
    b->setFont(arial(bold));
    b->setAutoDefault(false);
    return b;
}

QListView* list(QWidget* parent, const char* name, RowListModel& model, const QRect& at) {
    // Every row the same height, and nothing kept per row.
    auto* v = child<RowListView>(parent, name, at);
    v->setModel(&model);
    v->setFont(arial());
    v->setUniformItemSizes(true);
    v->setEditTriggers(QAbstractItemView::NoEditTriggers);
    v->setSelectionMode(QAbstractItemView::SingleSelection);
    v->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    v->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return v;
}

}  // namespace

FrmMain::FrmMain(MainPlatform platform, QWidget* parent)
    : QMainWindow(parent),
      p_(std::move(platform)),
      own_dialogs_(p_.dialogs ? nullptr : std::make_unique<QtDialogs>(this)),
      own_stacking_(p_.stacking ? nullptr : std::make_unique<QtWindowStacking>(this)),
      boxes_(std::make_unique<EndingDialogs>(p_.dialogs ? *p_.dialogs : *own_dialogs_,
                                             [this] { ending_.freed(); })),
      dialogs_(*boxes_),
      stacking_(p_.stacking ? *p_.stacking : *own_stacking_),
      ending_(EndingRules::Links{
          [this] { return poll_->held() || boxes_->open() > 0 || sending_ > 0; },
          // From the request on nothing may run, not even under the ending's
          // messages: no poll of a closed port, no reopening, no notice of a
          // port lost meanwhile.
          [this] {
              stop_timers();
              p_.com.set_lost_handler(nullptr);
              ports_->open_no_more();
          },
          [this] { progress_->cancel(); },
          [this] {
              boxes_->unattended();
              boxes_->close_open_boxes();
          },
          [this](std::function<void()> step) { QTimer::singleShot(0, this, std::move(step)); },
          [this](EndingRules::Kind kind) { run_ending(kind); },
          [this](EndingRules::Kind kind) { end_program(kind); }}) {
    if (!p_.end_program) p_.end_program = [] { QCoreApplication::exit(0); };
    setObjectName("frmMain");
    setWindowTitle(kMainCaption);
    build_controls();
    build_menus();

    backup_ = std::make_unique<BackupFile>(p_.files, p_.clock, dialogs_, *lst_backup_list_,
                                           *txt_backupdes_box_);
    progress_ = std::make_unique<QtSendProgress>(this);
    worker_ = std::make_unique<SpreadsheetWorker>(p_.spreadsheet, *progress_, p_.send_deadlines);
    export_dialogs_ = std::make_unique<SendDialogs>(dialogs_, ending_);
    export_ = std::make_unique<SpreadsheetExport>(table_, *export_dialogs_, *command1_button_,
                                                  *worker_, p_.busy);
    poll_ = std::make_unique<ReceptionPoll>(ReceptionPoll::Links{
        p_.com, table_, *backup_, p_.clock, *lst_meas_list_, *lb_numpoints_label_, num_meas,
        port_locked, [this] { return export_->auto_connect; },
        [this] { return send_measurements([this] { return export_->connect1(); }); }});
    poll_->set_free_handler([this] { ending_.freed(); });
    ports_ = std::make_unique<PortSelection>(PortSelection::Links{
        p_.com,
        dialogs_,
        *poll_,
        {com_items_[0].get(), com_items_[1].get(), com_items_[2].get(), com_items_[3].get()},
        *lb_selectcom_label_,
        *tmr_main_timer_,
        *tmr_mess_timer_,
        *tmr_reopen_timer_,
        com_port,
        port_locked,
        [](const std::string& line) { std::cerr << "tolvane: " << line << std::endl; }});

    connect(command1_, &QPushButton::clicked, this, [this] {
        send_measurements([this] {
            export_->command1_click();
            return true;
        });
    });
    connect(chk_auto_, &QCheckBox::clicked, this, [this] { export_->chk_auto_click(); });
    connect(op_hor_, &QRadioButton::clicked, this, [this] { export_->op_hor_click(); });
    connect(op_ver_, &QRadioButton::clicked, this, [this] { export_->op_ver_click(); });
    connect(cmd_clrm_, &QPushButton::clicked, this,
            [this] { clear_measurements(table_, *lst_meas_list_, *lb_numpoints_label_); });
    connect(cmd_backup_, &QPushButton::clicked, this, [this] {
        if (ending_.asked()) return;
        // Blocks that arrive while the question is open wait in the port, so
        // that Yes deletes only what the user was asked about.
        const ReceptionPoll::Hold held = poll_->hold();
        backup_->cmd_backup_click();
    });
    connect(lb_backup_, &ClickableLabel::clicked, this, [this] { lb_backup_click(); });
}

FrmMain::~FrmMain() {
    p_.com.set_lost_handler(nullptr);
}

void FrmMain::build_controls() {
    auto* client = new QWidget(this);
    client->setObjectName("client");
    // The window's own font; every control has one of its own.
    client->setFont(ms_sans_serif(true));
    // Only the ground: lists, the text box and buttons keep the system colours.
    set_ground(client, Qt::black);
    setCentralWidget(client);

    // Created in the window's control order, which is also the tab order of
    // those that take the focus.
    auto* topics =
        label(client, "Topics", "", twips(990, 3735, 2175, 375), Qt::AlignLeft, Qt::black);
    auto* sys_link =
        label(client, "lblSysLink", "", twips(990, 4140, 1455, 375), Qt::AlignLeft, Qt::black);
    auto* txt_data = child<QLineEdit>(client, "txtData", twips(996, 4560, 915, 330));
    txt_data->setText("Text1\r\n");
    txt_data->setFocusPolicy(Qt::NoFocus);
    for (QWidget* hidden : {static_cast<QWidget*>(topics), static_cast<QWidget*>(sys_link),
                            static_cast<QWidget*>(txt_data)})
        hidden->hide();

    lst_meas_ = list(client, "lst_meas", meas_rows_, twips(1560, 480, 2220, 480));
    lst_meas_->setAccessibleName("Measurements");
    lb_numpoints_ = label(client, "lb_numpoints", "0 Measurements Received",
                          twips(1575, 45, 2220, 375), Qt::AlignHCenter | Qt::AlignTop, Qt::white);

    op_ver_ = child<QRadioButton>(client, "op_ver", twips(45, 630, 1230, 210));
    op_ver_->setText("Vertical Fill");
    op_hor_ = child<QRadioButton>(client, "op_hor", twips(45, 405, 1275, 210));
    op_hor_->setText("Horizontal Fill");
    for (QRadioButton* op : {op_ver_, op_hor_}) {
        op->setFont(arial());
        set_colours(op, Qt::white, Qt::black);
        tight_indicator(op);
    }
    op_ver_->setChecked(true);

    command1_ = button(client, "Command1", "&Connect", twips(90, 945, 1050, 330), true);
    cmd_clrm_ =
        button(client, "cmd_clrm", "Clear &Measurements", twips(1572, 1392, 2220, 285), false);
    chk_auto_ = child<QCheckBox>(client, "chk_auto", twips(45, 45, 1455, 240));
    chk_auto_->setText("Auto Connect");
    chk_auto_->setFont(arial());
    set_colours(chk_auto_, Qt::white, Qt::black);
    tight_indicator(chk_auto_);

    lb_selectcom_ = label(client, "lb_selectcom", "", twips(6345, 1035, 2445, 195),
                          Qt::AlignLeft | Qt::AlignTop, Qt::yellow);
    cmd_backup_ = button(client, "cmd_backup", "Clear &Backup Data File",
                         twips(3870, 1395, 2220, 285), false);
    lst_backup_ = list(client, "lst_backup", backup_rows_, twips(3840, 480, 2220, 480));
    lst_backup_->setAccessibleName("Backup Data File");

    lb_backup_ =
        label<ClickableLabel>(client, "lb_backup", "Backup Data File", twips(3888, 48, 2220, 372),
                              Qt::AlignHCenter | Qt::AlignTop, Qt::white);

    txt_backupdes_ = child<QLineEdit>(client, "txt_backupdes", twips(6120, 450, 2985, 315));
    txt_backupdes_->setFont(arial());
    txt_backupdes_->setMaxLength(std::numeric_limits<int>::max());
    txt_backupdes_->setValidator(new Cp1252Validator(txt_backupdes_));

    label1_ = label(client, "Label1", "Current Measurement Description", twips(6120, 45, 2985, 375),
                    Qt::AlignHCenter | Qt::AlignTop, Qt::white);
    // Names the box for screen readers.
    label1_->setBuddy(txt_backupdes_);
    lb_nummeas_ = label(client, "lb_nummeas", "N.M. = ", twips(72, 1392, 1188, 372),
                        Qt::AlignHCenter | Qt::AlignTop, Qt::white);

    QWidget::setTabOrder(txt_backupdes_, lst_meas_);
    lst_meas_->setFocus();

    lst_meas_list_ = std::make_unique<ListAdapter>(meas_rows_);
    lst_backup_list_ = std::make_unique<ListAdapter>(backup_rows_);
    lb_nummeas_label_ = std::make_unique<LabelAdapter>(lb_nummeas_);
    lb_numpoints_label_ = std::make_unique<LabelAdapter>(lb_numpoints_);
    lb_selectcom_label_ = std::make_unique<LabelAdapter>(lb_selectcom_);
    txt_backupdes_box_ = std::make_unique<TextBoxAdapter>(txt_backupdes_);
    command1_button_ = std::make_unique<ButtonAdapter>(command1_);

    auto timer = [this](const char* name) {
        auto* t = new QTimer(this);
        t->setObjectName(name);
        return t;
    };
    tmr_main_ = timer("tmr_main");
    tmr_mess_ = timer("tmr_mess");
    tmr_reopen_ = timer("tmr_reopen");
    tmr_backup_ = timer("tmr_backup");
    tmr_backup_->setInterval(kBackupRetryMs);
    connect(tmr_backup_, &QTimer::timeout, this, [this] { tmr_backup_timer(); });
    // Once the ending was asked for, no timer starts.
    auto refused = [this] { return ending_.asked(); };
    tmr_main_timer_ = std::make_unique<TimerAdapter>(
        tmr_main_, [this] { poll_->tmr_main_timer(); }, refused);
    tmr_mess_timer_ = std::make_unique<TimerAdapter>(
        tmr_mess_, [this] { ports_->tmr_mess_timer(); }, refused);
    tmr_reopen_timer_ = std::make_unique<TimerAdapter>(
        tmr_reopen_, [this] { ports_->tmr_reopen_timer(); }, refused);
    // Enabled in the stored layout; loading switches it off first thing.
    tmr_main_->start();
}

void FrmMain::build_menus() {
    QMenuBar* bar = menuBar();
    auto menu = [](QWidget* parent, const char* name, const char* caption) {
        auto* m = new QMenu(caption, parent);
        m->setObjectName(name);
        m->menuAction()->setObjectName(QString(name) + "_item");
        if (auto* b = qobject_cast<QMenuBar*>(parent))
            b->addMenu(m);
        else
            static_cast<QMenu*>(parent)->addMenu(m);
        return m;
    };
    auto item = [](QMenu* m, const char* name, const char* caption, bool checkable = false) {
        QAction* a = m->addAction(caption);
        a->setObjectName(name);
        a->setCheckable(checkable);
        return a;
    };

    QMenu* filemain = menu(bar, "filemain", "&File");
    connect(item(filemain, "exitmain", "E&xit"), &QAction::triggered, this,
            [this] { exitmain_click(); });

    QMenu* setup1 = menu(bar, "setup1", "&Setup");
    QMenu* comportm = menu(setup1, "comportm", "&Com Port");
    for (int16_t n = 1; n <= 4; ++n) {
        const std::string name = "com" + std::to_string(n);
        QAction* a = item(comportm, name.c_str(), std::to_string(n).c_str(), true);
        com_items_[n - 1] =
            std::make_unique<MenuItemAdapter>(a, [this, n] { ports_->com_click(n); });
    }
    QMenu* windowtop = menu(setup1, "windowtop", "&Window");
    top1_ = item(windowtop, "top1", "&Always on Top", true);
    top1_->setChecked(true);
    top1_item_ = std::make_unique<MenuItemAdapter>(top1_, [this] { top1_click(); });

    QMenu* nummeas1 = menu(setup1, "nummeas1", "&Number Of Measurements");
    for (int16_t v : {80, 85, 90, 95, 100}) {
        const std::string name = "n" + std::to_string(v) + "n";
        connect(item(nummeas1, name.c_str(), std::to_string(v).c_str()), &QAction::triggered, this,
                [this, v] { choose_num_meas(v, num_meas, *lb_nummeas_label_); });
    }

    QMenu* help1 = menu(bar, "help1", "&Help");
    connect(item(help1, "about1", "&About"), &QAction::triggered, this, [this] { about1_click(); });
    connect(item(help1, "contents1", "&Contents"), &QAction::triggered, this,
            [this] { contents1_click(); });

    // The client area is 616 x 122 below the menu bar. Resizing moves no
    // control: they keep their places.
    resize(616, 122 + bar->sizeHint().height());
    // Centred on the screen, as it has no owner; a message box of the loading
    // stands where the window will be.
    centre_on_screen(this);
}

void FrmMain::Form_Load() {
    line_break = std::string{'\n', '\r'};
    tmr_main_timer_->set_enabled(false);
    port_locked = true;
    export_->auto_connect = false;
    num_meas = load_num_meas(p_.files);
    lb_nummeas_label_->set_caption(num_meas_caption(num_meas));
    com_port = load_com_port(p_.files);
    // From here on a failing step is skipped. The steps after the opening run
    // whether or not the port opened: the fill direction must match the
    // selected option, and the backup list must show the file.
    ignoring_failure([this] { ports_->comstartup(); });
    export_->fill_vertical = true;
    setProperty("LinkTopic", QStringLiteral("System"));
    ignoring_failure([this] { backup_->load_backup_list(); });
    // A signal may have closed a box of the loading.
    if (!ending_.asked()) tmr_backup_->start();
}

void FrmMain::tmr_backup_timer() {
    // Records that could not be saved are tried again even when no block
    // comes; not while a command holds the poll (its box is open).
    if (ending_.asked() || poll_->held() || backup_->waiting_records() == 0) return;
    const ReceptionPoll::Hold held = poll_->hold();
    backup_->save_waiting_records();
}

void FrmMain::Form_Activate() {
    set_topmost(HWND_TOPMOST);
}

void FrmMain::set_topmost(int32_t insert_after) {
    stacking_.set_topmost(insert_after);
}

bool FrmMain::event(QEvent* event) {
    // Activation among the program's own windows: the title window is gone
    // once this one shows, so only the first activation counts; coming back
    // from another program does not.
    if (event->type() == QEvent::WindowActivate && !activated_) {
        activated_ = true;
        Form_Activate();
    }
    return QMainWindow::event(event);
}

void FrmMain::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
        show_help();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void FrmMain::stop_timers() {
    for (QTimer* t : {tmr_main_, tmr_mess_, tmr_reopen_, tmr_backup_})
        t->stop();
}

void FrmMain::end_of_run() {
    // The timers and the lost-port notice stopped when the ending was asked
    // for. What the port received is handled before it closes (recorded, not
    // sent), and records that wait for the backup file get a last try.
    ignoring_failure([this] { ports_->close_port(); });
    backup_->save_waiting_records_at_end();
}

bool FrmMain::send_measurements(const std::function<bool()>& send) {
    if (ending_.asked()) return false;
    const ReceptionPoll::Hold hold = poll_->hold();
    ++sending_;
    bool sent = false;
    try {
        sent = send();
    } catch (...) {
    }
    // A Cancel holds for the whole send, and ends with it.
    if (--sending_ == 0) progress_->send_over();
    return sent;
}

void FrmMain::end_on_signal() {
    ending_.signal();
}

void FrmMain::run_ending(EndingRules::Kind kind) {
    boxes_->journal();
    end_of_run();
    if (kind == EndingRules::Kind::close) {
        Form_QueryUnload();
        Form_Unload();
        if (help_) help_->close();
    } else {
        const Status saved = save_num_meas(p_.files, num_meas);
        if (!saved.ok()) dialogs_.message(numdat_not_saved_message(saved.reason()));
    }
}

void FrmMain::end_program(EndingRules::Kind kind) {
    if (kind == EndingRules::Kind::close && !in_close_event_) close();
    p_.end_program();
}

void FrmMain::closeEvent(QCloseEvent* event) {
    if (!ending_.ended()) {
        in_close_event_ = true;
        ending_.ask(EndingRules::Kind::close);
        in_close_event_ = false;
    }
    // Put off, the ending closes the window once it ran.
    event->setAccepted(ending_.ended());
}

void FrmMain::report(const Status& saved, const char* file) {
    // Closing reports nothing to the operator; with nobody at the screen the
    // journal keeps it.
    if (!saved.ok() && ending_.signalled())
        std::cerr << "tolvane: " << file << " could not be saved (" << saved.reason() << ")."
                  << std::endl;
}

void FrmMain::Form_QueryUnload() {
    ignoring_failure([this] { p_.com.set_port_open(false); });
    ignoring_failure([this] { report(save_com_port(p_.files, com_port), "com.dat"); });
    ignoring_failure([this] { report(save_num_meas(p_.files, num_meas), "numdat.dat"); });
    ignoring_failure([this] { set_topmost(HWND_NOTOPMOST); });
}

void FrmMain::Form_Unload() {
    ignoring_failure([this] { p_.com.set_port_open(false); });
    ignoring_failure([this] { report(save_com_port(p_.files, com_port), "com.dat"); });
    ignoring_failure([this] { set_topmost(HWND_NOTOPMOST); });
}

void FrmMain::exitmain_click() {
    ending_.ask(EndingRules::Kind::exit);
}

void FrmMain::top1_click() {
    if (top1_item_->checked()) {
        set_topmost(HWND_NOTOPMOST);
        top1_item_->set_checked(false);
    } else {
        set_topmost(HWND_TOPMOST);
        top1_item_->set_checked(true);
    }
}

void FrmMain::about1_click() {
    dialogs_.message(kMainCaption + line_break + kAboutProduct);
}

void FrmMain::contents1_click() {
    // The help opens through F1, as if the user had pressed it in the window.
    QWidget* target = focusWidget() ? focusWidget() : this;
    QKeyEvent press(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_F1, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}

void FrmMain::show_help() {
    if (!help_) help_ = new HelpWindow(this);
    help_->bring_up();
}

void FrmMain::lb_backup_click() {
    const QRect outer = frameGeometry();
    lb_backup_->setText(QString::number(outer.width() * 15) + ' ' +
                        QString::number(outer.height() * 15));
}

}  // namespace tolvane
