#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QLocale>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "inspection/locale_numbers.h"
#include "quality/control_track.h"
#include "quality/display_number.h"
#include "quality/distribution.h"
#include "quality/statistics.h"
#include "quality/tolerances.h"
#include "records/record.h"
#include "records/station_records.h"

namespace tolvane {

// A record with what the window derives from it: its tolerance and its
// figures.
struct InspectedRecord {
    Record record;
    std::optional<Tolerances::Match> tolerance;
    Statistics statistics;
    // The figures of its characteristic's scale, the percentile method and
    // the normality check.
    Fit fit;
    Scale scale() const { return tolerance ? tolerance->entry.scale : Scale::kLinear; }
};
InspectedRecord inspect_record(Record record, const Tolerances& tolerances);

// "OK", "3 out of tolerance", or empty without limits.
QString verdict_text(const InspectedRecord& inspected);
// The time stamp in the user's regional short form, or the field as stored
// when it is no valid date and time.
QString time_text(const Record& record, const QLocale& locale);

// The record list: one row per record of the stations' merged list, newest
// last, each with the station it came from.
// It holds no copy of the file: a row is read when the view draws it (the
// last rows read are kept, so a row's columns cost one read). The Control
// column shows the track's verdicts, as far as it has judged.
class RecordListModel final : public QAbstractTableModel {
  public:
    enum Column { kTime, kStation, kDescription, kValues, kVerdict, kControl, kColumns };

    RecordListModel(StationRecords& stations, const Tolerances& tolerances,
                    const ControlTrack& control, QObject* parent = nullptr);

    // The stations' names as shown, by their place in the list of stations.
    void set_station_names(std::vector<QString> names);

    // Rows first .. end - 1 were judged (again).
    void control_judged(size_t first, size_t end);
    // After a poll: rows added, changed or all gone.
    void apply(const StationRecords::Change& change);
    // The tolerances changed: every verdict may have.
    void tolerances_changed();
    // Record `row`, read now (cached); nothing when it cannot be read.
    const InspectedRecord* inspected(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    static constexpr size_t kCached = 256;
    struct Slot {
        size_t row = SIZE_MAX;
        std::optional<InspectedRecord> inspected;
    };

    StationRecords& stations_;
    std::vector<QString> station_names_;
    const Tolerances& tolerances_;
    const ControlTrack& control_;
    QLocale locale_;
    int rows_ = 0;
    mutable std::vector<Slot> cache_;  // indexed by row % kCached
};

// The selected record's values: number, value, deviation from nominal and
// the verdict, as a word ("LOW", "HIGH") and a colour.
class ValueTableModel final : public QAbstractTableModel {
  public:
    enum Column { kNumber, kValue, kDeviation, kVerdict, kColumns };
    static const QColor kLowColour;
    static const QColor kHighColour;

    explicit ValueTableModel(QObject* parent = nullptr);
    void show(const InspectedRecord* inspected);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    struct Row {
        QString value, deviation, verdict;
        std::optional<Verdict> verdict_kind;
        bool number = true;
    };
    QLocale locale_;
    std::vector<Row> rows_;
};

}  // namespace tolvane
