#include "inspection/inspect_lot.h"

#include <QAction>
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
#include <algorithm>

#include "inspection/report_charts.h"
#include "platform/file_system.h"
#include "quality/csv_export.h"
#include "quality/tolerances.h"
#include "records/output_target.h"
#include "records/record_follower.h"

namespace tolvane {

namespace {

// Records read from the file at a time while selecting by content.
constexpr size_t kScanStep = 2048;

QString records_text(size_t count) {
    return count == 1 ? QObject::tr("1 record")
                      : QObject::tr("%1 records").arg(QLocale().toString(qulonglong(count)));
}

}  // namespace

LotChart::LotChart(QWidget* parent) : QWidget(parent) {
    setObjectName("lot_chart");
    setAccessibleName(tr("X-bar and s chart of the selected records"));
    setMinimumSize(360, 200);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
}

void LotChart::show_lot(const Lot* lot) {
    lot_ = lot;
    update();
}

void LotChart::paintEvent(QPaintEvent*) {
    if (!lot_ || lot_->statistics.records < 2) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // Text sizes in points, as on paper.
    const double scale = logicalDpiX() / 72.0;
    painter.scale(scale, scale);
    paint_control_charts(painter, QRectF(6, 4, width() / scale - 12, height() / scale - 8), *lot_,
                         QLocale());
}

LotControl::LotControl(QMainWindow& window, QTableView& list, RecordFollower& follower,
                       const Tolerances& tolerances, FileSystem& files, const QString& path)
    : QObject(&window),
      window_(window),
      list_(list),
      follower_(follower),
      tolerances_(tolerances),
      files_(files),
      path_(path) {
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
    chart_ = new LotChart(body);
    row->addWidget(chart_, 1);
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
            if (const std::optional<Record> r = follower_.record(size_t(current.row())); r && r->time)
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
}

void LotControl::selection_changed() {
    stale_ = true;
    const bool any = list_.selectionModel()->hasSelection();
    for (QAction* action : need_records_) action->setEnabled(any);
    settle_->start();
}

const Lot& LotControl::lot() {
    if (!stale_) return lot_;
    lot_ = Lot{};
    QItemSelection selection = list_.selectionModel()->selection();
    std::vector<std::pair<int, int>> ranges;
    for (const QItemSelectionRange& range : selection) ranges.emplace_back(range.top(), range.bottom());
    std::sort(ranges.begin(), ranges.end());
    for (const auto& [top, bottom] : ranges) {
        follower_.read_records(size_t(top), size_t(bottom - top + 1),
                               [this](size_t i, std::optional<Record> record) {
                                   if (!record) return;
                                   const auto match = tolerances_.find(record->description.value_or(""));
                                   lot_.tolerances.push_back(match ? std::optional(match->entry)
                                                                   : std::nullopt);
                                   lot_.numbers.push_back(i + 1);
                                   lot_.records.push_back(std::move(*record));
                               });
    }
    lot_.file = path_.toStdString();
    lot_.selection = tr("%1 of %2 records, selected in the Inspection window")
                         .arg(lot_.records.size())
                         .arg(follower_.record_count())
                         .toStdString();
    complete_lot(lot_);
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
    for (const LotFigure& figure : lot_figures(lot, QLocale())) {
        auto* name = new QLabel(figure.label);
        auto* value = new QLabel(figure.value);
        auto* how = new QLabel(figure.how);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        value->setAccessibleName(figure.label);
        value->setAccessibleDescription(figure.how);
        value->setToolTip(figure.how);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
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
    chart_->show_lot(&lot);
    dock_->show();
}

QString LotControl::suggested(const QString& suffix) const {
    const QString name = "inspection-" + QDateTime::currentDateTime().toString("yyyy-MM-dd-HHmm");
    return QFileInfo(path_).absoluteDir().filePath(name + suffix);
}

bool LotControl::save(const QString& path, const QByteArray& bytes, const QString& what) {
    const std::string out = QFile::encodeName(path).toStdString();
    // The file dialog's own question has let the user agree to replace a
    // file; databac.txt, or any file like it, is never replaced all the same.
    if (const std::optional<std::string> refusal =
            output_refusal(files_, out, {files_.full_path(QFile::encodeName(path_).toStdString())})) {
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
    const std::optional<Record> record = follower_.record(size_t(current.row()));
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
        follower_.read_records(first, std::min(kScanStep, count - std::min(first, count)), [&](size_t i, std::optional<Record> record) {
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
