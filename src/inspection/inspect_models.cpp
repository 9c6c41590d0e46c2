#include "inspection/inspect_models.h"

#include <QDateTime>
#include <QFont>
#include <algorithm>
#include <cmath>

#include "qt/qt_text.h"
#include "records/meas_table.h"

namespace tolvane {


InspectedRecord inspect_record(Record record, const Tolerances& tolerances) {
    InspectedRecord inspected{std::move(record), std::nullopt, {}, {}};
    if (inspected.record.description)
        inspected.tolerance = tolerances.find(*inspected.record.description);
    const std::vector<Number> numbers = inspected.record.numbers();
    inspected.statistics =
        compute_statistics(numbers, inspected.tolerance ? inspected.tolerance->limits : Limits{});
    inspected.fit = fit_values(numbers, inspected.tolerance ? inspected.tolerance->limits : Limits{},
                               inspected.scale(), &inspected.statistics);
    return inspected;
}

QString verdict_text(const InspectedRecord& inspected) {
    const Statistics& s = inspected.statistics;
    if (!s.has_limits) return {};
    if (s.out_of_tolerance() == 0) return QObject::tr("OK");
    return QObject::tr("%1 out of tolerance").arg(s.out_of_tolerance());
}

QString time_text(const Record& record, const QLocale& locale) {
    if (!record.time) return qstring(record.time_text);
    const LocalDateTime& t = *record.time;
    const QDateTime when(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second));
    return locale.toString(when, QLocale::ShortFormat);
}

// --- RecordListModel ------------------------------------------------------------

RecordListModel::RecordListModel(StationRecords& stations, const Tolerances& tolerances,
                                 const ControlTrack& control, QObject* parent)
    : QAbstractTableModel(parent),
      stations_(stations),
      tolerances_(tolerances),
      control_(control),
      locale_(QLocale()),
      cache_(kCached) {}

void RecordListModel::set_station_names(std::vector<QString> names) {
    station_names_ = std::move(names);
    if (rows_ > 0) emit dataChanged(index(0, kStation), index(rows_ - 1, kStation), {Qt::DisplayRole});
}

void RecordListModel::apply(const StationRecords::Change& change) {
    const int count = static_cast<int>(std::min<size_t>(change.count, INT_MAX));
    if (change.reset || count < rows_) {
        beginResetModel();
        for (Slot& slot : cache_)
            slot = {};
        rows_ = count;
        endResetModel();
        return;
    }
    const int first = static_cast<int>(std::min<size_t>(change.first, INT_MAX));
    for (int row = first; row < count; ++row) {
        Slot& slot = cache_[static_cast<size_t>(row) % kCached];
        if (slot.row == static_cast<size_t>(row)) slot = {};
    }
    if (first < rows_) emit dataChanged(index(first, 0), index(rows_ - 1, kColumns - 1));
    if (count > rows_) {
        beginInsertRows({}, rows_, count - 1);
        rows_ = count;
        endInsertRows();
    }
}

void RecordListModel::control_judged(size_t first, size_t end) {
    end = std::min<size_t>(end, static_cast<size_t>(rows_));
    if (first >= end) return;
    emit dataChanged(index(static_cast<int>(first), kControl),
                     index(static_cast<int>(end - 1), kControl), {Qt::DisplayRole});
}

void RecordListModel::tolerances_changed() {
    for (Slot& slot : cache_)
        slot = {};
    if (rows_ > 0) emit dataChanged(index(0, kVerdict), index(rows_ - 1, kVerdict));
}

const InspectedRecord* RecordListModel::inspected(int row) const {
    if (row < 0 || row >= rows_) return nullptr;
    Slot& slot = cache_[static_cast<size_t>(row) % kCached];
    if (slot.row != static_cast<size_t>(row)) {
        slot = {};
        if (std::optional<Record> record = stations_.record(static_cast<size_t>(row))) {
            slot.row = static_cast<size_t>(row);
            slot.inspected = inspect_record(std::move(*record), tolerances_);
        }
    }
    return slot.inspected ? &*slot.inspected : nullptr;
}

int RecordListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int RecordListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant RecordListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    if (role == Qt::TextAlignmentRole)
        return index.column() == kValues ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                         : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Qt::ForegroundRole) return {};
    if (index.column() == kControl) {
        // From the track alone: the record is not read for it.
        const ControlVerdict verdict = control_.verdict(static_cast<size_t>(index.row()));
        if (role == Qt::ForegroundRole)
            return verdict.in_control() ? QVariant() : QVariant(ValueTableModel::kLowColour);
        return qstring(control_text(verdict));
    }
    if (index.column() == kStation) {
        // From the list's own index: the record is not read for it.
        if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
        const size_t station = stations_.station_of(static_cast<size_t>(index.row()));
        return station < station_names_.size() ? station_names_[station] : QString();
    }
    const InspectedRecord* inspected = this->inspected(index.row());
    if (!inspected) {
        if (role == Qt::DisplayRole && index.column() == kDescription)
            return tr("(cannot be read just now)");
        return {};
    }
    const Record& record = inspected->record;
    if (role == Qt::ForegroundRole) {
        if (index.column() == kVerdict && inspected->statistics.out_of_tolerance() > 0)
            return ValueTableModel::kLowColour;
        return {};
    }
    switch (index.column()) {
        case kTime:
            return time_text(record, locale_);
        case kDescription:
            return record.description ? qstring(*record.description) : QString();
        case kValues: {
            QString text = locale_.toString(qulonglong(record.value_count));
            if (role == Qt::ToolTipRole && record.not_numbers() > 0)
                text = tr("%1 fields, %2 of them not a number")
                           .arg(text, locale_.toString(qulonglong(record.not_numbers())));
            return text;
        }
        case kVerdict:
            return verdict_text(*inspected);
        default:
            return {};
    }
}

QVariant RecordListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
        case kTime:
            return tr("Time");
        case kStation:
            return tr("Station");
        case kDescription:
            return tr("Description");
        case kValues:
            return tr("Values");
        case kVerdict:
            return tr("Verdict");
        case kControl:
            return tr("Control");
        default:
            return {};
    }
}

// --- ValueTableModel ------------------------------------------------------------

// Dark enough to read on white and on the light tint behind it.
const QColor ValueTableModel::kLowColour(0xa5, 0x1d, 0x2d);
const QColor ValueTableModel::kHighColour(0xa5, 0x1d, 0x2d);

ValueTableModel::ValueTableModel(QObject* parent)
    : QAbstractTableModel(parent), locale_(QLocale()) {}

void ValueTableModel::show(const InspectedRecord* inspected) {
    beginResetModel();
    rows_.clear();
    if (inspected) {
        const std::optional<Tolerances::Match>& tolerance = inspected->tolerance;
        const Limits limits = tolerance ? tolerance->limits : Limits{};
        const std::vector<RecordValue>& values = inspected->record.values;
        const bool has_nominal = tolerance && tolerance->entry.nominal;
        const double nominal = has_nominal ? *tolerance->entry.nominal : 0.0;
        // One form for the column of values, another for the deviations.
        std::vector<double> numbers, deviations;
        numbers.reserve(values.size());
        for (const RecordValue& value : values) {
            if (!value.number) continue;
            numbers.push_back(value.number->value());
            if (has_nominal) deviations.push_back(value.number->value() - nominal);
        }
        const NumberForm value_form = form_of(numbers);
        const NumberForm deviation_form = form_of(deviations);
        const NumberSymbols symbols = number_symbols(locale_);
        rows_.reserve(values.size());
        for (const RecordValue& value : values) {
            Row row;
            row.number = value.number.has_value();
            if (!value.number) {
                row.value = qstring(value.text);
                row.verdict = tr("not a number");
            } else {
                const double x = value.number->value();
                row.value = qstring(display_text(x, value_form, symbols));
                if (has_nominal)
                    row.deviation = qstring(display_text(x - nominal, deviation_form, symbols, true));
                if (limits.any()) {
                    row.verdict_kind = verdict(x, limits);
                    row.verdict = *row.verdict_kind == Verdict::kLow    ? tr("LOW")
                                  : *row.verdict_kind == Verdict::kHigh ? tr("HIGH")
                                                                        : QString();
                }
            }
            rows_.push_back(std::move(row));
        }
    }
    endResetModel();
}

int ValueTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ValueTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant ValueTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const Row& row = rows_[static_cast<size_t>(index.row())];
    const bool out = row.verdict_kind && *row.verdict_kind != Verdict::kWithin;
    switch (role) {
        case Qt::DisplayRole:
            switch (index.column()) {
                case kNumber:
                    return locale_.toString(index.row() + 1);
                case kValue:
                    return row.value;
                case kDeviation:
                    return row.deviation;
                case kVerdict:
                    return row.verdict;
                default:
                    return {};
            }
        case Qt::AccessibleTextRole:
            if (index.column() == kVerdict && row.verdict.isEmpty() && row.verdict_kind)
                return tr("within tolerance");
            return data(index, Qt::DisplayRole);
        case Qt::TextAlignmentRole:
            return index.column() == kVerdict ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
                                              : QVariant(Qt::AlignRight | Qt::AlignVCenter);
        case Qt::ForegroundRole:
            if (out) return *row.verdict_kind == Verdict::kLow ? kLowColour : kHighColour;
            if (!row.number) return QColor(0x5e, 0x5c, 0x64);
            return {};
        case Qt::BackgroundRole:
            if (out) return QColor(0xfc, 0xe4, 0xe4);
            return {};
        case Qt::FontRole:
            if (out && index.column() == kVerdict) {
                QFont bold;
                bold.setBold(true);
                return bold;
            }
            if (!row.number && index.column() == kValue) {
                QFont italic;
                italic.setItalic(true);
                return italic;
            }
            return {};
        default:
            return {};
    }
}

QVariant ValueTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
        case kNumber:
            return tr("No.");
        case kValue:
            return tr("Value");
        case kDeviation:
            return tr("Deviation");
        case kVerdict:
            return tr("Verdict");
        default:
            return {};
    }
}

}  // namespace tolvane
