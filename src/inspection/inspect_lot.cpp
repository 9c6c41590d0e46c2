#include "inspection/inspect_lot.h"

#include <QAction>
#include <QCheckBox>
#include <QDateTimeEdit>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollArea>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QEvent>
#include <QHelpEvent>
#include <QToolTip>
#include <QVBoxLayout>
#include <algorithm>
#include <string_view>
#include <cmath>


#include "inspection/inspect_freeze.h"
#include "inspection/locale_numbers.h"
#include "inspection/report_charts.h"
#include "platform/file_system.h"
#include "quality/csv_export.h"
#include "quality/freezing.h"
#include "quality/tolerances.h"
#include "records/output_target.h"
#include "records/station_records.h"

namespace tolvane {

namespace {

// Records read from the file at a time while selecting by content.
constexpr size_t kScanStep = 2048;

QString records_text(size_t count) {
    return count == 1 ? QObject::tr("1 record")
                      : QObject::tr("%1 records").arg(QLocale().toString(qulonglong(count)));
}

// The report's figures, those of the scale's fit as the window words them
// (the method in the caption, the formula in the tooltip) in their place,
// and the normality check.
std::vector<LotFigure> panel_figures(const Lot& lot, const QLocale& locale) {
    const LotStatistics& s = lot.statistics;
    const Fit& fit = s.fit;
    const bool log = s.scale == Scale::kLog;
    const QString none = QStringLiteral("—");
    const auto ratio = [&](const std::optional<double>& x) {
        return x && std::isfinite(*x) ? locale.toString(*x, 'f', 2) : none;
    };
    const auto method = [&](const char* figure, Method m) {
        return QObject::tr("%1 (%2)").arg(figure, QString::fromStdString(method_name(m, s.scale)));
    };
    const QString formula_pct = QString::fromStdString(method_formula(Method::kPercentile, s.scale));
    std::vector<LotFigure> figures;
    if (log) {
        std::vector<double> values;
        for (const Record& r : lot.records)
            for (const Number& number : r.numbers()) values.push_back(number.value());
        const NumberForm derived = form_of(values, 2);
        figures.push_back({QObject::tr("Geometric mean"), display_text(fit.gmean, derived, locale),
                           QObject::tr("10^m, m the mean of log10 of the values above 0"), {},
                           "gmean"});
        figures.push_back({QObject::tr("Geometric sd"),
                           factor_text(fit.gsd, locale),
                           QObject::tr("10^s, s the sd (n − 1) of log10 of the values above 0"), {},
                           "gsd"});
        figures.push_back({QObject::tr("Left out"), locale.toString(qulonglong(fit.not_positive)),
                           fit.not_positive ? QString::fromStdString(not_positive_words(
                                                  fit.not_positive, fit.negative))
                                            : QObject::tr("values of 0 or below have no logarithm"),
                           {}, "not_positive"});
    }
    figures.push_back({method("Pp", Method::kPercentile),
                       ratio(fit.percentile ? fit.percentile->pp : std::nullopt), formula_pct, {},
                       "pp_pct"});
    figures.push_back({method("Ppk", Method::kPercentile),
                       ratio(fit.percentile ? fit.percentile->ppk : std::nullopt), formula_pct, {},
                       "ppk_pct"});
    figures.push_back({QObject::tr("Normality"),
                       QString::fromStdString(normality_words(fit, [locale](double x) {
                           return locale.toString(x, 'g', 2).toStdString();
                       })),
                       QObject::tr("Anderson–Darling, of the values in the scale, from 8 values")});
    // Each in the report's figure's place; the others after them.
    std::vector<LotFigure> shown = lot_figures(lot, locale);
    for (LotFigure& own : figures) {
        const auto same = std::find_if(shown.begin(), shown.end(), [&](const LotFigure& f) {
            return *own.key && std::string_view(f.key) == own.key;
        });
        if (same != shown.end())
            *same = std::move(own);
        else
            shown.push_back(std::move(own));
    }
    return shown;
}

LocalDateTime now() {
    const QDateTime t = QDateTime::currentDateTime();
    return {t.date().year(), t.date().month(), t.date().day(),
            t.time().hour(), t.time().minute(), t.time().second()};
}

}  // namespace

LotChart::LotChart(QWidget* parent) : QWidget(parent) {
    setObjectName("lot_chart");
    setAccessibleName(tr("X-bar and s chart of the selected records"));
    setMinimumSize(360, 200);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
}

void LotChart::show_lot(const Lot* lot, std::optional<FrozenChart> frozen) {
    lot_ = lot;
    frozen_ = std::move(frozen);
    update();
}

QRectF LotChart::box() const {
    const double scale = logicalDpiX() / 72.0;
    return QRectF(6, 4, width() / scale - 12, height() / scale - 8);
}

void LotChart::paintEvent(QPaintEvent*) {
    if (!lot_ || lot_->statistics.records < 2) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // Text sizes in points, as on paper.
    const double scale = logicalDpiX() / 72.0;
    painter.scale(scale, scale);
    paint_control_charts(painter, box(), *lot_, QLocale(), frozen_ ? &*frozen_ : nullptr);
}

QString LotChart::point_tip(double x) const {
    if (!lot_ || !frozen_) return {};
    const std::optional<size_t> at =
        chart_point_at(box(), frozen_->points.size(), x / (logicalDpiX() / 72.0));
    if (!at) return {};
    const FrozenPoint& p = frozen_->points[*at];
    const Record& record = lot_->records[p.record];
    QStringList lines;
    QString time = QString::fromStdString(record.time_text);
    if (record.time)
        time = QLocale().toString(QDateTime(QDate(record.time->year, record.time->month, record.time->day),
                                            QTime(record.time->hour, record.time->minute, record.time->second)),
                                  QLocale::ShortFormat);
    lines << tr("Record %1, %2").arg(QLocale().toString(qulonglong(lot_->numbers[p.record])), time);
    if (!p.tests.empty()) {
        QStringList tests;
        for (const int t : p.tests) tests << QString::number(t);
        lines << tr("Test %1").arg(tests.join(", "));
    }
    if (p.left_out) lines << tr("Left out of the limits: %1").arg(QString::fromStdString(*p.left_out));
    for (const std::string& cause : p.causes) lines << tr("Cause: %1").arg(QString::fromStdString(cause));
    return lines.join('\n');
}

bool LotChart::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString tip = point_tip(help->pos().x());
        if (tip.isEmpty()) QToolTip::hideText();
        else QToolTip::showText(help->globalPos(), tip, this);
        return true;
    }
    return QWidget::event(event);
}

QString LotControl::current_file() const {
    const std::vector<StationRecords::Station> stations = stations_.stations();
    if (stations.empty()) return {};
    size_t k = 0;
    const QModelIndex current = list_.currentIndex();
    if (current.isValid() && size_t(current.row()) < stations_.record_count())
        k = stations_.station_of(size_t(current.row()));
    return QFile::decodeName(stations[std::min(k, stations.size() - 1)].path.c_str());
}

std::string LotControl::current_journal() const {
    return journal_path(QFile::encodeName(current_file()).toStdString());
}

LotControl::LotControl(QMainWindow& window, QTableView& list, StationRecords& stations,
                       Tolerances& tolerances, FileSystem& files)
    : QObject(&window),
      window_(window),
      list_(list),
      stations_(stations),
      tolerances_(tolerances),
      files_(files) {
    // Shift and Ctrl add records to the selection; the current row stays the
    // one whose details show.
    list_.setSelectionMode(QAbstractItemView::ExtendedSelection);

    dock_ = new QDockWidget(tr("Lot of the selected records"), &window_);
    dock_->setObjectName("lot_panel");
    dock_->setAccessibleName(tr("Lot of the selected records"));
    auto* body = new QWidget(dock_);
    auto* row = new QHBoxLayout(body);
    auto* figures = new QWidget(body);
    figures_ = new QGridLayout(figures);
    figures_->setContentsMargins(6, 6, 6, 6);
    figures_->setVerticalSpacing(2);
    auto* scroll = new QScrollArea(body);
    scroll->setWidget(figures);
    scroll->setWidgetResizable(true);
    scroll->setMinimumWidth(440);
    scroll->setFrameShape(QFrame::NoFrame);
    row->addWidget(scroll, 0);
    auto* charts = new QWidget(body);
    auto* column = new QVBoxLayout(charts);
    column->setContentsMargins(0, 0, 0, 0);
    stations_line_ = new QLabel(charts);
    stations_line_->setObjectName("lot_stations");
    stations_line_->setWordWrap(true);
    column->addWidget(stations_line_);
    control_ = new QLabel(charts);
    control_->setObjectName("lot_control");
    control_->setWordWrap(true);
    column->addWidget(control_);
    chart_ = new LotChart(charts);
    column->addWidget(chart_, 1);
    row->addWidget(charts, 1);
    dock_->setWidget(body);
    window_.addDockWidget(Qt::BottomDockWidgetArea, dock_);
    dock_->hide();

    saved_ = new QLabel(&window_);
    saved_->setObjectName("lot_saved");
    saved_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long path is cut rather than widening the window past the screen.
    saved_->setMinimumWidth(saved_->fontMetrics().horizontalAdvance(tr("Report saved to")));
    open_folder_ = new QToolButton(&window_);
    open_folder_->setObjectName("open_folder");
    open_folder_->setText(tr("Open Folder"));
    connect(open_folder_, &QToolButton::clicked, this,
            [this] { QDesktopServices::openUrl(QUrl::fromLocalFile(saved_folder_)); });
    window_.statusBar()->addPermanentWidget(saved_);
    window_.statusBar()->addPermanentWidget(open_folder_);
    saved_->hide();
    open_folder_->hide();

    settle_ = new QTimer(this);
    settle_->setSingleShot(true);
    settle_->setInterval(60);  // Shift+arrow keys change it many times a second
    connect(settle_, &QTimer::timeout, this, &LotControl::refresh);
    connect(list_.selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &LotControl::selection_changed);
    scan_ = new QTimer(this);
    scan_->setInterval(0);
}

LotControl::~LotControl() = default;

void LotControl::add_file_actions(QMenu& file) {
    QAction* csv = file.addAction(tr("&Export CSV…"), this, [this] {
        const QString path = QFileDialog::getSaveFileName(&window_, tr("Export CSV"), suggested(".csv"),
                                                          tr("CSV files (*.csv)"));
        if (!path.isEmpty()) export_csv_to(path);
    });
    QAction* pdf = file.addAction(tr("&Report as PDF…"), this, [this] {
        const QString path = QFileDialog::getSaveFileName(
            &window_, tr("Report as PDF"), suggested(".pdf"), tr("PDF documents (*.pdf)"));
        if (!path.isEmpty()) report_to(path);
    });
    QAction* print = file.addAction(tr("&Print…"), this, &LotControl::print);
    print->setShortcut(QKeySequence::Print);
    need_records_ = {csv, pdf, print};
    for (QAction* action : need_records_) action->setEnabled(false);
}

void LotControl::add_select_actions(QMenu& menu) {
    menu.addAction(tr("All Records with This &Description"), this, [this] { select_description(); });
    menu.addAction(tr("Records in a &Time Range…"), this, [this] {
        QDialog dialog(&window_);
        dialog.setWindowTitle(tr("Records in a Time Range"));
        auto* form = new QFormLayout(&dialog);
        QDateTime first(QDate::currentDate(), QTime(0, 0));
        const QModelIndex current = list_.currentIndex();
        if (current.isValid())
            if (const std::optional<Record> r = stations_.record(size_t(current.row())); r && r->time)
                first = QDateTime(QDate(r->time->year, r->time->month, r->time->day), QTime(0, 0));
        auto* from = new QDateTimeEdit(first, &dialog);
        auto* to = new QDateTimeEdit(first.addSecs(24 * 3600 - 1), &dialog);
        for (QDateTimeEdit* edit : {from, to}) {
            edit->setCalendarPopup(true);
            // The regional short form, with seconds: records are stamped to the second.
            QString format = QLocale().dateTimeFormat(QLocale::ShortFormat);
            if (!format.contains("ss")) format.replace("mm", "mm:ss");
            edit->setDisplayFormat(format);
        }
        form->addRow(tr("&From:"), from);
        form->addRow(tr("&To:"), to);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
        connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
        form->addRow(buttons);
        if (dialog.exec() == QDialog::Accepted) select_time_range(from->dateTime(), to->dateTime());
    });
    menu.addSeparator();
    freeze_ = menu.addAction(tr("&Freeze Control Limits from the Selection…"), this,
                             &LotControl::freeze_selection);
    tests_ = menu.addAction(tr("C&hoose Tests…"), this, &LotControl::choose_tests);
    remove_ = menu.addAction(tr("&Remove Frozen Limits"), this, &LotControl::remove_limits);
    update_control_actions();
}

std::optional<ToleranceEntry> LotControl::shown_frozen() const {
    const QModelIndex current = list_.currentIndex();
    if (!current.isValid()) return std::nullopt;
    const std::optional<Record> record = stations_.record(size_t(current.row()));
    if (!record) return std::nullopt;
    const std::optional<Tolerances::Match> match = tolerances_.find(record->description.value_or(""));
    if (!match || !match->from_user || !match->entry.control) return std::nullopt;
    return match->entry;
}

void LotControl::update_control_actions() {
    if (!freeze_) return;
    const bool frozen = shown_frozen().has_value();
    remove_->setEnabled(frozen);
    tests_->setEnabled(frozen);
    const QModelIndexList rows = list_.selectionModel()->selectedRows();
    freeze_->setEnabled(rows.size() > 1 && !stale_ && characteristic_of(lot_).pattern.has_value());
}

void LotControl::say_not_saved(const QString& why) {
    auto* box = new QMessageBox(QMessageBox::Warning, tr("Not Saved"),
                                tr("%1\nNothing was saved.").arg(why), QMessageBox::Ok, &window_);
    box->setObjectName("limits_not_saved");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void LotControl::limits_saved() {
    stale_ = true;
    refresh();
    update_control_actions();
    if (limits_changed_) limits_changed_();
}

void LotControl::freeze_selection() {
    const Lot& lot = this->lot();
    const Characteristic characteristic = characteristic_of(lot);
    if (!characteristic.pattern) {
        QString problem = QString::fromStdString(characteristic.problem);
        problem[0] = problem[0].toUpper();
        say_not_saved(problem + ".");
        return;
    }
    const std::string pattern = *characteristic.pattern;
    auto* dialog = new FreezeDialog(lot, QString::fromStdString(pattern), tests_to_freeze_with(lot), &window_);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The lot the dialog was made from, whatever the selection becomes meanwhile.
    auto chosen = std::make_shared<Lot>(lot);
    // Save keeps the dialog open until the journal and the settings are written.
    QObject::disconnect(dialog->findChild<QDialogButtonBox*>(), &QDialogButtonBox::accepted, dialog,
                        &QDialog::accept);
    connect(dialog->findChild<QDialogButtonBox*>(), &QDialogButtonBox::accepted, this,
            [this, dialog, chosen, pattern] {
                const LocalDateTime when = now();
                const ToleranceEntry entry = entry_to_freeze(*chosen, pattern, dialog->limits(),
                                                             dialog->subgroups(), when, dialog->tests());
                Journal journal(files_, current_journal());
                const Status kept = keep_frozen(journal, tolerances_, entry,
                                                freezing_events(pattern, *entry.control, when, user_));
                if (!kept.ok()) {
                    say_not_saved(QString::fromStdString(kept.reason()));
                    return;
                }
                dialog->accept();
                limits_saved();
            });
    dialog->open();
}

void LotControl::choose_tests() {
    const std::optional<ToleranceEntry> entry = shown_frozen();
    if (!entry) return;
    auto* dialog = new QDialog(&window_);
    dialog->setObjectName("tests_dialog");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(tr("Tests for %1").arg(QString::fromStdString(entry->pattern)));
    auto* layout = new QVBoxLayout(dialog);
    auto* boxes = new QWidget(dialog);
    const std::vector<QCheckBox*> tests = add_test_boxes(*boxes, entry->control->tests);
    layout->addWidget(boxes);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, dialog);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, this, [this, dialog, tests, entry] {
        ToleranceEntry changed = *entry;
        changed.control->tests.clear();
        for (size_t t = 0; t < tests.size(); ++t)
            if (tests[t]->isChecked()) changed.control->tests.push_back(int(t) + 1);
        if (const Status saved = tolerances_.set(changed); !saved.ok()) {
            say_not_saved(QString::fromStdString(saved.reason()));
            return;
        }
        dialog->accept();
        limits_saved();
    });
    dialog->open();
}

void LotControl::remove_limits() {
    const std::optional<ToleranceEntry> entry = shown_frozen();
    if (!entry) return;
    auto* ask = new QMessageBox(
        QMessageBox::Question, tr("Remove Frozen Limits"),
        tr("Remove the frozen control limits of %1? Its charts then take their limits from the "
           "records selected.%2")
            .arg(QString::fromStdString(entry->pattern),
                 entry->lower || entry->upper ? QString() : tr(" It has no tolerance: its entry goes.")),
        QMessageBox::Yes | QMessageBox::Cancel, &window_);
    ask->setObjectName("remove_limits");
    ask->setAttribute(Qt::WA_DeleteOnClose);
    connect(ask, &QMessageBox::accepted, this, [this, entry] {
        Journal journal(files_, current_journal());
        if (const Status removed = remove_frozen(journal, tolerances_, *entry, now(), user_);
            !removed.ok()) {
            say_not_saved(QString::fromStdString(removed.reason()));
            return;
        }
        limits_saved();
    });
    ask->open();
}

void LotControl::selection_changed() {
    stale_ = true;
    const bool any = list_.selectionModel()->hasSelection();
    for (QAction* action : need_records_) action->setEnabled(any);
    update_control_actions();
    settle_->start();
}

const Lot& LotControl::lot() {
    if (!stale_) return lot_;
    lot_ = Lot{};
    QItemSelection selection = list_.selectionModel()->selection();
    std::vector<std::pair<int, int>> ranges;
    for (const QItemSelectionRange& range : selection) ranges.emplace_back(range.top(), range.bottom());
    std::sort(ranges.begin(), ranges.end());
    // With several stations the report and the CSV name each record's.
    const bool several = stations_.station_count() > 1;
    if (several)
        for (const StationRecords::Station& station : stations_.stations())
            lot_.stations.push_back(station.name);
    for (const auto& [top, bottom] : ranges) {
        stations_.read_records(size_t(top), size_t(bottom - top + 1),
                               [this, several](size_t i, std::optional<Record> record) {
                                   if (!record) return;
                                   const auto match = tolerances_.find(record->description.value_or(""));
                                   lot_.tolerances.push_back(match ? std::optional(match->entry)
                                                                   : std::nullopt);
                                   lot_.numbers.push_back(stations_.index_in_station(i) + 1);
                                   if (several)
                                       lot_.record_stations.push_back(stations_.station_of(i));
                                   lot_.records.push_back(std::move(*record));
                               });
    }
    // Which stations the records came from, in the stations' order.
    const std::vector<StationRecords::Station> stations = stations_.stations();
    std::vector<bool> from(stations.size(), false);
    for (const auto& [top, bottom] : ranges)
        for (int row = top; row <= bottom; ++row)
            if (size_t(row) < stations_.record_count())
                if (const size_t k = stations_.station_of(size_t(row)); k < from.size()) from[k] = true;
    lot_stations_.clear();
    std::vector<std::string> files;
    for (size_t k = 0; k < stations.size(); ++k) {
        if (!from[k]) continue;
        lot_stations_ << QString::fromStdString(stations[k].name);
        files.push_back(stations[k].path);
    }
    lot_.file.clear();
    for (const std::string& file : files) lot_.file += (lot_.file.empty() ? "" : ", ") + file;
    lot_.selection = tr("%1 of %2 records, selected in the Inspection window")
                         .arg(lot_.records.size())
                         .arg(stations_.record_count())
                         .toStdString();
    complete_lot(lot_);
    // The causes found, from the journal beside each file, in time order;
    // read each time, a journal is small. A missing one is none.
    for (const std::string& file : files) {
        JournalReader journal;
        std::vector<JournalEntry> entries;
        if (journal.poll(files_, journal_path(file), entries).ok())
            lot_.journal.insert(lot_.journal.end(), entries.begin(), entries.end());
    }
    if (files.size() > 1)
        std::stable_sort(lot_.journal.begin(), lot_.journal.end(),
                         [](const JournalEntry& a, const JournalEntry& b) {
                             return time_order(a.time) < time_order(b.time);
                         });
    stale_ = false;
    return lot_;
}

void LotControl::refresh() {
    const QModelIndexList rows = list_.selectionModel()->selectedRows();
    if (rows.size() < 2) {
        dock_->hide();
        chart_->show_lot(nullptr);
        return;
    }
    const Lot& lot = this->lot();
    for (QLabel* label : figure_labels_) delete label;
    figure_labels_.clear();
    int r = 0;
    for (const LotFigure& figure : panel_figures(lot, QLocale())) {
        auto* name = new QLabel(figure.label);
        auto* value = new QLabel(figure.value);
        auto* how = new QLabel(figure.how);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        value->setAccessibleName(figure.label);
        value->setAccessibleDescription(figure.how);
        value->setToolTip(figure.how);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        value->setWordWrap(figure.value.size() > 24);
        name->setBuddy(value);
        QFont small = how->font();
        small.setPointSizeF(small.pointSizeF() * 0.85);
        how->setFont(small);
        how->setForegroundRole(QPalette::PlaceholderText);
        figures_->addWidget(name, r, 0);
        figures_->addWidget(value, r, 1);
        figures_->addWidget(how, r, 2);
        figure_labels_.insert(figure_labels_.end(), {name, value, how});
        ++r;
    }
    figures_->setRowStretch(r, 1);
    std::optional<FrozenChart> frozen = frozen_chart(lot);
    control_->setText(frozen ? tr("Phase II: %1; judged with tests %2.")
                                   .arg(frozen_sentence(frozen->kept, QLocale()),
                                        [&] {
                                            QStringList t;
                                            for (const int n : frozen->kept.tests) t << QString::number(n);
                                            return t.isEmpty() ? tr("none") : t.join(" ");
                                        }())
                             : tr("Limits computed from the selected records."));
    // Which stations, once there is more than one to come from.
    stations_line_->setText(tr("Stations: %1").arg(lot_stations_.join(", ")));
    stations_line_->setVisible(stations_.station_count() > 1);
    chart_->show_lot(&lot, std::move(frozen));
    update_control_actions();
    dock_->show();
}

QString LotControl::suggested(const QString& suffix) const {
    const QString name = "inspection-" + QDateTime::currentDateTime().toString("yyyy-MM-dd-HHmm");
    return QFileInfo(current_file()).absoluteDir().filePath(name + suffix);
}

bool LotControl::save(const QString& path, const QByteArray& bytes, const QString& what) {
    const std::string out = QFile::encodeName(path).toStdString();
    // The file dialog's own question has let the user agree to replace a
    // file; databac.txt, or any file like it, is never replaced all the same.
    std::vector<std::string> followed;
    for (const StationRecords::Station& station : stations_.stations())
        followed.push_back(files_.full_path(station.path));
    if (const std::optional<std::string> refusal = output_refusal(files_, out, followed)) {
        auto* box = new QMessageBox(QMessageBox::Warning, tr("Not Saved"),
                                    tr("%1\nNothing was saved; choose another name.")
                                        .arg(QString::fromLocal8Bit(refusal->c_str())),
                                    QMessageBox::Ok, &window_);
        box->setObjectName("lot_refused");
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        return false;
    }
    const Status written = files_.replace(out, std::string_view(bytes.constData(), size_t(bytes.size())));
    if (!written.ok()) {
        auto* box = new QMessageBox(QMessageBox::Warning, tr("Not Saved"),
                                    tr("%1 could not be written: %2.\nNothing was saved.")
                                        .arg(QDir::toNativeSeparators(path),
                                             QString::fromLocal8Bit(written.reason().c_str())),
                                    QMessageBox::Ok, &window_);
        box->setObjectName("lot_not_saved");
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        return false;
    }
    saved_folder_ = QFileInfo(path).absolutePath();
    saved_->setText(tr("%1 saved to %2").arg(what, QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath())));
    saved_->show();
    open_folder_->show();
    return true;
}

bool LotControl::export_csv_to(const QString& path) {
    const Lot& lot = this->lot();
    if (lot.records.empty()) return false;
    const std::string csv = lot_csv(lot);
    return save(path, QByteArray(csv.data(), qsizetype(csv.size())),
                tr("CSV of %1").arg(records_text(lot.records.size())));
}

bool LotControl::report_to(const QString& path) {
    const Lot& lot = this->lot();
    if (lot.records.empty()) return false;
    return save(path, lot_report_pdf(lot, QLocale(), QDateTime::currentDateTime()),
                tr("Report of %1").arg(records_text(lot.records.size())));
}

void LotControl::print() {
    const Lot& lot = this->lot();
    if (lot.records.empty()) return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setFullPage(true);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setDocName(tr("Inspection report"));
    QPrintDialog dialog(&printer, &window_);
    if (dialog.exec() != QDialog::Accepted) return;
    paint_lot_report(printer, lot, QLocale(), QDateTime::currentDateTime());
}

void LotControl::select_time_range(const QDateTime& from, const QDateTime& to,
                                   std::function<void()> done) {
    const auto at = [](const QDateTime& t) {
        return LocalDateTime{t.date().year(), t.date().month(), t.date().day(),
                             t.time().hour(), t.time().minute(), t.time().second()};
    };
    RecordChoice choice;
    choice.from = at(from);
    choice.to = at(to);
    select_where([choice](const Record& r) { return choice.chooses(r); }, std::move(done));
}

void LotControl::select_description(std::function<void()> done) {
    const QModelIndex current = list_.currentIndex();
    if (!current.isValid()) return;
    const std::optional<Record> record = stations_.record(size_t(current.row()));
    if (!record) return;
    const std::optional<std::string> description = record->description;
    select_where([description](const Record& r) { return r.description == description; },
                 std::move(done));
}

void LotControl::select_where(std::function<bool(const Record&)> chosen,
                              std::function<void()> done) {
    // A step of records at a time from the event loop: a file of years stays
    // answerable while it is searched.
    scan_->stop();
    disconnect(scan_, nullptr, this, nullptr);
    scan_next_ = 0;
    auto found = std::make_shared<QItemSelection>();
    auto last = std::make_shared<int>(-1);
    window_.statusBar()->showMessage(tr("Selecting…"));
    connect(scan_, &QTimer::timeout, this, [this, chosen, done, found, last] {
        // Rows the list has (the follower may know more since its last poll).
        const size_t count = size_t(list_.model()->rowCount());
        const size_t first = scan_next_;
        stations_.read_records(first, std::min(kScanStep, count - std::min(first, count)), [&](size_t i, std::optional<Record> record) {
            if (!record || !chosen(*record)) return;
            const int row = int(i);
            // Runs of rows as one range each.
            if (!found->isEmpty() && found->last().bottom() == row - 1) {
                const QItemSelectionRange grown(found->last().topLeft(),
                                                list_.model()->index(row, list_.model()->columnCount() - 1));
                found->last() = grown;
            } else {
                found->append(QItemSelectionRange(list_.model()->index(row, 0),
                                                  list_.model()->index(row, list_.model()->columnCount() - 1)));
            }
            *last = row;
        });
        scan_next_ = first + kScanStep;
        if (scan_next_ < count) return;
        scan_->stop();
        window_.statusBar()->clearMessage();
        if (*last >= 0) {
            list_.selectionModel()->select(*found, QItemSelectionModel::ClearAndSelect |
                                                       QItemSelectionModel::Rows);
            list_.selectionModel()->setCurrentIndex(list_.model()->index(*last, 0),
                                                    QItemSelectionModel::NoUpdate);
            list_.scrollTo(list_.model()->index(*last, 0));
        } else {
            window_.statusBar()->showMessage(tr("No record lies in that range."), 5000);
        }
        if (done) done();
    });
    scan_->start();
}

}  // namespace tolvane
