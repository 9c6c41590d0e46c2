#include "inspection/inspect_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QDir>
#include <QDockWidget>
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
#include "inspection/inspect_aqdef.h"
#include "inspection/inspect_lot.h"
#include "inspection/inspect_models.h"
#include "inspection/inspect_panels.h"
#include "inspection/locale_numbers.h"
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

// The names given to stations, in tolvane.conf's [stations] as an array of
// (path, name): a path holds '/', which a key of QSettings cannot.
constexpr const char* kStationsArray = "stations";

std::vector<std::pair<QString, QString>> saved_station_names() {
    QSettings settings = window_settings();
    std::vector<std::pair<QString, QString>> names;
    const int size = std::min(settings.beginReadArray(kStationsArray), 10000);
    for (int i = 0; i < size; ++i) {
        settings.setArrayIndex(i);
        const QString path = settings.value("path").toString(), name = settings.value("name").toString();
        if (!path.isEmpty() && !name.isEmpty()) names.emplace_back(path, name);
    }
    settings.endArray();
    return names;
}

// An empty name takes the given one away: the folder's name shows again.
void save_station_name(const QString& path, const QString& name) {
    std::vector<std::pair<QString, QString>> names = saved_station_names();
    std::erase_if(names, [&](const auto& entry) { return entry.first == path; });
    if (!name.isEmpty()) names.emplace_back(path, name);
    QSettings settings = window_settings();
    settings.remove(kStationsArray);
    settings.beginWriteArray(kStationsArray, int(names.size()));
    for (size_t i = 0; i < names.size(); ++i) {
        settings.setArrayIndex(int(i));
        settings.setValue("path", names[i].first);
        settings.setValue("name", names[i].second);
    }
    settings.endArray();
}

std::string absolute(const std::string& path) {
    return QFile::encodeName(QFileInfo(QFile::decodeName(path.c_str())).absoluteFilePath())
        .toStdString();
}

// Absolute paths, each with the name given it here if it has one.
std::vector<StationFile> named(const std::vector<StationFile>& stations) {
    const std::vector<std::pair<QString, QString>> names = saved_station_names();
    std::vector<StationFile> result;
    for (const StationFile& station : stations) {
        StationFile file{absolute(station.path), station.name};
        const QString path = QFile::decodeName(file.path.c_str());
        for (const auto& [saved, name] : names)
            if (saved == path) file.name = name.toStdString();
        result.push_back(file);
    }
    return result;
}

StationFile station_of_path(const QString& path) {
    const QFileInfo info(path);
    return {QFile::encodeName(info.absoluteFilePath()).toStdString(),
            QFile::encodeName(info.absoluteDir().dirName()).toStdString()};
}

}  // namespace

InspectWindow::InspectWindow(const QString& path, FileSystem& files, ToleranceSettings& settings,
                             Bench bench, QWidget* parent)
    : InspectWindow(std::vector<StationFile>{station_of_path(path)}, files, settings,
                    std::move(bench), parent) {}

InspectWindow::InspectWindow(const std::vector<StationFile>& stations, FileSystem& files,
                             ToleranceSettings& settings, Bench bench, QWidget* parent)
    : QMainWindow(parent),
      files_(files),
      tolerances_(settings),
      stations_(files, named(stations)),
      control_(tolerances_),
      judged_user_(tolerances_.user()),
      judged_computer_(tolerances_.computer()),
      bench_(std::move(bench)) {
    setObjectName("inspect_window");

    records_ = new RecordListModel(stations_, tolerances_, control_, this);
    values_ = new ValueTableModel(this);

    main_splitter_ = new QSplitter(Qt::Horizontal, this);
    main_splitter_->setObjectName("main_splitter");
    main_splitter_->setChildrenCollapsible(false);
    // The station filter above the list, shown with more than one station.
    auto* list_side = new QWidget(main_splitter_);
    auto* list_column = new QVBoxLayout(list_side);
    list_column->setContentsMargins(0, 0, 0, 0);
    filter_row_ = new QWidget(list_side);
    auto* filter_line = new QHBoxLayout(filter_row_);
    filter_line->setContentsMargins(4, 4, 4, 0);
    station_filter_ = new QComboBox(filter_row_);
    station_filter_->setObjectName("station_filter");
    station_filter_->setAccessibleName(tr("Stations shown"));
    station_filter_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto* filter_label = new QLabel(tr("Statio&ns:"), filter_row_);
    filter_label->setBuddy(station_filter_);
    filter_line->addWidget(filter_label);
    filter_line->addWidget(station_filter_);
    filter_line->addStretch(1);
    list_column->addWidget(filter_row_);
    record_list_ = new_table(list_side, "record_list", tr("Records"));
    record_list_->setModel(records_);
    list_column->addWidget(record_list_, 1);
    {
        const QLocale locale = QLocale();
        const QString sample = locale.toString(QDateTime(QDate(2026, 12, 28), QTime(23, 58, 59)),
                                               QLocale::ShortFormat);
        QHeaderView* header = record_list_->horizontalHeader();
        header->setSectionResizeMode(RecordListModel::kDescription, QHeaderView::Stretch);
        header->resizeSection(RecordListModel::kTime, text_width(record_list_, sample));
        header->resizeSection(RecordListModel::kStation, text_width(record_list_, "Bench 12"));
        header->resizeSection(RecordListModel::kValues, text_width(record_list_, tr("Values")));
        header->resizeSection(RecordListModel::kVerdict,
                              text_width(record_list_, tr("%1 out of tolerance").arg(100)));
        header->resizeSection(RecordListModel::kControl,
                              text_width(record_list_, tr("Test 1, 5, 6")));
        header->setMinimumSectionSize(text_width(record_list_, "000"));
    }
    main_splitter_->addWidget(list_side);

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

    // The alarm above everything else, until it is acknowledged.
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    alarm_banner_ = new QFrame(central);
    alarm_banner_->setObjectName("alarm_banner");
    alarm_banner_->setAccessibleName(tr("Alarm"));
    alarm_banner_->setFrameShape(QFrame::StyledPanel);
    alarm_banner_->setStyleSheet(
        "QFrame#alarm_banner { background: #fce4e4; border: 2px solid #a51d2d; }"
        "QLabel { color: #5c0b14; }");
    auto* banner_row = new QHBoxLayout(alarm_banner_);
    alarm_text_ = new QLabel(alarm_banner_);
    alarm_text_->setObjectName("alarm_text");
    alarm_text_->setWordWrap(true);
    alarm_text_->setTextFormat(Qt::PlainText);
    alarm_text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    acknowledge_button_ = new QPushButton(tr("Ac&knowledge…"), alarm_banner_);
    acknowledge_button_->setObjectName("acknowledge");
    banner_row->addWidget(alarm_text_, 1);
    banner_row->addWidget(acknowledge_button_);
    alarm_banner_->hide();
    connect(acknowledge_button_, &QPushButton::clicked, this, &InspectWindow::acknowledge);
    column->addWidget(alarm_banner_);
    column->addWidget(main_splitter_, 1);
    setCentralWidget(central);

    file_status_ = new QLabel(this);
    file_status_->setObjectName("file_status");
    file_status_->setAccessibleName(tr("File status"));
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
        judge_again_if_tolerances_changed();
        show_details();
    });

    connect(station_filter_, &QComboBox::activated, this, [this](int index) {
        show_station(index > 0 ? std::optional<size_t>(size_t(index - 1)) : std::nullopt);
    });
    // A double click on a station's name names it anew.
    connect(record_list_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.column() == RecordListModel::kStation &&
            size_t(index.row()) < stations_.record_count())
            ask_rename_station(stations_.station_of(size_t(index.row())));
    });

    lot_ = new LotControl(*this, *record_list_, stations_, tolerances_, files_);
    lot_->set_user(bench_.user.toStdString());
    lot_->set_on_limits_changed([this] {
        records_->tolerances_changed();
        judge_again_if_tolerances_changed();
        show_details();
    });
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
    judge_timer_ = new QTimer(this);
    judge_timer_->setSingleShot(true);
    judge_timer_->setInterval(0);
    connect(judge_timer_, &QTimer::timeout, this, &InspectWindow::judge);
    check_timer_->start();

    resize(1240, 780);
    main_splitter_->setSizes({520, 720});
    detail_splitter_->setSizes({400, 360});
    restore_settings();
    keep_on_screen();
    stations_changed();
    show_state();
    // The first step at once, from the event loop: the window shows first.
    step_timer_->start();
}

InspectWindow::~InspectWindow() = default;

void InspectWindow::build_menus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    QAction* add = file->addAction(tr("&Add File…"), this, &InspectWindow::ask_add_file);
    add->setObjectName("add_file");
    add->setShortcut(QKeySequence::Open);
    QAction* remove = file->addAction(tr("Re&move File…"), this, &InspectWindow::ask_remove_file);
    remove->setObjectName("remove_file");
    QAction* rename = file->addAction(tr("Re&name Station…"), this,
                                      [this] { ask_rename_station(std::nullopt); });
    rename->setObjectName("rename_station");
    file->addSeparator();
    lot_->add_file_actions(*file);
    add_aqdef_export(*file, *this, *lot_, files_, stations_);
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
    QMenu* control = menuBar()->addMenu(tr("&Control"));
    acknowledge_action_ =
        control->addAction(tr("&Acknowledge Alarm…"), this, &InspectWindow::acknowledge);
    acknowledge_action_->setObjectName("acknowledge_alarm");
    // Alt+A is the tolerance's "Applies to"; the banner's button is Alt+K.
    acknowledge_action_->setShortcut(Qt::CTRL | Qt::Key_K);
    acknowledge_action_->setEnabled(false);
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
    settings.setValue("files", station_paths());
}

QStringList InspectWindow::remembered_files() {
    QSettings settings = window_settings();
    settings.beginGroup(kSettingsGroup);
    return settings.value("files").toStringList();
}

QStringList InspectWindow::station_paths() const {
    QStringList paths;
    for (const StationRecords::Station& station : stations_.stations())
        paths << QFile::decodeName(station.path.c_str());
    return paths;
}

void InspectWindow::stations_changed() {
    const std::vector<StationRecords::Station> stations = stations_.stations();
    std::vector<QString> names;
    for (const StationRecords::Station& station : stations)
        names.push_back(QString::fromStdString(station.name));
    records_->set_station_names(names);
    if (stations.size() == 1) {
        const QString path = QFile::decodeName(stations.front().path.c_str());
        setWindowTitle(tr("KLD-350 Inspection — %1").arg(QFileInfo(path).fileName()));
        setWindowFilePath(path);
    } else {
        setWindowTitle(tr("KLD-350 Inspection — %1 stations")
                           .arg(QLocale().toString(qulonglong(stations.size()))));
        setWindowFilePath(QString());
    }
    // One station: its name on every row says nothing.
    record_list_->setColumnHidden(RecordListModel::kStation, stations.size() < 2);
    const int shown = int(std::count_if(stations.begin(), stations.end(),
                                        [](const StationRecords::Station& s) { return s.shown; }));
    station_filter_->clear();
    station_filter_->addItem(tr("All stations"));
    for (const QString& name : names) station_filter_->addItem(name);
    station_filter_->setCurrentIndex(0);
    if (shown == 1 && stations.size() > 1)
        for (size_t k = 0; k < stations.size(); ++k)
            if (stations[k].shown) station_filter_->setCurrentIndex(int(k) + 1);
    filter_row_->setVisible(stations.size() > 1);
    QStringList tip;
    for (const StationRecords::Station& station : stations)
        tip << tr("%1: %2").arg(QString::fromStdString(station.name),
                                QDir::toNativeSeparators(QFile::decodeName(station.path.c_str())));
    file_status_->setToolTip(tip.join('\n'));
    // Files no longer followed are no longer watched (watch() adds the new).
    QStringList needed;
    for (const QString& path : station_paths())
        needed << path << QFileInfo(path).absolutePath()
               << QFile::decodeName(journal_path(QFile::encodeName(path).toStdString()).c_str());
    for (const QString& watched : watcher_->files() + watcher_->directories())
        if (!needed.contains(watched)) watcher_->removePath(watched);
    // Journals of files no longer followed are let go.
    std::erase_if(journals_, [&](const auto& entry) {
        return std::none_of(stations.begin(), stations.end(), [&](const StationRecords::Station& s) {
            return journal_path(s.path) == entry.first;
        });
    });
}

void InspectWindow::add_file(const QString& path) {
    const StationFile file = named({station_of_path(path)}).front();
    for (const StationRecords::Station& station : stations_.stations())
        if (station.path == file.path) return;  // followed already
    stations_.add_file(file.path, file.name);
    stations_changed();
    save_settings();
    step_timer_->start();
}

void InspectWindow::remove_station(size_t k) {
    // The last file stays: a window follows at least one.
    if (k >= stations_.station_count() || stations_.station_count() < 2) return;
    stations_.remove_file(k);
    stations_changed();
    save_settings();
    step_timer_->start();
}

void InspectWindow::rename_station(size_t k, const QString& name) {
    const std::vector<StationRecords::Station> stations = stations_.stations();
    if (k >= stations.size()) return;
    const QString path = QFile::decodeName(stations[k].path.c_str());
    const QString given = name.trimmed();
    // No name: the folder's again.
    const QString shown = given.isEmpty() ? QFileInfo(path).absoluteDir().dirName() : given;
    save_station_name(path, given);
    stations_.rename_station(k, shown.toStdString());
    stations_changed();
}

void InspectWindow::show_station(std::optional<size_t> k) {
    const size_t count = stations_.station_count();
    std::vector<bool> shown(count, !k);
    if (k && *k < count) shown[*k] = true;
    stations_.set_shown(shown);
    lot_->panel()->hide();
    step_timer_->start();
}

void InspectWindow::ask_add_file() {
    const QStringList paths = QFileDialog::getOpenFileNames(
        this, tr("Add File"), QFileInfo(station_paths().value(0)).absolutePath(),
        tr("Backup data (databac.txt);;All files (*)"));
    for (const QString& path : paths) add_file(path);
}

void InspectWindow::ask_remove_file() {
    const std::vector<StationRecords::Station> stations = stations_.stations();
    if (stations.size() < 2) {
        QMessageBox::information(this, tr("Remove File"),
                                 tr("The window follows one file only; add another first."));
        return;
    }
    QStringList items;
    for (const StationRecords::Station& station : stations)
        items << tr("%1 (%2)").arg(QString::fromStdString(station.name),
                                   QDir::toNativeSeparators(QFile::decodeName(station.path.c_str())));
    bool ok = false;
    const QString chosen =
        QInputDialog::getItem(this, tr("Remove File"), tr("Stop following:"), items, 0, false, &ok);
    if (ok) remove_station(size_t(items.indexOf(chosen)));
}

void InspectWindow::ask_rename_station(std::optional<size_t> k) {
    const std::vector<StationRecords::Station> stations = stations_.stations();
    if (!k) {
        const QModelIndex current = record_list_->currentIndex();
        k = current.isValid() && size_t(current.row()) < stations_.record_count()
                ? stations_.station_of(size_t(current.row()))
                : 0;
    }
    if (*k >= stations.size()) return;
    bool ok = false;
    const QString name = QInputDialog::getText(
        this, tr("Rename Station"),
        tr("Name of the station of %1 (empty: the folder's name):")
            .arg(QDir::toNativeSeparators(QFile::decodeName(stations[*k].path.c_str()))),
        QLineEdit::Normal, QString::fromStdString(stations[*k].name), &ok);
    if (ok) rename_station(*k, name);
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
    judge_timer_->stop();
    event->accept();
}

void InspectWindow::poll() {
    QElapsedTimer took;
    took.start();
    const StationRecords::Change change = stations_.poll(step_bytes_);
    const qint64 ms = took.elapsed();
    if (ms < kStepMilliseconds / 2)
        step_bytes_ = std::min(step_bytes_ * 2, kMaxStep);
    else if (ms > kStepMilliseconds * 2)
        step_bytes_ = std::max(step_bytes_ / 2, kMinStep);

    records_->apply(change);  // a reset takes the current row away
    if (change.reset) {
        follow_newest_ = true;
        control_.reset();
        // A file read again from its start: what it holds then is history.
        alarm_seen_.clear();
    } else {
        control_.changed_from(change.first);
    }
    if (alarm_seen_.empty() && !stations_.pending()) {
        // What the files held when they were read is history.
        for (const StationRecords::Station& station : stations_.stations())
            alarm_seen_.push_back(station.records);
    }
    if (control_.judged() < stations_.record_count()) judge_timer_->start();
    const int count = records_->rowCount();
    const bool shown_changed = shown_row_ >= 0 && static_cast<size_t>(shown_row_) >= change.first &&
                               change.first < change.count;
    // While a long stretch is read the list fills; the newest record is
    // chosen once it is known, not at every step.
    // Records chosen together are a lot the user is looking at: a new record
    // does not take their place.
    const QItemSelection chosen = record_list_->selectionModel()->selection();
    const bool lot_chosen = chosen.size() > 1 || (chosen.size() == 1 && chosen.first().height() > 1);
    if (!stations_.pending() && follow_newest_ && !lot_chosen && count > 0 &&
        shown_row_ != count - 1)
        select_row(count - 1);
    else if (change.reset || count == 0 || shown_changed)
        show_details();  // gone, or the record shown got more values
    if (change.any() || stations_.pending()) show_state();
    if (stations_.pending()) step_timer_->start();
    follow_journal();
    watch();
}

void InspectWindow::reload_tolerances() {
    // Set in another Inspection window, or by hand in the settings file.
    const std::vector<ToleranceEntry> user = tolerances_.user(), computer = tolerances_.computer();
    tolerances_.reload();
    if (tolerances_.user() == user && tolerances_.computer() == computer) {
        judge_again_if_tolerances_changed();  // set in this window, by the lot
        return;
    }
    records_->tolerances_changed();
    judge_again_if_tolerances_changed();
    show_details();
}

void InspectWindow::judge_again_if_tolerances_changed() {
    if (tolerances_.user() == judged_user_ && tolerances_.computer() == judged_computer_) return;
    judged_user_ = tolerances_.user();
    judged_computer_ = tolerances_.computer();
    const size_t judged = control_.judged();
    control_.reset();
    records_->control_judged(0, judged);
    judge_timer_->start();
}

void InspectWindow::judge() {
    const size_t first = control_.judged();
    const size_t count = stations_.record_count();
    if (first >= count) return;
    QElapsedTimer took;
    took.start();
    bool whole = true;
    const std::vector<StationRecords::Station> stations = stations_.stations();
    stations_.read_records(first, judge_records_, [&](size_t i, std::optional<Record> record) {
        // A record no longer where it was indexed: the next poll reads again.
        whole = whole && record && i == control_.judged();
        if (!whole) return;
        const TrackedRecord tracked = control_.judge(*record);
        const size_t k = stations_.station_of(i), j = stations_.index_in_station(i);
        if (k < alarm_seen_.size() && j >= alarm_seen_[k]) {
            alarm_seen_[k] = j + 1;
            if (tracked.alarming())
                raise_alarm(*record, tracked,
                            k < stations.size() ? journal_path(stations[k].path) : std::string());
        }
    });
    const qint64 ms = took.elapsed();
    if (ms < kStepMilliseconds / 2)
        judge_records_ = std::min<size_t>(judge_records_ * 2, 1 << 20);
    else if (ms > kStepMilliseconds * 2)
        judge_records_ = std::max<size_t>(judge_records_ / 2, 256);
    records_->control_judged(first, control_.judged());
    if (whole && control_.judged() < stations_.record_count()) judge_timer_->start();
}

void InspectWindow::raise_alarm(const Record& record, const TrackedRecord& tracked,
                                std::string journal) {
    const QLocale locale = QLocale();
    const NumberSymbols symbols = number_symbols(locale);
    Alarm alarm;
    alarm.record_time = record.time;
    alarm.journal = std::move(journal);
    alarm.description = record.description.value_or("");
    alarm.characteristic = tracked.characteristic;
    alarm.time = time_text(record, locale);
    if (tracked.judgement)
        for (const auto* findings : {&tracked.judgement->point_findings,
                                     &tracked.judgement->spread_findings})
            for (const Finding& f : *findings)
                if (std::find(alarm.tests.begin(), alarm.tests.end(), f.test) == alarm.tests.end())
                    alarm.tests.push_back(f.test);
    std::sort(alarm.tests.begin(), alarm.tests.end());
    QStringList words;
    for (const std::string& w :
         // Six significant digits: enough to tell a mean from its limit
         // (74.0166 above 74.0145), not the limit's every digit.
         alarm_words(tracked, [&](double x) { return locale.toString(x, 'g', 6).toStdString(); }))
        words << qstring(w);
    alarm.words = words.join("; ");
    const QString characteristic = qstring(alarm.characteristic);
    alarms_.push_back(alarm);
    show_alarm();
    // Attention without the keyboard focus: the operator types elsewhere.
    QApplication::alert(this);
    if (bench_.notifier)
        bench_.notifier->notify(
            tr("Alarm: %1").arg(characteristic.isEmpty() ? tr("(no description)") : characteristic)
                .toStdString(),
            tr("%1: %2").arg(alarm.time, alarm.words).toStdString());
}

void InspectWindow::show_alarm() {
    acknowledge_action_->setEnabled(!alarms_.empty());
    if (alarms_.empty()) {
        alarm_banner_->hide();
        return;
    }
    const Alarm& first = alarms_.front();
    const QLocale locale = QLocale();
    const QString count =
        alarms_.size() == 1
            ? tr("Alarm")
            : tr("Alarm 1 of %1").arg(locale.toString(qulonglong(alarms_.size())));
    const QString characteristic = qstring(first.characteristic);
    alarm_text_->setText(tr("%1 — %2, %3: %4")
                             .arg(count,
                                  characteristic.isEmpty() ? tr("(no description)") : characteristic,
                                  first.time, first.words));
    alarm_banner_->show();
}

void InspectWindow::acknowledge() {
    if (alarms_.empty() || acknowledge_dialog_) return;
    const Alarm alarm = alarms_.front();
    dialog_alarm_ = alarm;
    auto* dialog = new QDialog(this);
    acknowledge_dialog_ = dialog;
    dialog->setObjectName("acknowledge_dialog");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(tr("Acknowledge Alarm"));
    auto* form = new QFormLayout(dialog);
    auto* what = new QLabel(alarm_text_->text(), dialog);
    what->setWordWrap(true);
    what->setTextFormat(Qt::PlainText);
    form->addRow(what);
    auto* cause = new QComboBox(dialog);
    cause->setObjectName("cause");
    cause->setEditable(true);
    cause->setInsertPolicy(QComboBox::NoInsert);
    // This characteristic's causes, newest first, each once.
    QStringList offered;
    // The record's own station's first, then the others'.
    std::vector<const FollowedJournal*> in_order;
    if (const auto own = journals_.find(alarm.journal); own != journals_.end())
        in_order.push_back(&own->second);
    for (const auto& [path, followed] : journals_)
        if (path != alarm.journal) in_order.push_back(&followed);
    for (const FollowedJournal* followed : in_order)
        for (auto it = followed->causes.rbegin(); it != followed->causes.rend(); ++it) {
            const std::optional<Tolerances::Match> match = tolerances_.find(it->first);
            const std::string& of = match ? match->entry.pattern : it->first;
            const QString text = qstring(it->second);
            if (of == alarm.characteristic && !text.isEmpty() && !offered.contains(text))
                offered << text;
        }
    cause->addItems(offered);
    cause->setCurrentIndex(-1);
    cause->setEditText(QString());
    auto* action = new QLineEdit(dialog);
    action->setObjectName("action");
    auto* user = new QLineEdit(bench_.user, dialog);
    user->setObjectName("user");
    form->addRow(tr("&Cause:"), cause);
    form->addRow(tr("Action &taken:"), action);
    form->addRow(tr("&Name:"), user);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    form->addRow(buttons);
    setTabOrder(cause, action);
    setTabOrder(action, user);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, dialog, [=, this] {
        const QDateTime now = QDateTime::currentDateTime();
        JournalEntry entry;
        entry.time = {now.date().year(), now.date().month(), now.date().day(),
                      now.time().hour(), now.time().minute(), now.time().second()};
        entry.record_time = alarm.record_time;
        entry.description = alarm.description;
        entry.event = JournalEvent::kAcknowledged;
        entry.tests = alarm.tests;
        entry.cause = cause->currentText().toStdString();
        entry.action = action->text().toStdString();
        entry.user = user->text().toStdString();
        Journal journal(files_, alarm.journal);
        if (const Status written = journal.append(entry); !written.ok()) {
            // Not acknowledged: the alarm and what was typed stay.
            auto* box = new QMessageBox(QMessageBox::Warning, tr("tolvane"),
                                        qstring(written.reason()), QMessageBox::Ok, dialog);
            box->setObjectName("journal_failed");
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->open();
            return;
        }
        journals_[alarm.journal].causes.emplace_back(entry.description, entry.cause);
        acknowledged(entry, alarm.journal);
        dialog->accept();
    });
    dialog->open();
    cause->setFocus();
}

void InspectWindow::acknowledged(const JournalEntry& entry, const std::string& journal) {
    const auto before = alarms_.size();
    // Only the alarm of a record of that journal's file: two stations may
    // well record the same part at the same second.
    std::erase_if(alarms_, [&](const Alarm& a) {
        return a.journal == journal && a.record_time == entry.record_time &&
               a.description == entry.description;
    });
    if (alarms_.size() == before) return;
    show_alarm();
    // Acknowledged in another window while this one asked: nothing to ask.
    if (acknowledge_dialog_ && dialog_alarm_.journal == journal &&
        dialog_alarm_.record_time == entry.record_time &&
        dialog_alarm_.description == entry.description)
        acknowledge_dialog_->reject();
}

void InspectWindow::follow_journal() {
    for (const StationRecords::Station& station : stations_.stations()) {
        const std::string path = journal_path(station.path);
        FollowedJournal& followed = journals_[path];
        std::vector<JournalEntry> entries;
        // A journal that cannot be read now is read at the next look.
        if (!followed.reader.poll(files_, path, entries).ok()) continue;
        if (followed.reader.reset()) followed.causes.clear();
        for (const JournalEntry& entry : entries) {
            if (entry.event != JournalEvent::kAcknowledged) continue;
            followed.causes.emplace_back(entry.description, entry.cause);
            acknowledged(entry, path);
        }
        // Only the recent causes are offered.
        constexpr size_t kCausesKept = 500;
        if (followed.causes.size() > 2 * kCausesKept)
            followed.causes.erase(followed.causes.begin(), followed.causes.end() - kCausesKept);
    }
}

void InspectWindow::watch() {
    // inotify forgets a file that is deleted or renamed over: watch the name
    // again once it is back, and its folder for its coming back.
    const QStringList watched_files = watcher_->files(), watched_folders = watcher_->directories();
    for (const QString& path : station_paths()) {
        const QFileInfo info(path);
        if (!watched_folders.contains(info.absolutePath()) && info.dir().exists())
            watcher_->addPath(info.absolutePath());
        if (!watched_files.contains(path) && info.exists()) watcher_->addPath(path);
        const QString journal =
            QFile::decodeName(journal_path(QFile::encodeName(path).toStdString()).c_str());
        if (!watched_files.contains(journal) && QFileInfo::exists(journal)) watcher_->addPath(journal);
    }
}

void InspectWindow::show_state() {
    const QLocale locale = QLocale();
    const std::vector<StationRecords::Station> stations = stations_.stations();
    if (stations.empty()) return;
    const QString records =
        stations_.record_count() == 1
            ? tr("1 record")
            : tr("%1 records").arg(locale.toString(qulonglong(stations_.record_count())));
    if (stations_.pending()) {
        const double size = std::max<double>(1, double(stations_.file_size()));
        const QString done = locale.toString(100.0 * double(stations_.indexed_bytes()) / size, 'f', 0);
        file_status_->setText(
            stations.size() == 1
                ? tr("Reading %1… %2 %")
                      .arg(QFileInfo(QFile::decodeName(stations[0].path.c_str())).fileName(), done)
                : tr("Reading %1 files… %2 %")
                      .arg(locale.toString(qulonglong(stations.size())), done));
        return;
    }
    // Each file that is not there or cannot be read, by its station.
    QStringList trouble;
    for (const StationRecords::Station& station : stations) {
        const QFileInfo info(QFile::decodeName(station.path.c_str()));
        const QString file = stations.size() == 1
                                 ? info.fileName()
                                 : tr("%1 (%2)").arg(QString::fromStdString(station.name),
                                                     info.fileName());
        const QString problem = qstring(station.problem);
        if (station.state == RecordFollower::State::kMissing)
            trouble << tr("%1 is missing (%2); its records appear as soon as it is back.")
                           .arg(file, QDir::toNativeSeparators(info.absolutePath()));
        else if (station.state == RecordFollower::State::kUnreadable)
            trouble << tr("%1 cannot be read%2; trying again every second.")
                           .arg(file, problem.isEmpty() ? QString() : " (" + problem + ")");
    }
    QString text;
    if (stations.size() == 1) {
        const QString name = QFileInfo(QFile::decodeName(stations[0].path.c_str())).fileName();
        text = trouble.isEmpty()
                   ? tr("%1: %2; new records appear as they are saved.").arg(name, records)
                   : trouble.front();
    } else {
        const auto shown = std::count_if(stations.begin(), stations.end(),
                                         [](const StationRecords::Station& s) { return s.shown; });
        const QString count = locale.toString(qulonglong(stations.size()));
        text = shown == qsizetype(stations.size())
                   ? tr("%1 stations: %2").arg(count, records)
                   : tr("%1 of %2 stations shown: %3")
                         .arg(locale.toString(qulonglong(shown)), count, records);
        text += trouble.isEmpty() ? tr("; new records appear as they are saved.")
                                  : "; " + trouble.join(" ");
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
    lines.scale = inspected->scale();
    lines.mean = lines.scale == Scale::kLog ? inspected->fit.gmean : inspected->statistics.mean;
    lines.fit_mean = inspected->fit.mean;
    lines.fit_sd = inspected->fit.sd;
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
