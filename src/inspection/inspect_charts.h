#pragma once

#include <optional>
#include <vector>

#include <QWidget>

class QChart;
class QChartView;
class QLineSeries;
class QScatterSeries;
class QAreaSeries;
class QValueAxis;

namespace tolvane {

// What the charts draw besides the values: every line is optional.
struct ChartLines {
    std::optional<double> mean;
    std::optional<double> nominal;
    std::optional<double> lsl;
    std::optional<double> usl;
};

// A record's values in the order they were measured, with the mean, the
// nominal and the limits as horizontal lines; values outside the limits are
// drawn as red squares. A value that is not a number leaves a gap. At most
// kMaxPoints values are drawn, as many as the instrument sends in a record;
// a longer one, made by hand, shows its first kMaxPoints and says so in the
// title. The axes have round ticks, as many as the chart's size holds.
class RunChart final : public QWidget {
  public:
    static constexpr size_t kMaxPoints = 256;

    explicit RunChart(QWidget* parent = nullptr);
    // `total`: how many values the record has, when only its first ones
    // were read (0: as many as given).
    void show_values(const std::vector<std::optional<double>>& values, const ChartLines& lines,
                     size_t total = 0);
    void clear() { show_values({}, {}); }
    QChart* chart() const { return chart_; }
    QChartView* view() const { return view_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void lay_out_axes();

    QChartView* view_;
    QChart* chart_;
    QLineSeries* values_;
    QScatterSeries* inside_;
    QScatterSeries* outside_;
    QLineSeries* mean_;
    QLineSeries* nominal_;
    QLineSeries* lsl_;
    QLineSeries* usl_;
    QValueAxis* x_;
    QValueAxis* y_;
    double x_high_ = 1, y_low_ = 0, y_high_ = 1;
};

// How the values are spread: a histogram of their counts, with the limits,
// the nominal and the mean as vertical lines. Its bins (at most kMaxBins)
// cover the values and the limits.
class Histogram final : public QWidget {
  public:
    static constexpr int kMaxBins = 20;

    explicit Histogram(QWidget* parent = nullptr);
    void show_values(const std::vector<double>& values, const ChartLines& lines);
    void clear() { show_values({}, {}); }
    QChart* chart() const { return chart_; }
    QChartView* view() const { return view_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void lay_out_axes();

    QChartView* view_;
    QChart* chart_;
    QLineSeries* outline_;
    QLineSeries* base_;
    QAreaSeries* bars_;
    QLineSeries* mean_;
    QLineSeries* nominal_;
    QLineSeries* lsl_;
    QLineSeries* usl_;
    QValueAxis* x_;
    QValueAxis* y_;
    double x_low_ = 0, x_high_ = 1, y_high_ = 1;
};

// The axis range [low, high] for values spanning [min, max]: a little room
// on both sides, and a sensible width when all values are equal.
std::pair<double, double> padded_range(double min, double max);

}  // namespace tolvane
