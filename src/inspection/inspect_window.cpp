#include "inspection/inspect_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QScrollArea>
#include <QMenuBar>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>

#include "inspection/inspect_charts.h"
#include "inspection/inspect_lot.h"
#include "inspection/inspect_models.h"
#include "inspection/inspect_panels.h"
#include "qt/help_window.h"
#include "qt/qt_settings_paths.h"
#include "qt/qt_text.h"

namespace tolvane {

namespace {

constexpr const char* kSettingsGroup = "inspection_window";
// A step of reading aims at this long, so that the window answers between
// steps; the step's size in bytes follows what the last step took.
constexpr qint64 kStepMilliseconds = 20;
constexpr size_t kMinStep = 64 << 10, kMaxStep = 64 << 20;
// The frame a window manager adds, until the window has one to measure.
constexpr QMargins kFrameAllowance(4, 32, 4, 4);

QTableView* new_table(QWidget* parent, const char* name, const QString& accessible) {
    auto* table = new QTableView(parent);
    table->setObjectName(name);
    table->setAccessibleName(accessible);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setWordWrap(false);
    table->setAlternatingRowColors(true);
    table->setTabKeyNavigation(false);
    table->setCornerButtonEnabled(false);
    // Rows of one height, set once: the view then keeps nothing per row that
    // it must measure, whatever the number of records.
    QHeaderView* rows = table->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(table->fontMetrics().height() + 8);
    table->horizontalHeader()->setHighlightSections(false);
    table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return table;
}

int text_width(const QWidget* widget, const QString& text) {
    return widget->fontMetrics().horizontalAdvance(text) + 24;
}

QSettings window_settings() {
    return QSettings(QString::fromStdString(user_settings_path()), QSettings::IniFormat);
}

}  // namespace

InspectWindow::InspectWindow(const QString& path, FileSystem& files, ToleranceSettings& settings,
                             QWidget* parent)
    : QMainWindow(parent),
      path_(QFileInfo(path).absoluteFilePath()),
      files_(files),
      tolerances_(settings),
      follower_(files, QFile::encodeName(path_).toStdString()) {
    setObjectName("inspect_window");
    setWindowTitle(tr("KLD-350 Inspection — %1").arg(QFileInfo(path_).fileName()));
    setWindowFilePath(path_);

    records_ = new RecordListModel(follower_, tolerances_, this);
    values_ = new ValueTableModel(this);

    main_splitter_ = new QSplitter(Qt::Horizontal, this);
    main_splitter_->setObjectName("main_splitter");
    main_splitter_->setChildrenCollapsible(false);
    record_list_ = new_table(main_splitter_, "record_list", tr("Records"));
    record_list_->setModel(records_);
    {
        const QLocale locale = QLocale();
        const QString sample = locale.toString(QDateTime(QDate(2026, 12, 28), QTime(23, 58, 59)),
                                               QLocale::ShortFormat);
        QHeaderView* header = record_list_->horizontalHeader();
        header->setSectionResizeMode(RecordListModel::kDescription, QHeaderView::Stretch);
        header->resizeSection(RecordListModel::kTime, text_width(record_list_, sample));
        header->resizeSection(RecordListModel::kValues, text_width(record_list_, tr("Values")));
        header->resizeSection(RecordListModel::kVerdict,
                              text_width(record_list_, tr("%1 out of tolerance").arg(100)));
        header->setMinimumSectionSize(text_width(record_list_, "000"));
    }
    main_splitter_->addWidget(record_list_);

    detail_splitter_ = new QSplitter(Qt::Vertical, main_splitter_);
    detail_splitter_->setObjectName("detail_splitter");
    detail_splitter_->setChildrenCollapsible(false);
    auto* top = new QWidget(detail_splitter_);
    auto* top_row = new QHBoxLayout(top);
    top_row->setContentsMargins(0, 0, 0, 0);
    value_table_ = new_table(top, "value_table", tr("Values of the selected record"));
    value_table_->setModel(values_);
    {
        QHeaderView* header = value_table_->horizontalHeader();
        header->resizeSection(ValueTableModel::kNumber, text_width(value_table_, "No. 100"));
        header->resizeSection(ValueTableModel::kValue, text_width(value_table_, "9.99E+15 0"));
        header->resizeSection(ValueTableModel::kDeviation, text_width(value_table_, "+0.0000000"));
        header->setStretchLastSection(true);
        value_table_->setMinimumWidth(header->sectionSize(0) + header->sectionSize(1) +
                                      header->sectionSize(2) +
                                      text_width(value_table_, tr("not a number")) + 24);
    }
    top_row->addWidget(value_table_, 5);
    // The figures and the tolerance are taller than a low screen leaves them
    // once the lot panel shows: they scroll then, and the window keeps to
    // the screen.
    auto* side_scroll = new QScrollArea(top);
    side_scroll->setObjectName("detail_side");
    side_scroll->setFrameShape(QFrame::NoFrame);
    side_scroll->setWidgetResizable(true);
    side_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    side_scroll->setFocusPolicy(Qt::NoFocus);
    auto* side_panel = new QWidget(side_scroll);
    auto* side = new QVBoxLayout(side_panel);
    side->setContentsMargins(0, 0, 0, 0);
    statistics_ = new StatisticsPanel(side_panel);
    tolerance_ = new ToleranceEditor(tolerances_, side_panel);
    side->addWidget(statistics_);
    side->addWidget(tolerance_, 1);
    side_scroll->setWidget(side_panel);
    side_scroll->setMinimumWidth(side_panel->minimumSizeHint().width() +
                                 style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    top_row->addWidget(side_scroll, 4);
    detail_splitter_->addWidget(top);

    chart_splitter_ = new QSplitter(Qt::Horizontal, detail_splitter_);
    chart_splitter_->setObjectName("chart_splitter");
    chart_splitter_->setChildrenCollapsible(false);
    run_chart_ = new RunChart(chart_splitter_);
    run_chart_->setMinimumSize(240, 200);
    histogram_ = new Histogram(chart_splitter_);
    histogram_->setMinimumSize(200, 200);
    chart_splitter_->addWidget(run_chart_);
    chart_splitter_->addWidget(histogram_);
    chart_splitter_->setStretchFactor(0, 3);
    chart_splitter_->setStretchFactor(1, 2);
    detail_splitter_->addWidget(chart_splitter_);
    detail_splitter_->setStretchFactor(0, 1);
    detail_splitter_->setStretchFactor(1, 1);
    main_splitter_->addWidget(detail_splitter_);
    main_splitter_->setStretchFactor(0, 2);
    main_splitter_->setStretchFactor(1, 3);
    setCentralWidget(main_splitter_);

    file_status_ = new QLabel(this);
    file_status_->setObjectName("file_status");
    file_status_->setAccessibleName(tr("File status"));
    file_status_->setToolTip(path_);
    // A long file name is cut rather than widening the window past the screen.
    file_status_->setMinimumWidth(text_width(file_status_, "databac.txt"));
    statusBar()->addWidget(file_status_, 1);

    setTabOrder(record_list_, value_table_);
    setTabOrder(value_table_, tolerance_->pattern());

    connect(record_list_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current, const QModelIndex& previous) {
                // The user's choice; not the first row the view takes by
                // itself when it gets the focus with none chosen.
                if (!selecting_ && previous.isValid())
                    follow_newest_ = current.row() == records_->rowCount() - 1;
                shown_row_ = current.isValid() ? current.row() : -1;
                show_details();
            });
    tolerance_->set_on_changed([this] {
        records_->tolerances_changed();
        show_details();
    });

    lot_ = new LotControl(*this, *record_list_, follower_, tolerances_, files_, path_);
    build_menus();

    watcher_ = new QFileSystemWatcher(this);
    check_timer_ = new QTimer(this);
    check_timer_->setInterval(1000);
    step_timer_ = new QTimer(this);
    step_timer_->setSingleShot(true);
    step_timer_->setInterval(0);
    connect(watcher_, &QFileSystemWatcher::fileChanged, step_timer_, qOverload<>(&QTimer::start));
    connect(watcher_, &QFileSystemWatcher::directoryChanged, step_timer_,
            qOverload<>(&QTimer::start));
    connect(check_timer_, &QTimer::timeout, this, [this] {
        reload_tolerances();
        poll();
    });
    connect(step_timer_, &QTimer::timeout, this, &InspectWindow::poll);
    check_timer_->start();

    resize(1240, 780);
    main_splitter_->setSizes({520, 720});
    detail_splitter_->setSizes({400, 360});
    restore_settings();
    keep_on_screen();
    show_state();
    // The first step at once, from the event loop: the window shows first.
    step_timer_->start();
}

InspectWindow::~InspectWindow() = default;

void InspectWindow::build_menus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    lot_->add_file_actions(*file);
    file->addSeparator();
    QAction* close = file->addAction(tr("&Close"), this, &QWidget::close);
    close->setShortcut(QKeySequence::Close);
    QMenu* go = menuBar()->addMenu(tr("&Go"));
    QAction* newest = go->addAction(tr("&Newest record"), this, [this] {
        follow_newest_ = true;
        select_row(records_->rowCount() - 1);
        record_list_->setFocus();
    });
    newest->setShortcut(Qt::CTRL | Qt::Key_End);
    QAction* list = go->addAction(tr("Record &list"), this, [this] { record_list_->setFocus(); });
    list->setShortcut(Qt::ALT | Qt::Key_1);
    QAction* values = go->addAction(tr("&Values"), this, [this] { value_table_->setFocus(); });
    values->setShortcut(Qt::ALT | Qt::Key_2);
    QAction* tolerance =
        go->addAction(tr("&Tolerance"), this, [this] { tolerance_->pattern()->setFocus(); });
    tolerance->setShortcut(Qt::ALT | Qt::Key_3);
    lot_->add_select_actions(*menuBar()->addMenu(tr("&Select")));
    QMenu* help = menuBar()->addMenu(tr("&Help"));
    QAction* contents = help->addAction(tr("&Help"), this, [this] {
        if (!help_) help_ = new HelpWindow(this);
        help_->browser()->setSource(QUrl(QString(HelpWindow::kDocument) + "#inspection"));
        help_->bring_up();
    });
    contents->setShortcut(QKeySequence::HelpContents);
}

void InspectWindow::restore_settings() {
    QSettings settings = window_settings();
    settings.beginGroup(kSettingsGroup);
    restoreGeometry(settings.value("geometry").toByteArray());
    main_splitter_->restoreState(settings.value("main_splitter").toByteArray());
    detail_splitter_->restoreState(settings.value("detail_splitter").toByteArray());
    chart_splitter_->restoreState(settings.value("chart_splitter").toByteArray());
}

void InspectWindow::save_settings() {
    QSettings settings = window_settings();
    settings.beginGroup(kSettingsGroup);
    settings.setValue("geometry", saveGeometry());
    settings.setValue("main_splitter", main_splitter_->saveState());
    settings.setValue("detail_splitter", detail_splitter_->saveState());
    settings.setValue("chart_splitter", chart_splitter_->saveState());
}

void InspectWindow::keep_on_screen() {
    if (isMaximized() || isFullScreen()) return;
    const QScreen* on = screen();
    if (!on) return;
    const QRect room = on->availableGeometry();
    const QRect inner = geometry();
    QRect frame = frameGeometry();
    QMargins margins(inner.left() - frame.left(), inner.top() - frame.top(),
                     frame.right() - inner.right(), frame.bottom() - inner.bottom());
    // Before the window manager has framed it: room for a title bar.
    if (!isVisible() || margins.isNull()) margins = kFrameAllowance;
    const QSize size = inner.size().boundedTo(room.size().shrunkBy(margins));
    if (size != inner.size()) resize(size);
    frame = QRect(frame.topLeft(), size.grownBy(margins));
    const QPoint inside(std::clamp(frame.left(), room.left(), room.right() + 1 - frame.width()),
                        std::clamp(frame.top(), room.top(), room.bottom() + 1 - frame.height()));
    if (inside != frame.topLeft()) move(inside);
}

bool InspectWindow::event(QEvent* event) {
    const bool handled = QMainWindow::event(event);
    if (event->type() == QEvent::Show && !screen_watched_ && windowHandle()) {
        // Another screen, or a panel that takes room: keep to what is left.
        screen_watched_ = true;
        const auto watch_screen = [this](QScreen* on) {
            if (!on) return;
            connect(on, &QScreen::availableGeometryChanged, this, &InspectWindow::keep_on_screen,
                    Qt::UniqueConnection);
            keep_on_screen();
        };
        connect(windowHandle(), &QWindow::screenChanged, this, watch_screen);
        watch_screen(windowHandle()->screen());
    } else if (event->type() == QEvent::WindowStateChange) {
        keep_on_screen();  // back from maximised to a size saved elsewhere
    }
    return handled;
}

void InspectWindow::closeEvent(QCloseEvent* event) {
    save_settings();
    if (help_) help_->close();
    check_timer_->stop();
    step_timer_->stop();
    event->accept();
}

void InspectWindow::poll() {
    QElapsedTimer took;
    took.start();
    const RecordFollower::Change change = follower_.poll(step_bytes_);
    const qint64 ms = took.elapsed();
    if (ms < kStepMilliseconds / 2)
        step_bytes_ = std::min(step_bytes_ * 2, kMaxStep);
    else if (ms > kStepMilliseconds * 2)
        step_bytes_ = std::max(step_bytes_ / 2, kMinStep);

    records_->apply(change);  // a reset takes the current row away
    if (change.reset) follow_newest_ = true;
    const int count = records_->rowCount();
    const bool shown_changed = shown_row_ >= 0 && static_cast<size_t>(shown_row_) >= change.first &&
                               change.first < change.count;
    // While a long stretch is read the list fills; the newest record is
    // chosen once it is known, not at every step.
    // Records chosen together are a lot the user is looking at: a new record
    // does not take their place.
    const QItemSelection chosen = record_list_->selectionModel()->selection();
    const bool lot_chosen = chosen.size() > 1 || (chosen.size() == 1 && chosen.first().height() > 1);
    if (!follower_.pending() && follow_newest_ && !lot_chosen && count > 0 &&
        shown_row_ != count - 1)
        select_row(count - 1);
    else if (change.reset || count == 0 || shown_changed)
        show_details();  // gone, or the record shown got more values
    if (change.any() || follower_.pending()) show_state();
    if (follower_.pending()) step_timer_->start();
    watch();
}

void InspectWindow::reload_tolerances() {
    // Set in another Inspection window, or by hand in the settings file.
    const std::vector<ToleranceEntry> user = tolerances_.user(), computer = tolerances_.computer();
    tolerances_.reload();
    if (tolerances_.user() == user && tolerances_.computer() == computer) return;
    records_->tolerances_changed();
    show_details();
}

void InspectWindow::watch() {
    // inotify forgets a file that is deleted or renamed over: watch the name
    // again once it is back, and its folder for its coming back.
    const QFileInfo info(path_);
    if (!watcher_->directories().contains(info.absolutePath()) && info.dir().exists())
        watcher_->addPath(info.absolutePath());
    if (!watcher_->files().contains(path_) && info.exists()) watcher_->addPath(path_);
}

void InspectWindow::show_state() {
    const QLocale locale = QLocale();
    const QString name = QFileInfo(path_).fileName();
    const QString problem = qstring(follower_.problem());
    QString text;
    switch (follower_.state()) {
        case RecordFollower::State::kReading: {
            const double size = std::max<double>(1, double(follower_.file_size()));
            text = tr("Reading %1… %2 %")
                       .arg(name, locale.toString(100.0 * double(follower_.indexed_bytes()) / size,
                                                  'f', 0));
            break;
        }
        case RecordFollower::State::kCurrent:
            text = (follower_.record_count() == 1
                        ? tr("%1: 1 record; new records appear as they are saved.").arg(name)
                        : tr("%1: %2 records; new records appear as they are saved.")
                              .arg(name, locale.toString(qulonglong(follower_.record_count()))));
            break;
        case RecordFollower::State::kMissing:
            text = tr("%1 is missing (%2); its records appear as soon as it is back.")
                       .arg(name, QFileInfo(path_).absolutePath());
            break;
        case RecordFollower::State::kUnreadable:
            text = tr("%1 cannot be read%2; trying again every second.")
                       .arg(name, problem.isEmpty() ? QString() : " (" + problem + ")");
            break;
    }
    file_status_->setText(text);
}

void InspectWindow::select_row(int row) {
    if (row < 0 || row >= records_->rowCount()) return;
    selecting_ = true;
    const QModelIndex index = records_->index(row, 0);
    record_list_->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    record_list_->scrollTo(index);
    selecting_ = false;
    if (shown_row_ != row) {
        shown_row_ = row;
        show_details();
    }
}

void InspectWindow::show_details() {
    const InspectedRecord* found = records_->inspected(shown_row_);
    // A copy: the list's cache may drop it while the details are drawn.
    const std::optional<InspectedRecord> shown =
        found ? std::optional<InspectedRecord>(*found) : std::nullopt;
    const InspectedRecord* inspected = shown ? &*shown : nullptr;
    values_->show(inspected);
    statistics_->show_record(inspected);
    tolerance_->show_record(inspected);
    if (!inspected) {
        run_chart_->clear();
        histogram_->clear();
        return;
    }
    ChartLines lines;
    lines.mean = inspected->statistics.mean;
    if (inspected->tolerance) {
        lines.nominal = inspected->tolerance->entry.nominal;
        lines.lsl = inspected->tolerance->limits.lower;
        lines.usl = inspected->tolerance->limits.upper;
    }
    std::vector<std::optional<double>> in_order;
    std::vector<double> numbers;
    in_order.reserve(inspected->record.values.size());
    for (const RecordValue& value : inspected->record.values) {
        in_order.push_back(value.number ? std::optional<double>(value.number->value())
                                        : std::nullopt);
        if (value.number) numbers.push_back(value.number->value());
    }
    run_chart_->show_values(in_order, lines, inspected->record.value_count);
    histogram_->show_values(numbers, lines);
}

}  // namespace tolvane
