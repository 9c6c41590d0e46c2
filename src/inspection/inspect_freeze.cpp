#include "inspection/inspect_freeze.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "inspection/locale_numbers.h"

namespace tolvane {

namespace {

enum Column { kLeaveOut, kTime, kValues, kReason };

const char* const kTestNames[8] = {
    "1 point beyond 3σ",          "9 in a row on one side",
    "6 in a row up or down",      "14 alternating up and down",
    "2 of 3 beyond 2σ, one side", "4 of 5 beyond 1σ, one side",
    "15 in a row within 1σ",      "8 in a row beyond 1σ",
};

}  // namespace

std::vector<QCheckBox*> add_test_boxes(QWidget& parent, const std::vector<int>& chosen) {
    auto* grid = new QGridLayout(&parent);
    std::vector<QCheckBox*> boxes;
    for (int t = 1; t <= 8; ++t) {
        auto* box = new QCheckBox(QObject::tr("&%1: %2").arg(t).arg(QObject::tr(kTestNames[t - 1])), &parent);
        box->setObjectName(QString("test_%1").arg(t));
        box->setChecked(std::find(chosen.begin(), chosen.end(), t) != chosen.end());
        grid->addWidget(box, (t - 1) % 4, (t - 1) / 4);
        boxes.push_back(box);
    }
    return boxes;
}

FreezeDialog::FreezeDialog(const Lot& lot, const QString& pattern, const std::vector<int>& tests,
                           QWidget* parent)
    : QDialog(parent), scale_(lot.statistics.scale), subgroups_(subgroups_of(lot.records, scale_)) {
    setObjectName("freeze_dialog");
    setWindowTitle(tr("Freeze Control Limits — %1").arg(pattern));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Records of %1. Leave out a record whose cause is found, "
                                    "and say what it was:").arg(pattern), this));
    table_ = new QTableWidget(int(lot.records.size()), 4, this);
    table_->setObjectName("freeze_records");
    table_->setHorizontalHeaderLabels({tr("Leave out"), tr("Time"), tr("Values"), tr("Reason")});
    table_->horizontalHeader()->setSectionResizeMode(kReason, QHeaderView::Stretch);
    table_->verticalHeader()->hide();
    const QLocale locale;
    for (int r = 0; r < int(lot.records.size()); ++r) {
        const Record& record = lot.records[size_t(r)];
        auto* leave = new QTableWidgetItem;
        leave->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        leave->setCheckState(Qt::Unchecked);
        table_->setItem(r, kLeaveOut, leave);
        QString time = QString::fromStdString(record.time_text);
        if (record.time)
            time = locale.toString(QDateTime(QDate(record.time->year, record.time->month, record.time->day),
                                             QTime(record.time->hour, record.time->minute, record.time->second)),
                                   QLocale::ShortFormat);
        for (const auto& [column, text] : {std::pair{kTime, time},
                                           std::pair{kValues, locale.toString(qulonglong(record.numbers().size()))}}) {
            auto* item = new QTableWidgetItem(text);
            item->setFlags(Qt::ItemIsEnabled);
            table_->setItem(r, column, item);
        }
        table_->setItem(r, kReason, new QTableWidgetItem);
    }
    table_->resizeColumnsToContents();
    layout->addWidget(table_, 1);

    preview_ = new QLabel(this);
    preview_->setObjectName("freeze_preview");
    preview_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(preview_);
    auto* group = new QGroupBox(tr("Tests for special causes"), this);
    tests_ = add_test_boxes(*group, tests);
    layout->addWidget(group);
    buttons_ = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons_);
    connect(table_, &QTableWidget::itemChanged, this, &FreezeDialog::recompute);
    recompute();
    resize(640, 560);
}

std::vector<int> FreezeDialog::tests() const {
    std::vector<int> chosen;
    for (int t = 1; t <= 8; ++t)
        if (tests_[size_t(t - 1)]->isChecked()) chosen.push_back(t);
    return chosen;
}

void FreezeDialog::recompute() {
    bool reasons = true;
    for (int r = 0; r < table_->rowCount(); ++r) {
        Subgroup& g = subgroups_[size_t(r)];
        const QString reason = table_->item(r, kReason)->text().trimmed();
        if (table_->item(r, kLeaveOut)->checkState() == Qt::Checked) {
            g.left_out = reason.toStdString();
            reasons = reasons && !reason.isEmpty();
        } else {
            g.left_out.reset();
        }
    }
    limits_ = freeze_limits(subgroups_);
    const QLocale locale;
    const auto n = [&](const std::optional<double>& x) {
        return x ? locale.toString(*x, 'g', 6) : tr("none");
    };
    // On the log scale the limits are of log10 of the values: the centre
    // and the limits of the means shown as values, the spreads as they are.
    const bool log = scale_ == Scale::kLog;
    const auto v = [&](const std::optional<double>& x) {
        return n(x ? std::optional<double>(from_scale(*x, scale_)) : std::nullopt);
    };
    const bool individuals = limits_.kind == ChartKind::kIndividuals;
    QString method;
    switch (limits_.method) {
        case SigmaMethod::kSBarOverC4: method = tr("s̄ / c4(n)"); break;
        case SigmaMethod::kPooled: method = tr("pooled s, sizes differ"); break;
        case SigmaMethod::kMovingRange: method = tr("MR̄ / d2"); break;
        case SigmaMethod::kNone: method = tr("no spread"); break;
    }
    QString text;
    if (limits_.sizes_differ)
        text = tr("X̄ and s: limits at each record's size, centre %1").arg(v(limits_.centre));
    else
        text = tr("%1 chart: LCL %2, centre %3, UCL %4\n%5 chart: LCL %6, centre %7, UCL %8")
                   .arg(individuals ? tr("Individuals") : tr("X̄"), v(limits_.chart.mean_lcl),
                        v(limits_.chart.centre), v(limits_.chart.mean_ucl),
                        individuals ? tr("Moving range") : tr("s"), n(limits_.chart.spread_lcl),
                        n(limits_.chart.spread_centre), n(limits_.chart.spread_ucl));
    text += tr("\nσ within %1 (%2); n %3; records used %4, left out %5")
                .arg(n(limits_.sigma_within), method,
                     limits_.subgroup_size ? locale.toString(qulonglong(*limits_.subgroup_size))
                                           : tr("sizes differ"),
                     locale.toString(qulonglong(limits_.records_used)),
                     locale.toString(qulonglong(limits_.left_out.size())));
    if (log)
        text += tr("\nLogarithmic scale (limits of log10 of the values): the centre and the "
                   "%1 limits as values, σ and the %2 chart of log10 of the values.")
                    .arg(individuals ? tr("individuals") : tr("X̄"),
                         individuals ? tr("moving range") : tr("s"));
    if (!limits_.sigma_within) text += tr("\nThe records used give no limits: they need two with a spread.");
    if (!reasons) text += tr("\nSay why each record left out is left out.");
    preview_->setText(text);
    buttons_->button(QDialogButtonBox::Save)->setEnabled(limits_.sigma_within.has_value() && reasons);
}

}  // namespace tolvane
